#pragma once
// Decoded frames into the movie picture: pure byte work, no decoder and no GL.
#include <cstddef>
#include <cstdint>

namespace kelmo {

// Bytes in one row of a packed BGR picture whose rows are padded to a multiple of 4.
size_t bgrRowBytes(int width);

// Fills an RGBA picture of width × height with black whose alpha bytes are all `alpha`.
void clearPicture(uint8_t* picture, int width, int height, uint8_t alpha);

// Copies a bottom-up BGR picture (rows padded to 4 bytes) into a bottom-up RGBA picture: red, green
// and blue of each pixel are replaced, the alpha bytes are kept. Rows are copied in their order (both
// start at the bottom row, as OpenGL textures do). Only the part both pictures cover is written.
void convertBgrToPicture(const uint8_t* bgr, int bgrWidth, int bgrHeight, uint8_t* picture, int pictureWidth,
                         int pictureHeight);

}  // namespace kelmo
