#pragma once
// Paths of numbered documents: a print format applied to a base text and a frame number.
#include <string>

namespace kelmo {

// True when format consumes exactly one text (%s, with '-' or a width or precision of up to three
// digits) and then one int (%d or %i, flags "-+ 0", width, precision), with nothing else but %%.
// Any other format would make printing undefined.
bool isFramePathFormat(const std::string& format);

// format(base, number) in at most 255 characters; false when format is refused or the path would not
// fit (a cut path could name another document).
bool formatFramePath(const std::string& format, const std::string& base, int number, std::string& out);

}  // namespace kelmo
