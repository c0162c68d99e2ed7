#include "tracking/tracking.h"

#include <GL/freeglut.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "tracking/gl_matrices.h"
#include "tracking/marker_detector.h"
#include "tracking/marker_pose.h"
#include "tracking/marker_selection.h"
#include "tracking/video_background.h"

namespace kelmo {
namespace {

constexpr uint32_t kNoImageSleepMs = 2;
constexpr int kThreshold = 100;
constexpr double kPatternCentre[2] = {0.0, 0.0};
constexpr uint32_t kStartupDisplayWaitMs = 500;

struct Tracker {
    std::unique_ptr<VideoSource> source;
    CameraParam param;  // scaled to the image size
    double projection[16] = {};
    TrackedPattern patterns[kPatternCount];
    PatternMatcher matcher;
    std::unique_ptr<MarkerDetector> detector;
    std::vector<MarkerInfo> markers;  // this frame's, reused to spare allocations
    std::unique_ptr<VideoBackground> background;
    const ImageView* currentImage = nullptr;  // owned by the source until finishFrame
    bool drewThisStep = false;
    int frameCount = 0;
    std::chrono::steady_clock::time_point firstImageTime;
    int windowWidth = 0;
    int windowHeight = 0;
    bool running = false;

    CleanupCallback cleanup = nullptr;
    MouseCallback mouse = nullptr;
    KeyboardCallback keyboard = nullptr;
    FrameCallback frame = nullptr;
};

Tracker tracker;

void onReshape(int width, int height) {
    tracker.windowWidth = width;
    tracker.windowHeight = height;
}

void openWindow(int width, int height) {
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH | GLUT_STENCIL);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(width, height);
    glutCreateWindow("Kelmo");
    tracker.windowWidth = width;
    tracker.windowHeight = height;
    glutReshapeFunc(onReshape);
}

// The first display clears the window before the camera takes over, then installs the frame loop.
void onStartupDisplay() {
    sleepMilliseconds(kStartupDisplayWaitMs);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 2; ++i) {
        glClear(GL_COLOR_BUFFER_BIT);
        glutSwapBuffers();
    }
    glutKeyboardFunc(tracker.keyboard);
    glutMouseFunc(tracker.mouse);
    glutDisplayFunc(tracker.frame);
    glutIdleFunc(tracker.frame);
}

}  // namespace

bool initTracking(const TrackingConfig& tracking, VideoSourceOpener open) {
    CameraConfig sourceConfig;
    std::string error;
    if (!parseCameraConfig(tracking.cameraConfig, sourceConfig, error)) {
        std::printf("Camera open error !! CAM_CON \"%s\": %s\n", tracking.cameraConfig, error.c_str());
        return false;
    }
    sourceConfig.cameraParamFile = tracking.cameraParamFile;
    std::unique_ptr<VideoSource> source = open(sourceConfig, error, MillisecondClock{});
    if (!source) {
        std::printf("Camera open error !! CAM_CON \"%s\": %s\n", tracking.cameraConfig, error.c_str());
        return false;
    }
    return initTrackingWithSource(tracking, std::move(source));
}

bool initTrackingWithSource(const TrackingConfig& tracking, std::unique_ptr<VideoSource> source) {
    const int width = source->width();
    const int height = source->height();
    std::printf("Image size (x,y) = (%d,%d)\n", width, height);

    CameraParam loaded;
    std::string error;
    if (!loadCameraParam(tracking.cameraParamFile, loaded, error)) {
        std::printf("Camera parameter load error !! %s: %s\n", tracking.cameraParamFile, error.c_str());
        return false;
    }
    // The parameters are scaled by the width alone, so another aspect leaves the vertical focal length
    // wrong (a 16:9 camera with a 4:3 calibration).
    if (std::abs(static_cast<double>(width) * loaded.ysize - static_cast<double>(height) * loaded.xsize) >
        0.01 * static_cast<double>(height) * loaded.xsize)
        std::printf(
            "Warning: the camera image %dx%d has another aspect than CAM_PARA %s (%dx%d): the vertical "
            "focal length will be wrong; calibrate the camera at this image size\n",
            width, height, tracking.cameraParamFile, loaded.xsize, loaded.ysize);
    tracker.param = changeCameraParamSize(loaded, width, height);
    if (!cameraProjection(tracker.param, tracker.projection)) {
        std::printf("Camera parameter load error !! %s: the camera matrix gives no projection\n",
                    tracking.cameraParamFile);
        return false;
    }
    std::printf("*** Camera Parameter ***\n%s", formatCameraParam(tracker.param).c_str());

    tracker.matcher = PatternMatcher();
    for (int i = 0; i < kPatternCount; ++i) {
        TrackedPattern& slot = tracker.patterns[i];
        slot = TrackedPattern{};
        const PatternConfig& configured = tracking.patterns[i];
        if (configured.file[0] == '\0') continue;
        PatternData pattern;
        if (!loadPatternFile(configured.file, pattern, error)) {
            std::printf("%s: %s\npattern load error !!\n", configured.file, error.c_str());
            continue;
        }
        slot.id = tracker.matcher.add(pattern);
        slot.width = configured.width;
    }
    if (tracker.patterns[0].id == -1) {
        const char* file = tracking.patterns[0].file;
        std::printf(
            "Kelmo.ini [ARToolKit]: FILE_PAT1 %s%s%s; the character needs pattern 1, so only the camera "
            "image will show\n",
            file[0] == '\0' ? "is empty" : "\"", file, file[0] == '\0' ? "" : "\" could not be loaded");
    }
    tracker.detector = std::make_unique<MarkerDetector>(tracker.param, tracker.matcher);

    tracker.source = std::move(source);
    tracker.frameCount = 0;
    openWindow(width, height);
    tracker.background = std::make_unique<VideoBackground>(tracker.param);
    std::fflush(stdout);
    return true;
}

