#pragma once
// kelmo-mqo --fix IN -o OUT: the document's rewrite written to OUT and its textures converted into
// TGA files beside OUT, one console line per change.
#include <string>

namespace kelmo {

// 0 when OUT holds a document Kelmo draws whole; 1 when something could not be fixed (OUT is still
// written, the lines say what) or nothing could be written; 2 when OUT would replace IN.
int fixDocumentFile(const std::string& inPath, const std::string& outPath);

}  // namespace kelmo
