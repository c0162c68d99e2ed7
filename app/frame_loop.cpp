#include "app/frame_loop.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <memory>

#include "app/character_controller.h"
#include "app/configuration.h"
#include "app/input_mapping.h"
#include "app/motion_sets.h"
#include "app/scene_drawing.h"
#include "model/mqo_loader.h"
#include "model/texture_pool.h"
#include "physics/physics_bodies.h"
#include "physics/physics_thread.h"
#include "physics/physics_world.h"
#include "movie/movie_player.h"
#include "movie/movie_screen.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/quit_signals.h"
#include "render/frame_renderer.h"
#include "render/framebuffer.h"
#include "synthetic/open_video_source.h"
#include "tracking/tracking.h"
#include "wiimote/wii_remote_input.h"

namespace kelmo {
namespace {

constexpr uint32_t kQuitPauseMs = 200;

bool shutDown = false;

const TrackingConfig* trackingConfig = nullptr;
const PhysicsConfig* physicsConfig = nullptr;
const MovieConfig* movieConfig = nullptr;

// Process-wide objects of the start-up order; shutdown releases them in its own order. Each may be
// null, which leaves its feature out.
RenderingObjects rendering;  // the light, the framebuffer and shader managers, the shadow program
TexturePool* texturePool = nullptr;
MqoLoader* modelLoader = nullptr;
std::unique_ptr<Framebuffer> renderTarget;  // the off-screen view shown over the movie

CharacterScene character;  // the motion sets, the current one and its frame, the projectiles

constexpr uint8_t kMovieAlpha = 127;  // the screen shows the camera image through the movie

// The frame's scene over the camera image; the light's view leaves out the overlay.
class MarkerScene : public FrameScene {
public:
    explicit MarkerScene(const SceneContents& contents) : contents_(contents) {}
    void drawBackground() override { drawVideoBackground(); }
    void drawScene(bool lightPass) override {
        SceneContents shown = contents_;
        if (lightPass) shown.overlayTexture = 0;
        kelmo::drawScene(kFloorHalfSize, shown);
    }

private:
    const SceneContents& contents_;
};

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
    std::string error, warning;
    if (!loadConfiguration(error, &warning)) {
        std::printf("%s\n", error.c_str());
        return false;
    }
    if (!warning.empty()) std::printf("%s\n", warning.c_str());
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
    const bool withMovie = movieConfig->file[0] != '\0';
    const int screenBricks = withMovie ? screenBrickCount(movieConfig->screenDivideW, movieConfig->screenDivideH) : 0;
    if (screenBricks > kMaxScreenBodies) {
        std::printf("Kelmo.ini [MOVIE]: SCREEN_DIVIDE_W %g x SCREEN_DIVIDE_H %g makes %d bricks; the physics world "
                    "holds at most %d\n",
                    movieConfig->screenDivideW, movieConfig->screenDivideH, screenBricks, kMaxScreenBodies);
        return false;
    }

    if (!initTracking(*trackingConfig, openVideoSource)) return false;
    rendering = createRenderingObjects();
    initPhysics(physicsConfig->gravity, screenBricks);
    movieInit(*movieConfig);

