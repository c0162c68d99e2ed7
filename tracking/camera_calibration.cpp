#include "tracking/camera_calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <opencv2/calib3d.hpp>

#include "tracking/least_squares.h"

namespace kelmo {
namespace {

// A board whose corners moved less than this share of the image diagonal since the previous frame is
// still: sharp, and its corners are where the frame shows them.
constexpr double kStillShare = 0.002;
// A view is new when its outline lies this share of the diagonal (RMS over the four outer corners) away
// from every view taken.
constexpr double kNewShare = 0.05;
// The views together must put a corner into each of these parts of the image.
constexpr int kCoverParts = 3;
// The focal length's standard deviation, as a share of it, above which the views are too alike.
constexpr double kMaxFocalUncertainty = 0.02;

std::vector<double> outlineOf(const ChessboardCorners& c, const ChessboardSpec& board) {
    const int last = board.cols * board.rows - 1;
    std::vector<double> out;
    for (int k : {0, board.cols - 1, last - (board.cols - 1), last}) {
        out.push_back(c[2 * k]);
        out.push_back(c[2 * k + 1]);
    }
    return out;
}

double squared(double v) { return v * v; }

// RMS distance of two outlines, in either corner order (the detector may number a board from either end).
double outlineDistance(const std::vector<double>& a, const std::vector<double>& b) {
    double same = 0.0, reversed = 0.0;
    for (int k = 0; k < 4; ++k) {
        const int o = 3 - k;
        same += squared(a[2 * k] - b[2 * k]) + squared(a[2 * k + 1] - b[2 * k + 1]);
        reversed += squared(a[2 * k] - b[2 * o]) + squared(a[2 * k + 1] - b[2 * o + 1]);
    }
    return std::sqrt(std::min(same, reversed) / 4);
}

const char* const kPartNames[kCoverParts][kCoverParts] = {
    {"top-left", "top", "top-right"}, {"left", "middle", "right"}, {"bottom-left", "bottom", "bottom-right"}};

// ---- refinement of the 2.x parameters on the views themselves ----
// OpenCV's model and the 2.x one differ slightly, and the views hardly tell a shifted projection centre
// from a turned camera with a lens term that undoes it; so a 2.x model fitted to OpenCV's mapping can sit
// a pixel or more away along that direction. Minimising the 2.x model's own reprojection error over the
// corners (bundle adjustment: the 7 camera parameters and every view's pose) removes that.

struct RefineProblem {
    const std::vector<cv::Point3d>* board;
    const std::vector<std::vector<cv::Point2d>>* seen;
    int width, height;
};

// Residuals of one view: observed minus seen, x then y per corner.
void viewResiduals(const RefineProblem& problem, const CameraParam& camera, const double* pose, size_t view,
                   double* out) {
    cv::Matx33d r;
    cv::Rodrigues(cv::Vec3d(pose[0], pose[1], pose[2]), r);
    const cv::Vec3d t(pose[3], pose[4], pose[5]);
    const std::vector<cv::Point3d>& board = *problem.board;
    const std::vector<cv::Point2d>& seen = (*problem.seen)[view];
    for (size_t p = 0; p < board.size(); ++p) {
        const cv::Vec3d c = r * cv::Vec3d(board[p].x, board[p].y, board[p].z) + t;
        double ox, oy;
        projectRay(camera, c[0] / c[2], c[1] / c[2], ox, oy);
        out[2 * p] = ox - seen[p].x;
        out[2 * p + 1] = oy - seen[p].y;
    }
}

void refineResiduals(const RefineProblem& problem, const std::vector<double>& params,
                     std::vector<double>& out) {
    const CameraParam camera = cameraParamOfFit(params.data(), problem.width, problem.height);
    const size_t views = problem.seen->size(), perView = 2 * problem.board->size();
    out.resize(views * perView + 2);
    for (size_t v = 0; v < views; ++v)
        viewResiduals(problem, camera, &params[kCameraFitParams + 6 * v], v, &out[v * perView]);
    out[views * perView] = kCentrePull * (params[4] - params[2]);
    out[views * perView + 1] = kCentrePull * (params[5] - params[3]);
}

// Central differences that use the structure: a pose moves only its own view's residuals.
void refineJacobian(const RefineProblem& problem, const std::vector<double>& params,
                    const std::vector<double>& r, std::vector<double>& out) {
    const size_t n = params.size(), m = r.size(), perView = 2 * problem.board->size();
    out.assign(m * n, 0.0);
    std::vector<double> shifted(params), plus, minus;
    for (size_t c = 0; c < static_cast<size_t>(kCameraFitParams); ++c) {
        const double h = 1e-6 * std::max(1.0, std::fabs(params[c]));
        shifted[c] = params[c] + h;
        refineResiduals(problem, shifted, plus);
        shifted[c] = params[c] - h;
        refineResiduals(problem, shifted, minus);
        shifted[c] = params[c];
        for (size_t k = 0; k < m; ++k) out[k * n + c] = (plus[k] - minus[k]) / (2 * h);
    }
    const CameraParam camera = cameraParamOfFit(params.data(), problem.width, problem.height);
    std::vector<double> a(perView), b(perView);
    for (size_t v = 0; v < problem.seen->size(); ++v) {
        for (size_t c = kCameraFitParams + 6 * v; c < kCameraFitParams + 6 * v + 6; ++c) {
            const double h = 1e-7 * std::max(1.0, std::fabs(params[c]));
            shifted[c] = params[c] + h;
            viewResiduals(problem, camera, &shifted[kCameraFitParams + 6 * v], v, a.data());
            shifted[c] = params[c] - h;
            viewResiduals(problem, camera, &shifted[kCameraFitParams + 6 * v], v, b.data());
            shifted[c] = params[c];
            for (size_t k = 0; k < perView; ++k) out[(v * perView + k) * n + c] = (a[k] - b[k]) / (2 * h);
        }
    }
}

}  // namespace

ViewSelector::ViewSelector(const ChessboardSpec& board, int width, int height)
    : board_(board), diagonal_(std::hypot(width, height)) {}

bool ViewSelector::offer(const ChessboardCorners* corners) {
    still_ = false;
    if (corners == nullptr || corners->size() != static_cast<size_t>(2 * board_.cols * board_.rows)) {
        previous_.clear();
        return false;
    }
    if (previous_.size() == corners->size()) {
        double moved = 0.0;
        for (size_t k = 0; k < corners->size(); k += 2)
            moved += std::hypot((*corners)[k] - previous_[k], (*corners)[k + 1] - previous_[k + 1]);
        still_ = moved / (corners->size() / 2) < kStillShare * diagonal_;
    }
    previous_ = *corners;
    if (!still_) return false;
    const std::vector<double> outline = outlineOf(*corners, board_);
    for (const std::vector<double>& taken : outlines_)
        if (outlineDistance(outline, taken) < kNewShare * diagonal_) return false;
    outlines_.push_back(outline);
    views_.push_back(*corners);
    return true;
}

bool calibrateFromViews(const std::vector<ChessboardCorners>& views, const ChessboardSpec& board, int width,
                        int height, Calibration& out, std::string& error) {
    // 1. enough views, covering the image
    const size_t perView = static_cast<size_t>(2 * board.cols * board.rows);
    if (views.size() < static_cast<size_t>(kMinCalibrationViews)) {
        error = "only " + std::to_string(views.size()) + " views of the board; at least " +
                std::to_string(kMinCalibrationViews) + " are needed";
        return false;
    }
    bool covered[kCoverParts][kCoverParts] = {};
    for (const ChessboardCorners& view : views) {
        if (view.size() != perView) {
            error = "a view holds " + std::to_string(view.size() / 2) + " corners, the board has " +
                    std::to_string(perView / 2);
            return false;
        }
        for (size_t k = 0; k < perView; k += 2) {
            const int i = std::clamp(static_cast<int>(view[k] * kCoverParts / width), 0, kCoverParts - 1);
            const int j =
                std::clamp(static_cast<int>(view[k + 1] * kCoverParts / height), 0, kCoverParts - 1);
            covered[j][i] = true;
        }
    }
    for (int j = 0; j < kCoverParts; ++j)
        for (int i = 0; i < kCoverParts; ++i)
            if (!covered[j][i]) {
                error = std::string("the views leave the ") + kPartNames[j][i] +
                        " part of the image without a board corner; show the board there too";
                return false;
            }

    // 2. OpenCV's calibration, its third radial term fixed: webcam lenses need no more, and it keeps the
    // model tame at the image's corners, where the 2.x fit has to follow it.
    std::vector<cv::Point3f> board3d;
    for (int j = 0; j < board.rows; ++j)
        for (int i = 0; i < board.cols; ++i) {
            double x, y;
            chessboardCorner(board, i, j, x, y);
            board3d.emplace_back(static_cast<float>(x), static_cast<float>(y), 0.0f);
        }
    std::vector<std::vector<cv::Point3f>> objects(views.size(), board3d);
    std::vector<std::vector<cv::Point2f>> images;
    for (const ChessboardCorners& view : views) {
        images.emplace_back();
        for (size_t k = 0; k < perView; k += 2)
            images.back().emplace_back(static_cast<float>(view[k]), static_cast<float>(view[k + 1]));
    }
    cv::Mat k = cv::Mat::eye(3, 3, CV_64F), d;
    std::vector<cv::Mat> rvecs, tvecs;
    cv::Mat deviations, extrinsicDeviations, perViewErrors;
    try {
        cv::calibrateCamera(objects, images, cv::Size(width, height), k, d, rvecs, tvecs, deviations,
                            extrinsicDeviations, perViewErrors, cv::CALIB_FIX_K3);
    } catch (const cv::Exception& e) {
        error = "OpenCV's calibration failed (" + e.msg + ")";
        return false;
    }
    Calibration c;
    c.width = width, c.height = height;
    c.views = static_cast<int>(views.size());
    c.lens.width = width, c.lens.height = height;
    c.lens.fx = k.at<double>(0, 0), c.lens.fy = k.at<double>(1, 1);
    c.lens.cx = k.at<double>(0, 2), c.lens.cy = k.at<double>(1, 2);
    c.lens.k1 = d.at<double>(0), c.lens.k2 = d.at<double>(1), c.lens.p1 = d.at<double>(2);
    c.lens.p2 = d.at<double>(3), c.lens.k3 = d.at<double>(4);
    const double focalShare =
        std::max(deviations.at<double>(0) / c.lens.fx, deviations.at<double>(1) / c.lens.fy);
    if (!(focalShare <= kMaxFocalUncertainty)) {
        char text[160];
        std::snprintf(
            text, sizeof text,
            "the views do not pin down the focal length (±%.1f %%); tilt the board more between views",
            100.0 * focalShare);
        error = text;
        return false;
    }

    // 3. the 2.x model: fitted to OpenCV's mapping, then refined on the corners with OpenCV's poses as
    // the start
    if (!fitCameraParam(c.lens, c.fit, error)) return false;
    std::vector<cv::Point3d> board3dd(board3d.begin(), board3d.end());
    std::vector<std::vector<cv::Point2d>> seen;
    for (const auto& view : images) seen.emplace_back(view.begin(), view.end());
    const RefineProblem problem{&board3dd, &seen, width, height};
    std::vector<double> params = {
        c.fit.param.mat[0][0],     c.fit.param.mat[1][1],     c.fit.param.mat[0][2],    c.fit.param.mat[1][2],
        c.fit.param.distFactor[0], c.fit.param.distFactor[1], c.fit.param.distFactor[2]};
    for (size_t v = 0; v < views.size(); ++v) {
        const cv::Vec3d rv(rvecs[v]), tv(tvecs[v]);
        params.insert(params.end(), {rv[0], rv[1], rv[2], tv[0], tv[1], tv[2]});
    }
    const ResidualFunction residuals = [&problem](const std::vector<double>& at, std::vector<double>& out) {
        refineResiduals(problem, at, out);
    };
    const JacobianFunction jacobian = [&problem](const std::vector<double>& at, const std::vector<double>& r,
                                                 std::vector<double>& out) {
        refineJacobian(problem, at, r, out);
    };
    levenbergMarquardt(params, residuals, jacobian, 50);
    c.param = cameraParamOfFit(params.data(), width, height);
    if (!cameraParamInvertible(c.param)) {
        error = "the 2.x lens model cannot follow this lens to the image's corners";
        return false;
    }

    // 4. both models' reprojection errors
    double openCvSum = 0.0, paramSum = 0.0;
    size_t points = 0;
    std::vector<double> r;
    refineResiduals(problem, params, r);
    for (size_t v = 0; v < views.size(); ++v) {
        cv::Matx33d rot;
        cv::Rodrigues(rvecs[v], rot);
        const cv::Vec3d t(tvecs[v]);
        for (size_t p = 0; p < board3d.size(); ++p, ++points) {
            const cv::Vec3d cam = rot * cv::Vec3d(board3d[p].x, board3d[p].y, board3d[p].z) + t;
            double ox, oy;
            projectRay(c.lens, cam[0] / cam[2], cam[1] / cam[2], ox, oy);
            openCvSum +=
                (ox - seen[v][p].x) * (ox - seen[v][p].x) + (oy - seen[v][p].y) * (oy - seen[v][p].y);
            paramSum += r[2 * points] * r[2 * points] + r[2 * points + 1] * r[2 * points + 1];
        }
    }
    c.openCvRmsPx = std::sqrt(openCvSum / points);
    c.cameraParamRmsPx = std::sqrt(paramSum / points);
    const double worst = std::max(c.openCvRmsPx, c.cameraParamRmsPx);
    if (!(worst <= kMaxCalibrationRmsPx)) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the board corners miss the fitted camera by %.2f px RMS (OpenCV's model %.2f px); "
                      "above %.1f px the parameters would mislead",
                      worst, c.openCvRmsPx, kMaxCalibrationRmsPx);
        error = text;
        return false;
    }
    out = c;
    return true;
}

}  // namespace kelmo
