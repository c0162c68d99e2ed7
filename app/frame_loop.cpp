#include "app/frame_loop.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/configuration.h"
#include "app/motion_sets.h"
#include "model/mqo_loader.h"
#include "model/texture_pool.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/quit_signals.h"
#include "tracking/tracking.h"

namespace kelmo {
namespace {

constexpr uint32_t kQuitPauseMs = 200;

bool shutDown = false;

const TrackingConfig* trackingConfig = nullptr;
const PhysicsConfig* physicsConfig = nullptr;
const MovieConfig* movieConfig = nullptr;

// Process-wide objects of the start-up order; shutdown releases them in its own order.
TexturePool* texturePool = nullptr;
MqoLoader* modelLoader = nullptr;

std::vector<MotionRecord> motionList;  // 0 stay, 1 walk, 2 run
int currentMotion = 0;
uint32_t currentFrame = 0;  // frame of the current motion to draw next
double stayValue = 0.0, walkValue = 20.0, runValue = 40.0;

// On a terminal, a sequence that takes a while to load shows how far it got.
void showLoadProgress(const char* section, long done, long total) {
    std::printf("\rloading [%s] %ld/%ld", section, done, total);
    if (done == total) std::printf("\n");
    std::fflush(stdout);
}

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

    if (!initTracking(*trackingConfig)) return false;

    texturePool = new TexturePool();
    modelLoader = new MqoLoader(texturePool);
    const MotionConfig* motions[kMotionSetCount];
    for (int i = 0; i < kMotionSetCount; ++i) motions[i] = getMotionConfig(i);
    std::vector<std::string> problems;
    if (!loadMotionSets(*modelLoader, motions, motionList, problems,
                        consoleIsTerminal() ? showLoadProgress : nullptr)) {
        for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
        return false;
    }
    stayValue = motionList[0].moveValue;
    walkValue = motionList[1].moveValue;
    runValue = motionList[2].moveValue;
    currentMotion = 0;
    std::fflush(stdout);
    return true;
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
    MotionRecord& motion = motionList[static_cast<size_t>(currentMotion)];
    motion.sequence->drawFrame(currentFrame, 255);

    currentFrame = nextFrame(currentFrame, motion.sequence->frameCount());
}

void shutdown() {
    if (shutDown) return;
    shutDown = true;
    // The sequences' vertex buffers go before the loader, the pool and the window's GL context.
    motionList.clear();
    delete modelLoader;
    modelLoader = nullptr;
    delete texturePool;
    texturePool = nullptr;
    cleanupTracking();
}

void onWindowClosed() { quitProgram(); }

void quitProgram() {
    shutdown();
    sleepMilliseconds(kQuitPauseMs);
    std::exit(0);
}

}  // namespace kelmo
