// Fuzzes the camera parameter decoder over memory. Checks that a refused record leaves the parameters
// as they were with a reason, that an accepted one is finite and encodes back to the same bytes, and
// runs what the tracker does with it next: resizing, the console display and the lens model.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "tracking/camera_param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kelmo::CameraParam param;
    param.xsize = -7;
    std::string error;
    if (!kelmo::decodeCameraParam(data, size, param, error)) {
        check(!error.empty() && param.xsize == -7);
        return 0;
    }
    check(size >= kelmo::kCameraParamRecordSize && param.xsize > 0 && param.ysize > 0);
    for (const auto& row : param.mat)
        for (double v : row) check(std::isfinite(v));
    for (double v : param.distFactor) check(std::isfinite(v));
    uint8_t encoded[kelmo::kCameraParamRecordSize];
    kelmo::encodeCameraParam(param, encoded);
    check(std::memcmp(encoded, data, sizeof encoded) == 0);

    const kelmo::CameraParam resized = kelmo::changeCameraParamSize(param, 640, 480);
    check(kelmo::formatCameraParam(resized).find("SIZE = 640, 480") != std::string::npos);
    double ix, iy, ox, oy;
    kelmo::observedToIdeal(resized, 320.0, 240.0, ix, iy);
    kelmo::idealToObserved(resized, ix, iy, ox, oy);
    return 0;
}
