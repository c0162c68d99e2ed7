#include "synthetic/synthetic_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

namespace kelmo {
namespace {

const std::string kFixtures = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";
constexpr double kWidth = 80.0;

CameraParam fixtureCamera() {
    CameraParam camera;
    std::string error;
    EXPECT_TRUE(loadCameraParam(kFixtures + "camera_para.dat", camera, error)) << error;
    return camera;
}

// The fixture's intrinsics without lens distortion: observed pixels are ideal pixels.
CameraParam pinholeCamera() {
    CameraParam camera = fixtureCamera();
    camera.distFactor[0] = camera.mat[0][2];
    camera.distFactor[1] = camera.mat[1][2];
    camera.distFactor[2] = 0.0;
    camera.distFactor[3] = 1.0;
    return camera;
}

// Ideal and observed pixels of a marker-plane point, computed here from the definitions.
// The built-in design seen by the camera; null, with a failure, when the scene cannot be made.
std::unique_ptr<SyntheticScene> builtInScene(const CameraParam& camera) {
    std::string error;
    std::unique_ptr<SyntheticScene> scene =
        SyntheticScene::create(camera, builtInSyntheticMarker(kWidth), error);
    EXPECT_NE(scene, nullptr) << error;
    return scene;
}

cv::Point2d ideal(const CameraParam& camera, const double pose[3][4], double x, double y) {
    double c[3], h[3];
    for (int r = 0; r < 3; ++r) c[r] = pose[r][0] * x + pose[r][1] * y + pose[r][3];
    for (int r = 0; r < 3; ++r)
        h[r] = camera.mat[r][0] * c[0] + camera.mat[r][1] * c[1] + camera.mat[r][2] * c[2];
    return {h[0] / h[2], h[1] / h[2]};
}

cv::Point2d observe(const CameraParam& camera, const double pose[3][4], double x, double y) {
    const cv::Point2d p = ideal(camera, pose, x, y);
    cv::Point2d out;
    idealToObserved(camera, p.x, p.y, out.x, out.y);
    return out;
}

int brightness(const BgrImage& image, cv::Point2d at) {
    const uint8_t* p = image.at(static_cast<int>(std::lround(at.x)), static_cast<int>(std::lround(at.y)));
    return p[0] + p[1] + p[2];
}

bool isDark(const BgrImage& image, cv::Point2d at) { return brightness(image, at) <= 300; }

struct Rendered {
    BgrImage image;
    SyntheticTruth truth;
};

Rendered render(const CameraParam& camera, const SyntheticMarker& marker, const double pose[3][4],
                double noise = 0.0, uint64_t seed = 1, uint64_t frame = 0) {
    std::string error;
    std::unique_ptr<SyntheticScene> scene = SyntheticScene::create(camera, marker, error);
    EXPECT_NE(scene, nullptr) << error;
    Rendered out;
    if (scene) {
        EXPECT_TRUE(renderSyntheticFrame(*scene, pose, noise, seed, frame, out.image, out.truth));
    }
    return out;
}

void frontalPose(double pose[3][4], double shiftX = 0.0, double shiftY = 0.0) {
    syntheticPathPose(SyntheticPath::Frontal, 0.0, kWidth, pose);
    pose[0][3] += shiftX;
    pose[1][3] += shiftY;
}

// Just inside the black square it is ink, just outside paper: at the corners and the side middles.
void expectSquareAtTruth(const CameraParam& camera, const double pose[3][4], const Rendered& r) {
    const double h = kWidth / 2, step = kWidth * 0.015;  // about 2 pixels here
    const double around[8][2] = {{-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}};
    for (const auto& d : around) {
        const cv::Point2d inside = observe(camera, pose, d[0] * (h - step), d[1] * (h - step));
        const cv::Point2d outside = observe(camera, pose, d[0] * (h + step), d[1] * (h + step));
        EXPECT_TRUE(isDark(r.image, inside)) << "inside at " << inside;
        EXPECT_GE(brightness(r.image, outside), 3 * 180) << "outside at " << outside;
    }
}

TEST(SyntheticScene, TruthCornersAreWhereTheSquareIsDrawn) {
    double pose[3][4];
    frontalPose(pose);
    const CameraParam pinhole = pinholeCamera();
    const Rendered upright = render(pinhole, builtInSyntheticMarker(kWidth), pose);
    ASSERT_TRUE(upright.truth.markerInView);
    EXPECT_EQ(std::memcmp(upright.truth.transform, pose, sizeof pose), 0);
    // Frontal: the marker's top is towards image row 0, c0 top-left, corners clockwise on screen.
    const auto& c = upright.truth.corners;
    EXPECT_TRUE(c[0][0] < c[1][0] && c[1][1] < c[2][1] && c[2][0] > c[3][0] && c[3][1] > c[0][1]);
    expectSquareAtTruth(pinhole, pose, upright);

    // Towards an image corner, where the lens moves it by pixels: the image is in observed pixels,
    // the truth corners stay ideal.
    const CameraParam lens = fixtureCamera();
    frontalPose(pose, 1.3 * kWidth, 0.9 * kWidth);
    const Rendered bent = render(lens, builtInSyntheticMarker(kWidth), pose);
    ASSERT_TRUE(bent.truth.markerInView);
    const double h = kWidth / 2;
    const double corner[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d expected = ideal(lens, pose, corner[i][0], corner[i][1]);
        EXPECT_NEAR(cv::norm(cv::Point2d(bent.truth.corners[i][0], bent.truth.corners[i][1]) - expected), 0,
                    1e-9);
    }
    ASSERT_GT(cv::norm(observe(lens, pose, h, -h) - ideal(lens, pose, h, -h)), 3.0)
        << "the lens should matter";
    expectSquareAtTruth(lens, pose, bent);
}

TEST(SyntheticScene, DesignFillingTheSquareDrawsItsOwnBorderAtTheTruthCorners) {
    // 6 × 6 cells: an ink ring one cell wide around paper, like a printed ArUco marker.
    SyntheticMarker marker;
    marker.width = kWidth;
    marker.cells = true;
    marker.fillsSquare = true;
    marker.interior = BgrImage(6, 6, 235);
    for (int row = 0; row < 6; ++row)
        for (int col = 0; col < 6; ++col)
            if (row == 0 || row == 5 || col == 0 || col == 5)
                std::memset(marker.interior.at(col, row), 25, 3);

    const CameraParam lens = fixtureCamera();
    double pose[3][4];
    frontalPose(pose, 1.3 * kWidth, 0.9 * kWidth);
    const Rendered filled = render(lens, marker, pose);
    ASSERT_TRUE(filled.truth.markerInView);
    expectSquareAtTruth(lens, pose, filled);

    // 1.25 cells in from the edge: the paper inside the design's ring, where the usual layout's
    // quarter-wide border would be ink.
    marker.fillsSquare = false;
    const Rendered framed = render(lens, marker, pose);
    const double in = kWidth / 2 - 1.25 * kWidth / 6;
    const double around[8][2] = {{-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}};
    for (const auto& d : around) {
        const cv::Point2d at = observe(lens, pose, d[0] * in, d[1] * in);
        EXPECT_GE(brightness(filled.image, at), 3 * 180) << "filled, at " << at;
        EXPECT_TRUE(isDark(framed.image, at)) << "framed, at " << at;
    }
}

TEST(SyntheticScene, EdgesAreAreaSampledToSubPixelAccuracy) {
    const CameraParam pinhole = pinholeCamera();
    for (double shift : {0.0, 0.13, 0.37, 0.61, 0.88}) {
        double pose[3][4];
        // Shifts the square by a fraction of a pixel (5 widths away, one pixel is about 0.55 units).
        frontalPose(pose, shift * 5 * kWidth / pinhole.mat[0][0], 0.0);
        const Rendered r = render(pinhole, builtInSyntheticMarker(kWidth), pose);
        // Left side, along the middle row: paper, then ink. Each pixel's share of paper sums to the
        // distance from the window's left end to the edge.
        const double edge = r.truth.corners[0][0];
        const int row = static_cast<int>(std::lround((r.truth.corners[0][1] + r.truth.corners[3][1]) / 2));
        const int first = static_cast<int>(std::floor(edge)) - 3, last = first + 7;
        const double paper = (r.image.at(first - 2, row)[1] + r.image.at(first - 1, row)[1]) / 2.0;
        const double ink = (r.image.at(last + 1, row)[1] + r.image.at(last + 2, row)[1]) / 2.0;
        double paperShare = 0.0;
        for (int x = first; x <= last; ++x) paperShare += (r.image.at(x, row)[1] - ink) / (paper - ink);
        EXPECT_NEAR(first - 0.5 + paperShare, edge, 0.1) << "shift " << shift;
    }
}

TEST(SyntheticScene, PatternCellsKeepTheirPlaceOrientationAndColour) {
    // One red cell at the pattern's top-left (row 0, column 0): it lands beside corner c0, still red.
    uint8_t upright[kPatternSide][kPatternSide][3];
    std::memset(upright, 235, sizeof upright);
    const uint8_t red[3] = {20, 20, 200};  // blue, green, red: the file's plane order
    std::memcpy(upright[0][0], red, 3);
    const SyntheticMarker single = syntheticMarkerFromPattern(patternFromUpright(upright), kWidth);
    const CameraParam lens = fixtureCamera();
    double pose[3][4];
    syntheticPathPose(SyntheticPath::Still, 0.0, kWidth, pose);
    const Rendered r = render(lens, single, pose);
    const double cell = kWidth / 2 / kPatternSide;
    const auto cellCentre = [&](int row, int col) {
        return observe(lens, pose, -kWidth / 4 + (col + 0.5) * cell, kWidth / 4 - (row + 0.5) * cell);
    };
    const cv::Point2d topLeft = cellCentre(0, 0);
    const uint8_t* p =
        r.image.at(static_cast<int>(std::lround(topLeft.x)), static_cast<int>(std::lround(topLeft.y)));
    EXPECT_TRUE(p[0] < 60 && p[1] < 60 && p[2] > 150) << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
    for (const auto& rc : {std::make_pair(0, 15), std::make_pair(15, 0), std::make_pair(15, 15)})
        EXPECT_GE(brightness(r.image, cellCentre(rc.first, rc.second)), 3 * 180)
            << rc.first << "," << rc.second;
}

TEST(SyntheticScene, ImageDesignCentreIsWhereTheMarkerOriginProjects) {
    // A design with one dark dot at its centre, seen obliquely through the lens.
    cv::Mat design(64, 64, CV_8UC3, cv::Scalar::all(255));
    cv::rectangle(design, cv::Rect(28, 28, 8, 8), cv::Scalar::all(0), cv::FILLED);
    const std::string path = testing::TempDir() + "synthetic_design.png";
    ASSERT_TRUE(cv::imwrite(path, design));
    SyntheticMarker marker;
    std::string error;
    ASSERT_TRUE(syntheticMarkerFromImage(path, kWidth, marker, error)) << error;
    const CameraParam lens = fixtureCamera();
    double pose[3][4];
    syntheticPathPose(SyntheticPath::Orbit, 7.0, kWidth, pose);
    const Rendered r = render(lens, marker, pose);

    const cv::Point2d centre = observe(lens, pose, 0.0, 0.0);
    double sumX = 0, sumY = 0, weight = 0;
    for (int y = static_cast<int>(centre.y) - 12; y <= static_cast<int>(centre.y) + 12; ++y)
        for (int x = static_cast<int>(centre.x) - 12; x <= static_cast<int>(centre.x) + 12; ++x) {
            const double ink = std::max(0.0, 200.0 - r.image.at(x, y)[1]);
            sumX += ink * x;
            sumY += ink * y;
            weight += ink;
        }
    ASSERT_GT(weight, 0.0);
    EXPECT_NEAR(sumX / weight, centre.x, 0.3);
    EXPECT_NEAR(sumY / weight, centre.y, 0.3);
}

TEST(SyntheticScene, NoiseIsDeterministicAndGaussian) {
    const std::unique_ptr<SyntheticScene> scene = builtInScene(fixtureCamera());
    ASSERT_NE(scene, nullptr);
    double pose[3][4];
    syntheticPathPose(SyntheticPath::Still, 0.0, kWidth, pose);
    const auto frame = [&](double noise, uint64_t seed, uint64_t number) {
        BgrImage image;
        SyntheticTruth truth;
        EXPECT_TRUE(renderSyntheticFrame(*scene, pose, noise, seed, number, image, truth));
        return image.pixels;
    };
    const std::vector<uint8_t> clean = frame(0.0, 1, 0);
    EXPECT_EQ(clean, frame(0.0, 99, 5)) << "without noise, seed and frame change nothing";
    const std::vector<uint8_t> noisy = frame(3.0, 7, 12);
    EXPECT_EQ(noisy, frame(3.0, 7, 12));
    EXPECT_NE(noisy, frame(3.0, 8, 12));
    EXPECT_NE(noisy, frame(3.0, 7, 13));

    double sum = 0, squares = 0;
    size_t count = 0;
    for (size_t i = 0; i < clean.size(); ++i) {
        if (clean[i] < 20 || clean[i] > 230) continue;  // away from clipping
        const double d = static_cast<double>(noisy[i]) - clean[i];
        sum += d;
        squares += d * d;
        ++count;
    }
    ASSERT_GT(count, clean.size() / 2);
    EXPECT_NEAR(sum / count, 0.0, 0.05);
    // Rounding to whole levels adds 1/12 to the variance.
    EXPECT_NEAR(std::sqrt(squares / count - 1.0 / 12), 3.0, 0.1);
}

TEST(SyntheticScene, DeskIsNeverDark) {
    const CameraParam lens = fixtureCamera();
    const std::unique_ptr<SyntheticScene> scene = builtInScene(lens);
    ASSERT_NE(scene, nullptr);
    BgrImage image;
    SyntheticTruth truth;
    for (double t = 0.0; t < kSyntheticOrbitPeriod; t += 3.3) {
        double pose[3][4];
        syntheticPathPose(SyntheticPath::Orbit, t, kWidth, pose);
        if (t > 30) pose[2][3] *= 12;  // far away: the smallest mip levels
        ASSERT_TRUE(renderSyntheticFrame(*scene, pose, 0.0, 1, 0, image, truth));
        // Everything outside the card (with a pixel to spare for its anti-aliased rim) is light.
        cv::Mat card(image.height, image.width, CV_8U, cv::Scalar(0));
        std::vector<cv::Point> outline;
        for (const auto& c :
             {std::make_pair(-1, 1), std::make_pair(1, 1), std::make_pair(1, -1), std::make_pair(-1, -1)})
            outline.push_back(observe(lens, pose, c.first * 0.75 * kWidth, c.second * 0.75 * kWidth));
        cv::fillConvexPoly(card, outline, cv::Scalar(255));
        cv::dilate(card, card, cv::Mat(), cv::Point(-1, -1), 2);
        int dark = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const uint8_t* p = image.at(x, y);
                dark += !card.at<uint8_t>(y, x) && p[0] + p[1] + p[2] <= 300;
            }
        EXPECT_EQ(dark, 0) << "t = " << t;
    }
}

TEST(SyntheticScene, RefusesWhatItCannotRender) {
    std::string error;
    CameraParam huge = changeCameraParamSize(fixtureCamera(), 4096, 3072);
    EXPECT_EQ(SyntheticScene::create(huge, builtInSyntheticMarker(kWidth), error), nullptr);
    EXPECT_NE(error.find("4096x3072"), std::string::npos) << error;
    EXPECT_EQ(SyntheticScene::create(fixtureCamera(), builtInSyntheticMarker(-1.0), error), nullptr);
    EXPECT_EQ(SyntheticScene::create(fixtureCamera(), SyntheticMarker{}, error), nullptr);

    std::unique_ptr<SyntheticScene> scene =
        SyntheticScene::create(fixtureCamera(), builtInSyntheticMarker(kWidth), error);
    ASSERT_NE(scene, nullptr);
    double pose[3][4];
    frontalPose(pose);
    pose[1][3] = std::nan("");
    BgrImage image;
    SyntheticTruth truth;
    EXPECT_FALSE(renderSyntheticFrame(*scene, pose, 0.0, 1, 0, image, truth));
    EXPECT_FALSE(truth.markerInView);
}

TEST(SyntheticPath, OrbitKeepsTheWholeMarkerInViewAndMovesSmoothly) {
    const CameraParam lens = fixtureCamera();
    const double h = kWidth / 2;
    const double corner[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
    cv::Point2d previous[4];
    for (int frame = 0; frame <= 30 * kSyntheticOrbitPeriod; ++frame) {
        const double t = frame / 30.0;
        double pose[3][4];
        syntheticPathPose(SyntheticPath::Orbit, t, kWidth, pose);
        const SyntheticTruth truth = computeSyntheticTruth(lens, kWidth, pose);
        ASSERT_TRUE(truth.markerInView) << "t = " << t;
        for (int i = 0; i < 4; ++i) {
            const cv::Point2d p = observe(lens, pose, corner[i][0], corner[i][1]);
            EXPECT_TRUE(p.x >= 10 && p.y >= 10 && p.x <= 629 && p.y <= 469) << "t = " << t << " corner " << i;
            if (frame > 0) {
                EXPECT_LT(cv::norm(p - previous[i]), 12.0) << "t = " << t;
            }
            previous[i] = p;
        }
        // The camera, in marker coordinates: -Rᵀt.
        double eye[3];
        for (int k = 0; k < 3; ++k)
            eye[k] = -(pose[0][k] * pose[0][3] + pose[1][k] * pose[1][3] + pose[2][k] * pose[2][3]);
        const double distance = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
        EXPECT_TRUE(distance > 3.5 * kWidth && distance < 8.5 * kWidth) << "t = " << t;
        const double elevation = std::asin(eye[2] / distance) * 180 / CV_PI;
        EXPECT_TRUE(elevation > 30 && elevation < 80) << "t = " << t;
    }
    double a[3][4], b[3][4];
    syntheticPathPose(SyntheticPath::Orbit, 3.0, kWidth, a);
    syntheticPathPose(SyntheticPath::Orbit, 3.0 + kSyntheticOrbitPeriod, kWidth, b);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a[r][c], b[r][c], 1e-6);
}

}  // namespace
}  // namespace kelmo
