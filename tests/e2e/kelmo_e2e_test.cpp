// The real program in a scratch folder under Xvfb: console, window contents and every way out.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <optional>

#include "tests/e2e/kelmo_process.h"
#include "tests/support/xwindow.h"

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
        folder_ =
            fs::path(testing::TempDir()) / ("kelmo_e2e_" + std::to_string(getpid()) + "_" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::copy_file(fs::path(KELMO_FIXTURES_DIR) / "artoolkit/camera_para.dat",
                      folder_ / "camera_para.dat");
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

    // A 160x120 movie of flat green, 25 frames at 25 fps.
    void writeGreenMovie(const std::string& name) {
        cv::VideoWriter writer((folder_ / name).string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                               cv::Size(160, 120));
        ASSERT_TRUE(writer.isOpened());
        for (int k = 0; k < 25; ++k) writer.write(cv::Mat(120, 160, CV_8UC3, cv::Scalar(0, 255, 0)));
    }

    // The hiro marker seen by the synthetic camera along `path`, the cube standing on it, and the
    // sections given in `more`.
    void writeMarkerScene(const std::string& path, const std::string& more = "") {
        fs::copy_file(fs::path(KELMO_FIXTURES_DIR) / "artoolkit/patt.hiro", folder_ / "patt.hiro",
                      fs::copy_options::overwrite_existing);
        writeIni("[ARToolKit]\nCAM_CON=synthetic pattern=patt.hiro path=" + path + "\nFILE_PAT1=patt.hiro\n" +
                 more);
    }

    // Kelmo.ini: the given sections, then three one-document motions (a small cube).
    // The program's window once it shows, or 0 (with the program's output as the failure).
    xwin::WindowId kelmoWindow(KelmoProcess& kelmo) {
        if (!x_) {
            ADD_FAILURE() << "cannot open the X display " << x_.name();
            return 0;
        }
        const xwin::WindowId window = xwin::waitForWindow(x_.display(), "Kelmo", kStartSeconds);
        if (window == 0) ADD_FAILURE() << "no window; the program said:\n" << kelmo.output();
        return window;
    }

    void writeIni(const std::string& text) {
        std::ofstream(folder_ / "cube.mqo") << kCube;
        std::ofstream(folder_ / "Kelmo.ini")
            << text << "\n[Metaseq_stay]\nMQO_SEQ_FILE=cube.mqo\n[Metaseq_walk]\nMQO_SEQ_FILE=cube.mqo\n"
            << "[Metaseq_run]\nMQO_SEQ_FILE=cube.mqo\n";
    }

    static constexpr const char* kCube =
        "Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial 1 {\n"
        "\t\"red\" col(1.000 0.200 0.100 1.000) dif(0.800) amb(0.600) emi(0.000) spc(0.000) power(5.00)\n}\n"
        "Object \"cube\" {\n\tvisible 15\n\tshading 0\n\tfacet 59.5\n\tvertex 8 {\n"
        "\t\t-10 0 -10\n\t\t10 0 -10\n\t\t10 0 10\n\t\t-10 0 10\n"
        "\t\t-10 20 -10\n\t\t10 20 -10\n\t\t10 20 10\n\t\t-10 20 10\n\t}\n\tface 6 {\n"
        "\t\t4 V(0 1 2 3) M(0)\n\t\t4 V(7 6 5 4) M(0)\n\t\t4 V(0 4 5 1) M(0)\n"
        "\t\t4 V(1 5 6 2) M(0)\n\t\t4 V(2 6 7 3) M(0)\n\t\t4 V(3 7 4 0) M(0)\n\t}\n}\nEof\n";

    fs::path folder_;
    xwin::Connection x_;
};

// The program started on the hiro marker seen from straight above, the cube standing on it; window is
// its window once it shows, or 0.
class KelmoOnMarker : public KelmoRun {
protected:
    void SetUp() override {
        KelmoRun::SetUp();
        if (IsSkipped()) return;
        writeMarkerScene("frontal");
        kelmo.emplace(folder_.string());
        window = kelmoWindow(*kelmo);
    }
    void TearDown() override {
        kelmo.reset();  // ends the program before its folder goes
        KelmoRun::TearDown();
    }

