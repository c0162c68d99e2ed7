#pragma once
// One GLUT window with a depth buffer per test process (under Xvfb), shared by every GL suite, and
// helpers for a plain view and pixel read-back.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/glut_once.h"

namespace kelmo::testing_support {

constexpr int kGlWindowSize = 64;

// GLUT can be initialised once per process.
inline bool glWindowReady() {
    static const bool ready = [] {
        if (!glutStarted()) return false;
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(kGlWindowSize, kGlWindowSize);
        return glutCreateWindow("model_gl_test") > 0;
    }();
    return ready;
}

#define KELMO_REQUIRE_GL_WINDOW()                    \
    if (!::kelmo::testing_support::glWindowReady())  \
    GTEST_SKIP() << "needs an X display (run under " \
                    "xvfb-run)"

// x, y in [−1, 1], identity modelview, black and depth cleared.
inline void resetView() {
    glViewport(0, 0, kGlWindowSize, kGlWindowSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// RGB rows from the bottom; one pixel when w = h = 1.
inline std::vector<int> pixels(int x = 0, int y = 0, int w = kGlWindowSize, int h = kGlWindowSize) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return std::vector<int>(rgb.begin(), rgb.end());
}

}  // namespace kelmo::testing_support
