#include "synthetic/synthetic_camera.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "synthetic/open_video_source.h"
#include "tests/tracking/manual_clock.h"

namespace kelmo {
namespace {

const std::string kFixtures = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";
const std::string kCameraFile = kFixtures + "camera_para.dat";

TEST(SyntheticOptions, EveryOptionIsRead) {
    SyntheticOptions options;
    std::string error;
    ASSERT_TRUE(parseSyntheticOptions(
        "pattern=data/patt.hiro  width=40.5\tfps=15 noise=2.5 seed=18446744073709551615 "
        "path=frontal size=320x240 param=cam.dat",
        options, error))
        << error;
    EXPECT_EQ(options.patternFile, "data/patt.hiro");
    EXPECT_EQ(options.width, 40.5);
    EXPECT_EQ(options.framesPerSecond, 15.0);
    EXPECT_EQ(options.noise, 2.5);
    EXPECT_EQ(options.seed, UINT64_MAX);
    EXPECT_EQ(options.path, SyntheticPath::Frontal);
    EXPECT_EQ(options.imageWidth, 320);
    EXPECT_EQ(options.imageHeight, 240);
    EXPECT_EQ(options.cameraParamFile, "cam.dat");
    ASSERT_TRUE(parseSyntheticOptions("marker=card.png path=still", options, error)) << error;
    EXPECT_EQ(options.markerImage, "card.png");
    EXPECT_EQ(options.path, SyntheticPath::Still);
}

TEST(SyntheticOptions, BadOptionsAreNamed) {
    const std::pair<const char*, const char*> cases[] = {
        {"colour=red", "colour=red"},
        {"noise", "noise"},
        {"width=0", "width=0"},
        {"width=80mm", "width=80mm"},
        {"width=nan", "width=nan"},
        {"width=1e400", "width=1e400"},
        {"fps=0", "fps=0"},
        {"fps=1000", "fps=1000"},
        {"noise=-1", "noise=-1"},
        {"seed=-3", "seed=-3"},
        {"seed=1.5", "seed=1.5"},
        {"path=spiral", "path=spiral"},
        {"size=640", "size=640"},
        {"size=8x8", "size=8x8"},
        {"size=4096x480", "size=4096x480"},
        {"marker=", "marker="},
        {"noise=1 noise=2", "noise"},
        {"marker=a.png pattern=b.patt", "pattern="},
    };
    for (const auto& c : cases) {
        SyntheticOptions options;
        std::string error;
        EXPECT_FALSE(parseSyntheticOptions(c.first, options, error)) << c.first;
        EXPECT_NE(error.find(c.second), std::string::npos) << c.first << ": " << error;
    }
}

TEST(SyntheticOptions, CameraConfigRecognisesTheWord) {
    CameraConfig sourceConfig;
    std::string error;
    ASSERT_TRUE(parseCameraConfig("synthetic", sourceConfig, error)) << error;
    EXPECT_EQ(sourceConfig.kind, VideoSourceKind::Synthetic);
    EXPECT_EQ(sourceConfig.options, "");
    ASSERT_TRUE(parseCameraConfig("  Synthetic\tnoise=2 marker=design.xml ", sourceConfig, error)) << error;
    EXPECT_EQ(sourceConfig.kind, VideoSourceKind::Synthetic);
    EXPECT_EQ(sourceConfig.options, "noise=2 marker=design.xml");
    ASSERT_TRUE(parseCameraConfig("synthetic.avi", sourceConfig, error));
    EXPECT_EQ(sourceConfig.kind, VideoSourceKind::VideoFile);

    EXPECT_FALSE(parseCameraConfig("synthetic fps=fast", sourceConfig, error));
    EXPECT_NE(error.find("fps=fast"), std::string::npos) << error;
}

TEST(SyntheticCamera, OpensThroughTheCameraConfiguration) {
    CameraConfig sourceConfig;
    std::string error;
    ASSERT_TRUE(parseCameraConfig("synthetic size=320x240", sourceConfig, error));
    sourceConfig.cameraParamFile = kCameraFile;  // CAM_PARA
    std::unique_ptr<VideoSource> source = openVideoSource(sourceConfig, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->width(), 320);
    EXPECT_EQ(source->height(), 240);
    auto* synthetic = dynamic_cast<SyntheticCamera*>(source.get());
    ASSERT_NE(synthetic, nullptr);
    EXPECT_NEAR(synthetic->camera().mat[0][0], 700.9514702992245 / 2, 1e-9);

    // param= wins over CAM_PARA; what cannot be read is named.
    const std::pair<std::string, std::string> failures[] = {
        {"synthetic param=" + testing::TempDir() + "nothing.dat", "nothing.dat"},
        {"synthetic marker=" + testing::TempDir() + "nothing.png", "nothing.png"},
        {"synthetic pattern=" + kCameraFile, "camera_para.dat"},  // not a pattern file
    };
    for (const auto& f : failures) {
        ASSERT_TRUE(parseCameraConfig(f.first, sourceConfig, error)) << error;
        sourceConfig.cameraParamFile = kCameraFile;
        EXPECT_EQ(openVideoSource(sourceConfig, error), nullptr) << f.first;
        EXPECT_NE(error.find(f.second), std::string::npos) << error;
    }
    ASSERT_TRUE(parseCameraConfig("synthetic", sourceConfig, error));
    EXPECT_EQ(openVideoSource(sourceConfig, error), nullptr) << "no parameter file at all";
    EXPECT_NE(error.find("param="), std::string::npos) << error;
}

TEST(SyntheticCamera, DeliversPacedFramesWithTheirTruth) {
    SyntheticOptions options;
    options.cameraParamFile = kCameraFile;
    options.patternFile = kFixtures + "patt.kanji";
    options.framesPerSecond = 4.0;  // a frame every 250 ms
    options.noise = 1.5;
    testing_support::ManualClock clock;
    std::string error;
    std::unique_ptr<SyntheticCamera> camera = openSyntheticCamera(options, error, clock.function());
    ASSERT_NE(camera, nullptr) << error;
    EXPECT_EQ(camera->getImage(), nullptr) << "nothing before start";
    EXPECT_EQ(camera->lastDelivered(), nullptr);

    camera->start();
    const ImageView* first = camera->getImage();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width, 640);
    EXPECT_EQ(first->stride, 640 * 3);
    ASSERT_NE(camera->lastDelivered(), nullptr);
    EXPECT_EQ(camera->lastDelivered()->frameNumber, 0u);
    EXPECT_EQ(camera->getImage(), nullptr) << "no second image while the first is held";
    camera->releaseImage();
    clock.advance(249);
    EXPECT_EQ(camera->getImage(), nullptr) << "frame 1 is due at 250 ms";

