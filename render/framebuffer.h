#pragma once
// Off-screen framebuffers (GL_EXT_framebuffer_object) with a colour and a depth texture, and the
// manager that detects the extension and loads its entry points. GL thread only.
#include <GL/gl.h>

#include <memory>

#include "gl/extension_support.h"

namespace kelmo {

class Framebuffer {
public:
    // Builds the GL objects and leaves framebuffer 0 (the window) bound, pack and unpack alignment 1
    // and GL_TEXTURE_2D disabled. Builds nothing (every name 0) unless the entry points are loaded.
    // depthOnly switches the draw and read buffers off; the colour texture is made all the same.
    Framebuffer(int width, int height, bool depthOnly);
    // Deletes the GL objects and leaves framebuffer 0 and renderbuffer 0 bound.
    virtual ~Framebuffer();
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    // Binds this framebuffer; with name 0 the current binding stays.
    void bind() const;
    // Binds framebuffer 0, the window.
    static void unbind();

    int width() const { return width_; }
    int height() const { return height_; }
    GLuint framebuffer() const { return framebuffer_; }
    GLuint colourTexture() const { return colourTexture_; }
    GLuint depthTexture() const { return depthTexture_; }

private:
    int width_ = 0, height_ = 0;  // pixels, both textures
    GLuint framebuffer_ = 0;
    GLuint renderbuffer_ = 0;  // never made here; deleted if it ever is
    GLuint colourTexture_ = 0;
    GLuint depthTexture_ = 0;
};

// Supported when GL_EXT_framebuffer_object is advertised and its entry points are found.
class FramebufferManager : public ExtensionSupport {
public:
    FramebufferManager();  // needs the GLUT window

    // Null when not supported; the caller owns the result.
    std::unique_ptr<Framebuffer> createFramebuffer(int width, int height, bool depthOnly) const;
};

}  // namespace kelmo
