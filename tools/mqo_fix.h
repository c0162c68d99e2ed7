#pragma once
// Rewrites a Metasequoia document into the subset Kelmo draws whole: faces of more than four corners
// and quadrilaterals that Kelmo would split outside themselves become triangles, mirrored objects
// become the geometry they show, material lines fit the reader's 255 characters and name the textures
// the caller converted. Everything else stays as written. Text in, text out: no files, no images.
#include <map>
#include <string>
#include <vector>

namespace kelmo {

// A material line's texture as the document names it.
struct MaterialTexture {
    int material = 0;     // index in the Material chunk
    std::string name;     // the material's own name, quotes dropped
    std::string texture;  // the tex("...") name
    std::string alpha;    // the aplane("...") name, empty when none
};

std::vector<MaterialTexture> materialTextures(const std::string& document);

struct MqoFix {
    std::string text;                   // the rewritten document
    std::vector<std::string> changes;   // one console line per change
    std::vector<std::string> problems;  // what could not be made drawable, one line each
};

// newTextures: material index -> the texture file that replaces its tex(...) name; the alpha plane
// is then inside that file, so the material's aplane(...) goes.
MqoFix fixDocument(const std::string& document, const std::map<int, std::string>& newTextures);

}  // namespace kelmo
