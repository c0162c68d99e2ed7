// The real program in a scratch folder under Xvfb: console, window contents and every way out.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/e2e/kelmo_process.h"
#include "tools/xwindow.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;
using testing_support::KelmoProcess;

constexpr double kStartSeconds = 20.0;
constexpr double kExitSeconds = 10.0;
const cv::Vec3b kVideoColour(30, 160, 220);  // BGR: orange

class KelmoRun : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        folder_ = fs::path(testing::TempDir()) /
                  ("kelmo_e2e_" + std::to_string(getpid()) + "_" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::copy_file(fs::path(KELMO_FIXTURES_DIR) / "artoolkit/camera_para.dat", folder_ / "camera_para.dat");
    }
    void TearDown() override {
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    // A 320x240 video: flat orange with a dark square that moves, 30 frames at 30 fps.
    void writeVideo(const std::string& name) {
        cv::VideoWriter writer((folder_ / name).string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0,
                               cv::Size(320, 240));
        ASSERT_TRUE(writer.isOpened());
        for (int k = 0; k < 30; ++k) {
            cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(kVideoColour[0], kVideoColour[1], kVideoColour[2]));
            cv::rectangle(frame, cv::Rect(20 + 2 * k, 20, 40, 40), cv::Scalar(20, 20, 20), cv::FILLED);
            writer.write(frame);
        }
    }

    void writeIni(const std::string& text) { std::ofstream(folder_ / "Kelmo.ini") << text; }

    fs::path folder_;
};

void expectFeatureLinesFirst(const std::string& out) {
    EXPECT_EQ(out.rfind("Use    \tARToolKit\nUse    \tBullet\nUse    \tWii Remote\nUse    \tMovie\n", 0), 0u)
        << out;
}

void expectFrameRateLast(const std::string& out) {
    const std::string suffix = " (frame/sec)\n";
    const size_t line = out.rfind("*** ");
    ASSERT_NE(line, std::string::npos) << out;
    ASSERT_GE(out.size(), suffix.size());
    EXPECT_EQ(out.substr(out.size() - suffix.size()), suffix) << out;
    EXPECT_GT(std::atof(out.c_str() + line + 4), 1.0) << out;
}

TEST_F(KelmoRun, ShowsTheVideoAndEndsCleanlyOnSigterm) {
    writeVideo("desk.avi");
    writeIni("[ARToolKit]\nCAM_CON = desk.avi\nCAM_PARA = camera_para.dat\n");
    KelmoProcess kelmo(folder_.string());

    xwin::Connection x;
    ASSERT_TRUE(x);
    const xwin::WindowId window = xwin::waitForWindow(x.display(), "Kelmo", kStartSeconds);
    ASSERT_NE(window, 0u) << kelmo.output();
    // Past the start-up display the video shows.
    cv::Mat shot;
    std::string error;
    bool sawVideo = false;
    for (int attempt = 0; attempt < 100 && !sawVideo; ++attempt) {
        usleep(100 * 1000);
        ASSERT_TRUE(xwin::captureWindow(x.display(), window, shot, error)) << error;
        const cv::Vec3b centre = shot.at<cv::Vec3b>(120, 160);
        sawVideo = cv::norm(cv::Vec3d(centre) - cv::Vec3d(kVideoColour)) < 30.0;
    }
    EXPECT_TRUE(sawVideo) << "centre pixel " << shot.at<cv::Vec3b>(120, 160);
    EXPECT_EQ(shot.cols, 320);
    EXPECT_EQ(shot.rows, 240);

    kelmo.signal(SIGTERM);
    EXPECT_EQ(kelmo.waitForExit(kExitSeconds), 0);
    const std::string out = kelmo.output();
    expectFeatureLinesFirst(out);
    EXPECT_NE(out.find("Image size (x,y) = (320,240)\n*** Camera Parameter ***\n"
                       "--------------------------------------\nSIZE = 320, 240\n"),
              std::string::npos)
        << out;
    expectFrameRateLast(out);
}

TEST_F(KelmoRun, CtrlCAndClosingTheWindowEndItTheSameWay) {
    writeVideo("desk.avi");
    writeIni("[ARToolKit]\nCAM_CON=desk.avi\n");
    {
        KelmoProcess kelmo(folder_.string());
        xwin::Connection x;
        ASSERT_TRUE(x);
        ASSERT_NE(xwin::waitForWindow(x.display(), "Kelmo", kStartSeconds), 0u) << kelmo.output();
        usleep(1000 * 1000);
        kelmo.signal(SIGINT);
        EXPECT_EQ(kelmo.waitForExit(kExitSeconds), 0);
        expectFrameRateLast(kelmo.output());
    }
    {
        KelmoProcess kelmo(folder_.string());
        xwin::Connection x;
        ASSERT_TRUE(x);
        const xwin::WindowId window = xwin::waitForWindow(x.display(), "Kelmo", kStartSeconds);
        ASSERT_NE(window, 0u) << kelmo.output();
        usleep(1000 * 1000);
        std::string error;
        ASSERT_TRUE(xwin::requestClose(x.display(), window, error)) << error;
        EXPECT_EQ(kelmo.waitForExit(kExitSeconds), 0);
        expectFrameRateLast(kelmo.output());
    }
}

TEST_F(KelmoRun, StartUpFailuresSayWhatFailedAndExitNonZero) {
    struct Case {
        const char* ini;
        const char* expected;
    };
    writeVideo("desk.avi");
    const Case cases[] = {
        {"[ARToolKit]\nCAM_CON=no-such-video.avi\n", "no-such-video.avi"},
        {"[ARToolKit]\nCAM_CON=-dev=/dev/video0 -fps=30\n", "unknown camera option \"-fps=30\""},
        {"[ARToolKit]\nCAM_CON=desk.avi\nCAM_PARA=missing_para.dat\n",
         "Camera parameter load error !! missing_para.dat"},
        {"[Metaseq_walk]\nMQO_SEQ_FILE=walk\nMQO_FORMAT=%s%d.mqo\nSTART=0\nEND=10\nSTEP=0\n"
         "[ARToolKit]\nCAM_CON=desk.avi\n",
         "[Metaseq_walk]"},
    };
    for (const Case& c : cases) {
        writeIni(c.ini);
        KelmoProcess kelmo(folder_.string());
        const int status = kelmo.waitForExit(kStartSeconds);
        const std::string out = kelmo.output();
        EXPECT_GT(status, 0) << c.ini << out;
        EXPECT_LT(status, 128) << "ended by a signal: " << out;
        expectFeatureLinesFirst(out);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace kelmo
