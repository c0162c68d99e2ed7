#pragma once
// Marker pattern files (.patt): 4 directions × 3 colour planes (blue, green, red) × 16 × 16 raw
// intensities as the camera saw them, as whitespace-separated decimal numbers.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelmo {

constexpr int kPatternSide = 16;
constexpr int kPatternPlanes = 3;  // blue, green, red: the file's order
constexpr int kPatternValues = kPatternPlanes * kPatternSide * kPatternSide;  // one direction

// raw[d] is direction d: the printed pattern turned 90° counter-clockwise d times, stored
// plane by plane, row by row from the top, left to right.
struct PatternData {
    uint8_t raw[4][kPatternValues] = {};
};

// Index of (plane, row, column) within one direction.
constexpr int patternIndex(int plane, int row, int column) {
    return (plane * kPatternSide + row) * kPatternSide + column;
}

// The first 3072 numbers of the text; anything after them is ignored. False, with the reason,
// when there are fewer, when a token is not a number, or when a value lies outside 0..255.
bool parsePatternText(const char* text, size_t size, PatternData& out, std::string& error);
bool loadPatternFile(const std::string& path, PatternData& out, std::string& error);

// The file text in the usual layout: rows of 16 "%4d" values, an empty line after each direction.
std::string formatPatternText(const PatternData& pattern);

// Direction 0 from an upright 16 × 16 BGR pattern (row 0 at the top); directions 1..3 turned from it.
PatternData patternFromUpright(const uint8_t bgr[kPatternSide][kPatternSide][3]);

}  // namespace kelmo
