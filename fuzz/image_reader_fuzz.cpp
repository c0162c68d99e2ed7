// Fuzzes the texture image reader over memory: a colour file and an alpha-plane file from one input.
// Input: byte 0 picks the formats (bits 0-1 colour: tga, bmp, png, none; bits 2-4 alpha: tga, png,
// bmp, none, a tga that cannot be opened), bytes 1-2 the colour file's length, the rest the files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "model/image_reader.h"

// The reader reports on standard output; millions of runs would fill the log.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);  // when it fails, the messages stay
    (void)quiet;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    static const char* const kColourPaths[] = {"c.tga", "c.bmp", "c.png", ""};
    static const char* const kAlphaPaths[] = {"a.tga", "a.png", "a.bmp", "", "a.tga"};
    const int colourChoice = data[0] & 3;
    const int alphaChoice = (data[0] >> 2 & 7) % 5;
    const size_t rest = size - 3;
    const size_t colourBytes = (data[1] | size_t{data[2]} << 8) % (rest + 1);

    kelmo::ImageFile colour;
    colour.path = kColourPaths[colourChoice];
    colour.opened = true;
    colour.data = data + 3;
    colour.size = colourBytes;
    kelmo::ImageFile alpha;
    alpha.path = kAlphaPaths[alphaChoice];
    alpha.opened = alphaChoice != 4;
    alpha.data = data + 3 + colourBytes;
    alpha.size = rest - colourBytes;

    kelmo::RgbaImage image;
    const bool ok = kelmo::decodeImage(colour, alpha, image);
    const size_t expected = static_cast<size_t>(image.size) * image.size * 4;
    if (ok != (image.size > 0) || image.pixels.size() != expected) __builtin_trap();
    return 0;
}
