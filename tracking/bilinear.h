#pragma once
// Bilinear reads of a BGR image at fractional pixel positions; pixel centres sit on whole numbers and
// positions outside the image read its nearest edge pixel. Positions are taken to 1/2048 of a pixel
// and the weighting is done in integers: detection takes tens of thousands of these reads a frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "tracking/image_view.h"

namespace kelmo {

constexpr int kSubpixelBits = 11;
constexpr int64_t kSubpixel = int64_t{1} << kSubpixelBits;
// A read's value is its pixels' weighted sum in these units.
constexpr int64_t kBilinearScale = kSubpixel * kSubpixel;

// The four pixels around a position and the position's place between them.
struct BilinearTap {
    const uint8_t* topLeft;
    int right;       // bytes to the pixel on the right (0 in the last column)
    size_t down;     // bytes to the pixel below (0 in the last row)
    int64_t fx, fy;  // 0 to kSubpixel
};

inline BilinearTap bilinearTap(const ImageView& image, double x, double y) {
    x = std::clamp(x, 0.0, image.width - 1.0);
    y = std::clamp(y, 0.0, image.height - 1.0);
    const int64_t sx = static_cast<int64_t>(x * kSubpixel), sy = static_cast<int64_t>(y * kSubpixel);
    const int x0 = std::min(static_cast<int>(sx >> kSubpixelBits), std::max(image.width - 2, 0));
    const int y0 = std::min(static_cast<int>(sy >> kSubpixelBits), std::max(image.height - 2, 0));
    return {image.pixels + static_cast<size_t>(y0) * image.stride + 3 * static_cast<size_t>(x0),
            x0 + 1 < image.width ? 3 : 0, y0 + 1 < image.height ? static_cast<size_t>(image.stride) : 0,
            sx - (int64_t{x0} << kSubpixelBits), sy - (int64_t{y0} << kSubpixelBits)};
}

// Four pixel values (top left, top right, bottom left, bottom right) weighted, in kBilinearScale units.
inline int64_t bilinearBlend(const BilinearTap& tap, int64_t a, int64_t b, int64_t c, int64_t d) {
    // a·(1 − fx) + b·fx written with one product.
    const int64_t top = (a << kSubpixelBits) + (b - a) * tap.fx;
    const int64_t bottom = (c << kSubpixelBits) + (d - c) * tap.fx;
    return (top << kSubpixelBits) + (bottom - top) * tap.fy;
}

// Adds blue, green and red at (x, y), in kBilinearScale units, to sum.
inline void addBgr(const ImageView& image, double x, double y, int64_t sum[3]) {
    const BilinearTap tap = bilinearTap(image, x, y);
    const uint8_t* p = tap.topLeft;
    for (int k = 0; k < 3; ++k)
        sum[k] += bilinearBlend(tap, p[k], p[tap.right + k], p[tap.down + k], p[tap.down + tap.right + k]);
}

// The mean of blue, green and red at (x, y). Bilinear reading is linear, so each pixel's channels are
// added first.
inline double sampleGrey(const ImageView& image, double x, double y) {
    const BilinearTap tap = bilinearTap(image, x, y);
    const uint8_t* a = tap.topLeft;
    const uint8_t* b = a + tap.right;
    const uint8_t* c = a + tap.down;
    const uint8_t* d = c + tap.right;
    const int64_t sum =
        bilinearBlend(tap, a[0] + a[1] + a[2], b[0] + b[1] + b[2], c[0] + c[1] + c[2], d[0] + d[1] + d[2]);
    return static_cast<double>(sum) * (1.0 / (3.0 * static_cast<double>(kBilinearScale)));
}

}  // namespace kelmo
