// Texture conversion for kelmo-mqo --fix.
//   1. reading: TGA (uncompressed and run-length, true colour and grey) here, everything else by OpenCV
//   2. the square edge and the resampling, with colours weighted by alpha so that transparent texels
//      do not bleed into their neighbours
//   3. writing the TGA; the check for files Kelmo already reads
#include "tools/texture_convert.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace kelmo {
namespace {

// ---- 1 reading --------------------------------------------------------------------------------------

constexpr int kMaxSourceEdge = 16384;

uint32_t le16(const uint8_t* p) { return p[0] | p[1] << 8u; }
uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8u | p[2] << 16u | static_cast<uint32_t>(p[3]) << 24u;
}

bool readBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

bool hasExtension(const std::string& path, const char* extension) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == extension;
}

// TGA types 2 and 10 (24 or 32 bits) and 3 and 11 (8-bit grey), either row order, into BGR(A) or grey.
bool decodeTga(const std::vector<uint8_t>& file, cv::Mat& out, std::string& why) {
    if (file.size() < 18) return why = "too short for a TGA", false;
    const uint8_t* h = file.data();
    const int type = h[2], depth = h[16];
    const int width = static_cast<int>(le16(h + 12)), height = static_cast<int>(le16(h + 14));
    const bool grey = type == 3 || type == 11;
    const bool runs = type == 10 || type == 11;
    if (!(type == 2 || grey || type == 10) || (grey ? depth != 8 : depth != 24 && depth != 32))
        return why = "TGA of type " + std::to_string(type) + " with " + std::to_string(depth) +
                     " bits per pixel is not read",
               false;
    if (width < 1 || height < 1 || width > kMaxSourceEdge || height > kMaxSourceEdge)
        return why = "TGA size " + std::to_string(width) + " x " + std::to_string(height) + " is not read",
               false;
    const size_t mapBytes = h[1] == 1 ? le16(h + 5) * static_cast<size_t>((h[7] + 7) / 8) : 0;
    size_t at = 18 + h[0] + mapBytes;
    const size_t pixelBytes = static_cast<size_t>(depth / 8);
    out.create(height, width, CV_8UC(static_cast<int>(pixelBytes)));
    const size_t total = static_cast<size_t>(width) * height * pixelBytes;
    uint8_t* pixels = out.data;
    for (size_t done = 0; done < total;) {
        size_t count = (total - done) / pixelBytes;  // uncompressed: the rest in one raw run
        bool repeat = false;
        if (runs) {
            if (at >= file.size()) break;
            repeat = (file[at] & 0x80) != 0;
            count = std::min<size_t>((file[at] & 0x7f) + 1u, (total - done) / pixelBytes);
            ++at;
        }
        const size_t bytes = (repeat ? 1 : count) * pixelBytes;
        if (at + bytes > file.size()) break;
        for (size_t i = 0; i < count; ++i)
            std::copy_n(file.data() + at + (repeat ? 0 : i * pixelBytes), pixelBytes,
                        pixels + done + i * pixelBytes);
        at += bytes;
        done += count * pixelBytes;
        if (done == total) {
            // Bit 5 of the descriptor: rows top-down; bit 4: right to left.
            if ((h[17] & 0x20) == 0) cv::flip(out, out, 0);
            if ((h[17] & 0x10) != 0) cv::flip(out, out, 1);
            return true;
        }
    }
    return why = "the TGA's pixel data is cut short", false;
}

// BGR, BGRA or grey, 8 bits per channel.
bool readPicture(const std::string& path, cv::Mat& out, std::string& why) {
    if (hasExtension(path, ".tga")) {
        std::vector<uint8_t> bytes;
        if (!readBytes(path, bytes)) return why = "cannot read " + path, false;
        if (!decodeTga(bytes, out, why)) return why = path + ": " + why, false;
        return true;
    }
    try {
        out = cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception&) {
        out.release();
    }
    if (out.empty()) return why = "cannot read " + path + " as an image", false;
    if (out.depth() == CV_16U) out.convertTo(out, CV_8U, 1.0 / 257);
    if (out.depth() != CV_8U) out.convertTo(out, CV_8U, 255);
    if (out.channels() == 2) cv::cvtColor(out, out, cv::COLOR_GRAY2BGRA);  // grey with alpha is rare
    return true;
}

// ---- 2 edge and resampling ------------------------------------------------------------------------

// One axis at a time, so that a shrinking axis is averaged and a growing one interpolated.
cv::Mat resize(const cv::Mat& in, int width, int height) {
    cv::Mat wide, out;
    cv::resize(in, wide, cv::Size(width, in.rows), 0, 0, width < in.cols ? cv::INTER_AREA : cv::INTER_LINEAR);
    cv::resize(wide, out, cv::Size(width, height), 0, 0,
               height < in.rows ? cv::INTER_AREA : cv::INTER_LINEAR);
    return out;
}

