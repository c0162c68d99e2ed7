#pragma once
// OpenGL matrices from the tracking data. OpenGL eye space is the camera frame used by the tracker:
// x right, y down (image rows), z forward.
#include "tracking/camera_param.h"

namespace kelmo {

constexpr double kClipNear = 50.0;
constexpr double kClipFar = 5000.0;

// Column-major projection for a camera matrix as it stands (no flip): ideal pixel (x, y) lands on
// normalised device coordinates (2x/W - 1, 2y/H - 1). False when the matrix cannot be decomposed.
bool projectionFromCameraMatrix(const double mat[3][4], int width, int height, double nearPlane,
                                double farPlane, double out[16]);

// The projection the 3D view uses: the camera matrix flipped vertically first, so that image row 0 is
// at the top of the window, with near 50 and far 5000.
bool cameraProjection(const CameraParam& param, double out[16]);

}  // namespace kelmo
