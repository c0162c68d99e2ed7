#pragma once
// Fitting the 2.x camera model (projection matrix and the one-term lens: centre, factor, scale) to other
// lens models, so a calibration made elsewhere becomes a camera parameter file Kelmo reads.
//
// Both sides are compared as mappings: every viewing ray (camera frame, z forward) goes to an observed
// pixel. The fit samples the source's mapping over the whole image and least-squares the 2.x one to it.
// The 2.x scale trades off exactly against the focal lengths and the projection centre, so it stays 1.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tracking/camera_param.h"

namespace kelmo {

// OpenCV's pinhole camera with its radial-tangential lens (rational terms k4..k6 allowed).
struct OpenCvLens {
    int width = 0;  // image size, pixels
    int height = 0;
    double fx = 0, fy = 0, cx = 0, cy = 0;  // pixels
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0, k4 = 0, k5 = 0, k6 = 0;
};

// The later toolkit's 176-byte camera file: the 2.x record's size and matrix, then a lens of its own.
struct Version4Camera {
    int xsize = 0, ysize = 0;
    double mat[3][4] = {};  // camera frame -> ideal pixels
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0, fx = 0, fy = 0, cx = 0, cy = 0, s = 1;
};
constexpr size_t kVersion4RecordSize = 176;

bool decodeVersion4Camera(const uint8_t* bytes, size_t size, Version4Camera& out, std::string& error);
// False, with the reason, unless the file holds exactly one 176-byte record.
bool loadVersion4Camera(const std::string& path, Version4Camera& out, std::string& error);
// An OpenCV calibration file (.yml, .yaml or .xml): camera_matrix, distortion_coefficients, image_width,
// image_height.
bool loadOpenCvLens(const std::string& path, OpenCvLens& out, std::string& error);

// Observed pixel of the viewing ray (x, y, 1) under each model.
void projectRay(const OpenCvLens& lens, double x, double y, double& ox, double& oy);
void projectRay(const Version4Camera& camera, double x, double y, double& ox, double& oy);
void projectRay(const CameraParam& param, double x, double y, double& ox, double& oy);

// The fitted parameters: fx, fy, cx, cy, lens centre x, y, lens factor (the file's, in 1e-8 / px²); the
// 2.x scale is 1 and the matrix has no skew.
constexpr int kCameraFitParams = 7;
CameraParam cameraParamOfFit(const double t[kCameraFitParams], int width, int height);
// A weak pull of the lens centre towards the projection centre, as a residual weight per pixel of
// distance, so it stays put when the lens factor is near zero and the centre has no effect.
constexpr double kCentrePull = 1e-3;

// True when Kelmo's observed-to-ideal conversion undoes the lens everywhere in the image (the lens's radius
// grows monotonically out to the image's corners).
bool cameraParamInvertible(const CameraParam& param);

struct CameraFit {
    CameraParam param;   // at the source's image size
    double rmsPx = 0.0;  // 2.x mapping against the source's, over the whole image
    double maxPx = 0.0;
};

// Above this RMS difference over the image the 2.x parameters would misplace what Kelmo draws.
constexpr double kMaxFitRmsPx = 0.5;

// False, with a one-line reason, when the source does not describe a camera or the 2.x lens cannot
// follow it over the image: its inverse would fold within the image, or it misses by more than
// kMaxFitRmsPx RMS.
bool fitCameraParam(const OpenCvLens& lens, CameraFit& out, std::string& error);
bool fitCameraParam(const Version4Camera& camera, CameraFit& out, std::string& error);

}  // namespace kelmo
