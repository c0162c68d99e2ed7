#include "movie/frame_conversion.h"

#include <algorithm>

namespace kelmo {

size_t bgrRowBytes(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~size_t(3); }

void clearPicture(uint8_t* picture, int width, int height, uint8_t alpha) {
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < pixels; ++i) {
        picture[i * 4] = 0;
        picture[i * 4 + 1] = 0;
        picture[i * 4 + 2] = 0;
        picture[i * 4 + 3] = alpha;
    }
}

void convertBgrToPicture(const uint8_t* bgr, int bgrWidth, int bgrHeight, uint8_t* picture, int pictureWidth,
                         int pictureHeight) {
    const size_t rowBytes = bgrRowBytes(bgrWidth);
    const int rows = std::min(bgrHeight, pictureHeight);
    const int columns = std::min(bgrWidth, pictureWidth);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* source = bgr + static_cast<size_t>(y) * rowBytes;
        uint8_t* target = picture + static_cast<size_t>(y) * static_cast<size_t>(pictureWidth) * 4;
        for (int x = 0; x < columns; ++x) {
            target[x * 4] = source[x * 3 + 2];
            target[x * 4 + 1] = source[x * 3 + 1];
            target[x * 4 + 2] = source[x * 3];
        }
    }
}

}  // namespace kelmo
