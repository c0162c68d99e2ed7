// BGR rows into the RGBA picture: padding skipped, channels swapped, alpha kept, bounds respected.
#include "movie/frame_conversion.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelmo {
namespace {

// Every source byte says where it came from, every fill byte is 0xEE.
std::vector<uint8_t> bgrPicture(int width, int height) {
    std::vector<uint8_t> bgr(bgrRowBytes(width) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[y * bgrRowBytes(width) + x * 3 + c] = uint8_t((y * 7 + x * 3 + c) % 200);
    return bgr;
}

TEST(FrameConversion, OddWidthsSkipTheRowPaddingAndKeepAlpha) {
    EXPECT_EQ(bgrRowBytes(320), 960u);
    EXPECT_EQ(bgrRowBytes(321), 964u);
    EXPECT_EQ(bgrRowBytes(1), 4u);
    for (int width : {321, 322, 323, 324}) {
        const int height = 5;
        const std::vector<uint8_t> bgr = bgrPicture(width, height);
        std::vector<uint8_t> picture(width * height * 4);
        clearPicture(picture.data(), width, height, 127);
        convertBgrToPicture(bgr.data(), width, height, picture.data(), width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &picture[(y * width + x) * 4];
                const uint8_t* s = &bgr[y * bgrRowBytes(width) + x * 3];
                ASSERT_EQ(p[0], s[2]) << width << " wide, at " << x << ", " << y;
                ASSERT_EQ(p[1], s[1]);
                ASSERT_EQ(p[2], s[0]);
                ASSERT_EQ(p[3], 127);
            }
        }
    }
}

TEST(FrameConversion, AFrameLargerOrSmallerThanThePictureWritesOnlyTheCommonPart) {
    const std::vector<uint8_t> big = bgrPicture(9, 7);
    std::vector<uint8_t> picture(4 * 3 * 4 + 4, 0x55);  // 4 × 3 picture and a guard pixel
    convertBgrToPicture(big.data(), 9, 7, picture.data(), 4, 3);
    EXPECT_EQ(picture[3 * 4 * 4 - 4], big[2 * bgrRowBytes(9) + 3 * 3 + 2]);  // top-right pixel's red
    for (size_t i = 48; i < picture.size(); ++i) EXPECT_EQ(picture[i], 0x55) << "guard byte " << i;

    const std::vector<uint8_t> small = bgrPicture(2, 1);
    std::vector<uint8_t> wide(4 * 2 * 4, 0x55);
    convertBgrToPicture(small.data(), 2, 1, wide.data(), 4, 2);
    EXPECT_EQ(wide[0], small[2]);
    EXPECT_EQ(wide[2 * 4], 0x55);  // beyond the frame's width
    EXPECT_EQ(wide[4 * 4], 0x55);  // beyond its height
}

}  // namespace
}  // namespace kelmo
