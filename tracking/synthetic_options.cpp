#include "tracking/synthetic_options.h"

#include <charconv>
#include <cmath>
#include <set>
#include <sstream>

namespace kelmo {
namespace {

const char* const kOptionList =
    "marker=IMAGE pattern=FILE.patt width=MM fps=F noise=SIGMA seed=N path=orbit|still|frontal size=WxH "
    "param=FILE";

// Locale-independent and whole-text: "80mm" or "1e400" is refused, not read as a prefix or infinity.
bool parseNumber(const std::string& text, double low, double high, double& out) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value) || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool parseWhole(const std::string& text, uint64_t high, uint64_t& out) {
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || value > high) return false;
    out = value;
    return true;
}

bool parseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find_first_of("xX");
    uint64_t w = 0, h = 0;
    const uint64_t top = kMaxSyntheticImageSide;
    if (x == std::string::npos || !parseWhole(text.substr(0, x), top, w) ||
        !parseWhole(text.substr(x + 1), top, h) || w < 16 || h < 16)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// The reason a value is refused, or null when it is good.
const char* applyOption(const std::string& key, const std::string& value, SyntheticOptions& options) {
    if (key == "marker") {
        options.markerImage = value;
    } else if (key == "pattern") {
        options.patternFile = value;
    } else if (key == "param") {
        options.cameraParamFile = value;
    } else if (key == "width") {
        if (!parseNumber(value, 1e-6, 1e6, options.width)) return "the marker width must be a number above 0";
    } else if (key == "fps") {
        if (!parseNumber(value, 1.0, 240.0, options.framesPerSecond))
            return "the frame rate must be from 1 to 240";
    } else if (key == "noise") {
        if (!parseNumber(value, 0.0, 64.0, options.noise))
            return "the noise must be a standard deviation from 0 to 64";
    } else if (key == "seed") {
        if (!parseWhole(value, UINT64_MAX, options.seed)) return "the seed must be a whole number from 0";
    } else if (key == "path") {
        if (!parseSyntheticPath(value, options.path)) return "the path must be orbit, still or frontal";
    } else if (key == "size") {
        if (!parseSize(value, options.imageWidth, options.imageHeight))
            return "the size must be WxH, each side from 16 to 2048 pixels";
    }
    return nullptr;
}

}  // namespace

bool parseSyntheticOptions(const std::string& text, SyntheticOptions& out, std::string& error) {
    static const std::set<std::string> kKeys = {"marker", "pattern", "width", "fps",  "noise",
                                                "seed",   "path",    "size",  "param"};
    SyntheticOptions options;
    std::set<std::string> seen;
    std::istringstream tokens(text);
    std::string token;
    while (tokens >> token) {
        const size_t eq = token.find('=');
        const std::string key = token.substr(0, eq);
        if (kKeys.count(key) == 0) {
            error = "unknown synthetic camera option \"" + token + "\"; options: " + kOptionList;
            return false;
        }
        const std::string value = eq == std::string::npos ? std::string() : token.substr(eq + 1);
        if (!seen.insert(key).second) {
            error = "synthetic camera option \"" + key + "\" is given twice";
            return false;
        }
        const char* reason =
            value.empty() ? "the value is missing (key=value)" : applyOption(key, value, options);
        if (reason != nullptr) {
            error = "synthetic camera option \"" + token + "\": " + reason;
            return false;
        }
    }
    if (!options.markerImage.empty() && !options.patternFile.empty()) {
        error = "synthetic camera options \"marker=\" and \"pattern=\" exclude each other";
        return false;
    }
    out = options;
    return true;
}

bool parseSyntheticPath(const std::string& name, SyntheticPath& out) {
    if (name == "orbit") return out = SyntheticPath::Orbit, true;
    if (name == "still") return out = SyntheticPath::Still, true;
    if (name == "frontal") return out = SyntheticPath::Frontal, true;
    return false;
}

}  // namespace kelmo
