#pragma once
// Camera parameters in the marker-tracking library's binary format: image size, the 3x4 matrix that
// maps camera-frame points to ideal (undistorted) pixels, and the lens distortion factors.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelmo {

struct CameraParam {
    int xsize = 0;              // image size the calibration refers to, pixels
    int ysize = 0;
    double mat[3][4] = {};      // camera frame -> ideal pixels (homogeneous)
    double distFactor[4] = {};  // distortion centre x, y (observed pixels); radial factor ×1e8; scale
};

// One record on disk: two big-endian int32 and 16 big-endian doubles.
constexpr size_t kCameraParamRecordSize = 136;

// Decodes one record. False, with the reason in error, when the bytes are short or the values cannot
// describe a camera (non-positive size, non-finite numbers, a matrix that projects nothing).
bool decodeCameraParam(const uint8_t* bytes, size_t size, CameraParam& out, std::string& error);
bool loadCameraParam(const std::string& path, CameraParam& out, std::string& error);
// One record as decodeCameraParam reads it.
void encodeCameraParam(const CameraParam& param, uint8_t out[kCameraParamRecordSize]);

// The parameters for another image size; only the width ratio is used, for both axes.
CameraParam changeCameraParamSize(const CameraParam& param, int xsize, int ysize);

// The seven-line console display of a parameter set.
std::string formatCameraParam(const CameraParam& param);

// distFactor[2] is stored multiplied by this.
constexpr double kDistortionScale = 100000000.0;

// Lens model: ideal (pinhole) pixel coordinates <-> observed (camera) pixel coordinates. The forward
// direction is inline: detection runs it for every sample it takes of a marker.
inline void idealToObserved(const CameraParam& param, double ix, double iy, double& ox, double& oy) {
    const double* d = param.distFactor;
    const double p = d[2] / kDistortionScale;
    const double x = (ix - d[0]) * d[3];
    const double y = (iy - d[1]) * d[3];
    if (x == 0.0 && y == 0.0) {
        ox = d[0];
        oy = d[1];
        return;
    }
    const double k = 1.0 - p * (x * x + y * y);
    ox = x * k + d[0];
    oy = y * k + d[1];
}
void observedToIdeal(const CameraParam& param, double ox, double oy, double& ix, double& iy);

}  // namespace kelmo
