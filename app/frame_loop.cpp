#include "app/frame_loop.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/configuration.h"
#include "platform/clock.h"
#include "platform/quit_signals.h"
#include "tracking/tracking.h"

namespace kelmo {
namespace {

constexpr uint32_t kQuitPauseMs = 200;

bool shutDown = false;

const TrackingConfig* trackingConfig = nullptr;
const PhysicsConfig* physicsConfig = nullptr;
const MovieConfig* movieConfig = nullptr;

}  // namespace

void printFeatureReport() {
    const char* const use = "Use    ";
    std::printf("%s\tARToolKit\n", use);
    std::printf("%s\tBullet\n", use);
    std::printf("%s\tWii Remote\n", use);
    std::printf("%s\tMovie\n", use);
    std::fflush(stdout);
}

bool startUp() {
    std::string error;
    if (!loadConfiguration(error)) {
        std::printf("%s\n", error.c_str());
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        const std::string problem = motionSequenceProblem(i);
        if (!problem.empty()) {
            std::printf("%s\n", problem.c_str());
            return false;
        }
    }
    trackingConfig = getTrackingConfig();
    physicsConfig = getPhysicsConfig();
    movieConfig = getMovieConfig();

    return initTracking(*trackingConfig);
}

void mainLoopStep() {
    if (quitSignalReceived()) quitProgram();
    if (captureAndDetect()) {
        // The character stands on the first pattern: until that one has a pose, show only the
        // camera image rather than a scene at an undefined matrix.
        if (patternHasPose(0)) {
            displayFrame();
        } else {
            drawVideoBackground();
        }
    }
    finishFrame();
}

void displayFrame() {
    setDrawMode3D();
    double markerMatrix[16];
    getPatternMatrix(markerMatrix, 0);

    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    drawVideoBackground();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(markerMatrix);
}

void shutdown() {
    if (shutDown) return;
    shutDown = true;
    cleanupTracking();
}

void onWindowClosed() { quitProgram(); }

void quitProgram() {
    shutdown();
    sleepMilliseconds(kQuitPauseMs);
    std::exit(0);
}

}  // namespace kelmo
