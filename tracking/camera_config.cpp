// Turns the camera configuration string into a video source description. Accepted forms: a camera
// index, a device path, the V4L option syntax "-dev=... -width=... -height=...", a video file, an image
// file, a numbered image pattern, a Windows capture configuration (*.xml), which means the first
// camera, and "synthetic ..." for the rendered camera.
#include "tracking/camera_config.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "tracking/synthetic_options.h"

namespace kelmo {
namespace {

constexpr int kMaxImageSide = 8192;

std::string trim(const std::string& text) {
    const auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    auto begin = std::find_if(text.begin(), text.end(), notBlank);
    auto end = std::find_if(text.rbegin(), text.rend(), notBlank).base();
    return begin < end ? std::string(begin, end) : std::string();
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool parseWholeNumber(const std::string& text, long low, long high, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = value;
    return true;
}

bool parseFraction(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return *end == '\0' && value >= 0.0 && value <= 1.0;
}

const char* const kOptionHelp =
    "camera options: -dev=/dev/videoN -channel=N -width=N -height=N -noadjust -palette=RGB|YUV420P "
    "-brightness=0..1 -contrast=0..1 -saturation=0..1 -hue=0..1 -whiteness=0..1 -color=0..1 "
    "-mode=PAL|NTSC|SECAM -debug";

bool parseDeviceOptions(const std::string& text, CameraConfig& sourceConfig, std::string& error) {
    sourceConfig = CameraConfig{};
    sourceConfig.kind = VideoSourceKind::CameraDevice;
    sourceConfig.path = "/dev/video0";
    std::istringstream tokens(text);
    std::string token;
    while (tokens >> token) {
        const size_t eq = token.find('=');
        const std::string name = token.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : token.substr(eq + 1);
        long number = 0;
        bool good = true;
        if (name == "-dev") {
            good = !value.empty();
            sourceConfig.path = value;
        } else if (name == "-width" || name == "-height") {
            good = parseWholeNumber(value, 1, kMaxImageSide, number);
            (name == "-width" ? sourceConfig.width : sourceConfig.height) = static_cast<int>(number);
        } else if (name == "-channel") {
            good = parseWholeNumber(value, 0, 1000, number);
        } else if (name == "-noadjust" || name == "-debug") {
            good = eq == std::string::npos;
        } else if (name == "-palette") {
            good = !value.empty();
        } else if (name == "-mode") {
            const std::string mode = lower(value);
            good = mode == "pal" || mode == "ntsc" || mode == "secam";
        } else if (name == "-brightness" || name == "-contrast" || name == "-saturation" || name == "-hue" ||
                   name == "-whiteness" || name == "-color") {
            good = parseFraction(value);
        } else {
            error = "unknown camera option \"" + token + "\"; " + kOptionHelp;
            return false;
        }
        if (!good) {
            error = "bad value in camera option \"" + token + "\"; " + kOptionHelp;
            return false;
        }
    }
    return true;
}

bool isImageFileName(const std::string& path) {
    static const char* const kExtensions[] = {".png",  ".jpg", ".jpeg", ".bmp", ".tif",
                                              ".tiff", ".ppm", ".pgm",  ".pnm", ".webp"};
    const std::string name = lower(path);
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&](const char* extension) { return endsWith(name, extension); });
}

// A printf-style number field such as %d or %04d marks a numbered image series.
bool hasNumberField(const std::string& path) {
    for (size_t i = path.find('%'); i != std::string::npos; i = path.find('%', i + 1)) {
        size_t j = i + 1;
        while (j < path.size() && std::isdigit(static_cast<unsigned char>(path[j]))) ++j;
        if (j < path.size() && path[j] == 'd') return true;
    }
    return false;
}

const std::string kSyntheticWord = "synthetic";

// The word alone or followed by blanks and options; "synthetic.avi" is a video file.
bool isSynthetic(const std::string& config) {
    return lower(config.substr(0, kSyntheticWord.size())) == kSyntheticWord &&
           (config.size() == kSyntheticWord.size() ||
            std::isspace(static_cast<unsigned char>(config[kSyntheticWord.size()])));
}

}  // namespace

bool parseCameraConfig(const std::string& text, CameraConfig& sourceConfig, std::string& error) {
    const std::string config = trim(text);
    sourceConfig = CameraConfig{};
    if (isSynthetic(config)) {
        sourceConfig.kind = VideoSourceKind::Synthetic;
        sourceConfig.options = trim(config.substr(kSyntheticWord.size()));
        SyntheticOptions options;
        return parseSyntheticOptions(sourceConfig.options, options, error);
    }
    if (config.empty() || endsWith(lower(config), ".xml")) {
        sourceConfig.kind = VideoSourceKind::CameraIndex;  // the first camera
        return true;
    }
    if (config[0] == '-') return parseDeviceOptions(config, sourceConfig, error);
    long index = 0;
    if (parseWholeNumber(config, 0, 999, index)) {
        sourceConfig.kind = VideoSourceKind::CameraIndex;
        sourceConfig.cameraIndex = static_cast<int>(index);
        return true;
    }
    sourceConfig.path = config;
    if (config.rfind("/dev/", 0) == 0) {
        sourceConfig.kind = VideoSourceKind::CameraDevice;
    } else if (hasNumberField(config)) {
        sourceConfig.kind = VideoSourceKind::ImageSequence;
    } else if (isImageFileName(config)) {
        sourceConfig.kind = VideoSourceKind::ImageFile;
    } else {
        sourceConfig.kind = VideoSourceKind::VideoFile;
    }
    return true;
}

std::string describeSource(const CameraConfig& sourceConfig) {
    switch (sourceConfig.kind) {
        case VideoSourceKind::CameraIndex:
            return "camera " + std::to_string(sourceConfig.cameraIndex);
        case VideoSourceKind::CameraDevice:
            return "camera device \"" + sourceConfig.path + "\"";
        case VideoSourceKind::VideoFile:
            return "video file \"" + sourceConfig.path + "\"";
        case VideoSourceKind::ImageFile:
            return "image file \"" + sourceConfig.path + "\"";
        case VideoSourceKind::ImageSequence:
            return "image series \"" + sourceConfig.path + "\"";
        case VideoSourceKind::Synthetic:
            return "synthetic camera";
    }
    return sourceConfig.path;
}

}  // namespace kelmo