    std::optional<KelmoProcess> kelmo;
    xwin::WindowId window = 0;
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

// Real key presses into the window: "KEY" or "--repeat N --delay MS KEY".
bool pressKeys(xwin::WindowId window, const std::string& arguments) {
    const std::string command = "xdotool key --window " + std::to_string(window) + " " + arguments;
    return std::system(command.c_str()) == 0;
}

// The cube's red as the window shows it (BGR).
bool isCube(cv::Vec3b c) { return c[2] > 180 && c[1] < 100 && c[0] < 80; }

cv::Vec3b centre(const cv::Mat& shot) { return shot.at<cv::Vec3b>(shot.rows / 2, shot.cols / 2); }

// Captures the window every 100 ms, for up to 10 s, until its centre pixel passes the test.
template <class Test>
bool waitForCentre(const xwin::Connection& x, xwin::WindowId window, Test test, cv::Mat& shot) {
    std::string error;
    for (int attempt = 0; attempt < 100; ++attempt) {
        usleep(100 * 1000);
        if (!xwin::captureWindow(x.display(), window, shot, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        if (test(centre(shot))) return true;
    }
    return false;
}

TEST_F(KelmoRun, ShowsTheVideoAndEndsCleanlyOnSigterm) {
    writeVideo("desk.avi");
    writeIni("[ARToolKit]\nCAM_CON = desk.avi\nCAM_PARA = camera_para.dat\n");
    KelmoProcess kelmo(folder_.string());
    const xwin::WindowId window = kelmoWindow(kelmo);
    ASSERT_NE(window, 0u);
    // Past the start-up display the video shows.
    cv::Mat shot;
    const auto isVideo = [](cv::Vec3b c) { return cv::norm(cv::Vec3d(c) - cv::Vec3d(kVideoColour)) < 30.0; };
    EXPECT_TRUE(waitForCentre(x_, window, isVideo, shot)) << "centre pixel " << shot.at<cv::Vec3b>(120, 160);
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

TEST_F(KelmoOnMarker, TheCharacterStandsOnTheMarker) {
    ASSERT_NE(window, 0u);
    // Seen from straight above, the red cube (a quarter of the marker wide) hides the marker's centre.
    cv::Mat shot;
    EXPECT_TRUE(waitForCentre(x_, window, isCube, shot)) << "centre pixel " << centre(shot);
    kelmo->signal(SIGTERM);
    EXPECT_EQ(kelmo->waitForExit(kExitSeconds), 0);
}

// Real key presses: "!" shows every physics body (the character's proxy box covers the cube), the
// double quote goes back to the character, "s" switches shadows on, ESC ends the program cleanly.
TEST_F(KelmoOnMarker, KeysSwitchTheViewsAndEscEndsTheProgram) {
    ASSERT_NE(window, 0u);
    cv::Mat shot;
    // Blue, with red while the drag keeps it awake or green while it sleeps.
    const auto isBox = [](cv::Vec3b c) { return c[0] > 120 && (c[1] < 100 || c[2] < 100); };
    ASSERT_TRUE(waitForCentre(x_, window, isCube, shot)) << centre(shot);
    ASSERT_TRUE(pressKeys(window, "exclam"));
    EXPECT_TRUE(waitForCentre(x_, window, isBox, shot)) << centre(shot);
    ASSERT_TRUE(pressKeys(window, "quotedbl"));
    EXPECT_TRUE(waitForCentre(x_, window, isCube, shot)) << centre(shot);
    ASSERT_TRUE(pressKeys(window, "s"));
    EXPECT_TRUE(waitForCentre(x_, window, isCube, shot)) << "the cube stays in view with shadows on";
    ASSERT_TRUE(pressKeys(window, "Escape"));
    EXPECT_EQ(kelmo->waitForExit(kExitSeconds), 0);
    const std::string out = kelmo->output();
    EXPECT_NE(out.find("bulletThread end\n*** "), std::string::npos) << out;
    expectFrameRateLast(out);
}

// Where the cube's red pixels are: their mean column and how many there are.
struct RedPixels {
    double meanX = 0;
    int count = 0;
};
RedPixels redPixels(const cv::Mat& shot) {
    RedPixels red;
    double sumX = 0;
    for (int y = 0; y < shot.rows; ++y)
        for (int x = 0; x < shot.cols; ++x) {
            if (isCube(shot.at<cv::Vec3b>(y, x))) {
                sumX += x;
                ++red.count;
            }
        }
    if (red.count > 0) red.meanX = sumX / red.count;
    return red;
}

// Played as a person plays it, seen from straight above the marker: holding 6 walks the cube
// towards the marker's +X (image right), "c" brings it back, space drops a projectile from the
// camera onto it, "c" clears it again, ESC ends the program.
TEST_F(KelmoOnMarker, TheCharacterWalksFiresAndResetsUnderRealKeys) {
    ASSERT_NE(window, 0u);
    cv::Mat shot;
    ASSERT_TRUE(waitForCentre(x_, window, isCube, shot)) << centre(shot);
    const RedPixels start = redPixels(shot);
    ASSERT_GT(start.count, 50);
    EXPECT_NEAR(start.meanX, shot.cols / 2.0, 4.0);

    // Auto-repeat as a held key gives it: one press every 40 ms for about a second.
    ASSERT_TRUE(pressKeys(window, "--repeat 25 --delay 40 6"));
    usleep(500 * 1000);
    std::string error;
    ASSERT_TRUE(xwin::captureWindow(x_.display(), window, shot, error)) << error;
    const RedPixels walked = redPixels(shot);
    EXPECT_GT(walked.count, 50) << "the cube is still in view";
    EXPECT_GT(walked.meanX, start.meanX + 20.0) << "walked to the right, the marker's +X";

    ASSERT_TRUE(pressKeys(window, "c"));
    EXPECT_TRUE(waitForCentre(x_, window, isCube, shot)) << "back on the marker's centre";
    EXPECT_NEAR(redPixels(shot).meanX, start.meanX, 4.0);

    ASSERT_TRUE(pressKeys(window, "space"));
    const auto notCube = [&](cv::Vec3b c) { return !isCube(c); };
    EXPECT_TRUE(waitForCentre(x_, window, notCube, shot)) << "the projectile between the camera and the cube";
    ASSERT_TRUE(pressKeys(window, "c"));
    EXPECT_TRUE(waitForCentre(x_, window, isCube, shot)) << "the reset took the projectile away";

    ASSERT_TRUE(pressKeys(window, "Escape"));
    EXPECT_EQ(kelmo->waitForExit(kExitSeconds), 0);
    expectFrameRateLast(kelmo->output());
}

// The movie on its brick screen, half transparent over the wooden desk; a file that is no movie is
// named once and the program runs on.
TEST_F(KelmoRun, TheMovieShowsOnItsScreenAndAFileThatIsNoMovieIsNamedOnce) {
    writeGreenMovie("green.avi");
    std::ofstream(folder_ / "broken.avi") << "RIFF, but not a movie";
    const auto greenPixels = [](const cv::Mat& shot) {
        int count = 0;
        for (int y = 0; y < shot.rows; ++y)
            for (int x = 0; x < shot.cols; ++x) {
                const cv::Vec3b c = shot.at<cv::Vec3b>(y, x);
                if (c[1] > c[2] + 40 && c[1] > c[0] + 40) ++count;
            }
        return count;
    };
    {
        writeMarkerScene("still", "[MOVIE]\nFILE=green.avi\n");
        KelmoProcess kelmo(folder_.string());
        const xwin::WindowId window = kelmoWindow(kelmo);
        ASSERT_NE(window, 0u);
        cv::Mat shot;
        std::string error;
        int green = 0;
        for (int attempt = 0; attempt < 100 && green < 2000; ++attempt) {
            usleep(100 * 1000);
            ASSERT_TRUE(xwin::captureWindow(x_.display(), window, shot, error)) << error;
            green = greenPixels(shot);
        }
        EXPECT_GE(green, 2000) << "the green screen in view";
        kelmo.signal(SIGTERM);
        EXPECT_EQ(kelmo.waitForExit(kExitSeconds), 0);
    }
    {
        writeMarkerScene("still", "[MOVIE]\nFILE=broken.avi\n");
        KelmoProcess kelmo(folder_.string());
        const xwin::WindowId window = kelmoWindow(kelmo);
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(kelmo.waitForOutput("Movie: cannot play broken.avi", kStartSeconds)) << kelmo.output();
        usleep(1500 * 1000);  // many frames that would each have opened it again
        cv::Mat shot;
        std::string error;
        ASSERT_TRUE(xwin::captureWindow(x_.display(), window, shot, error)) << error;
        EXPECT_LT(greenPixels(shot), 100);
        kelmo.signal(SIGTERM);
        EXPECT_EQ(kelmo.waitForExit(kExitSeconds), 0);
        const std::string out = kelmo.output();
        EXPECT_EQ(out.find("Movie: cannot play"), out.rfind("Movie: cannot play")) << out;
        expectFrameRateLast(out);
    }
}

TEST_F(KelmoRun, CtrlCAndClosingTheWindowEndItTheSameWay) {
    writeVideo("desk.avi");
    writeIni("[ARToolKit]\nCAM_CON=desk.avi\n");
    {
        KelmoProcess kelmo(folder_.string());
        ASSERT_NE(kelmoWindow(kelmo), 0u);
        usleep(1000 * 1000);
        kelmo.signal(SIGINT);
        EXPECT_EQ(kelmo.waitForExit(kExitSeconds), 0);
        expectFrameRateLast(kelmo.output());
    }
    {
        KelmoProcess kelmo(folder_.string());
        const xwin::WindowId window = kelmoWindow(kelmo);
        ASSERT_NE(window, 0u);
        usleep(1000 * 1000);
        std::string error;
        ASSERT_TRUE(xwin::requestClose(x_.display(), window, error)) << error;
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
        // The first [Metaseq_run] section wins: this one names a document that does not exist.
        {"[Metaseq_run]\nMQO_SEQ_FILE=missing.mqo\n[ARToolKit]\nCAM_CON=desk.avi\n",
         "Kelmo.ini [Metaseq_run]: no frame could be loaded from MQO_SEQ_FILE \"missing.mqo\""},
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
