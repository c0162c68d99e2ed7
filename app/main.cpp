#include <GL/freeglut.h>

#include "app/frame_loop.h"
#include "platform/quit_signals.h"
#include "tracking/tracking.h"

int main(int argc, char** argv) {
    kelmo::printFeatureReport();
    kelmo::installQuitSignalHandlers();

    // The Wii Remote starts here, before the window: its pairing instructions come first.

    glutInit(&argc, argv);
    if (!kelmo::startUp()) return 1;
    glutCloseFunc(kelmo::onWindowClosed);
    kelmo::startMainLoop(kelmo::shutdown, nullptr, nullptr, kelmo::mainLoopStep);
    return 0;
}
