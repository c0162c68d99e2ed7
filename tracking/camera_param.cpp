#include "tracking/camera_param.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "tracking/big_endian.h"
#include "tracking/file_start.h"

namespace kelmo {
namespace {

using big_endian::readCameraHead;
using big_endian::readDoubles;
using big_endian::writeDouble;

}  // namespace

bool decodeCameraParam(const uint8_t* bytes, size_t size, CameraParam& out, std::string& error) {
    if (size < kCameraParamRecordSize) {
        error = "the file holds " + std::to_string(size) + " bytes, a camera parameter record needs " +
                std::to_string(kCameraParamRecordSize);
        return false;
    }
    CameraParam param;
    const uint8_t* p = readCameraHead(bytes, param.xsize, param.ysize, param.mat);
    readDoubles(p, param.distFactor, 4);

    if (param.xsize <= 0 || param.ysize <= 0) {
        error = "the image size " + std::to_string(param.xsize) + " x " + std::to_string(param.ysize) +
                " is not positive";
        return false;
    }
    for (const auto& row : param.mat)
        for (double v : row)
            if (!std::isfinite(v)) return error = "the camera matrix holds a number that is not finite", false;
    for (double v : param.distFactor)
        if (!std::isfinite(v)) return error = "a distortion factor is not finite", false;
    // Projection and pose divide by the focal lengths and by the third row's length.
    const double* r2 = param.mat[2];
    if (param.mat[0][0] == 0.0 || param.mat[1][1] == 0.0 || r2[0] * r2[0] + r2[1] * r2[1] + r2[2] * r2[2] == 0.0) {
        error = "the camera matrix has a zero focal length or third row";
        return false;
    }
    if (param.distFactor[3] == 0.0) {
        error = "the distortion scale factor is zero";
        return false;
    }
    out = param;
    return true;
}

bool loadCameraParam(const std::string& path, CameraParam& out, std::string& error) {
    // Only the first record matters.
    std::vector<uint8_t> bytes;
    if (readFileStart(path, kCameraParamRecordSize, bytes) == FileStart::CannotOpen) {
        error = "cannot open the file";
        return false;
    }
    return decodeCameraParam(bytes.data(), bytes.size(), out, error);
}

void encodeCameraParam(const CameraParam& param, uint8_t out[kCameraParamRecordSize]) {
    big_endian::write(static_cast<uint32_t>(param.xsize), 4, out);
    big_endian::write(static_cast<uint32_t>(param.ysize), 4, out + 4);
    uint8_t* p = out + 8;
    for (const auto& row : param.mat)
        for (double v : row) writeDouble(v, p), p += 8;
    for (double v : param.distFactor) writeDouble(v, p), p += 8;
}

CameraParam changeCameraParamSize(const CameraParam& param, int xsize, int ysize) {
    const double scale = static_cast<double>(xsize) / param.xsize;
    CameraParam out = param;
    out.xsize = xsize;
    out.ysize = ysize;
    for (int col = 0; col < 4; ++col) {
        out.mat[0][col] *= scale;
        out.mat[1][col] *= scale;
    }
    out.distFactor[0] *= scale;
    out.distFactor[1] *= scale;
    out.distFactor[2] /= scale * scale;
    return out;
}

std::string formatCameraParam(const CameraParam& param) {
    std::string text = "--------------------------------------\n";
    char line[256];
    std::snprintf(line, sizeof line, "SIZE = %d, %d\n", param.xsize, param.ysize);
    text += line;
    std::snprintf(line, sizeof line, "Distortion factor = %f %f %f %f\n", param.distFactor[0],
                  param.distFactor[1], param.distFactor[2], param.distFactor[3]);
    text += line;
    for (const auto& row : param.mat) {
        for (double v : row) {
            std::snprintf(line, sizeof line, "%7.5f ", v);
            text += line;
        }
        text += "\n";
    }
    text += "--------------------------------------\n";
    return text;
}

void observedToIdeal(const CameraParam& param, double ox, double oy, double& ix, double& iy) {
    const double* d = param.distFactor;
    const double p = d[2] / kDistortionScale;
    double x = ox - d[0];
    double y = oy - d[1];
    const double observedRadius = std::sqrt(x * x + y * y);
    // Three Newton steps on the radius: the inverse of the closed-form forward model.
    double z0 = observedRadius;
    for (int i = 0; i < 3; ++i) {
        if (z0 == 0.0) {
            x = y = 0.0;
            break;
        }
        const double slope = 1.0 - 3.0 * p * z0 * z0;
        if (slope == 0.0) break;
        const double z = z0 - ((1.0 - p * z0 * z0) * z0 - observedRadius) / slope;
        x *= z / z0;
        y *= z / z0;
        z0 = std::sqrt(x * x + y * y);
    }
    ix = x / d[3] + d[0];
    iy = y / d[3] + d[1];
}

}  // namespace kelmo
