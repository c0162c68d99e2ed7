// The frame-level tracking rules with real detection: pattern slots, poses that persist, and which
// slot has a matrix, on rendered camera images.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "synthetic/synthetic_scene.h"
#include "tests/support/gl_window.h"
#include "tests/support/memory_camera.h"
#include "tests/tracking/quiet_tracker.h"
#include "tracking/tracking.h"

namespace kelmo {
namespace {

using testing_support::MemoryCamera;

const std::string kFixtures = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";

void setText(char (&field)[256], const std::string& text) {
    std::strncpy(field, text.c_str(), sizeof field - 1);
    field[sizeof field - 1] = '\0';
}

TrackingConfig slotsConfig() {
    TrackingConfig config;
    std::memset(&config, 0, sizeof config);
    setText(config.cameraParamFile, kFixtures + "camera_para.dat");
    setText(config.patterns[0].file, kFixtures + "no-such.patt");
    setText(config.patterns[1].file, kFixtures + "patt.kanji");
    setText(config.patterns[2].file, kFixtures + "patt.hiro");
    for (PatternConfig& p : config.patterns) p.width = 80.0;
    return config;
}

// Slot 0: a file that does not exist; slot 1: Kanji; slot 2: Hiro, 80 wide. The camera shows Hiro.
// The images are rendered once; each case starts a fresh tracker, since a pattern once seen keeps
// its pose and no case may depend on what an earlier one showed.
class TrackedSlots : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const TrackingConfig config = slotsConfig();
        CameraParam camera;
        std::string error;
        PatternData hiro;
        if (!loadCameraParam(config.cameraParamFile, camera, error) ||
            !loadPatternFile(config.patterns[2].file, hiro, error))
            return;
        auto scene = SyntheticScene::create(camera, syntheticMarkerFromPattern(hiro, 80.0), error);
        // Seen from above and a little aside, 450 away, tilted 20°.
        const double c = std::cos(20 * M_PI / 180), s = std::sin(20 * M_PI / 180);
        const double pose[3][4] = {{1, 0, 0, 12}, {0, -c, -s, 8}, {0, s, -c, 450}};
        BgrImage image;
        renderSyntheticFrame(*scene, pose, 1.0, 1, 0, image, truth);
        withMarker = new std::vector<uint8_t>(image.pixels);
        // Turned away: only desk.
        const double away[3][4] = {{1, 0, 0, -600}, {0, -c, -s, 8}, {0, s, -c, 450}};
        SyntheticTruth none;
        renderSyntheticFrame(*scene, away, 1.0, 1, 1, image, none);
        withoutMarker = new std::vector<uint8_t>(image.pixels);
        imageWidth = camera.xsize;
        imageHeight = camera.ysize;
    }
    void SetUp() override {
        if (!testing_support::glutStarted()) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        ASSERT_NE(withMarker, nullptr) << "the fixtures did not load";
        camera_ = new MemoryCamera(imageWidth, imageHeight);
        const bool initialised = testing_support::initTrackingCapturing(
            slotsConfig(), std::unique_ptr<VideoSource>(camera_), console);
        ASSERT_TRUE(initialised) << console;
    }
    void TearDown() override {
        if (camera_ == nullptr) return;
        testing_support::cleanupTrackingQuietly();
        camera_ = nullptr;
    }

    static bool show(const std::vector<uint8_t>* frame) {
        camera_->frame = frame;
        const bool posed = captureAndDetect();
        finishFrame();
        return posed;
    }

    static inline SyntheticTruth truth;
    static inline std::vector<uint8_t>* withMarker = nullptr;
    static inline std::vector<uint8_t>* withoutMarker = nullptr;
    static inline int imageWidth = 0;
    static inline int imageHeight = 0;
    static inline MemoryCamera* camera_ = nullptr;  // owned by the tracker
    static inline std::string console;
};

TEST_F(TrackedSlots, UnloadablePatternLeavesItsSlotUnused) {
    EXPECT_NE(console.find("no-such.patt"), std::string::npos) << console;
    EXPECT_NE(console.find("pattern load error !!\n"), std::string::npos) << console;
    const TrackedPattern* slots = trackedPatterns();
    EXPECT_EQ(slots[0].id, -1);
    EXPECT_EQ(slots[1].id, 0);  // ids count the patterns that loaded
    EXPECT_EQ(slots[2].id, 1);
    EXPECT_EQ(slots[2].width, 80.0);
    for (int j = 3; j < kPatternCount; ++j) EXPECT_EQ(slots[j].id, -1);
}

TEST_F(TrackedSlots, NoMarkerYetMeansNoPose) {
    EXPECT_FALSE(show(withoutMarker));
    for (int j = 0; j < kPatternCount; ++j) EXPECT_FALSE(patternHasPose(j)) << j;
}

TEST_F(TrackedSlots, OnlySlotTwoSeenGivesAPoseButNoMatrixForSlotZero) {
    EXPECT_TRUE(show(withMarker));
    EXPECT_TRUE(patternHasPose(2));
    EXPECT_FALSE(patternHasPose(0));
    EXPECT_FALSE(patternHasPose(1));

    double untouched[16];
    std::fill(std::begin(untouched), std::end(untouched), 7.0);
    EXPECT_FALSE(getPatternMatrix(untouched, 0));
    EXPECT_FALSE(getPatternMatrix(untouched, 10));
    EXPECT_FALSE(getPatternMatrix(untouched, -1));
    for (double v : untouched) EXPECT_EQ(v, 7.0);

    double m[16];
    ASSERT_TRUE(getPatternMatrix(m, 2));
    // Column-major: the translation is the last column; the true one is (12, 8, 450).
    EXPECT_NEAR(m[12], 12.0, 1.0);
    EXPECT_NEAR(m[13], 8.0, 1.0);
    EXPECT_NEAR(m[14], 450.0, 3.0);
    EXPECT_EQ(m[15], 1.0);

    double eye[3];
    ASSERT_TRUE(getCameraPosition(eye, 2));
    EXPECT_NEAR(std::hypot(eye[0], eye[1], eye[2]), std::hypot(12.0, 8.0, 450.0), 3.0);
    EXPECT_GT(eye[2], 0.0) << "the camera is above the marker";
}

TEST_F(TrackedSlots, ACoveredMarkerKeepsItsLastPose) {
    ASSERT_TRUE(show(withMarker));
    double before[16], after[16];
    ASSERT_TRUE(getPatternMatrix(before, 2));
    EXPECT_TRUE(show(withoutMarker)) << "seen once, the pattern keeps a pose";
    ASSERT_TRUE(getPatternMatrix(after, 2));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << i;
}

}  // namespace
}  // namespace kelmo
