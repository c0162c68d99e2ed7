// Texture images: uncompressed square TGA and 24-bit BMP, with an optional TGA alpha plane.
//   1. formats and the extension rewrite
//   2. header checks: every length and offset is checked against the bytes present
//   3. the two passes over bytes in memory (decodeImage)
//   4. reading the files (readImage)
#include "model/image_reader.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

namespace kelmo {

void printTextureReadError(const std::string& path) {
    std::printf("%s:テクスチャ読み込みエラー[%s]\n", "texturePool", path.c_str());
    std::fflush(stdout);
}

namespace {

void print(const char* format, const std::string& path) {
    std::printf(format, path.c_str());
    std::fflush(stdout);
}

constexpr char kUnsupportedFormat[] = "このテクスチャは対応できないフォーマット→%s\n";
constexpr char kUnsupportedAlpha[] = "アルファのファイルに対応できない→%s\n";

// ---- 1. formats ----

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// ---- 2. headers ----

uint32_t le16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

constexpr size_t kTgaHeaderBytes = 18;
constexpr size_t kBmpHeaderBytes = 54;  // file header and the smallest info header we accept

// Where a file's pixel rows are: file row j starts at offset + j · stride.
struct PixelRows {
    int size = 0;           // edge length in pixels
    int bytesPerPixel = 0;  // 1, 3 or 4
    uint64_t offset = 0;
    size_t stride = 0;
};

bool squareSizeAccepted(int64_t width, int64_t height) {
    return width == height && width >= 1 && width <= kMaxImageSize;
}

// True when every byte of every row lies inside the file.
bool rowsInside(const ImageFile& file, const PixelRows& rows) {
    const uint64_t rowBytes = static_cast<uint64_t>(rows.size) * rows.bytesPerPixel;
    const uint64_t end = rows.offset + static_cast<uint64_t>(rows.stride) * (rows.size - 1) + rowBytes;
    return end <= file.size;
}

struct TgaHeader {
    int idLength = 0;
    int colourMapType = 0;
    int type = 0;  // 2: uncompressed true colour, 3: uncompressed grey
    int width = 0;
    int height = 0;
    int depth = 0;  // bits per pixel
};

TgaHeader tgaHeader(const uint8_t* p) {
    TgaHeader header;
    header.idLength = p[0];
    header.colourMapType = p[1];
    header.type = p[2];
    header.width = static_cast<int>(le16(p + 12));
    header.height = static_cast<int>(le16(p + 14));
    header.depth = p[16];
    return header;
}

// Rows of a TGA without padding, right after the header and its identification field.
PixelRows tgaRows(const TgaHeader& header) {
    PixelRows rows;
    rows.size = header.width;
    rows.bytesPerPixel = header.depth / 8;
    rows.offset = kTgaHeaderBytes + header.idLength;
    rows.stride = static_cast<size_t>(rows.size) * rows.bytesPerPixel;
    return rows;
}

// A 24-bit uncompressed BMP whose rows are padded to four bytes, found through the data offset.
bool bmpRows(const ImageFile& file, PixelRows& rows) {
    if (file.size < kBmpHeaderBytes) return false;
    const uint8_t* p = file.data;
    if (p[0] != 'B' || p[1] != 'M') return false;
    const uint32_t dataOffset = le32(p + 10);
    const uint32_t infoBytes = le32(p + 14);
    const int32_t width = static_cast<int32_t>(le32(p + 18));
    const int32_t height = static_cast<int32_t>(le32(p + 22));  // negative (top-down) is refused
    const uint32_t bitCount = le16(p + 28);
    const uint32_t compression = le32(p + 30);
    if (infoBytes < 40 || dataOffset < 14 + static_cast<uint64_t>(infoBytes)) return false;
    if (bitCount != 24 || compression != 0 || !squareSizeAccepted(width, height)) return false;
    rows.size = width;
    rows.bytesPerPixel = 3;
    rows.offset = dataOffset;
    rows.stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    return rowsInside(file, rows);
}

// ---- 3. passes ----

enum class PassResult {
    read,     // the pass stored its pixels
    skipped,  // nothing stored; the read goes on
    failed,   // the whole read fails
};

bool allocate(RgbaImage& image, int size) {
    try {
        image.pixels.assign(static_cast<size_t>(size) * size * 4, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    image.size = size;
    return true;
}

const uint8_t* fileRow(const ImageFile& file, const PixelRows& rows, int j) {
    return file.data + rows.offset + static_cast<size_t>(j) * rows.stride;
}

// File row j goes to image row size − 1 − j: bottom-up files put the picture's top row at t = 0.
uint8_t* imageRowFor(RgbaImage& image, int j) {
    return image.pixels.data() + static_cast<size_t>(image.size - 1 - j) * image.size * 4;
}

void storeColour(const ImageFile& file, const PixelRows& rows, RgbaImage& image) {
    for (int j = 0; j < rows.size; ++j) {
        const uint8_t* in = fileRow(file, rows, j);
        uint8_t* out = imageRowFor(image, j);
        for (int i = 0; i < rows.size; ++i, in += rows.bytesPerPixel, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = rows.bytesPerPixel == 4 ? in[3] : 255;
        }
    }
}

void storeAlpha(const ImageFile& file, const PixelRows& rows, RgbaImage& image) {
    for (int j = 0; j < rows.size; ++j) {
        const uint8_t* in = fileRow(file, rows, j);
        uint8_t* out = imageRowFor(image, j);
        for (int i = 0; i < rows.size; ++i, in += rows.bytesPerPixel, out += 4)
            out[3] = in[rows.bytesPerPixel - 1];
    }
}

// Pass 0: the colour image. Malformed files fail the read with the read-error message.
PassResult readColour(const ImageFile& file, RgbaImage& image) {
    if (!file.opened) {
        printTextureReadError(file.path);
        return PassResult::skipped;
    }
    PixelRows rows;
    switch (imageFormatOf(file.path)) {
        case ImageFormat::Png:
        case ImageFormat::Jpg:
            print(kUnsupportedFormat, file.path);
            return PassResult::skipped;
        case ImageFormat::Tga: {
            if (file.size < kTgaHeaderBytes) break;
            const TgaHeader header = tgaHeader(file.data);
            if (header.type != 2 || (header.depth != 24 && header.depth != 32)) break;
            if (header.colourMapType != 0 || !squareSizeAccepted(header.width, header.height)) break;
            rows = tgaRows(header);
            if (!rowsInside(file, rows)) break;
            if (!allocate(image, rows.size)) return PassResult::failed;
            storeColour(file, rows, image);
            return PassResult::read;
        }
        case ImageFormat::Bmp:
            if (!bmpRows(file, rows)) break;
            if (!allocate(image, rows.size)) return PassResult::failed;
            storeColour(file, rows, image);
            return PassResult::read;
    }
    printTextureReadError(file.path);
    return PassResult::failed;
}

// Pass 1: the alpha plane into A of `image`, which is null when no colour image was read (the read
// fails then, but the pass still checks the file and prints its messages).
PassResult mergeAlpha(const ImageFile& file, RgbaImage* image) {
    const ImageFormat format = imageFormatOf(file.path);
    if (format != ImageFormat::Tga && format != ImageFormat::Png) {
        print(kUnsupportedAlpha, file.path);
        return PassResult::skipped;
    }
    if (!file.opened) {
        printTextureReadError(file.path);
        return PassResult::skipped;
    }
    if (format == ImageFormat::Png) {
        print(kUnsupportedFormat, file.path);
        return PassResult::skipped;
    }
    const auto malformed = [&file] {
        printTextureReadError(file.path);
        return PassResult::failed;
    };
    if (file.size < kTgaHeaderBytes) return malformed();
    const TgaHeader header = tgaHeader(file.data);
    if (!squareSizeAccepted(header.width, header.height)) return malformed();
    if (image != nullptr && header.width != image->size) return PassResult::failed;
    const bool grey = header.type == 3 && header.depth == 8;
    const bool trueColour = header.type == 2 && header.depth == 32;
    if (!grey && !trueColour) return PassResult::skipped;
    const PixelRows rows = tgaRows(header);
    if (header.colourMapType != 0 || !rowsInside(file, rows)) return malformed();
    if (image == nullptr) return PassResult::skipped;
    storeAlpha(file, rows, *image);
    return PassResult::read;
}

// ---- 4. files ----

// Opens the file; with `readBytes`, reads at most kMaxImageFileBytes of it. False when it cannot be
// opened. A read that runs out of memory leaves the bytes short, which the header checks refuse.
bool readFile(const std::string& path, bool readBytes, std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    constexpr size_t kChunk = size_t{1} << 16;
    try {
        while (readBytes && bytes.size() < kMaxImageFileBytes) {
            const size_t before = bytes.size();
            const size_t wanted = std::min(kChunk, kMaxImageFileBytes - before);
            bytes.resize(before + wanted);
            const size_t got = std::fread(bytes.data() + before, 1, wanted, file);
            bytes.resize(before + got);
            if (got < wanted) break;
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
    }
    std::fclose(file);
    return true;
}

}  // namespace

ImageFormat imageFormatOf(const std::string& path) {
    if (path.size() < 3) return ImageFormat::Bmp;
    std::string extension = path.substr(path.size() - 3);
    std::transform(extension.begin(), extension.end(), extension.begin(), lowerAscii);
    if (extension == "tga") return ImageFormat::Tga;
    if (extension == "png") return ImageFormat::Png;
    if (extension == "jpg") return ImageFormat::Jpg;
    return ImageFormat::Bmp;
}

ImageFormat rewriteImageExtension(std::string& path) {
    const ImageFormat format = imageFormatOf(path);
    if (format == ImageFormat::Bmp && path.size() >= 3) path.replace(path.size() - 3, 3, "bmp");
    return format;
}

bool decodeImage(const ImageFile& colour, const ImageFile& alpha, RgbaImage& out) {
    out = RgbaImage{};
    RgbaImage image;
    bool haveColour = false;
    if (!colour.path.empty()) {
        const PassResult result = readColour(colour, image);
        if (result == PassResult::failed) return false;
        haveColour = result == PassResult::read;
    }
    if (!alpha.path.empty() && mergeAlpha(alpha, haveColour ? &image : nullptr) == PassResult::failed)
        return false;
    // An alpha plane without colour leaves R, G and B undefined: no image.
    if (!haveColour) return false;
    out = std::move(image);
    return true;
}

bool readImage(std::string& imagePath, std::string& alphaPath, RgbaImage& out) {
    ImageFile colour;
    ImageFile alpha;
    std::vector<uint8_t> colourBytes;
    std::vector<uint8_t> alphaBytes;
    if (!imagePath.empty()) {
        const ImageFormat format = rewriteImageExtension(imagePath);
        colour.path = imagePath;
        const bool decodable = format == ImageFormat::Tga || format == ImageFormat::Bmp;
        colour.opened = readFile(imagePath, decodable, colourBytes);
    }
    if (!alphaPath.empty()) {
        const ImageFormat format = rewriteImageExtension(alphaPath);
        alpha.path = alphaPath;
        // Other alpha formats are refused by name, before any file is opened.
        if (format == ImageFormat::Tga || format == ImageFormat::Png)
            alpha.opened = readFile(alphaPath, format == ImageFormat::Tga, alphaBytes);
    }
    colour.data = colourBytes.data();
    colour.size = colourBytes.size();
    alpha.data = alphaBytes.data();
    alpha.size = alphaBytes.size();
    return decodeImage(colour, alpha, out);
}

}  // namespace kelmo
