#pragma once
// GLUT may be initialised only once per process: every GL suite of a test binary goes through here.
#include <GL/freeglut.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdlib>

namespace kelmo::testing_support {

// False without an X display (the suite then skips); true once GLUT is ready.
inline bool glutStarted() {
    static const bool started = [] {
        if (std::getenv("DISPLAY") == nullptr) return false;
        // freeglut ends the process when the display does not answer at once; a busy virtual server
        // under a parallel sanitizer run sometimes needs a moment.
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (Display* display = XOpenDisplay(nullptr)) {
                XCloseDisplay(display);
                break;
            }
            usleep(100 * 1000);
        }
        int argc = 1;
        char name[] = "kelmo_gl_test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        return true;
    }();
    return started;
}

}  // namespace kelmo::testing_support
