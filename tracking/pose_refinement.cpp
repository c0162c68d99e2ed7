#include "tracking/pose_refinement.h"

#include <cmath>
#include <limits>
#include <vector>

#include "tracking/least_squares.h"

namespace kelmo {
namespace {

constexpr int kMaxIterations = 20;

// [w]×, the cross product with w as a matrix.
cv::Matx33d crossMatrix(const double w[3]) { return {0.0, -w[2], w[1], w[2], 0.0, -w[0], -w[1], w[0], 0.0}; }

// exp([w]×): the turn by |w| radians about w.
cv::Matx33d turnBy(const double w[3]) {
    const double angle = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    const cv::Matx33d cross = crossMatrix(w);
    if (angle < 1e-12) return cv::Matx33d::eye() + cross;
    const double a = std::sin(angle) / angle, b = (1.0 - std::cos(angle)) / (angle * angle);
    return cv::Matx33d::eye() + a * cross + b * (cross * cross);
}

// How a small turn d added to w acts on the turn: exp([w + d]×) ≈ exp([J·d]×)·exp([w]×).
cv::Matx33d turnJacobian(const double w[3]) {
    const double angle = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    const cv::Matx33d cross = crossMatrix(w);
    if (angle < 1e-6) return cv::Matx33d::eye() + 0.5 * cross;
    const double a = (1.0 - std::cos(angle)) / (angle * angle);
    const double b = (angle - std::sin(angle)) / (angle * angle * angle);
    return cv::Matx33d::eye() + a * cross + b * (cross * cross);
}

// The four points' residuals (u − observed, v − observed) under rotation r and translation t, and,
// when jacobian is not null, their derivatives (8 rows of 6) by a small turn ω (r ← exp([ω]×)·r) and
// shift of t. Residuals are infinite when a point is not in front of the camera.
void reproject(const cv::Matx33d& k, const cv::Vec3d object[4], const cv::Vec2d image[4],
               const cv::Matx33d& r, const cv::Vec3d& t, std::vector<double>& residual,
               std::vector<double>* jacobian) {
    residual.assign(8, std::numeric_limits<double>::infinity());
    if (jacobian != nullptr) jacobian->assign(8 * 6, 0.0);
    for (int i = 0; i < 4; ++i) {
        const cv::Vec3d turned = r * object[i];
        const cv::Vec3d p = k * (turned + t);
        if (!(p[2] > 0.0)) {
            residual.assign(8, std::numeric_limits<double>::infinity());
            return;
        }
        const double projected[2] = {p[0] / p[2], p[1] / p[2]};
        for (int row = 0; row < 2; ++row) {
            residual[static_cast<size_t>(2 * i + row)] = projected[row] - image[i][row];
            if (jacobian == nullptr) continue;
            // d(projected)/d(camera point)
            double d[3];
            for (int c = 0; c < 3; ++c) d[c] = (k(row, c) - projected[row] * k(2, c)) / p[2];
            double* out = &(*jacobian)[static_cast<size_t>(2 * i + row) * 6];
            // The camera point moves by ω × turned under a turn, by the shift itself under a shift.
            out[0] = d[2] * turned[1] - d[1] * turned[2];
            out[1] = d[0] * turned[2] - d[2] * turned[0];
            out[2] = d[1] * turned[0] - d[0] * turned[1];
            out[3] = d[0];
            out[4] = d[1];
            out[5] = d[2];
        }
    }
}

}  // namespace

double refinePose(const cv::Matx33d& k, const cv::Vec3d object[4], const cv::Vec2d image[4], cv::Matx33d& r,
                  cv::Vec3d& t) {
    // Parameters: the turn w applied to the starting rotation, and t.
    const cv::Matx33d start = r;
    std::vector<double> params = {0.0, 0.0, 0.0, t[0], t[1], t[2]};
    const auto pose = [&start](const std::vector<double>& at, cv::Matx33d& rotation, cv::Vec3d& translation) {
        rotation = turnBy(at.data()) * start;
        translation = cv::Vec3d(at[3], at[4], at[5]);
    };
    const ResidualFunction residuals = [&](const std::vector<double>& at, std::vector<double>& out) {
        cv::Matx33d rotation;
        cv::Vec3d translation;
        pose(at, rotation, translation);
        reproject(k, object, image, rotation, translation, out, nullptr);
    };
    const JacobianFunction jacobian = [&](const std::vector<double>& at, const std::vector<double>&,
                                          std::vector<double>& out) {
        cv::Matx33d rotation;
        cv::Vec3d translation;
        pose(at, rotation, translation);
        std::vector<double> unused;
        reproject(k, object, image, rotation, translation, unused, &out);
        // From a turn on top of the present rotation to a change of w.
        const cv::Matx33d chain = turnJacobian(at.data());
        for (size_t row = 0; row < 8; ++row) {
            double* j = &out[row * 6];
            const cv::Vec3d byTurn(j[0], j[1], j[2]);
            for (int c = 0; c < 3; ++c) j[c] = byTurn.dot(cv::Vec3d(chain(0, c), chain(1, c), chain(2, c)));
        }
    };

    std::vector<double> first;
    residuals(params, first);
    double cost = 0.0;
    for (double v : first) cost += v * v;
    if (!std::isfinite(cost)) return std::numeric_limits<double>::infinity();
    cost = levenbergMarquardt(params, residuals, jacobian, kMaxIterations);
    pose(params, r, t);
    return cost;
}

}  // namespace kelmo
