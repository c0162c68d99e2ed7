// Marker designs as images.
//
//   1. reading and writing images
//   2. finding the interior of a whole marker
//   3. the 16 × 16 pattern of a design
//   4. the printable marker
#include "tracking/marker_image.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <utility>

namespace kelmo {
namespace {

// ---- 1. reading and writing images ----

cv::Mat wrap(const BgrImage& image) {
    return cv::Mat(image.height, image.width, CV_8UC3, const_cast<uint8_t*>(image.pixels.data()));
}

uint32_t crc32(const uint8_t* bytes, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = table[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// A pHYs chunk (pixels per metre on both axes) to go right after the 33 bytes of signature and IHDR.
std::vector<uint8_t> physChunk(uint32_t pixelsPerMetre) {
    std::vector<uint8_t> chunk;
    putBigEndian(chunk, 9);
    for (char c : {'p', 'H', 'Y', 's'}) chunk.push_back(static_cast<uint8_t>(c));
    putBigEndian(chunk, pixelsPerMetre);
    putBigEndian(chunk, pixelsPerMetre);
    chunk.push_back(1);  // unit: metre
    putBigEndian(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    return chunk;
}

// 8-bit BGR from what imread gives; false for layouts it should never give.
bool toBgr8(const cv::Mat& in, cv::Mat& out) {
    cv::Mat eight;
    switch (in.depth()) {
        case CV_8U:
            eight = in;
            break;
        case CV_16U:
            in.convertTo(eight, CV_8U, 1.0 / 257.0);
            break;
        case CV_32F:
        case CV_64F:
            in.convertTo(eight, CV_8U, 255.0);
            break;  // 0..1 images (EXR, HDR)
        default:
            return false;
    }
    if (eight.channels() == 1) {
        cv::cvtColor(eight, out, cv::COLOR_GRAY2BGR);
    } else if (eight.channels() == 3) {
        out = eight;
    } else if (eight.channels() == 4) {
        // Transparent parts of a drawing are blank paper, whatever colour their pixels hold.
        out.create(eight.rows, eight.cols, CV_8UC3);
        for (int y = 0; y < eight.rows; ++y) {
            const cv::Vec4b* src = eight.ptr<cv::Vec4b>(y);
            cv::Vec3b* dst = out.ptr<cv::Vec3b>(y);
            for (int x = 0; x < eight.cols; ++x)
                for (int c = 0; c < 3; ++c)
                    dst[x][c] =
                        static_cast<uint8_t>((src[x][c] * src[x][3] + 255 * (255 - src[x][3]) + 127) / 255);
        }
    } else {
        return false;
    }
    return true;
}

// ---- 2. finding the interior of a whole marker ----

// Darker than mid-grey: leaves room for anti-aliased or scanned edges.
bool isDark(const uint8_t* bgr) { return bgr[0] + bgr[1] + bgr[2] < 3 * 128; }

struct Box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // pixels, x1 and y1 exclusive
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

double darkShare(const BgrImage& image, const Box& box) {
    long dark = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) dark += isDark(image.at(x, y));
    return static_cast<double>(dark) / (static_cast<double>(box.x1 - box.x0) * (box.y1 - box.y0));
}

Box darkBounds(const BgrImage& image) {
    Box box{image.width, image.height, 0, 0};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (isDark(image.at(x, y))) {
                box.x0 = std::min(box.x0, x);
                box.y0 = std::min(box.y0, y);
                box.x1 = std::max(box.x1, x + 1);
                box.y1 = std::max(box.y1, y + 1);
            }
    return box;
}

BgrImage crop(const BgrImage& image, const Box& box) {
    BgrImage out(box.x1 - box.x0, box.y1 - box.y0);
    for (int y = 0; y < out.height; ++y)
        std::copy_n(image.at(box.x0, box.y0 + y), static_cast<size_t>(out.width) * 3, out.at(0, y));
    return out;
}

// ---- 3. the 16 × 16 pattern of a design ----

// The pixels that cell `cell` covers along an axis of `length` pixels, and by how much each.
struct Span {
    int first = 0;
    std::vector<double> weights;
};

Span cellSpan(int cell, int length) {
    const double from = static_cast<double>(cell) * length / kPatternSide;
    const double to = static_cast<double>(cell + 1) * length / kPatternSide;
    Span span;
    span.first = static_cast<int>(std::floor(from));
    const int last = std::min(length, static_cast<int>(std::ceil(to))) - 1;
    for (int p = span.first; p <= last; ++p)
        span.weights.push_back(std::min(to, p + 1.0) - std::max(from, static_cast<double>(p)));
    return span;
}

// A camera never sees pure 0 and 255: paper under room light reads about 240 and black ink 20 to 40,
// as in the sample files. Mapping the design's 0..255 linearly onto 30..240 keeps our files looking
// like captured ones; matching removes the mean and scales, so no correlation changes.
constexpr double kInk = 30.0;
constexpr double kPaper = 240.0;

}  // namespace

bool loadImage(const std::string& path, BgrImage& out, std::string& error) {
    if (!std::ifstream(path, std::ios::binary)) {
        error = "cannot open the file";
        return false;
    }
    cv::Mat raw, bgr;
    try {
        raw = cv::imread(path, cv::IMREAD_UNCHANGED);
        if (raw.empty() || !toBgr8(raw, bgr)) {
            error = "not an image that can be read";
            return false;
        }
    } catch (const cv::Exception& e) {
        error = "not an image that can be read (" + e.msg + ")";
        return false;
    }
    BgrImage image(bgr.cols, bgr.rows);
    for (int y = 0; y < bgr.rows; ++y)
        std::copy_n(bgr.ptr<uint8_t>(y), static_cast<size_t>(bgr.cols) * 3, image.at(0, y));
    out = std::move(image);
    return true;
}

bool savePng(const std::string& path, const BgrImage& image, int pixelsPerMetre, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "the image is empty";
        return false;
    }
    std::vector<uint8_t> png;
    try {
        if (!cv::imencode(".png", wrap(image), png)) {
            error = "cannot encode the image as PNG";
            return false;
        }
    } catch (const cv::Exception& e) {
        error = "cannot encode the image as PNG (" + e.msg + ")";
        return false;
    }
    constexpr size_t kAfterHeader = 33;  // signature (8) and the IHDR chunk (25)
    if (pixelsPerMetre > 0 && png.size() > kAfterHeader) {
        const std::vector<uint8_t> phys = physChunk(static_cast<uint32_t>(pixelsPerMetre));
        png.insert(png.begin() + kAfterHeader, phys.begin(), phys.end());
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    file.close();
    if (!file) {
        std::remove(path.c_str());  // no half-written image left behind
        error = "cannot write the file";
        return false;
    }
    return true;
}

bool hasMarkerBorder(const BgrImage& image) {
    if (image.width < 4 || image.height < 4) return false;
    const int w = image.width, h = image.height, bx = w / 4, by = h / 4;
    // Each side on its own: a design dark on three sides is not a marker.
    const Box bands[4] = {{0, 0, w, by}, {0, h - by, w, h}, {0, 0, bx, h}, {w - bx, 0, w, h}};
    for (const Box& band : bands)
        if (darkShare(image, band) < 0.95) return false;
    // A solid dark block is a design of its own, not a frame around paper.
    return darkShare(image, {bx, by, w - bx, h - by}) < 0.95;
}

BgrImage markerInterior(const BgrImage& image, bool* wholeMarker) {
    const Box bounds = darkBounds(image);
    const bool whole = !bounds.empty() && hasMarkerBorder(crop(image, bounds));
    if (wholeMarker) *wholeMarker = whole;
    if (!whole) return image;
    const int w = bounds.x1 - bounds.x0, h = bounds.y1 - bounds.y0;
    const Box centre{bounds.x0 + static_cast<int>(std::lround(w * 0.25)),
                     bounds.y0 + static_cast<int>(std::lround(h * 0.25)),
                     bounds.x0 + static_cast<int>(std::lround(w * 0.75)),
                     bounds.y0 + static_cast<int>(std::lround(h * 0.75))};
    return crop(image, centre);
}

void averageCells(const BgrImage& image, double cells[kPatternSide][kPatternSide][3]) {
    for (int row = 0; row < kPatternSide; ++row) {
        const Span ys = cellSpan(row, image.height);
        for (int column = 0; column < kPatternSide; ++column) {
            const Span xs = cellSpan(column, image.width);
            double sum[3] = {}, area = 0.0;
            for (size_t j = 0; j < ys.weights.size(); ++j) {
                for (size_t i = 0; i < xs.weights.size(); ++i) {
                    const double w = ys.weights[j] * xs.weights[i];
                    const uint8_t* p =
                        image.at(xs.first + static_cast<int>(i), ys.first + static_cast<int>(j));
                    for (int c = 0; c < 3; ++c) sum[c] += w * p[c];
                    area += w;
                }
            }
            for (int c = 0; c < 3; ++c) cells[row][column][c] = area > 0.0 ? sum[c] / area : 255.0;
        }
    }
}

bool patternFromDesign(const BgrImage& interior, PatternData& out, std::string& error) {
    if (interior.width <= 0 || interior.height <= 0) {
        error = "the image is empty";
        return false;
    }
    double cells[kPatternSide][kPatternSide][3];
    averageCells(interior, cells);
    uint8_t upright[kPatternSide][kPatternSide][3];
    bool uniform = true;
    for (int row = 0; row < kPatternSide; ++row)
        for (int column = 0; column < kPatternSide; ++column)
            for (int c = 0; c < 3; ++c) {
                const double v = kInk + cells[row][column][c] * (kPaper - kInk) / 255.0;
                upright[row][column][c] = static_cast<uint8_t>(std::lround(v));
                uniform = uniform && upright[row][column][c] == upright[0][0][0];
            }
    if (uniform) {
        error = "the design is one flat colour, so no marker could be told from another";
        return false;
    }
    out = patternFromUpright(upright);
    return true;
}

BgrImage composePrintable(const BgrImage& interior, int squareSide) {
    const int side = std::max(16, (squareSide + 3) / 4 * 4);  // whole-pixel quarters
    const int margin = side / 8;
    BgrImage out(side + 2 * margin, side + 2 * margin, 255);
    for (int y = margin; y < margin + side; ++y)
        std::fill_n(out.at(margin, y), static_cast<size_t>(side) * 3, 0);

    const int inner = side / 2, at = margin + side / 4;
    cv::Mat scaled(inner, inner, CV_8UC3, cv::Scalar::all(255));
    if (interior.width > 0 && interior.height > 0) {
        // Averaging when shrinking; sharp pixel edges when enlarging a small drawing.
        const bool shrink = interior.width >= inner && interior.height >= inner;
        cv::resize(wrap(interior), scaled, scaled.size(), 0, 0, shrink ? cv::INTER_AREA : cv::INTER_NEAREST);
    }
    for (int y = 0; y < inner; ++y)
        std::copy_n(scaled.ptr<uint8_t>(y), static_cast<size_t>(inner) * 3, out.at(at, y + at));
    return out;
}

}  // namespace kelmo