    texturePool = new TexturePool();
    modelLoader = new MqoLoader(texturePool);
    const MotionConfig* motions[kMotionSetCount];
    for (int i = 0; i < kMotionSetCount; ++i) motions[i] = getMotionConfig(i);
    std::vector<std::string> problems;
    std::vector<MotionRecord>& motionList = character.motions;
    if (!loadMotionSets(*modelLoader, motions, motionList, problems,
                        consoleIsTerminal() ? showLoadProgress : nullptr)) {
        for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
        return false;
    }
    if (!createProxyBodies(motionList, static_cast<float>(physicsConfig->modelMass), problems)) {
        for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
        return false;
    }
    stayValue = motionList[0].moveValue;
    walkValue = motionList[1].moveValue;
    runValue = motionList[2].moveValue;
    character.currentMotion = 0;
    addBody(motionList[0].body);
    std::fflush(stdout);
    return true;
}

void mainLoopStep() {
    if (quitSignalReceived()) quitProgram();
    if (captureAndDetect()) {
        // The character stands on the first pattern: until that one has a pose, show only the
        // camera image rather than a scene at an undefined matrix.
        movieRequest(static_cast<uint32_t>(steadyMilliseconds()), kMovieAlpha);
        if (patternHasPose(0)) {
            displayFrame();
        } else {
            drawVideoBackground();
        }
    }
    finishFrame();
}

namespace {

// On the first movie picture: the bricks, and the off-screen view at the picture's size.
void buildMovieScreen() {
    int width = 0, height = 0;
    movieFrameSize(width, height);
    const bool built = buildScreen(movieConfig->screenPosX, movieConfig->screenPosY, movieConfig->screenPosZ,
                                   movieConfig->screenSize, static_cast<float>(physicsConfig->screenMass), width,
                                   height, screenDivision(movieConfig->screenDivideW),
                                   screenDivision(movieConfig->screenDivideH));
    renderTarget.reset();
    if (built && rendering.framebuffers)
        renderTarget = rendering.framebuffers->createFramebuffer(width, height, false);
}

}  // namespace

void updateCharacter() {
    // The remote's buttons join the keys first, so a held D-pad direction wins over a key.
    applyWiiButtons();
    if (controlState.quitRequested) quitProgram();
    controlCharacter(character, controlState);
}

void displayFrame() {
    beginPhysicsFrame();
    updateCharacter();
    MotionRecord& motion = character.motions[static_cast<size_t>(character.currentMotion)];

    setDrawMode3D();
    double markerMatrix[16];
    getPatternMatrix(markerMatrix, 0);

    setUpFrameState();

    const unsigned int movieTexture = movieUploadFrame();
    if (movieTexture != 0 && !isScreenBuilt() && !screenRefused()) buildMovieScreen();

    SceneContents scene;
    scene.motion = &motion;
    scene.frame = character.currentFrame;
    scene.projectiles = &character.projectiles;
    scene.showAllBodies = controlState.physicsViewEnabled;
    scene.movieTexture = isScreenBuilt() ? movieTexture : 0;
    scene.overlayTexture = renderTarget ? renderTarget->colourTexture() : 0;
    if (renderTarget) drawTargetView(*renderTarget, scene);

    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(markerMatrix);
    double camera[3];
    if (getCameraPosition(camera, 0))
        setLaunchPoint(static_cast<float>(camera[0]), static_cast<float>(camera[1]), static_cast<float>(camera[2]));

    MarkerScene frameScene(scene);
    if (controlState.shadowsEnabled && rendering.shadow) {
        drawShadowedFrame(*rendering.shadow, frameScene);
    } else {
        drawLitFrame(rendering.light.get(), frameScene);
    }

    character.currentFrame = nextFrame(character.currentFrame, motion.sequence->frameCount());
    requestPhysicsStep(1);
}

namespace {

// Workers first, then the objects in their fixed order while the GL context still exists.
void releaseEverything() {
    movieShutdown();
    // The physics thread ends before the world goes; the bodies go with the world.
    exitPhysics();
    releaseScreen();
    character.projectiles.clear();
    stopWiiRemote();
    // The sequences' vertex buffers go before the loader, the pool and the window's GL context.
    character.motions.clear();
    delete modelLoader;
    modelLoader = nullptr;
    rendering.shadow.reset();
    rendering.shaders.reset();
    delete texturePool;
    texturePool = nullptr;
    rendering.light.reset();
    renderTarget.reset();
    rendering.framebuffers.reset();
}

}  // namespace

void shutdown() {
    if (shutDown) return;
    shutDown = true;
    releaseEverything();
    cleanupTracking();
}

void abandonStartUp() {
    if (shutDown) return;
    shutDown = true;
    releaseEverything();
}

void onWindowClosed() { quitProgram(); }

void quitProgram() {
    shutdown();
    sleepMilliseconds(kQuitPauseMs);
    std::exit(0);
}

}  // namespace kelmo
