#pragma once
// Dark pixels judged against their own surroundings instead of one fixed level, for frames where the
// light is uneven, dim, or the print is pale.
#include <cstdint>
#include <vector>

#include "tracking/image_view.h"

namespace kelmo {

struct LocalThreshold {
    int window = 31;     // side of the square neighbourhood whose mean a pixel is compared with, pixels
    double ratio = 0.8;  // dark below this share of the neighbourhood's mean: light falls off evenly
                         // over ink and paper, so a share, unlike a difference, holds in any light
    int minContrast =
        8;  // and more than this many grey levels below it, so noise on a plain area is not dark
};

// One byte a pixel of the image's size, 255 for dark and 0 otherwise.
void localDarkMask(const ImageView& image, const LocalThreshold& settings, std::vector<uint8_t>& mask);

// The image within [left, right) × [top, bottom) with the light made even: each pixel scaled so that the
// brightest grey within `window` pixels (the paper nearby) becomes `paper`. out must be a packed image
// of the same size; pixels outside the rectangle are left as they are.
void flattenLight(const ImageView& image, int left, int top, int right, int bottom, int window, int paper,
                  std::vector<uint8_t>& out);

}  // namespace kelmo
