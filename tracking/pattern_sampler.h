#pragma once
// Reads the interior of a found square (its central half, inside the black frame) as 16 × 16 cells
// of blue, green and red, the way pattern files store a marker.
#include <cstdint>

#include "tracking/camera_param.h"
#include "tracking/image_view.h"
#include "tracking/pattern_file.h"

namespace kelmo {

// vertex: the square's corners in ideal pixels, clockwise; the samples come out with vertex[0] at
// the top-left, vertex[1] at the top-right. False when the corners give no usable mapping.
bool samplePattern(const ImageView& image, const CameraParam& param, const double vertex[4][2],
                   uint8_t samples[kPatternValues]);

}  // namespace kelmo
