// The texture pool: one GL texture per (image, alpha plane) pair, kept until the pool goes.
#include "model/texture_pool.h"

#include <GL/gl.h>

#include "model/image_reader.h"

namespace kelmo {

TexturePool::~TexturePool() {
    for (const TextureEntry& entry : entries_) {
        const GLuint texture = entry.texture;
        glDeleteTextures(1, &texture);
    }
    entries_.clear();
}

uint32_t TexturePool::getTexture(std::string& imagePath, std::string& alphaPath) {
    // An empty path matches any stored one, so (image, none) finds the texture that has an alpha plane.
    for (const TextureEntry& entry : entries_) {
        if ((imagePath.empty() || imagePath == entry.imagePath) &&
            (alphaPath.empty() || alphaPath == entry.alphaPath))
            return entry.texture;
    }
    RgbaImage image;
    if (!readImage(imagePath, alphaPath, image)) return 0;
    // Beyond the limit glTexImage2D fails and the material would be drawn black.
    GLint limit = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
    if (maxEdge_ > 0 && maxEdge_ < limit) limit = maxEdge_;
    if (image.size > limit) {
        printTextureReadError(imagePath);
        return 0;
    }

    TextureEntry entry;
    entry.size = image.size;
    entry.imagePath = imagePath;  // as rewritten, so a request under the old name reads again
    entry.alphaPath = alphaPath;

    // Rows of any width are tightly packed.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.size, image.size, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    entry.texture = texture;

    image = RgbaImage{};
    entries_.push_back(std::move(entry));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    return texture;
}

}  // namespace kelmo
