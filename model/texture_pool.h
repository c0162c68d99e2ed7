#pragma once
// Material textures shared by every frame of every motion: each (image, alpha plane) pair is read
// once and uploaded as one GL texture. GL thread only.
#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

// A square RGBA image, rows one after another with no padding; row 0 is texture row t = 0.
struct RgbaImage {
    int size = 0;  // edge length in pixels
    std::vector<uint8_t> pixels;  // size · size · 4 bytes: R, G, B, A
};

// Reads the colour image (uncompressed TGA or 24-bit BMP, square) and merges the alpha plane (TGA)
// into A. Either path may be empty. The paths may be rewritten in place: an extension other than
// tga, png or jpg becomes "bmp". Prints the reader's messages. False when no image results.
bool readImage(std::string& imagePath, std::string& alphaPath, RgbaImage& out);

struct TextureEntry {
    uint32_t texture = 0;
    int size = 0;
    std::string imagePath;  // after the extension rewrite; empty when the request had none
    std::string alphaPath;
};

class TexturePool {
public:
    // maxEdge: the largest edge uploaded, 0 for the GL's own GL_MAX_TEXTURE_SIZE; the GL's limit holds
    // either way. A smaller one stands in for a driver with a smaller limit.
    explicit TexturePool(int maxEdge = 0) : maxEdge_(maxEdge) {}
    virtual ~TexturePool();  // deletes the textures: needs the GL context
    TexturePool(const TexturePool&) = delete;
    TexturePool& operator=(const TexturePool&) = delete;

    // The texture of the pair, read and uploaded on first request; 0 when none could be made (an image
    // larger than the GL takes gets the read-error message). An empty path matches any stored one.
    // The strings may be rewritten as readImage does.
    uint32_t getTexture(std::string& imagePath, std::string& alphaPath);
    const std::vector<TextureEntry>& entries() const { return entries_; }

private:
    int maxEdge_ = 0;
    std::vector<TextureEntry> entries_;
};

}  // namespace kelmo
