#include "tracking/gl_matrices.h"

#include <cmath>

namespace kelmo {
namespace {

double dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double norm3(const double* a) { return std::sqrt(dot3(a, a)); }

}  // namespace

bool projectionFromCameraMatrix(const double matIn[3][4], int width, int height, double nearPlane,
                                double farPlane, double out[16]) {
    if (width <= 0 || height <= 0 || farPlane == nearPlane) return false;
    double m[3][4];
    const double sign = matIn[2][3] < 0.0 ? -1.0 : 1.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) m[r][c] = sign * matIn[r][c];

    // Split m = C·T (C upper-triangular intrinsics, T rigid) by Gram–Schmidt from the bottom row up.
    double c[3][3] = {};
    double t[3][4] = {};
    c[2][2] = norm3(m[2]);
    if (c[2][2] == 0.0) return false;
    for (int i = 0; i < 3; ++i) t[2][i] = m[2][i] / c[2][2];

    c[1][2] = dot3(t[2], m[1]);
    double r1[3];
    for (int i = 0; i < 3; ++i) r1[i] = m[1][i] - c[1][2] * t[2][i];
    c[1][1] = norm3(r1);
    if (c[1][1] == 0.0) return false;
    for (int i = 0; i < 3; ++i) t[1][i] = r1[i] / c[1][1];

    c[0][2] = dot3(t[2], m[0]);
    c[0][1] = dot3(t[1], m[0]);
    double r0[3];
    for (int i = 0; i < 3; ++i) r0[i] = m[0][i] - c[0][1] * t[1][i] - c[0][2] * t[2][i];
    c[0][0] = norm3(r0);
    if (c[0][0] == 0.0) return false;
    for (int i = 0; i < 3; ++i) t[0][i] = r0[i] / c[0][0];

    t[2][3] = m[2][3] / c[2][2];
    t[1][3] = (m[1][3] - c[1][2] * t[2][3]) / c[1][1];
    t[0][3] = (m[0][3] - c[0][1] * t[1][3] - c[0][2] * t[2][3]) / c[0][0];
    for (auto& row : c)
        for (double& v : row) v /= c[2][2];

    const double w = width, h = height, n = nearPlane, f = farPlane;
    const double q[4][4] = {
        {2.0 * c[0][0] / w, 2.0 * c[0][1] / w, 2.0 * c[0][2] / w - 1.0, 0.0},
        {0.0, 2.0 * c[1][1] / h, 2.0 * c[1][2] / h - 1.0, 0.0},
        {0.0, 0.0, (f + n) / (f - n), -2.0 * f * n / (f - n)},
        {0.0, 0.0, 1.0, 0.0},
    };
    const double rigid[4][4] = {
        {t[0][0], t[0][1], t[0][2], t[0][3]},
        {t[1][0], t[1][1], t[1][2], t[1][3]},
        {t[2][0], t[2][1], t[2][2], t[2][3]},
        {0.0, 0.0, 0.0, 1.0},
    };
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += q[row][k] * rigid[k][col];
            out[col * 4 + row] = sum;
        }
    return true;
}

bool cameraProjection(const CameraParam& param, double out[16]) {
    double flipped[3][4];
    for (int col = 0; col < 4; ++col) {
        flipped[0][col] = param.mat[0][col];
        flipped[1][col] = (param.ysize - 1) * param.mat[2][col] - param.mat[1][col];
        flipped[2][col] = param.mat[2][col];
    }
    return projectionFromCameraMatrix(flipped, param.xsize, param.ysize, kClipNear, kClipFar, out);
}

}  // namespace kelmo
