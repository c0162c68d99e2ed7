#pragma once
// Bilinear reads of a BGR image at fractional pixel positions; pixel centres sit on whole numbers.
#include <algorithm>
#include <cmath>

#include "tracking/image_view.h"

namespace kelmo {

// Writes the three channels at (x, y); positions outside the image read its nearest edge pixel.
inline void sampleBgr(const ImageView& image, double x, double y, double out[3]) {
    x = std::clamp(x, 0.0, image.width - 1.0);
    y = std::clamp(y, 0.0, image.height - 1.0);
    const int x0 = std::min(static_cast<int>(x), image.width - 2 < 0 ? 0 : image.width - 2);
    const int y0 = std::min(static_cast<int>(y), image.height - 2 < 0 ? 0 : image.height - 2);
    const int x1 = std::min(x0 + 1, image.width - 1), y1 = std::min(y0 + 1, image.height - 1);
    const double fx = x - x0, fy = y - y0;
    const uint8_t* a = image.pixels + static_cast<size_t>(y0) * image.stride + 3 * x0;
    const uint8_t* b = image.pixels + static_cast<size_t>(y0) * image.stride + 3 * x1;
    const uint8_t* c = image.pixels + static_cast<size_t>(y1) * image.stride + 3 * x0;
    const uint8_t* d = image.pixels + static_cast<size_t>(y1) * image.stride + 3 * x1;
    for (int k = 0; k < 3; ++k)
        out[k] = (a[k] * (1.0 - fx) + b[k] * fx) * (1.0 - fy) + (c[k] * (1.0 - fx) + d[k] * fx) * fy;
}

inline double sampleGrey(const ImageView& image, double x, double y) {
    double bgr[3];
    sampleBgr(image, x, y, bgr);
    return (bgr[0] + bgr[1] + bgr[2]) / 3.0;
}

}  // namespace kelmo
