// Fitting the 2.x camera model to another lens model.
//
//   1. the models' ray -> pixel mappings
//   2. reading the other models' files
//   3. samples: rays of a grid of observed pixels, through the source's inverse
//   4. the fit: Levenberg-Marquardt on fx, fy, cx, cy and the lens centre and factor
#include "tracking/camera_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

#include "tracking/big_endian.h"
#include "tracking/file_start.h"
#include "tracking/least_squares.h"

namespace kelmo {
namespace {

using big_endian::readCameraHead;
using big_endian::readDoubles;

bool allFinite(const double* values, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

}  // namespace

// ---- 1. mappings ----

void projectRay(const OpenCvLens& l, double x, double y, double& ox, double& oy) {
    const double r2 = x * x + y * y;
    const double radial =
        (1 + ((l.k3 * r2 + l.k2) * r2 + l.k1) * r2) / (1 + ((l.k6 * r2 + l.k5) * r2 + l.k4) * r2);
    const double xd = x * radial + 2 * l.p1 * x * y + l.p2 * (r2 + 2 * x * x);
    const double yd = y * radial + l.p1 * (r2 + 2 * y * y) + 2 * l.p2 * x * y;
    ox = l.fx * xd + l.cx;
    oy = l.fy * yd + l.cy;
}

namespace {

void idealOfRay(const double mat[3][4], double x, double y, double& ix, double& iy) {
    double h[3];
    for (int r = 0; r < 3; ++r) h[r] = mat[r][0] * x + mat[r][1] * y + mat[r][2] + mat[r][3];
    ix = h[0] / h[2];
    iy = h[1] / h[2];
}

}  // namespace

void projectRay(const Version4Camera& c, double x, double y, double& ox, double& oy) {
    double ix, iy;
    idealOfRay(c.mat, x, y, ix, iy);
    const double u = (ix - c.cx) * c.s / c.fx, v = (iy - c.cy) * c.s / c.fy;
    const double r2 = u * u + v * v;
    const double radial = 1 + (c.k2 * r2 + c.k1) * r2;
    ox = (u * radial + 2 * c.p1 * u * v + c.p2 * (r2 + 2 * u * u)) * c.fx + c.cx;
    oy = (v * radial + c.p1 * (r2 + 2 * v * v) + 2 * c.p2 * u * v) * c.fy + c.cy;
}

void projectRay(const CameraParam& param, double x, double y, double& ox, double& oy) {
    double ix, iy;
    idealOfRay(param.mat, x, y, ix, iy);
    idealToObserved(param, ix, iy, ox, oy);
}

// ---- 2. files ----

bool decodeVersion4Camera(const uint8_t* bytes, size_t size, Version4Camera& out, std::string& error) {
    if (size != kVersion4RecordSize) {
        error = "the file holds " + std::to_string(size) + " bytes, a version 4 camera file has " +
                std::to_string(kVersion4RecordSize);
        return false;
    }
    Version4Camera c;
    double lens[9];
    readDoubles(readCameraHead(bytes, c.xsize, c.ysize, c.mat), lens, 9);
    if (c.xsize <= 0 || c.ysize <= 0 || c.xsize > 16384 || c.ysize > 16384) {
        error =
            "the image size " + std::to_string(c.xsize) + " x " + std::to_string(c.ysize) + " is not usable";
        return false;
    }
    if (!allFinite(&c.mat[0][0], 12) || !allFinite(lens, 9)) {
        error = "the file holds a number that is not finite";
        return false;
    }
    c.k1 = lens[0], c.k2 = lens[1], c.p1 = lens[2], c.p2 = lens[3];
    c.fx = lens[4], c.fy = lens[5], c.cx = lens[6], c.cy = lens[7], c.s = lens[8];
    if (c.fx == 0.0 || c.fy == 0.0 || c.s == 0.0 || c.mat[0][0] == 0.0 || c.mat[1][1] == 0.0 ||
        c.mat[2][2] == 0.0) {
        error = "the file has a zero focal length or scale";
        return false;
    }
    out = c;
    return true;
}

bool loadVersion4Camera(const std::string& path, Version4Camera& out, std::string& error) {
    // One byte more than a record, so a longer file is told apart without reading all of it.
    std::vector<uint8_t> bytes;
    if (readFileStart(path, kVersion4RecordSize + 1, bytes) == FileStart::CannotOpen)
        return error = "cannot open the file", false;
    const size_t size = bytes.size();
    if (size == kCameraParamRecordSize) {
        error = "this is already a 2.x camera file (136 bytes)";
        return false;
    }
    if (size > kVersion4RecordSize) {
        error = "the file is longer than a version 4 camera file (176 bytes)";
        return false;
    }
    return decodeVersion4Camera(bytes.data(), size, out, error);
}

bool loadOpenCvLens(const std::string& path, OpenCvLens& out, std::string& error) {
    cv::Mat k, d;
    int width = 0, height = 0;
    try {
        cv::FileStorage fs(path, cv::FileStorage::READ);
        if (!fs.isOpened()) return error = "cannot open it as an OpenCV calibration file", false;
        for (const char* key : {"camera_matrix", "distortion_coefficients", "image_width", "image_height"})
            if (fs[key].empty()) return error = std::string("no ") + key, false;
        fs["camera_matrix"] >> k;
        fs["distortion_coefficients"] >> d;
        fs["image_width"] >> width;
        fs["image_height"] >> height;
    } catch (const cv::Exception& e) {
        error = "cannot read it as an OpenCV calibration file (" + e.msg + ")";
        return false;
    }
    if (k.rows != 3 || k.cols != 3 || k.channels() != 1) return error = "camera_matrix is not 3 x 3", false;
    k.convertTo(k, CV_64F);
    const size_t count = d.total();
    if (d.empty() || d.channels() != 1 || count < 4 || count > 14 || (d.rows != 1 && d.cols != 1))
        return error = "distortion_coefficients must hold 4 to 14 numbers", false;
    d.convertTo(d, CV_64F);
    double coefficients[14] = {};
    for (size_t i = 0; i < count; ++i) coefficients[i] = d.at<double>(static_cast<int>(i));
    for (size_t i = 8; i < count; ++i)
        if (coefficients[i] != 0.0)
            return error = "the thin prism and tilted sensor terms are not supported", false;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return error = "image_width and image_height must be positive", false;
    if (!allFinite(k.ptr<double>(), 9) || !allFinite(coefficients, 14))
        return error = "the file holds a number that is not finite", false;
    if (k.at<double>(0, 0) <= 0.0 || k.at<double>(1, 1) <= 0.0)
        return error = "camera_matrix has no positive focal lengths", false;
    if (k.at<double>(0, 1) != 0.0)
        return error = "camera_matrix has a skew, which the 2.x model lacks", false;
    OpenCvLens lens;
    lens.width = width, lens.height = height;
    lens.fx = k.at<double>(0, 0), lens.fy = k.at<double>(1, 1);
    lens.cx = k.at<double>(0, 2), lens.cy = k.at<double>(1, 2);
    double* terms[8] = {&lens.k1, &lens.k2, &lens.p1, &lens.p2, &lens.k3, &lens.k4, &lens.k5, &lens.k6};
    for (int i = 0; i < 8; ++i) *terms[i] = coefficients[i];
    out = lens;
    return true;
}

CameraParam cameraParamOfFit(const double t[kCameraFitParams], int width, int height) {
    CameraParam p;
    p.xsize = width;
    p.ysize = height;
    p.mat[0][0] = t[0], p.mat[0][2] = t[2];
    p.mat[1][1] = t[1], p.mat[1][2] = t[3];
    p.mat[2][2] = 1.0;
    p.distFactor[0] = t[4], p.distFactor[1] = t[5], p.distFactor[2] = t[6], p.distFactor[3] = 1.0;
    return p;
}

bool cameraParamInvertible(const CameraParam& param) {
    // The image's border, where the lens bends most; a round trip through the lens must come back.
    constexpr int kSteps = 32;
    for (int k = 0; k <= kSteps; ++k) {
        const double f = static_cast<double>(k) / kSteps;
        const double border[4][2] = {{f * (param.xsize - 1), 0.0},
                                     {f * (param.xsize - 1), param.ysize - 1.0},
                                     {0.0, f * (param.ysize - 1)},
                                     {param.xsize - 1.0, f * (param.ysize - 1)}};
        for (const auto& o : border) {
            double ix, iy, ox, oy;
            observedToIdeal(param, o[0], o[1], ix, iy);
            const double p = param.distFactor[2] / kDistortionScale, s = param.distFactor[3];
            const double z2 = s * s *
                              ((ix - param.distFactor[0]) * (ix - param.distFactor[0]) +
                               (iy - param.distFactor[1]) * (iy - param.distFactor[1]));
            idealToObserved(param, ix, iy, ox, oy);
            if (!(1.0 - 3.0 * p * z2 > 0.0) || !(std::hypot(ox - o[0], oy - o[1]) < 0.01)) return false;
        }
    }
    return true;
}

namespace {

using RayToPixel = std::function<void(double, double, double&, double&)>;

struct Sample {
    double x, y;    // viewing ray (x, y, 1)
    double ox, oy;  // its observed pixel under the source model
};

// ---- 3. samples ----

// The ray of an observed pixel by Newton's method on the source's mapping, from the pinhole guess.
// False when it does not converge or the mapping folds there.
bool rayOfPixel(const RayToPixel& source, double fx, double fy, double cx, double cy, double ox, double oy,
                double& x, double& y) {
    x = (ox - cx) / fx;
    y = (oy - cy) / fy;
    constexpr double h = 1e-7;
    for (int step = 0; step < 50; ++step) {
        double px, py, ax, ay, bx, by;
        source(x, y, px, py);
        const double ex = px - ox, ey = py - oy;
        if (std::fabs(ex) < 1e-9 && std::fabs(ey) < 1e-9) return true;
        source(x + h, y, ax, ay);
        source(x, y + h, bx, by);
        const double j00 = (ax - px) / h, j10 = (ay - py) / h, j01 = (bx - px) / h, j11 = (by - py) / h;
        const double det = j00 * j11 - j01 * j10;
        if (!(det > 0.0)) return false;
        x -= (j11 * ex - j01 * ey) / det;
        y -= (j00 * ey - j10 * ex) / det;
        if (!std::isfinite(x) || !std::isfinite(y)) return false;
    }
    double px, py;
    source(x, y, px, py);
    return std::hypot(px - ox, py - oy) < 1e-4;
}

constexpr int kGridX = 41, kGridY = 31;

bool sampleMapping(const RayToPixel& source, int width, int height, double fx, double fy, double cx,
                   double cy, std::vector<Sample>& samples, std::string& error) {
    samples.clear();
    for (int j = 0; j < kGridY; ++j) {
        for (int i = 0; i < kGridX; ++i) {
            const double ox = (width - 1.0) * i / (kGridX - 1), oy = (height - 1.0) * j / (kGridY - 1);
            Sample s{};
            if (!rayOfPixel(source, fx, fy, cx, cy, ox, oy, s.x, s.y)) {
                error = "the lens model folds or diverges within the image (at pixel " +
                        std::to_string(static_cast<int>(ox)) + ", " + std::to_string(static_cast<int>(oy)) +
                        ")";
                return false;
            }
            source(s.x, s.y, s.ox, s.oy);
            samples.push_back(s);
        }
    }
    return true;
}

// ---- 4. the fit ----

constexpr int kParams = kCameraFitParams;

void residuals(const double t[kParams], const std::vector<Sample>& samples, std::vector<double>& r) {
    const CameraParam p = cameraParamOfFit(t, 1, 1);
    r.resize(2 * samples.size() + 2);
    for (size_t k = 0; k < samples.size(); ++k) {
        double ox, oy;
        idealToObserved(p, t[0] * samples[k].x + t[2], t[1] * samples[k].y + t[3], ox, oy);
        r[2 * k] = ox - samples[k].ox;
        r[2 * k + 1] = oy - samples[k].oy;
    }
    r[2 * samples.size()] = kCentrePull * (t[4] - t[2]);
    r[2 * samples.size() + 1] = kCentrePull * (t[5] - t[3]);
}

bool fitMapping(const RayToPixel& source, int width, int height, double fx, double fy, double cx, double cy,
                CameraFit& out, std::string& error) {
    std::vector<Sample> samples;
    if (!sampleMapping(source, width, height, fx, fy, cx, cy, samples, error)) return false;
    std::vector<double> t = {fx, fy, cx, cy, cx, cy, 0.0};
    const ResidualFunction f = [&samples](const std::vector<double>& at, std::vector<double>& r) {
        residuals(at.data(), samples, r);
    };
    levenbergMarquardt(t, f, numericJacobian(f), 100);
    const CameraParam param = cameraParamOfFit(t.data(), width, height);

    // Kelmo undoes the lens by Newton steps on the radius; they need the radius to grow monotonically,
    // 1 - 3·p·z² > 0, out to the image's farthest ideal point.
    const double p = param.distFactor[2] / kDistortionScale;
    double errorSum = 0.0, errorMax = 0.0;
    for (const Sample& s : samples) {
        const double ix = t[0] * s.x + t[2], iy = t[1] * s.y + t[3];
        const double z2 = (ix - t[4]) * (ix - t[4]) + (iy - t[5]) * (iy - t[5]);
        if (!(1.0 - 3.0 * p * z2 > 0.0)) {
            error = "the 2.x lens model cannot follow this lens to the image's corners";
            return false;
        }
        double ox, oy;
        idealToObserved(param, ix, iy, ox, oy);
        const double e = std::hypot(ox - s.ox, oy - s.oy);
        errorSum += e * e;
        errorMax = std::max(errorMax, e);
    }
    if (!allFinite(&param.mat[0][0], 12) || !allFinite(param.distFactor, 4) || !(t[0] > 0.0) ||
        !(t[1] > 0.0)) {
        error = "the fit did not converge";
        return false;
    }
    const double rms = std::sqrt(errorSum / samples.size());
    if (!(rms <= kMaxFitRmsPx)) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the 2.x lens model misses this lens by %.2f px RMS over the image (%.1f px at most); "
                      "above %.1f px the parameters would mislead",
                      rms, errorMax, kMaxFitRmsPx);
        error = text;
        return false;
    }
    out.param = param;
    out.rmsPx = rms;
    out.maxPx = errorMax;
    return true;
}

}  // namespace

