#include "tracking/pattern_file.h"

#include <cctype>
#include <cstdio>
#include <iterator>
#include <vector>

#include "tracking/file_start.h"

namespace kelmo {
namespace {

constexpr int kTotalValues = 4 * kPatternValues;
// A pattern file is about 12.5 KB; a few hundred KB of blanks or comments around it is plenty.
constexpr size_t kMaxFileBytes = 1 << 20;

}  // namespace

bool parsePatternText(const char* text, size_t size, PatternData& out, std::string& error) {
    PatternData pattern;
    size_t at = 0;
    for (int n = 0; n < kTotalValues; ++n) {
        while (at < size && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
        if (at == size) {
            error = "the file holds " + std::to_string(n) + " numbers, a pattern needs " +
                    std::to_string(kTotalValues);
            return false;
        }
        const size_t start = at;
        long value = 0;
        while (at < size && std::isdigit(static_cast<unsigned char>(text[at])) && value <= 255)
            value = value * 10 + (text[at++] - '0');
        const bool endsCleanly = at == size || std::isspace(static_cast<unsigned char>(text[at]));
        if (at == start || !endsCleanly || value > 255) {
            size_t end = start;
            while (end < size && end - start < 16 && !std::isspace(static_cast<unsigned char>(text[end])))
                ++end;
            error = "number " + std::to_string(n + 1) + " (\"" + std::string(text + start, end - start) +
                    "\") is not a value from 0 to 255";
            return false;
        }
        pattern.raw[n / kPatternValues][n % kPatternValues] = static_cast<uint8_t>(value);
    }
    out = pattern;
    return true;
}

bool loadPatternFile(const std::string& path, PatternData& out, std::string& error) {
    std::vector<uint8_t> bytes;
    switch (readFileStart(path, kMaxFileBytes, bytes)) {
        case FileStart::CannotOpen:
            error = "cannot open the file";
            return false;
        case FileStart::ReadError:
            error = "cannot read the file";
            return false;
        case FileStart::Read:
            break;
    }
    size_t size = bytes.size();
    // A larger file is cut here: drop a number split by the cut rather than read part of it.
    if (size == kMaxFileBytes)
        while (size > 0 && !std::isspace(static_cast<unsigned char>(bytes[size - 1]))) --size;
    return parsePatternText(reinterpret_cast<const char*>(bytes.data()), size, out, error);
}

std::string formatPatternText(const PatternData& pattern) {
    std::string text;
    text.reserve(12484);
    char cell[8];
    for (const auto& direction : pattern.raw) {
        for (int row = 0; row < kPatternPlanes * kPatternSide; ++row) {
            for (int column = 0; column < kPatternSide; ++column) {
                std::snprintf(cell, sizeof cell, "%4d", direction[row * kPatternSide + column]);
                text += cell;
            }
            text += '\n';
        }
        text += '\n';
    }
    return text;
}

PatternData patternFromUpright(const uint8_t bgr[kPatternSide][kPatternSide][3]) {
    PatternData pattern;
    for (int plane = 0; plane < kPatternPlanes; ++plane)
        for (int row = 0; row < kPatternSide; ++row)
            for (int column = 0; column < kPatternSide; ++column)
                pattern.raw[0][patternIndex(plane, row, column)] = bgr[row][column][plane];
    // Turning 90° counter-clockwise: the new (row, column) shows the old (column, side-1-row).
    for (int d = 1; d < 4; ++d)
        for (int plane = 0; plane < kPatternPlanes; ++plane)
            for (int row = 0; row < kPatternSide; ++row)
                for (int column = 0; column < kPatternSide; ++column)
                    pattern.raw[d][patternIndex(plane, row, column)] =
                        pattern.raw[d - 1][patternIndex(plane, column, kPatternSide - 1 - row)];
    return pattern;
}

}  // namespace kelmo
