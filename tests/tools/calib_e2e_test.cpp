// kelmo-calib as a person runs it, on chessboard photographs that the synthetic camera takes through a
// known camera file: the file it writes must put every viewing ray where the known file does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "synthetic/synthetic_chessboard.h"
#include "synthetic/synthetic_scene.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_path.h"
#include "tracking/camera_calibration.h"
#include "tracking/chessboard.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

const std::string kFixtures = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";
const std::string kCalib = std::string(KELMO_BINARY_DIR) + "/kelmo-calib";
constexpr double kPi = 3.14159265358979323846;

struct CalibResult {
    int status = -1;
    std::string out;
    std::vector<std::string> errorLines;
};

CalibResult run(const std::string& command, const std::string& errorFile) {
    const testing_support::CommandResult ran =
        testing_support::runCommand(command + " 2>'" + errorFile + "'");
    CalibResult result{ran.status, ran.output, {}};
    std::ifstream errors(errorFile);
    for (std::string line; std::getline(errors, line);) result.errorLines.push_back(line);
    return result;
}

double figure(const std::string& out, const std::string& label) {
    const size_t at = out.find(label);
    return at == std::string::npos ? NAN : std::atof(out.c_str() + at + label.size());
}

class Calib : public testing_support::ScratchFolderTest {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(loadCameraParam(kFixtures + "camera_para.dat", known_, error)) << error;
        // The fixture's lens centre lies 22 px below its principal point and its scale is not 1; push
        // the centre sideways too, so neither axis can hide a centre that is ignored.
        known_.distFactor[0] += 15.0;
        // Rendered at twice the size and averaged down, like a sensor: the renderer blurs in the card's
        // texture, which on a steeply tilted board pulls its corners by a twentieth of a pixel, enough to
        // shrink the calibrated focal lengths by 0.1 %. Pixel x here is 2x + 0.5 there.
        CameraParam fine = changeCameraParamSize(known_, 2 * known_.xsize, 2 * known_.ysize);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 4; ++c) fine.mat[r][c] += 0.5 * fine.mat[2][c];
        fine.distFactor[0] += 0.5;
        fine.distFactor[1] += 0.5;
        scene_ = SyntheticScene::create(fine, syntheticChessboard(board_), error);
        ASSERT_NE(scene_, nullptr) << error;
    }

    // View n of a series that tilts the board 30° to 50° towards every side of the image (the camera
    // turned a quarter at a time: a principal point needs both signs of tilt about both axes) and moves
    // it over the image.
    std::string photograph(int n) {
        const double aim[9][2] = {{0, 0},  {-30, 20}, {30, 20}, {-30, -20}, {30, -20},
                                  {0, 22}, {0, -22},  {-32, 0}, {32, 0}};
        const double* target = aim[n % 9];
        const double elevation = (40 + 10 * (n % 3)) * kPi / 180;
        const double azimuth = ((n * 7) % 8 - 3.5) * 45 * kPi / 180;
        const double distance = 380 + 20 * (n % 3);
        const double eye[3] = {target[0] + distance * std::cos(elevation) * std::sin(azimuth),
                               target[1] - distance * std::cos(elevation) * std::cos(azimuth),
                               distance * std::sin(elevation)};
        const double at[3] = {target[0], target[1], 0.0};
        double pose[3][4];
        syntheticLookAt(eye, at, ((n % 4) * 90 + (n % 5 - 2) * 4) * kPi / 180, pose);
        BgrImage fine, image(known_.xsize, known_.ysize);
        SyntheticTruth truth;
        EXPECT_TRUE(renderSyntheticFrame(*scene_, pose, 3.0, 7, static_cast<uint64_t>(n), fine, truth));
        cv::Mat shown(image.height, image.width, CV_8UC3, image.pixels.data());
        cv::resize(cv::Mat(fine.height, fine.width, CV_8UC3, fine.pixels.data()), shown, shown.size(), 0, 0,
                   cv::INTER_AREA);
        const std::string path = folder_ + "/view" + std::to_string(n) + ".png";
        std::string error;
        EXPECT_TRUE(savePng(path, image, 0, error)) << error;
        return path;
    }

    std::string photographs(int count) {
        std::string list;
        for (int n = 0; n < count; ++n) list += " '" + photograph(n) + "'";
        return list;
    }

    ChessboardSpec board_{9, 6, 20.0};
    CameraParam known_;
    std::unique_ptr<SyntheticScene> scene_;
};

