#pragma once
// The sides and corners of a square in ideal (undistorted) pixels: lines fitted to the contour,
// then moved to where the image's brightness actually changes, to a fraction of a pixel.
#include "tracking/camera_param.h"
#include "tracking/image_view.h"
#include "tracking/square_finder.h"

namespace kelmo {

// Fills line[4][3] (a·x + b·y + c = 0, (a, b) a unit normal) and vertex[4][2] (vertex i where
// lines i−1 and i meet). False when a side cannot be fitted or two neighbouring sides are parallel.
bool fitSquareEdges(const ImageView& image, const CameraParam& param, const SquareCandidate& square,
                    double line[4][3], double vertex[4][2]);

}  // namespace kelmo
