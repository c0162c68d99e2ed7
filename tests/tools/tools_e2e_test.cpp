// kelmo-track and kelmo-mkpatt as a person runs them: on image files, videos and camera sources.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "synthetic/synthetic_scene.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_path.h"
#include "tracking/pattern_matcher.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

const std::string kFixtures = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";
const std::string kBin = std::string(KELMO_BINARY_DIR) + "/";

struct CommandResult {
    int status = -1;
    std::vector<std::string> lines;  // standard output
};

CommandResult run(const std::string& command) {
    const testing_support::CommandResult ran = testing_support::runCommand(command + " 2>/dev/null");
    return {ran.status, testing_support::splitLines(ran.output)};
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class Tools : public testing_support::ScratchFolderTest {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(loadCameraParam(kFixtures + "camera_para.dat", camera_, error)) << error;
        ASSERT_TRUE(loadPatternFile(kFixtures + "patt.hiro", hiro_, error)) << error;
        scene_ = SyntheticScene::create(camera_, syntheticMarkerFromPattern(hiro_, 80.0), error);
        ASSERT_NE(scene_, nullptr) << error;
    }

    // Hiro seen from above at the given sideways offset.
    cv::Mat frame(double offset, uint64_t number) {
        const double pose[3][4] = {{1, 0, 0, offset}, {0, -0.94, -0.342, 0}, {0, 0.342, -0.94, 420}};
        BgrImage image;
        SyntheticTruth truth;
        EXPECT_TRUE(renderSyntheticFrame(*scene_, pose, 1.0, 3, number, image, truth));
        return cv::Mat(image.height, image.width, CV_8UC3, image.pixels.data()).clone();
    }

    std::string track(const std::string& inputs, const std::string& options = "") {
        return kBin + "kelmo-track --param " + quoted(kFixtures + "camera_para.dat") + " --pattern " +
               quoted(kFixtures + "patt.hiro") + " " + options + " " + inputs;
    }

    CameraParam camera_;
    PatternData hiro_;
    std::unique_ptr<SyntheticScene> scene_;
};

TEST_F(Tools, TrackReadsImagesVideosAndCameraSources) {
    const std::string still = folder_ + "/still.png";
    ASSERT_TRUE(cv::imwrite(still, frame(0, 0)));
    CommandResult r = run(track(quoted(still), "--repeat 3"));
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].rfind("{\"frame\":\"" + still + "\",\"ms\":", 0), 0u) << r.lines[0];
    EXPECT_NE(r.lines[0].find("\"vertex_space\":\"ideal\""), std::string::npos);
    EXPECT_EQ(count(r.lines[0], "\"id\":0,"), 1) << r.lines[0];
    EXPECT_EQ(count(r.lines[0], "\"trans\":[["), 1) << r.lines[0];

    const std::string video = folder_ + "/clip.avi";
    {
        cv::VideoWriter writer(video, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30, cv::Size(640, 480));
        ASSERT_TRUE(writer.isOpened());
        for (int k = 0; k < 4; ++k) writer.write(frame(8.0 * k, static_cast<uint64_t>(k)));
    }
    r = run(track(quoted(video)));
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(r.lines[static_cast<size_t>(k)].rfind("{\"frame\":" + std::to_string(k) + ",", 0), 0u);
        EXPECT_EQ(count(r.lines[static_cast<size_t>(k)], "\"id\":0,"), 1) << r.lines[static_cast<size_t>(k)];
    }

    fs::create_directories(folder_ + "/frames");
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(cv::imwrite(folder_ + "/frames/00" + std::to_string(k) + ".png", frame(-6.0 * k, 0)));
    r = run(track(quoted(folder_ + "/frames/%03d.png"), "--frames 3"));
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 3u);
    for (const std::string& line : r.lines) EXPECT_EQ(count(line, "\"id\":0,"), 1) << line;

    r = run(track(quoted("synthetic pattern=" + kFixtures + "patt.hiro noise=2"), "--frames 5"));
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 5u);
    for (const std::string& line : r.lines) {
        EXPECT_EQ(count(line, "\"id\":0,"), 1) << line;
        EXPECT_NE(line.find(",\"truth\":{\"in_view\":true,\"vertex\":[["), std::string::npos) << line;
    }
}

TEST_F(Tools, TrackRefusesWhatItCannotRead) {
    EXPECT_EQ(run(track(quoted(folder_ + "/missing.png"))).status, 1);
    EXPECT_EQ(run(track("'synthetic noise=loud'")).status, 1);
    EXPECT_EQ(run(kBin + "kelmo-track --param " + quoted(folder_ + "/none.dat") + " x.png").status, 1);
    EXPECT_EQ(run(kBin + "kelmo-track --pattern " + quoted(kFixtures + "camera_para.dat") + " x.png").status,
              1);
    EXPECT_EQ(run(kBin + "kelmo-track --threshold 300 x.png").status, 2);
    EXPECT_EQ(run(kBin + "kelmo-track").status, 2);
}

// A design through kelmo-mkpatt, printed, seen by the camera and found with the pattern it made.
TEST_F(Tools, MkpattMakesAPatternThatFindsItsPrintedMarker) {
    // The design: Hiro's own cells, enlarged.
    cv::Mat design(160, 160, CV_8UC3);
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 160; ++x)
            for (int c = 0; c < 3; ++c)
                design.at<cv::Vec3b>(y, x)[c] = hiro_.raw[0][patternIndex(c, y / 10, x / 10)];
    const std::string image = folder_ + "/design.png";
    ASSERT_TRUE(cv::imwrite(image, design));
    const std::string patt = folder_ + "/made.patt", print = folder_ + "/print.png";
    const CommandResult made =
        run(kBin + "kelmo-mkpatt " + quoted(image) + " -o " + quoted(patt) + " --print " + quoted(print));
    ASSERT_EQ(made.status, 0);

    PatternData pattern;
    std::string error;
    ASSERT_TRUE(loadPatternFile(patt, pattern, error)) << error;
    PatternMatcher matcher;
    matcher.add(hiro_);
    for (int d = 0; d < 4; ++d) {
        const PatternMatch m = matcher.match(pattern.raw[d]);
        EXPECT_EQ(m.dir, d);
        EXPECT_GT(m.cf, 0.98);
    }

    SyntheticMarker printed;
    ASSERT_TRUE(syntheticMarkerFromImage(print, 80.0, printed, error)) << error;
    scene_ = SyntheticScene::create(camera_, printed, error);
    ASSERT_NE(scene_, nullptr) << error;
    const std::string seen = folder_ + "/seen.png";
    ASSERT_TRUE(cv::imwrite(seen, frame(10, 1)));
    const CommandResult r = run(kBin + "kelmo-track --param " + quoted(kFixtures + "camera_para.dat") +
                                " --pattern " + quoted(patt) + " " + quoted(seen));
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(count(r.lines[0], "\"id\":0,"), 1) << r.lines[0];

    EXPECT_EQ(run(kBin + "kelmo-mkpatt " + quoted(folder_ + "/missing.png")).status, 1);
    EXPECT_EQ(run(kBin + "kelmo-mkpatt").status, 2);
}

}  // namespace
}  // namespace kelmo
