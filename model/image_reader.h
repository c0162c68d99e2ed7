#pragma once
// The texture image reader split from its files: the passes of readImage run over bytes already in
// memory, so tests and the fuzzer need no files. readImage (texture_pool.h) reads the files and calls it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/texture_pool.h"

namespace kelmo {

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