bool fitCameraParam(const OpenCvLens& lens, CameraFit& out, std::string& error) {
    if (lens.width <= 0 || lens.height <= 0 || !(lens.fx > 0.0) || !(lens.fy > 0.0)) {
        error = "the lens has no image size or focal length";
        return false;
    }
    const RayToPixel source = [&lens](double x, double y, double& ox, double& oy) {
        projectRay(lens, x, y, ox, oy);
    };
    return fitMapping(source, lens.width, lens.height, lens.fx, lens.fy, lens.cx, lens.cy, out, error);
}

bool fitCameraParam(const Version4Camera& camera, CameraFit& out, std::string& error) {
    const RayToPixel source = [&camera](double x, double y, double& ox, double& oy) {
        projectRay(camera, x, y, ox, oy);
    };
    const double fx = camera.mat[0][0] / camera.mat[2][2], fy = camera.mat[1][1] / camera.mat[2][2];
    const double cx = camera.mat[0][2] / camera.mat[2][2], cy = camera.mat[1][2] / camera.mat[2][2];
    if (!(fx > 0.0) || !(fy > 0.0)) {
        error = "the camera matrix has no positive focal lengths";
        return false;
    }
    return fitMapping(source, camera.xsize, camera.ysize, fx, fy, cx, cy, out, error);
}

}  // namespace kelmo
