// Telling a marker from a square whose interior only resembles its pattern.
//
// A correlation of 0.5–0.7 comes from two very different things: the real pattern seen badly (motion
// blur, a shadow edge across it, dim light), or another design that happens to share some of its
// light and dark areas (a bit grid, a block of text). A blurred view is the pattern convolved with
// the blur, so it correlates highly with the pattern blurred to the same degree; a shadow scales the
// light of a region but keeps which of two neighbouring cells is darker. Neither holds for a different
// design: its own edges stay where the pattern has none. So a match below kSureConfidence stands
// when either
//   1. the correlation with one of the blurred copies of the pattern reaches kBlurredConfidence, or
//   2. across kSignAgreement of the pattern's strong cell-to-cell edges the samples are darker on the
//      same side.
// On the synthetic evaluation set real markers reach at least 0.94 (blurred copies, blur up to 20 px)
// or 1.0 (edges, shadow edges); look-alike printouts at most 0.60 and 0.80.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "tracking/pattern_matcher.h"

namespace kelmo {
namespace {

constexpr double kBlurSigma[PatternMatcher::kBlurLevels] = {0.5, 1.0, 1.5, 2.0, 3.0};  // cells
constexpr double kBlurredConfidence = 0.8;
constexpr double kSignAgreement = 0.9;

}  // namespace

PatternMatcher::Direction PatternMatcher::prepare(const uint8_t raw[kPatternValues]) {
    Direction d;
    d.sharp = makeTemplate(raw);
    int darkest = 255;
    for (int k = 0; k < kPatternValues; ++k) darkest = std::min<int>(darkest, raw[k]);
    for (int cell = 0; cell < kPatternSide * kPatternSide; ++cell)
        d.grey[static_cast<size_t>(cell)] =
            raw[cell] + raw[cell + kPatternSide * kPatternSide] + raw[cell + 2 * kPatternSide * kPatternSide];
    for (int level = 0; level < kBlurLevels; ++level) {
        uint8_t blurred[kPatternValues];
        for (int plane = 0; plane < kPatternPlanes; ++plane) {
            cv::Mat cells(kPatternSide, kPatternSide, CV_32F);
            for (int row = 0; row < kPatternSide; ++row)
                for (int col = 0; col < kPatternSide; ++col)
                    cells.at<float>(row, col) = raw[patternIndex(plane, row, col)];
            // Blur draws the black frame round the pattern into its edge cells.
            cv::Mat padded;
            cv::copyMakeBorder(cells, padded, kPatternSide, kPatternSide, kPatternSide, kPatternSide,
                               cv::BORDER_CONSTANT, cv::Scalar(darkest));
            cv::GaussianBlur(padded, padded, cv::Size(0, 0), kBlurSigma[level]);
            for (int row = 0; row < kPatternSide; ++row)
                for (int col = 0; col < kPatternSide; ++col)
                    blurred[patternIndex(plane, row, col)] =
                        cv::saturate_cast<uint8_t>(padded.at<float>(row + kPatternSide, col + kPatternSide));
        }
        d.blurred[static_cast<size_t>(level)] = makeTemplate(blurred);
    }
    return d;
}

bool PatternMatcher::explains(const uint8_t samples[kPatternValues], int id, int dir) const {
    if (id < 0 || id >= size() || dir < 0 || dir > 3) return false;
    const Direction& d = templates_[static_cast<size_t>(id)][static_cast<size_t>(dir)];
    int u[kPatternValues];
    const int squares = centrePattern(samples, u);
    if (squares == 0) return false;
    const double norm = std::sqrt(static_cast<double>(squares));

    // 1. The pattern through blur.
    for (const Template& t : d.blurred) {
        int dot = 0;
        for (int k = 0; k < kPatternValues; ++k) dot += u[k] * t.values[static_cast<size_t>(k)];
        if (dot / (t.norm * norm) >= kBlurredConfidence) return true;
    }

    // 2. The pattern in uneven light: neighbouring cells across the pattern's strong edges (at least half
    // its range) are ordered the same way.
    constexpr int kCells = kPatternSide * kPatternSide;
    int grey[kCells];
    int lowest = d.grey[0], highest = d.grey[0];
    for (int cell = 0; cell < kCells; ++cell) {
        grey[cell] = samples[cell] + samples[cell + kCells] + samples[cell + 2 * kCells];
        lowest = std::min(lowest, d.grey[static_cast<size_t>(cell)]);
        highest = std::max(highest, d.grey[static_cast<size_t>(cell)]);
    }
    const int strong = (highest - lowest) / 2;
    int edges = 0, agreeing = 0;
    for (int row = 0; row < kPatternSide; ++row) {
        for (int col = 0; col < kPatternSide; ++col) {
            const int here = row * kPatternSide + col;
            for (const int next : {col + 1 < kPatternSide ? here + 1 : -1,
                                   row + 1 < kPatternSide ? here + kPatternSide : -1}) {
                if (next < 0) continue;
                const int pattern = d.grey[static_cast<size_t>(here)] - d.grey[static_cast<size_t>(next)];
                if (strong == 0 || std::abs(pattern) < strong) continue;
                ++edges;
                const int seen = grey[here] - grey[next];
                if ((pattern > 0 && seen > 0) || (pattern < 0 && seen < 0)) ++agreeing;
            }
        }
    }
    return edges > 0 && agreeing >= kSignAgreement * edges;
}

PatternMatcher::Template PatternMatcher::makeTemplate(const uint8_t raw[kPatternValues]) {
    Template t;
    const int squares = centrePattern(raw, t.values.data());
    // A uniform block correlates with nothing; the small norm only avoids dividing by zero.
    t.norm = squares == 0 ? 1e-7 : std::sqrt(static_cast<double>(squares));
    return t;
}

}  // namespace kelmo
