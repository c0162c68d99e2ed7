#pragma once
// The one GLUT window (with depth) that the render GL suites share, the managers made once for it,
// and small state and pixel helpers.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/framebuffer.h"
#include "render/shader_manager.h"
#include "tests/support/glut_once.h"

namespace kelmo::testing_support {

constexpr int kRenderWindowSize = 128;

inline bool renderWindowReady() {
    static const bool ready = [] {
        if (!glutStarted()) return false;
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(kRenderWindowSize, kRenderWindowSize);
        return glutCreateWindow("render_gl_test") > 0;
    }();
    return ready;
}

#define KELMO_REQUIRE_RENDER_WINDOW()                   \
    if (!::kelmo::testing_support::renderWindowReady()) \
    GTEST_SKIP() << "needs an X display (run under xvfb-run)"

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
    std::vector<uint8_t> rgb(static_cast<size_t>(kRenderWindowSize) * kRenderWindowSize * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kRenderWindowSize, kRenderWindowSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

}  // namespace kelmo::testing_support