bool captureAndDetect() {
    tracker.drewThisStep = false;
    if (!tracker.source) return false;
    const ImageView* image = tracker.source->getImage();
    if (image == nullptr) {
        sleepMilliseconds(kNoImageSleepMs);
        return false;
    }
    if (tracker.frameCount == 0) tracker.firstImageTime = std::chrono::steady_clock::now();
    ++tracker.frameCount;
    tracker.drewThisStep = true;

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!tracker.detector->detect(*image, kThreshold, tracker.markers)) {
        std::printf(
            "Marker detection error !! the camera image is %dx%d, the camera parameters are for %dx%d\n",
            image->width, image->height, tracker.param.xsize, tracker.param.ysize);
        if (tracker.cleanup) tracker.cleanup();
        std::exit(1);
    }
    tracker.currentImage = image;

    int slotIds[kPatternCount];
    for (int j = 0; j < kPatternCount; ++j) slotIds[j] = tracker.patterns[j].id;
    int best[kPatternCount];
    selectBestMarkers(tracker.markers, slotIds, kMinConfidence, best);

    // Each frame's pose comes from that frame alone; a slot keeps its last pose while unseen.
    bool found = false;
    for (int j = 0; j < kPatternCount; ++j) {
        if (best[j] == -1) continue;
        TrackedPattern& slot = tracker.patterns[j];
        found = true;
        if (markerTransform(tracker.param, tracker.markers[static_cast<size_t>(best[j])], kPatternCentre,
                            slot.width, slot.transform) >= 0.0)
            slot.visible = true;
    }
    if (!found)
        for (const TrackedPattern& slot : tracker.patterns) found = found || slot.visible;
    if (found) return true;
    drawVideoBackground();
    return false;
}

void finishFrame() {
    if (tracker.source) tracker.source->releaseImage();
    tracker.currentImage = nullptr;
    // Swap only after drawing: the back buffer's content is undefined after a swap.
    if (tracker.drewThisStep) glutSwapBuffers();
    tracker.drewThisStep = false;
}

void drawVideoBackground() {
    const GLenum switches[] = {GL_LIGHTING, GL_ALPHA_TEST, GL_BLEND, GL_CULL_FACE};
    bool wasOn[4];
    for (int i = 0; i < 4; ++i) {
        wasOn[i] = glIsEnabled(switches[i]) == GL_TRUE;
        glDisable(switches[i]);
    }
    glColor3f(0.8f, 0.8f, 0.8f);
    if (tracker.background && tracker.currentImage)
        tracker.background->draw(*tracker.currentImage, tracker.windowWidth, tracker.windowHeight);
    setDrawMode3D();
    for (int i = 0; i < 4; ++i)
        if (wasOn[i]) glEnable(switches[i]);
}

void setDrawMode3D() {
    // The image area is the top-left of the window at the image size.
    glViewport(0, tracker.windowHeight - tracker.param.ysize, tracker.param.xsize, tracker.param.ysize);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(tracker.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void startMainLoop(CleanupCallback cleanup, MouseCallback mouse, KeyboardCallback keyboard,
                   FrameCallback frame) {
    tracker.cleanup = cleanup;
    tracker.mouse = mouse;
    tracker.keyboard = keyboard;
    tracker.frame = frame;
    if (tracker.source) {
        tracker.source->start();
        tracker.running = true;
    }
    glutDisplayFunc(onStartupDisplay);
    glutMainLoop();
}

void cleanupTracking() {
    if (!tracker.source) return;
    double seconds = 0.0;
    if (tracker.frameCount > 0)
        seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - tracker.firstImageTime).count();
    std::printf("*** %f (frame/sec)\n", seconds > 0.0 ? tracker.frameCount / seconds : 0.0);
    std::fflush(stdout);
    if (tracker.running) tracker.source->stop();
    tracker.running = false;
    tracker.currentImage = nullptr;
    tracker.source.reset();
    tracker.background.reset();
}

bool getPatternMatrix(double out[16], int index) {
    if (!patternHasPose(index)) return false;
    modelviewFromTransform(tracker.patterns[index].transform, out);
    return true;
}

bool getCameraPosition(double out[3], int index) {
    if (!patternHasPose(index)) return false;
    cameraPositionInMarker(tracker.patterns[index].transform, out);
    return true;
}

bool patternHasPose(int index) {
    return index >= 0 && index < kPatternCount && tracker.patterns[index].id != -1 &&
           tracker.patterns[index].visible;
}

const std::vector<MarkerInfo>& detectedMarkers() { return tracker.markers; }

const TrackedPattern* trackedPatterns() { return tracker.patterns; }
const CameraParam& cameraParam() { return tracker.param; }
int trackedFrameCount() { return tracker.frameCount; }

}  // namespace kelmo
