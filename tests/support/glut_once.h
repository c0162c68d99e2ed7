#pragma once
// GLUT may be initialised only once per process: every GL suite of a test binary goes through here.
#include <GL/freeglut.h>

#include <cstdlib>

namespace kelmo::testing_support {

// False without an X display (the suite then skips); true once GLUT is ready.
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

}  // namespace kelmo::testing_support
