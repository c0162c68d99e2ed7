#pragma once
#include <cstdint>

namespace kelmo {

// A camera image that someone else owns: packed BGR, 3 bytes a pixel, row 0 at the top.
struct ImageView {
    int width = 0;   // pixels
    int height = 0;  // pixels
    int stride = 0;  // bytes from one row to the next
    const uint8_t* pixels = nullptr;
};

}  // namespace kelmo