// BGRA resampled with colours weighted by alpha, then unweighted. Where nothing is left visible the
// plainly resampled colour stays, so that GL's filtering at the edge of a cut-out finds the colour
// of the picture there rather than black.
cv::Mat resampleWithAlpha(const cv::Mat& bgra, int edge) {
    cv::Mat channels[4], weighted;
    bgra.convertTo(weighted, CV_32F, 1.0 / 255);
    const cv::Mat plain = resize(weighted, edge, edge);
    cv::split(weighted, channels);
    for (int c = 0; c < 3; ++c) channels[c] = channels[c].mul(channels[3]);
    cv::merge(channels, 4, weighted);
    cv::split(resize(weighted, edge, edge), channels);
    const cv::Mat alpha = cv::max(channels[3], 1e-6);
    for (int c = 0; c < 3; ++c) cv::divide(channels[c], alpha, channels[c]);
    cv::merge(channels, 4, weighted);
    plain.copyTo(weighted, channels[3] < 0.5 / 255);
    cv::Mat out;
    weighted.convertTo(out, CV_8U, 255);
    return out;
}

// ---- 3 writing and checking -----------------------------------------------------------------------

bool writeTga(const std::string& path, const cv::Mat& image) {
    const int edge = image.cols, channels = image.channels();
    uint8_t header[18] = {};
    header[2] = 2;
    header[12] = static_cast<uint8_t>(edge & 0xff), header[13] = static_cast<uint8_t>(edge >> 8);
    header[14] = header[12], header[15] = header[13];
    header[16] = static_cast<uint8_t>(8 * channels);
    header[17] = channels == 4 ? 8 : 0;  // alpha bits; rows bottom-up
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    bool ok = std::fwrite(header, 1, sizeof header, file.get()) == sizeof header;
    const size_t rowBytes = static_cast<size_t>(edge) * channels;
    for (int y = edge - 1; ok && y >= 0; --y)
        ok = std::fwrite(image.ptr(y), 1, rowBytes, file.get()) == rowBytes;
    return std::fclose(file.release()) == 0 && ok;
}

bool powerOfTwo(int64_t n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

int squareEdgeFor(int width, int height) {
    const int longer = std::max(width, height);
    int edge = 1;
    while (edge < kMaxTextureEdge && edge * 2 <= longer) edge *= 2;
    // Between edge and 2·edge: the nearer by ratio, i.e. past edge·√2 rounds up.
    if (edge<kMaxTextureEdge&& static_cast<double>(longer) * longer> 2.0 * edge * edge) edge *= 2;
    return edge;
}

bool readableAsIs(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!readBytes(path, bytes) || bytes.size() < 18) return false;
    const uint8_t* p = bytes.data();
    if (hasExtension(path, ".tga")) {
        const int width = static_cast<int>(le16(p + 12)), depth = p[16];
        return p[1] == 0 && p[2] == 2 && (depth == 24 || depth == 32) && (p[17] & 0x30) == 0 &&
               width == static_cast<int>(le16(p + 14)) && powerOfTwo(width) && width <= kMaxTextureEdge &&
               bytes.size() >= 18u + p[0] + static_cast<size_t>(width) * width * (depth / 8);
    }
    if (hasExtension(path, ".bmp")) {
        const int32_t width = static_cast<int32_t>(le32(p + 18)), height = static_cast<int32_t>(le32(p + 22));
        const uint64_t rowBytes = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
        return bytes.size() >= 54 && p[0] == 'B' && p[1] == 'M' && le16(p + 28) == 24 && le32(p + 30) == 0 &&
               width == height && powerOfTwo(width) && width <= kMaxTextureEdge &&
               bytes.size() >= le32(p + 10) + rowBytes * static_cast<uint64_t>(width);
    }
    return false;
}

bool convertTexture(const std::string& imagePath, const std::string& alphaPath, const std::string& outPath,
                    ConvertedTexture& result, std::string& why) {
    cv::Mat colour, alpha;
    if (!readPicture(imagePath, colour, why)) return false;
    if (!alphaPath.empty() && !readPicture(alphaPath, alpha, why)) return false;
    result.width = colour.cols;
    result.height = colour.rows;
    result.edge = squareEdgeFor(colour.cols, colour.rows);
    if (colour.channels() == 1) cv::cvtColor(colour, colour, cv::COLOR_GRAY2BGR);
    if (!alpha.empty()) {
        // The plane's own alpha when it has one, else its grey; sized to the colour image.
        cv::Mat plane;
        if (alpha.channels() == 4)
            cv::extractChannel(alpha, plane, 3);
        else if (alpha.channels() == 3)
            cv::cvtColor(alpha, plane, cv::COLOR_BGR2GRAY);
        else
            plane = alpha;
        if (plane.size() != colour.size()) plane = resize(plane, colour.cols, colour.rows);
        if (colour.channels() == 4) cv::cvtColor(colour, colour, cv::COLOR_BGRA2BGR);
        cv::Mat parts[4];
        cv::split(colour, parts);
        parts[3] = plane;
        cv::merge(parts, 4, colour);
    }
    result.alpha = colour.channels() == 4;
    const cv::Mat square =
        result.alpha ? resampleWithAlpha(colour, result.edge) : resize(colour, result.edge, result.edge);
    if (!writeTga(outPath, square)) return why = "cannot write " + outPath, false;
    return true;
}

}  // namespace kelmo
