#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tracking/pattern_file.h"
#include "tracking/pattern_matcher.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

std::string samplePath(const std::string& name) {
    return std::string(KELMO_FIXTURES_DIR) + "/artoolkit/" + name;
}

PatternData loadSample(const std::string& name) {
    PatternData pattern;
    std::string error;
    EXPECT_TRUE(loadPatternFile(samplePath(name), pattern, error)) << name << ": " << error;
    return pattern;
}

std::string readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string writeTemp(const std::string& text) {
    const std::string path = testing_support::tempPath("test.patt");
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<int> values(const uint8_t* first, int count) { return std::vector<int>(first, first + count); }
bool samePattern(const PatternData& a, const PatternData& b) {
    return !std::memcmp(a.raw, b.raw, sizeof a.raw);
}

// The same after every quarter turn: a dark square in the middle.
PatternData centredSquare() {
    uint8_t upright[kPatternSide][kPatternSide][3];
    for (int r = 0; r < kPatternSide; ++r)
        for (int c = 0; c < kPatternSide; ++c)
            for (int p = 0; p < 3; ++p) upright[r][c][p] = (r >= 4 && r < 12 && c >= 4 && c < 12) ? 30 : 240;
    return patternFromUpright(upright);
}

TEST(PatternFile, SampleFilesDecodeInFileOrder) {
    const PatternData hiro = loadSample("patt.hiro");
    using V = std::vector<int>;
    EXPECT_EQ(values(hiro.raw[0], 16),
              (V{234, 235, 240, 233, 240, 234, 240, 235, 240, 237, 240, 238, 240, 240, 240, 232}));
    EXPECT_EQ(values(&hiro.raw[0][patternIndex(0, 1, 0)], 16).front(), 229);  // blue, row 1
    EXPECT_EQ(values(&hiro.raw[0][patternIndex(0, 1, 0)], 16).back(), 228);
    EXPECT_EQ(values(&hiro.raw[0][patternIndex(1, 0, 0)], 4), (V{235, 235, 240, 233}));  // green
    EXPECT_EQ(values(&hiro.raw[0][patternIndex(2, 0, 0)], 4), (V{234, 235, 240, 233}));  // red
    EXPECT_EQ(values(hiro.raw[1], 4), (V{232, 228, 239, 240}));
    EXPECT_EQ(values(loadSample("patt.kanji").raw[0], 4), (V{214, 225, 240, 225}));
    EXPECT_EQ(values(loadSample("patt.sample1").raw[0], 4), (V{222, 240, 229, 218}));
}

TEST(PatternFile, EachDirectionIsThePreviousTurnedCounterClockwise) {
    for (const char* name : {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"}) {
        const PatternData file = loadSample(name);
        uint8_t upright[kPatternSide][kPatternSide][3];
        for (int r = 0; r < kPatternSide; ++r)
            for (int c = 0; c < kPatternSide; ++c)
                for (int p = 0; p < 3; ++p) upright[r][c][p] = file.raw[0][patternIndex(p, r, c)];
        EXPECT_TRUE(samePattern(patternFromUpright(upright), file)) << name;
    }
}

TEST(PatternFile, FormattingReproducesTheFileLayout) {
    const std::string text = formatPatternText(loadSample("patt.hiro"));
    EXPECT_EQ(text.size(), 12484u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 196);
    EXPECT_EQ(text, readBytes(samplePath("patt.hiro")));

    PatternData spread, back;
    for (int d = 0; d < 4; ++d)
        for (int k = 0; k < kPatternValues; ++k)
            spread.raw[d][k] = static_cast<uint8_t>((k * 37 + d * 101) % 256);
    const std::string formatted = formatPatternText(spread);
    std::string error;
    ASSERT_TRUE(parsePatternText(formatted.data(), formatted.size(), back, error)) << error;
    EXPECT_TRUE(samePattern(back, spread));
}

TEST(PatternFile, BadFilesAreRefusedWithAReason) {
    const std::string good = readBytes(samplePath("patt.hiro"));
    const std::string allButLast = good.substr(0, good.find_last_of(' ', good.find_last_not_of(" \n")) + 1);
    ASSERT_EQ(good.size() - allButLast.size(), 5u);  // "233" and the two line ends
    const std::pair<std::string, const char*> cases[] = {{"", "0 numbers"},
                                                         {allButLast, "3071 numbers"},
                                                         {allButLast + "abc", "abc"},
                                                         {allButLast + "12x", "12x"},
                                                         {allButLast + "256", "256"},
                                                         {allButLast + "-1", "-1"},
                                                         {allButLast + "99999999999999999999", "9999"}};
    PatternData pattern;
    std::string error;
    for (const auto& [text, reason] : cases) {
        EXPECT_FALSE(loadPatternFile(writeTemp(text), pattern, error)) << reason;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    for (const std::string& path : {testing_support::tempPath("no-such.patt"), testing::TempDir()}) {
        error.clear();
        EXPECT_FALSE(loadPatternFile(path, pattern, error)) << path;
        EXPECT_FALSE(error.empty());
    }
    // Blanks of any kind separate numbers, and whatever follows the last one is ignored.
    std::string loose = good;
    std::replace(loose.begin(), loose.end(), '\n', '\t');
    ASSERT_TRUE(loadPatternFile(writeTemp(" \r\n" + loose + "\r\n257 words"), pattern, error)) << error;
    EXPECT_TRUE(samePattern(pattern, loadSample("patt.hiro")));
}

TEST(PatternFile, ANumberCutByTheReadLimitIsNeverTakenShort) {
    // The last number straddles the first mebibyte: refusing is fine, reading "12" for "123" is not.
    std::string text;
    for (int n = 0; n < 4 * kPatternValues - 1; ++n) text += "7 ";
    text.append((1u << 20) - 2 - text.size(), ' ');
    PatternData pattern;
    std::string error;
    if (loadPatternFile(writeTemp(text + "123\n"), pattern, error)) {
        EXPECT_EQ(pattern.raw[3][kPatternValues - 1], 123);
    }
}

TEST(PatternMatcher, EachBlockMatchesItsOwnSlotAndDirection) {
    PatternMatcher matcher;
    const PatternData hiro = loadSample("patt.hiro"), kanji = loadSample("patt.kanji");
    ASSERT_EQ(matcher.add(hiro), 0);
    ASSERT_EQ(matcher.add(kanji), 1);
    for (int d = 0; d < 4; ++d) {
        for (int slot = 0; slot < 2; ++slot) {
            const PatternMatch m = matcher.match((slot == 0 ? hiro : kanji).raw[d]);
            EXPECT_EQ(m.id, slot);
            EXPECT_EQ(m.dir, d);
            EXPECT_NEAR(m.cf, 1.0, 1e-12);
        }
        PatternMatcher hiroOnly;  // another marker correlates weakly with every direction
        hiroOnly.add(hiro);
        EXPECT_LT(hiroOnly.match(kanji.raw[d]).cf, 0.5);
    }
    // A uniformly brighter view shifts the integer mean by as much: exactly the same score.
    uint8_t brighter[kPatternValues];
    for (int k = 0; k < kPatternValues; ++k) brighter[k] = static_cast<uint8_t>(hiro.raw[2][k] + 15);
    const PatternMatch lit = matcher.match(brighter);
    EXPECT_EQ(lit.dir, 2);
    EXPECT_DOUBLE_EQ(lit.cf, matcher.match(hiro.raw[2]).cf);
}

TEST(PatternMatcher, UniformOrOppositeInteriorsMatchNothing) {
    PatternMatcher matcher;
    matcher.add(centredSquare());
    uint8_t interior[kPatternValues];
    std::memset(interior, 128, sizeof interior);
    const PatternMatch flat = matcher.match(interior);
    EXPECT_EQ(std::make_tuple(flat.id, flat.dir, flat.cf), std::make_tuple(-1, -1, -1.0));

    // Light square on dark: -1 with every direction, and nothing beats 0.
    for (int k = 0; k < kPatternValues; ++k)
        interior[k] = static_cast<uint8_t>(255 - centredSquare().raw[0][k]);
    const PatternMatch opposite = matcher.match(interior);
    EXPECT_EQ(std::make_tuple(opposite.id, opposite.dir, opposite.cf), std::make_tuple(-1, -1, 0.0));

    PatternMatcher blank;  // a uniform pattern file loads but matches nothing
    EXPECT_EQ(blank.add(PatternData{}), 0);
    EXPECT_EQ(blank.match(centredSquare().raw[0]).id, -1);
}

TEST(PatternMatcher, TiesKeepTheLowerSlotThenTheLowerDirection) {
    PatternMatcher matcher;
    const PatternData hiro = loadSample("patt.hiro");
    matcher.add(centredSquare());
    matcher.add(hiro);
    matcher.add(hiro);
    const PatternMatch twice = matcher.match(hiro.raw[3]);
    EXPECT_EQ(twice.id, 1);
    EXPECT_EQ(twice.dir, 3);
    const PatternMatch square = matcher.match(centredSquare().raw[2]);  // all four directions equal
    EXPECT_EQ(square.id, 0);
    EXPECT_EQ(square.dir, 0);
}

}  // namespace
}  // namespace kelmo
