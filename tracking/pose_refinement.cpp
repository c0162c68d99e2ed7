#include "tracking/pose_refinement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelmo {
namespace {

constexpr int kMaxIterations = 20;

// The residuals (u − observed, v − observed) of the four points, and their derivatives by a small
// turn ω (R ← exp([ω]×)·R) and shift of t, row by row. False when a point is not in front.
bool reproject(const cv::Matx33d& k, const cv::Vec3d object[4], const cv::Vec2d image[4],
               const cv::Matx33d& r, const cv::Vec3d& t, double residual[8], double jacobian[8][6]) {
    for (int i = 0; i < 4; ++i) {
        const cv::Vec3d turned = r * object[i];
        const cv::Vec3d p = k * (turned + t);
        if (!(p[2] > 0.0)) return false;
        const double u = p[0] / p[2], v = p[1] / p[2];
        residual[2 * i] = u - image[i][0];
        residual[2 * i + 1] = v - image[i][1];
        if (jacobian == nullptr) continue;
        for (int row = 0; row < 2; ++row) {
            const double projected = row == 0 ? u : v;
            // d(projected)/d(camera point)
            double d[3];
            for (int c = 0; c < 3; ++c) d[c] = (k(row, c) - projected * k(2, c)) / p[2];
            double* out = jacobian[2 * i + row];
            // The camera point moves by ω × turned under a turn, by the shift itself under a shift.
            out[0] = d[2] * turned[1] - d[1] * turned[2];
            out[1] = d[0] * turned[2] - d[2] * turned[0];
            out[2] = d[1] * turned[0] - d[0] * turned[1];
            out[3] = d[0];
            out[4] = d[1];
            out[5] = d[2];
        }
    }
    return true;
}

double sumOfSquares(const double residual[8]) {
    double sum = 0.0;
    for (int i = 0; i < 8; ++i) sum += residual[i] * residual[i];
    return sum;
}

// Solves a·x = b for a symmetric positive definite 6 × 6 matrix; false when it is not.
bool solveCholesky(double a[6][6], const double b[6], double x[6]) {
    for (int j = 0; j < 6; ++j) {
        double diagonal = a[j][j];
        for (int k = 0; k < j; ++k) diagonal -= a[j][k] * a[j][k];
        if (!(diagonal > 0.0)) return false;
        a[j][j] = std::sqrt(diagonal);
        for (int i = j + 1; i < 6; ++i) {
            double value = a[i][j];
            for (int k = 0; k < j; ++k) value -= a[i][k] * a[j][k];
            a[i][j] = value / a[j][j];
        }
    }
    double y[6];
    for (int i = 0; i < 6; ++i) {
        double value = b[i];
        for (int k = 0; k < i; ++k) value -= a[i][k] * y[k];
        y[i] = value / a[i][i];
    }
    for (int i = 5; i >= 0; --i) {
        double value = y[i];
        for (int k = i + 1; k < 6; ++k) value -= a[k][i] * x[k];
        x[i] = value / a[i][i];
    }
    return true;
}

// exp([ω]×): the turn by |ω| radians about ω.
cv::Matx33d turnBy(const double w[3]) {
    const double angle = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    const cv::Matx33d cross(0.0, -w[2], w[1], w[2], 0.0, -w[0], -w[1], w[0], 0.0);
    if (angle < 1e-12) return cv::Matx33d::eye() + cross;
    const double a = std::sin(angle) / angle, b = (1.0 - std::cos(angle)) / (angle * angle);
    return cv::Matx33d::eye() + a * cross + b * (cross * cross);
}

}  // namespace

double refinePose(const cv::Matx33d& k, const cv::Vec3d object[4], const cv::Vec2d image[4], cv::Matx33d& r,
                  cv::Vec3d& t) {
    double residual[8], jacobian[8][6];
    if (!reproject(k, object, image, r, t, residual, jacobian))
        return std::numeric_limits<double>::infinity();
    double cost = sumOfSquares(residual);
    double lambda = 1e-3;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        double normal[6][6] = {}, gradient[6] = {};
        for (int row = 0; row < 8; ++row)
            for (int i = 0; i < 6; ++i) {
                gradient[i] -= jacobian[row][i] * residual[row];
                for (int j = 0; j < 6; ++j) normal[i][j] += jacobian[row][i] * jacobian[row][j];
            }
        bool improved = false;
        while (lambda < 1e12) {
            double damped[6][6], step[6];
            std::copy(&normal[0][0], &normal[0][0] + 36, &damped[0][0]);
            // Marquardt's scaling, with a floor so that a direction nothing depends on stays put.
            for (int i = 0; i < 6; ++i) damped[i][i] += lambda * std::max(normal[i][i], 1e-12);
            if (solveCholesky(damped, gradient, step)) {
                const cv::Matx33d trialR = turnBy(step) * r;
                const cv::Vec3d trialT = t + cv::Vec3d(step[3], step[4], step[5]);
                double trialResidual[8];
                if (reproject(k, object, image, trialR, trialT, trialResidual, nullptr)) {
                    const double trialCost = sumOfSquares(trialResidual);
                    if (trialCost < cost) {
                        improved = cost - trialCost > 1e-12 * (1.0 + cost);
                        r = trialR;
                        t = trialT;
                        cost = trialCost;
                        lambda = std::max(lambda / 10, 1e-12);
                        break;
                    }
                }
            }
            lambda *= 10;
        }
        if (!improved) break;
        reproject(k, object, image, r, t, residual, jacobian);
    }
    return cost;
}

}  // namespace kelmo
