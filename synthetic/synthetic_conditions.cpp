#include "synthetic/synthetic_conditions.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace kelmo {
namespace {

cv::Mat wrap(BgrImage& image) { return cv::Mat(image.height, image.width, CV_8UC3, image.pixels.data()); }

// Multiplies each pixel by gain(x, y).
template <typename Gain>
void applyGainField(BgrImage& image, Gain gain) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const double g = gain(x, y);
            uint8_t* p = image.at(x, y);
            for (int c = 0; c < 3; ++c) p[c] = cv::saturate_cast<uint8_t>(p[c] * g);
        }
    }
}

uint64_t nextRandom(uint64_t& state) {
    state += 0x9e3779b97f4a7c15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

double uniform(uint64_t& state, double low, double high) {
    return low + (high - low) * static_cast<double>(nextRandom(state) >> 11) / 9007199254740992.0;
}

}  // namespace

void frameExtentAlong(const BgrImage& image, double angle, double& low, double& high) {
    const double dx = std::cos(angle), dy = std::sin(angle);
    low = 1e300;
    high = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
        const double t = (corner & 1 ? image.width - 1 : 0) * dx + (corner & 2 ? image.height - 1 : 0) * dy;
        low = std::min(low, t);
        high = std::max(high, t);
    }
}

void applyBrightnessRamp(BgrImage& image, double angle, double from, double to) {
    const double dx = std::cos(angle), dy = std::sin(angle);
    double low, high;
    frameExtentAlong(image, angle, low, high);
    const double span = std::max(high - low, 1.0);
    applyGainField(image,
                   [&](int x, int y) { return from + (to - from) * ((x * dx + y * dy - low) / span); });
}

void applyShadowEdge(BgrImage& image, double x0, double y0, double angle, double depth, double softness) {
    // Signed distance from the edge, positive on the lit (right-hand) side.
    const double nx = -std::sin(angle), ny = std::cos(angle);
    const double half = std::max(softness, 1e-3) / 2;
    applyGainField(image, [&](int x, int y) {
        const double s = std::clamp(((x - x0) * nx + (y - y0) * ny + half) / (2 * half), 0.0, 1.0);
        return depth + (1.0 - depth) * s * s * (3 - 2 * s);
    });
}

void applyGain(BgrImage& image, double gain) {
    applyGainField(image, [gain](int, int) { return gain; });
}

void drawBlob(BgrImage& image, double x, double y, double rx, double ry, double angle, const uint8_t bgr[3]) {
    // Coverage drawn at 4× and area-averaged.
    constexpr int kScale = 4;
    const int left = std::max(0, static_cast<int>(std::floor(x - std::max(rx, ry))) - 1);
    const int top = std::max(0, static_cast<int>(std::floor(y - std::max(rx, ry))) - 1);
    const int right = std::min(image.width, static_cast<int>(std::ceil(x + std::max(rx, ry))) + 2);
    const int bottom = std::min(image.height, static_cast<int>(std::ceil(y + std::max(rx, ry))) + 2);
    if (right <= left || bottom <= top) return;
    cv::Mat fine((bottom - top) * kScale, (right - left) * kScale, CV_8U, cv::Scalar(0));
    cv::ellipse(
        fine,
        cv::RotatedRect(cv::Point2f(static_cast<float>((x - left + 0.5) * kScale - 0.5),
                                    static_cast<float>((y - top + 0.5) * kScale - 0.5)),
                        cv::Size2f(static_cast<float>(2 * rx * kScale), static_cast<float>(2 * ry * kScale)),
                        static_cast<float>(angle * 180.0 / CV_PI)),
        cv::Scalar(255), cv::FILLED, cv::LINE_AA);
    cv::Mat coverage;
    cv::resize(fine, coverage, cv::Size(right - left, bottom - top), 0, 0, cv::INTER_AREA);
    for (int py = top; py < bottom; ++py) {
        for (int px = left; px < right; ++px) {
            const double a = coverage.at<uint8_t>(py - top, px - left) / 255.0;
            uint8_t* p = image.at(px, py);
            for (int c = 0; c < 3; ++c) p[c] = cv::saturate_cast<uint8_t>(p[c] * (1 - a) + bgr[c] * a);
        }
    }
}

