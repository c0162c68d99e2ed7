#include "tracking/pattern_matcher.h"

#include <cmath>

namespace kelmo {

// Inverts (dark ink becomes large) and removes the integer mean; returns the sum of squares.
// 768 values of at most 255² each stay far below the int range.
int centrePattern(const uint8_t raw[kPatternValues], int out[kPatternValues]) {
    int sum = 0;
    for (int k = 0; k < kPatternValues; ++k) sum += 255 - raw[k];
    const int mean = sum / kPatternValues;
    int squares = 0;
    for (int k = 0; k < kPatternValues; ++k) {
        out[k] = 255 - raw[k] - mean;
        squares += out[k] * out[k];
    }
    return squares;
}

int PatternMatcher::add(const PatternData& pattern) {
    if (size() >= kMaxPatterns) return -1;
    std::array<Direction, 4> directions;
    for (int d = 0; d < 4; ++d) directions[static_cast<size_t>(d)] = prepare(pattern.raw[d]);
    templates_.push_back(directions);
    return size() - 1;
}

PatternMatch PatternMatcher::match(const uint8_t samples[kPatternValues]) const {
    PatternMatch best;
    int u[kPatternValues];
    const int squares = centrePattern(samples, u);
    if (squares == 0) {
        best.cf = -1.0;
        return best;
    }
    const double norm = std::sqrt(static_cast<double>(squares));
    for (int slot = 0; slot < size(); ++slot) {
        for (int d = 0; d < 4; ++d) {
            const Template& t = templates_[static_cast<size_t>(slot)][static_cast<size_t>(d)].sharp;
            int dot = 0;
            for (int k = 0; k < kPatternValues; ++k) dot += u[k] * t.values[static_cast<size_t>(k)];
            const double cf = dot / (t.norm * norm);
            // Strictly larger: on a tie the lower slot, then the lower direction, keeps the match.
            if (cf > best.cf) best = PatternMatch{slot, d, cf};
        }
    }
    return best;
}

}  // namespace kelmo
