#include "tools/hidden_window.h"

#include <GL/freeglut.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

namespace kelmo {

bool openHiddenWindow(const char* name) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    Display* probe = XOpenDisplay(nullptr);
    if (probe == nullptr) return false;
    std::string program = name;
    int argc = 1;
    char* argv[] = {program.data(), nullptr};
    // The probe stays connected until GLUT is: an X server with no client left resets and refuses
    // connections for a moment.
    glutInit(&argc, argv);
    XCloseDisplay(probe);
    glutInitDisplayMode(GLUT_RGBA);
    glutInitWindowSize(1, 1);
    if (glutCreateWindow(name) <= 0) return false;
    glutDisplayFunc([] {});  // GLUT insists on one before it handles events
    glutHideWindow();
    glutMainLoopEvent();
    return true;
}

}  // namespace kelmo
