#pragma once
// The GL window of a test or benchmark process (under Xvfb): GLUT started once, one double-buffered
// window with a depth buffer shared by every GL suite of the binary, and the view and read-back helpers
// the suites draw and check with. Needs no GoogleTest, so the benchmarks use it too.
#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace kelmo::testing_support {

// GLUT may be initialised only once per process. False without an X display (the suite then skips).
inline bool glutStarted() {
    static const bool started = [] {
        if (std::getenv("DISPLAY") == nullptr) return false;
        int argc = 1;
        char name[] = "kelmo_gl_test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        return true;
    }();
    return started;
}

// The window, width × height pixels, made by the first call; every later call answers as the first did.
inline bool glWindowReady(int width, int height) {
    static const bool ready = [width, height] {
        if (!glutStarted()) return false;
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(width, height);
        return glutCreateWindow("kelmo_gl_test") > 0;
    }();
    return ready;
}

// In a GoogleTest case or SetUp: skips unless the size × size window is there.
#define KELMO_REQUIRE_GL_WINDOW(size)                         \
    if (!::kelmo::testing_support::glWindowReady(size, size)) \
    GTEST_SKIP() << "needs an X display (run under xvfb-run)"

// The whole size × size window showing x and y in [−half, half] and z in [−depth, depth]; identity
// modelview.
inline void orthoView(int size, double half, double depth) {
    glViewport(0, 0, size, size);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-half, half, -half, half, -depth, depth);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// A perspective camera over the whole width × height window: at eye, looking at centre, z up.
inline void perspectiveCamera(int width, int height, double fovy, double zNear, double zFar,
                              const double eye[3], const double centre[3]) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fovy, static_cast<double>(width) / height, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye[0], eye[1], eye[2], centre[0], centre[1], centre[2], 0.0, 0.0, 1.0);
}

// Until endFullWindow: unlit, no depth test or depth writes, identity matrices, so what is drawn in
// (−1, −1)–(1, 1) covers the window behind everything, as a camera image does.
inline void beginFullWindow() {
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

// Puts back what beginFullWindow changed; the modelview matrix is current.
inline void endFullWindow() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

// The square (−1, −1)–(1, 1) with texture coordinates 0 to 1 across it.
inline void texturedSquare() {
    glBegin(GL_QUADS);
    glTexCoord2d(0, 0), glVertex2d(-1, -1);
    glTexCoord2d(1, 0), glVertex2d(1, -1);
    glTexCoord2d(1, 1), glVertex2d(1, 1);
    glTexCoord2d(0, 1), glVertex2d(-1, 1);
    glEnd();
}

// RGB of the back buffer, rows from the bottom.
inline std::vector<uint8_t> backBufferRgb(int x, int y, int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

// A width × height RGBA texture (rows from t = 0) with nearest filtering; left unbound.
inline GLuint nearestTexture(int width, int height, const uint8_t* rgba) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

}  // namespace kelmo::testing_support
