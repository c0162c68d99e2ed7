#pragma once
// Which inputs the tools read as single pictures rather than as videos.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

namespace kelmo {

// True when the path ends in the extension of a picture format OpenCV reads, in any case.
inline bool isImageFile(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    for (const char* known :
         {".png", ".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".ppm", ".pgm", ".pnm", ".webp"})
        if (extension == known) return true;
    return false;
}

}  // namespace kelmo
