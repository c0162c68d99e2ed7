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

class PatternMatcher {
public:
    static constexpr int kMaxPatterns = 50;

    // Slots are numbered from 0 in the order of adding; returns the new slot, or -1 when all
    // kMaxPatterns slots are taken.
    int add(const PatternData& pattern);
    int size() const { return static_cast<int>(templates_.size()); }

    // samples: one direction's worth of raw BGR values (plane, row, column) read from the image.
    PatternMatch match(const uint8_t samples[kPatternValues]) const;

private:
    struct Template {
        std::array<int, kPatternValues> values;  // inverted, mean removed
        double norm;
    };
    std::vector<std::array<Template, 4>> templates_;
};

}  // namespace kelmo
