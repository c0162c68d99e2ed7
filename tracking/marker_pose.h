#pragma once
// The marker-to-camera transform of a found marker.
#include "tracking/camera_param.h"
#include "tracking/marker_info.h"

namespace kelmo {

// conv = [R | t]: a point X on the marker (x right, y towards the pattern's top, z out of the paper,
// in the unit of width) is at R·X + t in the camera frame (x right, y down, z forward). center is
// where the square's centre lies on the marker. Returns the mean squared distance in ideal pixels
// between the corners and their reprojection, or −1 (conv untouched) when no pose can be found.
double markerTransform(const CameraParam& param, const MarkerInfo& marker, const double center[2], double width,
                       double conv[3][4]);

// The camera's optical centre in the marker's coordinates, from a marker-to-camera transform.
void cameraPositionInMarker(const double conv[3][4], double out[3]);

// The transform as a column-major OpenGL modelview matrix.
void modelviewFromTransform(const double conv[3][4], double out[16]);

}  // namespace kelmo