// Catches a fit that matches single numbers but not the mapping (a lens centre or scale dropped or
// misplaced, a half-pixel convention slip, focal lengths traded wrongly against the scale), and a
// calibration whose corners or model are off.
TEST_F(Calib, WrittenFileSendsEveryRayToTheKnownFilesPixel) {
    const std::string output = folder_ + "/camera_para.dat";
    const CalibResult result =
        run(kCalib + " --board 9x6 --square 20 -o '" + output + "'" + photographs(18), folder_ + "/err");
    ASSERT_EQ(result.status, 0) << result.out << (result.errorLines.empty() ? "" : result.errorLines[0]);
    EXPECT_NE(result.out.find(
                  "*** Camera Parameter ***\n--------------------------------------\nSIZE = 640, 480\n"),
              std::string::npos)
        << result.out;
    const double openCvRms = figure(result.out, "OpenCV model: reprojection RMS ");
    const double paramRms = figure(result.out, "2.x model: reprojection RMS ");
    EXPECT_LT(openCvRms, 0.2) << result.out;
    EXPECT_LT(paramRms, 0.2) << result.out;

    CameraParam written;
    std::string error;
    ASSERT_TRUE(loadCameraParam(output, written, error)) << error;
    ASSERT_EQ(written.xsize, 640);
    ASSERT_EQ(written.ysize, 480);

    // Rays through a grid of the known camera's pixels over the central 90 % of the image.
    const cv::Matx33d knownK(known_.mat[0][0], known_.mat[0][1], known_.mat[0][2], known_.mat[1][0],
                             known_.mat[1][1], known_.mat[1][2], known_.mat[2][0], known_.mat[2][1],
                             known_.mat[2][2]);
    const cv::Matx33d toRay = knownK.inv();
    std::vector<double> differences;
    for (int j = 0; j <= 40; ++j) {
        for (int i = 0; i <= 40; ++i) {
            const double ox = 639.0 * (0.05 + 0.9 * i / 40), oy = 479.0 * (0.05 + 0.9 * j / 40);
            double ix, iy;
            observedToIdeal(known_, ox, oy, ix, iy);
            const cv::Vec3d ray = toRay * cv::Vec3d(ix, iy, 1.0);
            double kx, ky, wx, wy;
            idealToObserved(known_, ix, iy, kx, ky);  // exact, where the inverse above is iterative
            double h[3];
            for (int r = 0; r < 3; ++r)
                h[r] = written.mat[r][0] * ray[0] + written.mat[r][1] * ray[1] + written.mat[r][2] * ray[2] +
                       written.mat[r][3];
            idealToObserved(written, h[0] / h[2], h[1] / h[2], wx, wy);
            differences.push_back(std::hypot(wx - kx, wy - ky));
        }
    }
    std::sort(differences.begin(), differences.end());
    const double median = differences[differences.size() / 2];
    const double p95 = differences[differences.size() * 95 / 100];
    std::printf(
        "calibration: median %.3f px, 95th percentile %.3f px, max %.3f px; RMS OpenCV %.3f px, 2.x %.3f "
        "px\n",
        median, p95, differences.back(), openCvRms, paramRms);
    EXPECT_LE(median, 0.3);
    EXPECT_LE(p95, 1.0);
}

// Catches a tool that writes a file from views that cannot give a usable result, or says so in more
// than one line.
TEST_F(Calib, TooFewViewsAreRefusedAndNothingIsWritten) {
    const std::string output = folder_ + "/camera_para.dat";
    const CalibResult result = run(kCalib + " -o '" + output + "'" + photographs(4), folder_ + "/err");
    EXPECT_EQ(result.status, 1);
    ASSERT_EQ(result.errorLines.size(), 1u);
    EXPECT_NE(result.errorLines[0].find("views of the board; at least 8 are needed; nothing written"),
              std::string::npos)
        << result.errorLines[0];
    EXPECT_FALSE(fs::exists(output));
}