void applyMotionBlur(BgrImage& image, double length, double angle) {
    if (length < 1.0) return;
    const int size = static_cast<int>(std::ceil(length)) | 1;
    cv::Mat kernel(size, size, CV_32F, cv::Scalar(0));
    const double c = (size - 1) / 2.0;
    // The path drawn finely, so fractional lengths and any angle spread the light evenly.
    constexpr int kSteps = 64;
    for (int k = 0; k < kSteps; ++k) {
        const double t = (k + 0.5) / kSteps - 0.5;
        const int kx = static_cast<int>(std::lround(c + t * length * std::cos(angle)));
        const int ky = static_cast<int>(std::lround(c + t * length * std::sin(angle)));
        kernel.at<float>(ky, kx) += 1.0f / kSteps;
    }
    cv::Mat m = wrap(image);
    cv::filter2D(m, m, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
}

void addSensorNoise(BgrImage& image, double sigma, uint64_t seed) {
    if (!(sigma > 0.0)) return;
    cv::Mat noise(image.height, image.width, CV_32FC3);
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, sigma);
    cv::Mat m = wrap(image), sum;
    m.convertTo(sum, CV_32FC3);
    sum += noise;
    sum.convertTo(m, CV_8UC3);
}

SyntheticMarker washedOutMarker(const PatternData& pattern, double width, int ink) {
    constexpr int kPaper = 235, kBlack = 25;  // the synthetic card's paper and full black
    const double scale = static_cast<double>(kPaper - ink) / (kPaper - kBlack);
    const auto lighten = [&](int v) {
        return cv::saturate_cast<uint8_t>(kPaper - (kPaper - std::min(v, kPaper)) * scale);
    };
    // The whole square as 32 × 32 cells: an 8-cell frame round the pattern's 16 × 16.
    SyntheticMarker marker;
    marker.width = width;
    marker.cells = true;
    marker.fillsSquare = true;
    marker.interior = BgrImage(32, 32, lighten(kBlack));
    for (int row = 0; row < kPatternSide; ++row)
        for (int col = 0; col < kPatternSide; ++col)
            for (int plane = 0; plane < kPatternPlanes; ++plane)
                marker.interior.at(col + 8, row + 8)[plane] =
                    lighten(pattern.raw[0][patternIndex(plane, row, col)]);
    return marker;
}

SyntheticMarker lookAlikeMarker(LookAlike kind, int variant, double width) {
    constexpr int kSide = 128;
    cv::Mat design(kSide, kSide, CV_8UC3, cv::Scalar::all(255));
    uint64_t state =
        0x5eedull * 1000003u + static_cast<uint64_t>(kind) * 7919u + static_cast<uint64_t>(variant);
    const cv::Scalar ink = cv::Scalar::all(0);
    switch (kind) {
        case LookAlike::TextBlock: {
            // Lines of words: dark bars of word length with gaps, like small print seen from afar.
            const int lineHeight = static_cast<int>(uniform(state, 10, 20));
            for (int y = 4; y + lineHeight <= kSide - 4; y += lineHeight + lineHeight / 2) {
                for (int x = 4; x < kSide - 8;) {
                    const int word = static_cast<int>(uniform(state, 8, 40));
                    cv::rectangle(design, cv::Rect(x, y, std::min(word, kSide - 4 - x), lineHeight), ink,
                                  cv::FILLED);
                    x += word + static_cast<int>(uniform(state, 4, 10));
                }
            }
            break;
        }
        case LookAlike::BlobDrawing: {
            const int blobs = static_cast<int>(uniform(state, 2, 6));
            for (int i = 0; i < blobs; ++i)
                cv::ellipse(design,
                            cv::RotatedRect(cv::Point2f(static_cast<float>(uniform(state, 20, 108)),
                                                        static_cast<float>(uniform(state, 20, 108))),
                                            cv::Size2f(static_cast<float>(uniform(state, 20, 70)),
                                                       static_cast<float>(uniform(state, 15, 60))),
                                            static_cast<float>(uniform(state, 0, 180))),
                            ink, cv::FILLED, cv::LINE_AA);
            break;
        }
        case LookAlike::BitGrid: {
            const int bits = 3 + variant % 6;
            const int cell = kSide / bits;
            for (int r = 0; r < bits; ++r)
                for (int c = 0; c < bits; ++c)
                    if (nextRandom(state) & 1)
                        cv::rectangle(design, cv::Rect(c * cell, r * cell, cell, cell), ink, cv::FILLED);
            break;
        }
        case LookAlike::SolidSquare: {
            // All black, or a smaller black square of its own inside.
            const int margin = variant % 2 ? 0 : static_cast<int>(uniform(state, 10, 40));
            cv::rectangle(design, cv::Rect(margin, margin, kSide - 2 * margin, kSide - 2 * margin), ink,
                          cv::FILLED);
            break;
        }
        case LookAlike::FramedSquare: {
            const int margin = static_cast<int>(uniform(state, 8, 40));
            const int thickness = static_cast<int>(uniform(state, 6, 20));
            cv::rectangle(design, cv::Rect(margin, margin, kSide - 2 * margin, kSide - 2 * margin), ink,
                          thickness);
            break;
        }
    }
    SyntheticMarker marker;
    marker.width = width;
    marker.interior = BgrImage(kSide, kSide);
    std::copy(design.data, design.data + marker.interior.pixels.size(), marker.interior.pixels.data());
    return marker;
}

}  // namespace kelmo
