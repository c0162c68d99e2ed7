#pragma once
// The render GL suites' window size, the managers made once for the window, and small state and pixel
// helpers.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/framebuffer.h"
#include "render/shader_manager.h"
#include "tests/support/gl_window.h"

namespace kelmo::testing_support {

constexpr int kRenderWindowSize = 128;

// Made on first use, after the window.
inline FramebufferManager& framebufferManager() {
    static FramebufferManager manager;
    return manager;
}
inline ShaderManager& shaderManager() {
    static ShaderManager manager;
    return manager;
}

inline GLint integerState(GLenum what) {
    GLint value = 0;
    glGetIntegerv(what, &value);
    return value;
}

inline std::vector<GLint> viewportState() {
    std::vector<GLint> v(4);
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

inline std::vector<double> matrixState(GLenum what) {
    std::vector<double> m(16);
    glGetDoublev(what, m.data());
    return m;
}

// RGB of the back buffer, rows from the bottom.
inline std::vector<uint8_t> windowPixels() {
    return backBufferRgb(0, 0, kRenderWindowSize, kRenderWindowSize);
}

}  // namespace kelmo::testing_support
