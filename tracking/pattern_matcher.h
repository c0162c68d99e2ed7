#pragma once
// The loaded patterns and how a sampled marker interior is matched against them.
#include <array>
#include <cstdint>
#include <vector>

#include "tracking/pattern_file.h"

namespace kelmo {

struct PatternMatch {
    int id = -1;  // slot of the best pattern, -1 when none correlates positively
    int dir = -1;
    double cf = 0.0;  // normalised correlation, -1..1; -1 for a uniform interior
};

// The matcher's form of 768 raw values: inverted (dark ink large), integer mean removed. Returns the sum
// of squares.
int centrePattern(const uint8_t raw[kPatternValues], int out[kPatternValues]);

class PatternMatcher {
public:
    static constexpr int kMaxPatterns = 50;

    // Slots are numbered from 0 in the order of adding; returns the new slot, or -1 when all
    // kMaxPatterns slots are taken.
    int add(const PatternData& pattern);
    int size() const { return static_cast<int>(templates_.size()); }

    // samples: one direction's worth of raw BGR values (plane, row, column) read from the image.
    PatternMatch match(const uint8_t samples[kPatternValues]) const;

    // Whether a match is the pattern itself rather than a square whose interior only resembles it.
    // Matches of kSureConfidence and above are taken as they are; below it the samples must be the
    // pattern as blur or uneven light shows it (match_check.cpp).
    bool confirms(const uint8_t samples[kPatternValues], const PatternMatch& match) const {
        return match.cf >= kSureConfidence || explains(samples, match.id, match.dir);
    }
    // Whether the samples are pattern `id` in direction `dir` as blur or uneven light shows it, whatever
    // their correlation.
    bool explains(const uint8_t samples[kPatternValues], int id, int dir) const;

    static constexpr double kSureConfidence = 0.8;
    static constexpr int kBlurLevels = 5;  // blurred copies of each direction kept for confirms()

private:
    struct Template {
        std::array<int, kPatternValues> values;  // inverted, mean removed
        double norm;
    };
    struct Direction {
        Template sharp;
        std::array<Template, kBlurLevels> blurred;          // the pattern seen through ever wider blur
        std::array<int, kPatternSide * kPatternSide> grey;  // blue + green + red per cell, as in the file
    };
    static Template makeTemplate(const uint8_t raw[kPatternValues]);
    static Direction prepare(const uint8_t raw[kPatternValues]);
    std::vector<std::array<Direction, 4>> templates_;
};

}  // namespace kelmo