// Catches a conversion that reads a field from the wrong place (the later file is big-endian, its
// focal lengths follow the lens terms), drops the distortion, or writes nothing: both files describe
// one camera, and the 2.x file written from each must send its rays where that camera does.
TEST_F(Calib, BothConversionsSendEveryRayWhereTheSourceCameraDoes) {
    const double fx = 600, fy = 598, cx = 322, cy = 236, k1 = -0.12, k2 = 0.04;
    const std::string yml = folder_ + "/opencv.yml";
    std::ofstream(yml) << "%YAML:1.0\n---\nimage_width: 640\nimage_height: 480\n"
                       << "camera_matrix: !!opencv-matrix\n   rows: 3\n   cols: 3\n   dt: d\n   data: [ " << fx
                       << ", 0., " << cx << ", 0., " << fy << ", " << cy << ", 0., 0., 1. ]\n"
                       << "distortion_coefficients: !!opencv-matrix\n   rows: 1\n   cols: 5\n   dt: d\n"
                       << "   data: [ " << k1 << ", " << k2 << ", 0., 0., 0. ]\n";
    const std::string later = folder_ + "/later.dat";
    {
        // Sizes, the 3 x 4 projection, then k1 k2 p1 p2 fx fy x0 y0 s; all big-endian.
        const double numbers[21] = {fx, 0, cx, 0, 0, fy, cy, 0, 0, 0, 1, 0, k1, k2, 0, 0, fx, fy, cx, cy, 1};
        std::ofstream out(later, std::ios::binary);
        const auto putBigEndian = [&out](const void* value, size_t size) {
            for (size_t i = size; i-- > 0;) out.put(static_cast<const char*>(value)[i]);
        };
        for (const int32_t size : {640, 480}) putBigEndian(&size, sizeof size);
        for (const double number : numbers) putBigEndian(&number, sizeof number);
    }

    for (const std::string& option : {"--from-opencv '" + yml + "'", "--from-dat '" + later + "'"}) {
        SCOPED_TRACE(option);
        const std::string output = folder_ + "/camera_para.dat";
        fs::remove(output);
        const CalibResult result = run(kCalib + " " + option + " -o '" + output + "'", folder_ + "/err");
        ASSERT_EQ(result.status, 0) << result.out << (result.errorLines.empty() ? "" : result.errorLines[0]);
        CameraParam written;
        std::string error;
        ASSERT_TRUE(loadCameraParam(output, written, error)) << error;
        EXPECT_EQ(written.xsize, 640);
        EXPECT_EQ(written.ysize, 480);
        std::vector<double> differences;
        for (int j = 0; j <= 20; ++j) {
            for (int i = 0; i <= 20; ++i) {
                // A ray towards the central 90 % of the image, and the pixel the source camera gives it.
                const double x = (639.0 * (0.05 + 0.9 * i / 20) - cx) / fx;
                const double y = (479.0 * (0.05 + 0.9 * j / 20) - cy) / fy;
                const double r2 = x * x + y * y, radial = 1 + k1 * r2 + k2 * r2 * r2;
                const double sx = fx * x * radial + cx, sy = fy * y * radial + cy;
                double h[3], wx, wy;
                for (int r = 0; r < 3; ++r)
                    h[r] = written.mat[r][0] * x + written.mat[r][1] * y + written.mat[r][2] + written.mat[r][3];
                idealToObserved(written, h[0] / h[2], h[1] / h[2], wx, wy);
                differences.push_back(std::hypot(wx - sx, wy - sy));
            }
        }
        std::sort(differences.begin(), differences.end());
        EXPECT_LE(differences[differences.size() / 2], 0.3);
        EXPECT_LE(differences[differences.size() * 95 / 100], 1.0);
    }
}

// Catches calibration from views that all sit in one part of the image: the lens would be extrapolated
// over the rest.
TEST(CalibrationViews, ViewsThatLeaveAPartOfTheImageEmptyAreRefused) {
    const ChessboardSpec board{9, 6, 20.0};
    std::vector<ChessboardCorners> views;
    for (int v = 0; v < 12; ++v) {
        ChessboardCorners corners;
        for (int j = 0; j < board.rows; ++j)
            for (int i = 0; i < board.cols; ++i) {
                corners.push_back(20 + 30 * i + v);  // left two thirds only
                corners.push_back(20 + 60 * j + 2 * v);
            }
        views.push_back(corners);
    }
    Calibration calibration;
    std::string error;
    EXPECT_FALSE(calibrateFromViews(views, board, 640, 480, calibration, error));
    EXPECT_NE(error.find("leave the top-right part of the image without a board corner"), std::string::npos)
        << error;
}

// Catches a selector that takes a moving (blurred) board, or the same view again and again, from a live
// camera: the calibration would then rest on smeared corners or on one angle.
TEST(CalibrationViews, ALiveCameraGivesAViewOnlyWhenTheBoardIsStillAtANewPlace) {
    const ChessboardSpec board{9, 6, 20.0};
    const auto at = [&board](double x0, double y0) {
        ChessboardCorners corners;
        for (int j = 0; j < board.rows; ++j)
            for (int i = 0; i < board.cols; ++i) {
                corners.push_back(x0 + 25 * i);
                corners.push_back(y0 + 25 * j);
            }
        return corners;
    };
    ViewSelector selector(board, 640, 480);
    int taken = 0;
    for (int frame = 0; frame < 10; ++frame) {  // sweeping across at 5 px a frame
        const ChessboardCorners moving = at(100 + 5 * frame, 100);
        taken += selector.offer(&moving);
    }
    EXPECT_EQ(taken, 0);
    const ChessboardCorners still = at(200, 150);
    taken += selector.offer(&still);
    taken += selector.offer(&still);
    taken += selector.offer(&still);
    EXPECT_EQ(taken, 1);
    const ChessboardCorners nearby = at(205, 150), elsewhere = at(300, 200);
    for (const ChessboardCorners* view : {&nearby, &nearby, &elsewhere, &elsewhere})
        taken += selector.offer(view);
    EXPECT_EQ(taken, 2);
    EXPECT_FALSE(selector.offer(nullptr));  // the board left the image: it must be still again first
    EXPECT_FALSE(selector.offer(&still));
    ASSERT_EQ(selector.views().size(), 2u);
    EXPECT_EQ(selector.views()[1], elsewhere);
}

}  // namespace
}  // namespace kelmo
