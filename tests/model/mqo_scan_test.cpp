#include "model/mqo_scan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace kelmo {
namespace {

// Runs one format through scanFormat and through the C library's sscanf, starting both from the
// same sentinel values, and expects the same targets written with the same bits. Each format has
// one kind of conversion.
void expectSameAsSscanf(const std::string& text, const char* format) {
    float ours[9], theirs[9];
    int ourInts[4], theirInts[4];
    std::memset(ours, 0x5A, sizeof ours);
    std::memset(theirs, 0x5A, sizeof theirs);
    std::memset(ourInts, 0x5A, sizeof ourInts);
    std::memset(theirInts, 0x5A, sizeof theirInts);
    if (std::strstr(format, "%f")) {
        scanFormat(
            text, format,
            {&ours[0], &ours[1], &ours[2], &ours[3], &ours[4], &ours[5], &ours[6], &ours[7], &ours[8]});
        std::sscanf(text.c_str(), format, &theirs[0], &theirs[1], &theirs[2], &theirs[3], &theirs[4],
                    &theirs[5], &theirs[6], &theirs[7], &theirs[8]);
    } else {
        scanFormat(text, format, {&ourInts[0], &ourInts[1], &ourInts[2], &ourInts[3]});
        std::sscanf(text.c_str(), format, &theirInts[0], &theirInts[1], &theirInts[2], &theirInts[3]);
    }
    EXPECT_EQ(0, std::memcmp(ours, theirs, sizeof ours))
        << "format \"" << format << "\" on \"" << text << "\"";
    EXPECT_EQ(0, std::memcmp(ourInts, theirInts, sizeof ourInts))
        << "format \"" << format << "\" on \"" << text << "\"";
}

const char* const kFormats[] = {"%f %f %f",
                                "col(%f %f %f %f) dif (%f) amb(%f) emi(%f) spc(%f) power(%f)",
                                " facet %f",
                                "UV(%f %f %f %f %f %f %f %f)",
                                " vertex %d",
                                "Vector %d [%d]",
                                "V(%d %d %d %d)",
                                "M(%d)",
                                "%d"};

TEST(MqoScan, NumberEdgesMatchSscanf) {
    const char* const numbers[] = {"1e 2",
                                   "1e+ 2",
                                   "1ex 2",
                                   "0x 2",
                                   "-0x 2",
                                   "0x1p3 2",
                                   "0xp 2",
                                   "0x. 2",
                                   "0x.p 2",
                                   "-0x.8 2",
                                   ". 2",
                                   "-. 2",
                                   "nan( 2",
                                   "-NaN 2",
                                   "infx 2",
                                   "infinix 2",
                                   "INFINITY 2",
                                   "i 2",
                                   "n 2",
                                   ".5 2",
                                   "5. 2",
                                   "00x1 2",
                                   "+ 2",
                                   "- 2",
                                   "-",
                                   "0X1.8P1 2",
                                   "1.5.5 2",
                                   "1e5.5 2",
                                   "1ee5 2",
                                   "+-3 2",
                                   "\t\v\f\r\n7 8",
                                   "1e-50 2",
                                   "1e50 2",
                                   "-1e39 2",
                                   "3.4028235e38 2",
                                   "3.4028236e38 2",
                                   "1e-45 2",
                                   "7e-46 2",
                                   "0x1p-150 2",
                                   "0x1.000002p-150 2",
                                   "0x1p128 2",
                                   "0x1.ffffffp127 2",
                                   "-0.0000000000000000000000000000000000000000000001",
                                   "123456789012345678901234567890e-60",
                                   "0.00000000000000000000000000000000000000000000000000001e60",
                                   "2147483648 2",
                                   "4294967297 2",
                                   "99999999999999999999 2",
                                   "-99999999999999999999 2",
                                   "-2147483649 2"};
    for (const char* text : numbers) {
        expectSameAsSscanf(text, "%f %f %f");
        expectSameAsSscanf(text, "%d %d");
    }
}

// Random text shaped like each format: its literals mostly kept, blanks as random runs of white
// space, conversions as pieces of numbers that hit every branch of the collectors.
TEST(MqoScan, RandomTextMatchesSscanfForEveryFormat) {
    const char* const pieces[] = {"0",  "1",   "42", "007", "9999999999", ".",   "5",   "e",    "E", "+",
                                  "-",  "x",   "X",  "p",   "P",          "a",   "f",   "nan",  "i", "inf",
                                  "in", "ity", "n",  "(",   ")",          "0x1", "1e7", "1e-9", "[", "]"};
    const char* const blanks[] = {"", " ", "\t", "  \t", "\r\n", "\v"};
    std::mt19937 random(12345);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (const char* format : kFormats) {
        for (int round = 0; round < 4000; ++round) {
            std::string text;
            for (const char* f = format; *f; ++f) {
                if (*f == ' ') {
                    text += blanks[pick(6)];
                } else if (*f == '%') {
                    ++f;
                    for (int n = 1 + pick(3); n > 0; --n) text += pieces[pick(30)];
                } else {
                    text += pick(12) == 0 ? pieces[pick(30)] : std::string(1, *f);
                }
                if (pick(40) == 0) text += blanks[pick(6)];
            }
            expectSameAsSscanf(text, format);
        }
    }
}

TEST(MqoScan, TextTokensAreCutToTheirBufferAndReadsStopAtTheViewsEnd) {
    char name[4];
    EXPECT_EQ(1, scanFormat("Object \"body\" {", "Object %s", {ScanText{name, sizeof name}}));
    EXPECT_STREQ("\"bo", name);
    EXPECT_EQ(0, scanFormat("Object", "Object %s", {ScanText{name, sizeof name}}));
    // The view ends before the digits that follow in memory.
    int count = -1;
    EXPECT_EQ(0, scanFormat(std::string_view("vertex 12", 7), "vertex %d", {&count}));
    EXPECT_EQ(-1, count);
    float value = -1.0f;
    EXPECT_EQ(1, scanFormat(std::string_view("1.25e3", 4), "%f", {&value}));
    EXPECT_EQ(1.25f, value);
}

}  // namespace
}  // namespace kelmo
