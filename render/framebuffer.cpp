#include "render/framebuffer.h"

#include "gl/entry_points.h"

namespace kelmo {

namespace {

// Defines an empty level 0 of the bound texture with linear filters.
void defineTexture(GLint alignment, GLint wrap, GLenum format, GLenum type, int width, int height) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    if (format == GL_DEPTH_COMPONENT) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_COMPARE_R_TO_TEXTURE_ARB);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, GL_LEQUAL);
        glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE_ARB, GL_LUMINANCE);
    }
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format, type, nullptr);
}

GLuint makeTexture(GLint alignment, GLint wrap, GLenum format, GLenum type, int width, int height) {
    GLuint name = 0;
    glEnable(GL_TEXTURE_2D);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    defineTexture(alignment, wrap, format, type, width, height);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    return name;
}

}  // namespace

Framebuffer::Framebuffer(int width, int height, bool depthOnly) : width_(width), height_(height) {
    const ExtensionEntryPoints& fb = glExt;
    if (!fb.complete(ExtensionFamily::framebuffers)) return;
    fb.genFramebuffers(1, &framebuffer_);
    fb.bindFramebuffer(GL_FRAMEBUFFER_EXT, framebuffer_);

    colourTexture_ = makeTexture(4, GL_CLAMP, GL_RGBA, GL_UNSIGNED_BYTE, width, height);
    if (colourTexture_ != 0)
        fb.framebufferTexture2D(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, colourTexture_,
                                0);

    depthTexture_ = makeTexture(1, GL_CLAMP_TO_EDGE, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, width, height);
    if (depthTexture_ != 0)
        fb.framebufferTexture2D(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, depthTexture_, 0);

    if (depthOnly) {
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
    }
    fb.bindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
}

Framebuffer::~Framebuffer() {
    const ExtensionEntryPoints& fb = glExt;
    if (fb.complete(ExtensionFamily::framebuffers)) {
        fb.bindFramebuffer(GL_FRAMEBUFFER_EXT, framebuffer_);
        if (framebuffer_ != 0) {
            fb.framebufferTexture2D(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, 0, 0);
            fb.framebufferTexture2D(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, 0, 0);
        }
        fb.bindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
        fb.bindRenderbuffer(GL_RENDERBUFFER_EXT, 0);
        if (framebuffer_ != 0) fb.deleteFramebuffers(1, &framebuffer_);
        if (renderbuffer_ != 0) fb.deleteRenderbuffers(1, &renderbuffer_);
    }
    if (colourTexture_ != 0) glDeleteTextures(1, &colourTexture_);
    if (depthTexture_ != 0) glDeleteTextures(1, &depthTexture_);
}

void Framebuffer::bind() const {
    if (framebuffer_ != 0) glExt.bindFramebuffer(GL_FRAMEBUFFER_EXT, framebuffer_);
}

void Framebuffer::unbind() {
    if (glExt.bindFramebuffer != nullptr) glExt.bindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
}

FramebufferManager::FramebufferManager()
    : ExtensionSupport(ExtensionFamily::framebuffers, {"GL_EXT_framebuffer_object"}) {}

std::unique_ptr<Framebuffer> FramebufferManager::createFramebuffer(int width, int height,
                                                                   bool depthOnly) const {
    if (!supported()) return nullptr;
    return std::make_unique<Framebuffer>(width, height, depthOnly);
}

}  // namespace kelmo
