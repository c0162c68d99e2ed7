#include <GL/freeglut.h>

#include "app/frame_loop.h"
#include "app/input_mapping.h"
#include "platform/quit_signals.h"
#include "tracking/tracking.h"
#include "wiimote/wii_remote_input.h"

int main(int argc, char** argv) {
    kelmo::printFeatureReport();
    kelmo::installQuitSignalHandlers();

    // The remote starts before the window: its pairing instructions come first.
    kelmo::initWiiRemote();

    glutInit(&argc, argv);
    if (!kelmo::startUp()) {
        kelmo::abandonStartUp();
        return 1;
    }
    glutCloseFunc(kelmo::onWindowClosed);
    kelmo::startMainLoop(kelmo::shutdown, nullptr, kelmo::onKeyboard, kelmo::mainLoopStep);
    return 0;
}