    // One period later the next frame; a consumer three periods late skips the two it missed.
    const std::pair<uint64_t, uint64_t> steps[] = {{1, 1}, {750, 4}, {250, 5}};
    for (const auto& [advanceMs, expected] : steps) {
        clock.advance(advanceMs);
        const ImageView* image = camera->getImage();
        ASSERT_NE(image, nullptr) << "frame " << expected;
        const SyntheticFrameTruth last = *camera->lastDelivered();
        EXPECT_EQ(last.frameNumber, expected);

        // The truth is that of the delivered image: the path at frame / fps, rendered identically.
        double pose[3][4];
        syntheticPathPose(SyntheticPath::Orbit, last.frameNumber / 4.0, 80.0, pose);
        EXPECT_EQ(std::memcmp(last.truth.transform, pose, sizeof pose), 0);
        EXPECT_TRUE(last.truth.markerInView);
        BgrImage again;
        SyntheticTruth truth;
        ASSERT_TRUE(camera->renderAt(pose, last.frameNumber, again, truth));
        EXPECT_EQ(std::memcmp(again.pixels.data(), image->pixels, again.pixels.size()), 0);
        camera->releaseImage();
        EXPECT_EQ(camera->getImage(), nullptr) << "the same frame twice";
    }
    clock.advance(250);
    camera->stop();
    EXPECT_EQ(camera->getImage(), nullptr);
}

}  // namespace
}  // namespace kelmo
