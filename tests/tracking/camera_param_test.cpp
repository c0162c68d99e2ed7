#include "tracking/camera_param.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tracking/gl_matrices.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

const std::string kSampleFile = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/camera_para.dat";

CameraParam loadSample() {
    CameraParam param;
    std::string error;
    EXPECT_TRUE(loadCameraParam(kSampleFile, param, error)) << error;
    return param;
}

std::string writeTemp(const std::string& name, const std::vector<char>& bytes) {
    const std::string path = testing_support::tempPath(name);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(CameraParamFile, SampleFileDecodesToTheCalibration) {
    const CameraParam p = loadSample();
    EXPECT_EQ(p.xsize, 640);
    EXPECT_EQ(p.ysize, 480);
    const double mat[3][4] = {{700.9514702992245, 0.0, 316.5, 0.0},
                              {0.0, 726.0941816535367, 241.5, 0.0},
                              {0.0, 0.0, 1.0, 0.0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_DOUBLE_EQ(p.mat[r][c], mat[r][c]) << r << "," << c;
    const double dist[4] = {318.5, 263.5, 26.2, 1.0127565206658486};
    for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(p.distFactor[i], dist[i]);
}

TEST(CameraParamFile, DisplayMatchesTheLibraryLayout) {
    EXPECT_EQ(formatCameraParam(loadSample()),
              "--------------------------------------\n"
              "SIZE = 640, 480\n"
              "Distortion factor = 318.500000 263.500000 26.200000 1.012757\n"
              "700.95147 0.00000 316.50000 0.00000 \n"
              "0.00000 726.09418 241.50000 0.00000 \n"
              "0.00000 0.00000 1.00000 0.00000 \n"
              "--------------------------------------\n");
}

TEST(CameraParamFile, ShortMissingOrNonsenseFilesAreRefusedWithAReason) {
    CameraParam param;
    std::string error;
    EXPECT_FALSE(loadCameraParam(testing_support::tempPath("no-such-camera.dat"), param, error));
    EXPECT_FALSE(error.empty());

    error.clear();
    EXPECT_FALSE(loadCameraParam(writeTemp("empty.dat", {}), param, error));
    EXPECT_NE(error.find("0 bytes"), std::string::npos) << error;

    std::ifstream sample(kSampleFile, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(sample)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), kCameraParamRecordSize);
    EXPECT_FALSE(loadCameraParam(writeTemp("short.dat", std::vector<char>(bytes.begin(), bytes.end() - 1)),
                                 param, error));
    EXPECT_NE(error.find("135 bytes"), std::string::npos) << error;

    std::vector<char> zeroSize = bytes;
    for (int i = 0; i < 4; ++i) zeroSize[static_cast<size_t>(i)] = 0;  // width 0
    EXPECT_FALSE(loadCameraParam(writeTemp("zero.dat", zeroSize), param, error));

    std::vector<char> notFinite = bytes;
    for (int i = 8; i < 16; ++i) notFinite[static_cast<size_t>(i)] = static_cast<char>(0xFF);  // NaN fx
    EXPECT_FALSE(loadCameraParam(writeTemp("nan.dat", notFinite), param, error));

    // Extra records after the first are ignored.
    std::vector<char> twoRecords = bytes;
    twoRecords.insert(twoRecords.end(), bytes.begin(), bytes.end());
    EXPECT_TRUE(loadCameraParam(writeTemp("two.dat", twoRecords), param, error)) << error;
}

TEST(CameraParamFile, ChangeOfSizeScalesByTheWidthRatioOnly) {
    const CameraParam p = changeCameraParamSize(loadSample(), 320, 200);
    EXPECT_EQ(p.xsize, 320);
    EXPECT_EQ(p.ysize, 200);
    EXPECT_DOUBLE_EQ(p.mat[0][0], 700.9514702992245 / 2);
    EXPECT_DOUBLE_EQ(p.mat[0][2], 316.5 / 2);
    EXPECT_DOUBLE_EQ(p.mat[1][1], 726.0941816535367 / 2);  // the height ratio would be 200/480
    EXPECT_DOUBLE_EQ(p.mat[1][2], 241.5 / 2);
    EXPECT_DOUBLE_EQ(p.mat[2][2], 1.0);
    EXPECT_DOUBLE_EQ(p.distFactor[0], 318.5 / 2);
    EXPECT_DOUBLE_EQ(p.distFactor[1], 263.5 / 2);
    EXPECT_DOUBLE_EQ(p.distFactor[2], 26.2 * 4);
    EXPECT_DOUBLE_EQ(p.distFactor[3], 1.0127565206658486);
}

TEST(LensModel, ObservedToIdealMatchesKnownPointsAndRoundTrips) {
    const CameraParam p = loadSample();
    double x, y;
    observedToIdeal(p, 0.0, 0.0, x, y);
    EXPECT_NEAR(x, -12.3869, 1e-4);
    EXPECT_NEAR(y, -10.2479, 1e-4);
    observedToIdeal(p, 639.0, 479.0, x, y);
    EXPECT_NEAR(x, 649.0576, 1e-4);
    EXPECT_NEAR(y, 485.7626, 1e-4);

    for (double ox : {0.0, 100.0, 318.5, 500.0, 639.0})
        for (double oy : {0.0, 263.5, 479.0}) {
            double ix, iy, bx, by;
            observedToIdeal(p, ox, oy, ix, iy);
            idealToObserved(p, ix, iy, bx, by);
            EXPECT_NEAR(bx, ox, 1e-4);
            EXPECT_NEAR(by, oy, 1e-4);
        }
    // The distortion centre maps onto itself both ways.
    observedToIdeal(p, 318.5, 263.5, x, y);
    EXPECT_DOUBLE_EQ(x, 318.5);
    EXPECT_DOUBLE_EQ(y, 263.5);
}

TEST(CameraProjection, SampleCameraGivesTheKnownMatrix) {
    double m[16];
    ASSERT_TRUE(cameraProjection(loadSample(), m));
    // Column-major: m[col * 4 + row].
    EXPECT_NEAR(m[0], 2.190473, 1e-6);
    EXPECT_NEAR(m[5], -3.025392, 1e-6);
    EXPECT_NEAR(m[8], -0.010938, 1e-6);
    EXPECT_NEAR(m[9], -0.010417, 1e-6);
    EXPECT_NEAR(m[10], 1.020202, 1e-6);
    EXPECT_NEAR(m[14], -101.010101, 1e-6);
    EXPECT_DOUBLE_EQ(m[11], 1.0);
    for (int i : {1, 2, 3, 4, 6, 7, 12, 13, 15}) EXPECT_DOUBLE_EQ(m[i], 0.0) << i;
}

TEST(CameraProjection, ProjectsCameraPointsOntoTheirFlippedPixels) {
    const CameraParam p = loadSample();
    double m[16];
    ASSERT_TRUE(cameraProjection(p, m));
    const double points[][3] = {{0, 0, 100}, {30, -20, 400}, {-150, 90, 1200}};
    for (const auto& pt : points) {
        double clip[4];
        for (int row = 0; row < 4; ++row)
            clip[row] = m[row] * pt[0] + m[4 + row] * pt[1] + m[8 + row] * pt[2] + m[12 + row];
        const double u = (p.mat[0][0] * pt[0] + p.mat[0][1] * pt[1] + p.mat[0][2] * pt[2]) / pt[2];
        const double v = (p.mat[1][1] * pt[1] + p.mat[1][2] * pt[2]) / pt[2];
        const double windowX = (clip[0] / clip[3] + 1.0) / 2.0 * p.xsize;
        const double windowY = (clip[1] / clip[3] + 1.0) / 2.0 * p.ysize;
        EXPECT_NEAR(windowX, u, 1e-9);
        EXPECT_NEAR(windowY, p.ysize - 1 - v, 1e-9);
    }
    // Depth: the near plane maps to -1, the far plane to +1.
    EXPECT_NEAR((m[10] * 50 + m[14]) / 50, -1.0, 1e-12);
    EXPECT_NEAR((m[10] * 5000 + m[14]) / 5000, 1.0, 1e-12);
}

TEST(CameraProjection, NegatedMatrixGivesTheSameProjectionAndDegenerateOnesNone) {
    double a[16], b[16];
    const double mat[3][4] = {{500, 0, 320, 0}, {0, 500, 240, 0}, {0, 0, 1, 1}};
    double negated[3][4];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) negated[r][c] = -mat[r][c];
    ASSERT_TRUE(projectionFromCameraMatrix(mat, 640, 480, 50, 5000, a));
    ASSERT_TRUE(projectionFromCameraMatrix(negated, 640, 480, 50, 5000, b));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], 1e-12) << i;

    const double flat[3][4] = {{500, 0, 320, 0}, {0, 500, 240, 0}, {0, 0, 0, 0}};
    EXPECT_FALSE(projectionFromCameraMatrix(flat, 640, 480, 50, 5000, a));
    EXPECT_FALSE(projectionFromCameraMatrix(mat, 0, 480, 50, 5000, a));
}

}  // namespace
}  // namespace kelmo
