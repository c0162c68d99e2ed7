// kelmo-demo-camera: writes camera parameters for a typical 640 x 480 webcam (about 55° across,
// mild barrel distortion), for the demo when no calibration is at hand. Every run writes the same file.
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/demo/output_argument.h"
#include "tracking/camera_param.h"

int main(int argc, char** argv) {
    int status = 0;
    if (!kelmo::outputArgument(argc, argv, "kelmo-demo-camera OUT.dat", status)) return status;
    kelmo::CameraParam param;
    param.xsize = 640;
    param.ysize = 480;
    const double mat[3][4] = {{620.0, 0.0, 319.5, 0.0}, {0.0, 620.0, 239.5, 0.0}, {0.0, 0.0, 1.0, 0.0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) param.mat[r][c] = mat[r][c];
    // Distortion centre a little off the image centre as in real lenses; 20e-8 /px² bends the corners
    // (400 px out) inwards by about 3 %; scale 1 keeps the centre's magnification.
    const double dist[4] = {321.0, 241.5, 20.0, 1.0};
    for (int i = 0; i < 4; ++i) param.distFactor[i] = dist[i];

    uint8_t record[kelmo::kCameraParamRecordSize];
    kelmo::encodeCameraParam(param, record);
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(record), sizeof record);
    file.close();
    if (!file) {
        std::remove(argv[1]);
        std::fprintf(stderr, "kelmo-demo-camera: %s: cannot write the file\n", argv[1]);
        return 1;
    }
    std::printf("wrote %s\n%s", argv[1], kelmo::formatCameraParam(param).c_str());
    return 0;
}
