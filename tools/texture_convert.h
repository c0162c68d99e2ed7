#pragma once
// Texture images into the one kind Kelmo reads: square, power-of-two, uncompressed TGA, with the
// alpha plane (if any) inside it. Reads PNG, JPEG, BMP and the rest through OpenCV, TGA by itself.
#include <string>

namespace kelmo {

// The largest edge written: what every GL driver of Kelmo's age takes.
constexpr int kMaxTextureEdge = 4096;

// The power of two nearest the longer edge (nearest by ratio), at most kMaxTextureEdge.
int squareEdgeFor(int width, int height);

// True when Kelmo's reader takes the file as it is: a square power-of-two TGA (uncompressed true colour,
// 24 or 32 bits, rows bottom-up) or BMP (24 bits, uncompressed, rows bottom-up).
bool readableAsIs(const std::string& path);

struct ConvertedTexture {
    int width = 0, height = 0;  // of the colour image read
    int edge = 0;               // of the file written
    bool alpha = false;         // the file carries an alpha channel
};

// Reads the colour image and the alpha plane (empty: none; its grey, or its own alpha when it has one,
// becomes A), resamples both to the square edge and writes a TGA to outPath, 32 bits when there is
// alpha and 24 otherwise. False with why (naming the file) when a file cannot be read or written.
bool convertTexture(const std::string& imagePath, const std::string& alphaPath, const std::string& outPath,
                    ConvertedTexture& result, std::string& why);

}  // namespace kelmo
