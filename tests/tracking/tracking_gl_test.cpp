// The tracker's window, background drawing and 3D mode against the real GL driver (under Xvfb).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "tests/support/gl_window.h"
#include "tests/support/memory_camera.h"
#include "tests/tracking/quiet_tracker.h"
#include "tracking/gl_matrices.h"
#include "tracking/tracking.h"

namespace kelmo {
namespace {

using testing_support::MemoryCamera;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Image: grey, with a blue block whose top-left corner is at observed pixel (40, 30), 20 px wide.
std::vector<uint8_t> testImage() {
    std::vector<uint8_t> pixels(kWidth * kHeight * 3, 100);
    for (int y = 30; y < 50; ++y)
        for (int x = 40; x < 60; ++x) {
            uint8_t* p = &pixels[static_cast<size_t>((y * kWidth + x) * 3)];
            p[0] = 250, p[1] = 20, p[2] = 20;  // BGR
        }
    return pixels;
}

std::string sampleCameraFile() { return std::string(KELMO_FIXTURES_DIR) + "/artoolkit/camera_para.dat"; }

TrackingConfig configWithCameraFile(const std::string& path) {
    TrackingConfig config;
    std::memset(&config, 0, sizeof config);
    std::strncpy(config.cameraParamFile, path.c_str(), sizeof config.cameraParamFile - 1);
    return config;
}

void readPixel(int x, int windowRow, uint8_t rgb[3]) {
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, windowRow, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}

// A fresh tracker for each case, so that none depends on what an earlier one did to it (the
// clean-up case closes the camera). Each tracker opens its own window, which becomes the current one.
class TrackerWindow : public testing::Test {
protected:
    void SetUp() override {
        if (!testing_support::glutStarted()) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        pixels = testImage();
        camera = new MemoryCamera(kWidth, kHeight);
        camera->frame = &pixels;
        const bool initialised = testing_support::initTrackingCapturing(
            configWithCameraFile(sampleCameraFile()), std::unique_ptr<VideoSource>(camera), console);
        ASSERT_TRUE(initialised) << console;
    }
    void TearDown() override {
        if (camera != nullptr) testing_support::cleanupTrackingQuietly();
    }
    std::vector<uint8_t> pixels;
    MemoryCamera* camera = nullptr;  // owned by the tracker
    std::string console;
};

TEST_F(TrackerWindow, StartUpPrintsTheImageSizeAndScaledParameters) {
    EXPECT_EQ(console.rfind("Image size (x,y) = (320,240)\n*** Camera Parameter ***\n", 0), 0u) << console;
    EXPECT_NE(console.find("SIZE = 320, 240\n"), std::string::npos) << console;
    EXPECT_NE(console.find("350.47574 0.00000 158.25000 0.00000 \n"), std::string::npos) << console;
    EXPECT_EQ(cameraParam().xsize, 320);
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), kWidth);
    EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), kHeight);
    // The 4:3 camera matches the 640 x 480 parameters; FILE_PAT1 is not set.
    EXPECT_EQ(console.find("aspect"), std::string::npos) << console;
    EXPECT_NE(
        console.find("Kelmo.ini [ARToolKit]: FILE_PAT1 is empty; the character needs pattern 1, so only "
                     "the camera image will show\n"),
        std::string::npos)
        << console;
}

TEST_F(TrackerWindow, WithoutAPoseTheUndistortedCameraImageIsDrawn) {
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    EXPECT_FALSE(captureAndDetect());

    // Where the lens model puts observed pixel (50, 40), the middle of the block, the block shows.
    double ix, iy;
    observedToIdeal(cameraParam(), 50.0, 40.0, ix, iy);
    uint8_t rgb[3];
    readPixel(static_cast<int>(ix), kHeight - 1 - static_cast<int>(iy), rgb);
    EXPECT_GT(rgb[2], 200) << "blue";
    EXPECT_LT(rgb[0], 60) << "red";
    // Far from the block the grey background shows, through the colour-independent texture.
    readPixel(250, 60, rgb);
    EXPECT_NEAR(rgb[0], 100, 3);

    // The block's corner is moved by the undistortion: it is no longer at its observed place.
    EXPECT_GT(std::abs(ix - 50.0) + std::abs(iy - 40.0), 1.0);

    // The switches the background turns off come back as they were.
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    finishFrame();
    EXPECT_GE(trackedFrameCount(), 1);
}

TEST_F(TrackerWindow, NoImageReadyDrawsNothingAndCountsNothing) {
    const int before = trackedFrameCount();
    camera->ready = false;
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_FALSE(captureAndDetect());
    uint8_t rgb[3];
    readPixel(160, 120, rgb);
    EXPECT_EQ(rgb[1], 255) << "the back buffer is untouched";
    finishFrame();
    camera->ready = true;
    EXPECT_EQ(trackedFrameCount(), before);
}

TEST_F(TrackerWindow, DrawMode3DLoadsTheCameraProjection) {
    setDrawMode3D();
    double loaded[16], expected[16];
    glGetDoublev(GL_PROJECTION_MATRIX, loaded);
    ASSERT_TRUE(cameraProjection(cameraParam(), expected));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(loaded[i], expected[i], 1e-4 * (1 + std::abs(expected[i]))) << i;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], kWidth);
    EXPECT_EQ(viewport[3], kHeight);
    double modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    EXPECT_EQ(modelview[0], 1.0);
    EXPECT_EQ(modelview[12], 0.0);
}

TEST_F(TrackerWindow, CleanupReportsTheFrameRateOnce) {
    EXPECT_FALSE(captureAndDetect());
    finishFrame();
    testing::internal::CaptureStdout();
    cleanupTracking();
    cleanupTracking();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("*** ", 0), 0u) << out;
    EXPECT_NE(out.find(" (frame/sec)\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("***", 3), std::string::npos) << "printed twice: " << out;
}

// A 16:9 camera with 4:3 parameters, and a pattern 1 that cannot be loaded: a line for each, and the
// start-up goes on.
TEST(TrackerStartUp, WarnsOfAnotherAspectAndAnUnusablePatternOne) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    ASSERT_TRUE(testing_support::glutStarted());
    TrackingConfig config = configWithCameraFile(sampleCameraFile());
    std::strcpy(config.patterns[0].file, "no-such.patt");
    std::string console;
    const bool initialised =
        testing_support::initTrackingCapturing(config, std::make_unique<MemoryCamera>(320, 180), console);
    ASSERT_TRUE(initialised) << console;
    EXPECT_NE(console.find(
                  "Warning: the camera image 320x180 has another aspect than CAM_PARA " + sampleCameraFile() +
                  " (640x480): the vertical focal length will be wrong; calibrate the camera at this "
                  "image size\n"),
              std::string::npos)
        << console;
    EXPECT_NE(
        console.find("pattern load error !!\nKelmo.ini [ARToolKit]: FILE_PAT1 \"no-such.patt\" could not "
                     "be loaded; the character needs pattern 1, so only the camera image will show\n"),
        std::string::npos)
        << console;
    cleanupTracking();
}

}  // namespace
}  // namespace kelmo
