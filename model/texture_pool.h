#pragma once
// Material textures shared by every frame of every motion: each (image, alpha plane) pair is read
// once and uploaded as one GL texture. GL thread only.
#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

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
