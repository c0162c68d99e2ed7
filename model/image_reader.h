#pragma once
// The texture image reader: readImage reads the files and hands their bytes to decodeImage, whose
// passes run over bytes already in memory, so tests and the fuzzer need no files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

// A square RGBA image, rows one after another with no padding; row 0 is texture row t = 0.
struct RgbaImage {
    int size = 0;                 // edge length in pixels
    std::vector<uint8_t> pixels;  // size · size · 4 bytes: R, G, B, A
};

// Reads the colour image (uncompressed TGA or 24-bit BMP, square) and merges the alpha plane (TGA)
// into A. Either path may be empty. The paths may be rewritten in place: an extension other than
// tga, png or jpg becomes "bmp". Prints the reader's messages. False when no image results.
bool readImage(std::string& imagePath, std::string& alphaPath, RgbaImage& out);

enum class ImageFormat { Tga, Bmp, Png, Jpg };

// Larger images are refused, so a header cannot ask for a huge buffer.
constexpr int kMaxImageSize = 8192;
// No acceptable file needs more bytes than this; readImage reads no further.
constexpr size_t kMaxImageFileBytes = size_t{kMaxImageSize} * kMaxImageSize * 4 + 65536;

// The format named by the path's last three characters (any case); anything else is BMP.
ImageFormat imageFormatOf(const std::string& path);
// As imageFormatOf, and an extension other than tga, png or jpg is replaced in place by "bmp".
// A path shorter than three characters is left as it is.
ImageFormat rewriteImageExtension(std::string& path);

// One pass's file as readImage found it.
struct ImageFile {
    std::string path;               // as rewritten; empty: the pass is skipped
    bool opened = false;            // false: the file could not be opened
    const uint8_t* data = nullptr;  // the file's first `size` bytes; not owned
    size_t size = 0;
};

// "texturePool:テクスチャ読み込みエラー[path]": the image at path cannot be made into a texture.
void printTextureReadError(const std::string& path);

// Pass 0 reads the colour image, pass 1 merges the alpha plane into A. Prints the reader's messages.
// False when no colour image results; `out` is then left empty.
bool decodeImage(const ImageFile& colour, const ImageFile& alpha, RgbaImage& out);

}  // namespace kelmo
