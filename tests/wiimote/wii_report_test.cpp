#include "wiimote/wii_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kelmo {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(WiiReport, EachButtonShowsItsMaskValueOnlyFromButtonReports) {
    // Bytes 1 and 2 for each flag in WiiButtons order: up, left, right, down, a, b, minus, home, plus,
    // one, two.
    const uint8_t press[11][2] = {{0x08, 0}, {0x01, 0}, {0x02, 0}, {0x04, 0}, {0, 0x08}, {0, 0x04},
                                  {0, 0x10}, {0, 0x80}, {0x10, 0}, {0, 0x02}, {0, 0x01}};
    for (int i = 0; i < 11; ++i) {
        const uint8_t report[3] = {uint8_t(0x30 + i), press[i][0], press[i][1]};  // 0x30..0x3A
        uint8_t flags[11];
        WiiButtons buttons{};
        ASSERT_TRUE(wii_report::decodeButtons(report, sizeof report, buttons));
        std::memcpy(flags, &buttons, sizeof flags);
        for (int j = 0; j < 11; ++j)
            EXPECT_EQ(flags[j], j == i ? press[i][0] | press[i][1] : 0) << i << " " << j;
    }

    WiiButtons held{};
    held.up = 0x08;
    held.home = 0x80;
    for (const Bytes& report : {Bytes{0x3D, 0, 0, 0, 0}, Bytes{0x20, 0, 0, 0x10, 0, 0, 0}, Bytes{0x21, 0, 0},
                                Bytes{0x2F, 0, 0}, Bytes{0x40, 0, 0}, Bytes{0x30, 0x00}}) {
        WiiButtons buttons = held;
        EXPECT_FALSE(wii_report::decodeButtons(report.data(), report.size(), buttons)) << int(report[0]);
        EXPECT_EQ(std::memcmp(&buttons, &held, sizeof held), 0) << int(report[0]);
    }
}

TEST(WiiReport, AccelerationFromTheFourAccelerometerModes) {
    for (int id = 0x30; id <= 0x3F; ++id) {
        int16_t acceleration[3] = {7, 7, 7};
        const Bytes report = {uint8_t(id), 0, 0, 0x80, 0xFF, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const bool carries = id == 0x31 || id == 0x33 || id == 0x35 || id == 0x37;
        EXPECT_EQ(wii_report::decodeAcceleration(report.data(), report.size(), acceleration), carries) << id;
        EXPECT_EQ(acceleration[0], carries ? 0 : 7) << id;
        EXPECT_EQ(acceleration[1], carries ? 127 : 7) << id;
        EXPECT_EQ(acceleration[2], carries ? -128 : 7) << id;
    }
}

TEST(WiiReport, InfraredDotsWithHighBitsAndAbsentDots) {
    const Bytes report = {0x33, 0x00, 0x00, 0x80, 0x80, 0x80,  // id, buttons, acceleration
                          0x10, 0x20, 0x00,                    // x 0x10, y 0x20, size 0
                          0xFF, 0xFF, 0xFF,                    // absent
                          0xFF, 0x7F, 0xBF,                    // x + 3 * 256, y + 2 * 256, size 15
                          0x01, 0x02, 0xFF};                   // absent whatever the low bytes say
    IrDot dots[kIrDotCount] = {{9, 9, 9}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}};
    ASSERT_TRUE(wii_report::decodeIrDots(report.data(), report.size(), dots));
    const IrDot expected[kIrDotCount] = {{0x10, 0x20, 0}, {0, 0, 0}, {1023, 0x7F + 512, 15}, {0, 0, 0}};
    for (int i = 0; i < kIrDotCount; ++i) {
        EXPECT_EQ(dots[i].x, expected[i].x) << i;
        EXPECT_EQ(dots[i].y, expected[i].y) << i;
        EXPECT_EQ(dots[i].size, expected[i].size) << i;
    }
    // Other modes, and a report cut short, leave the dots as they were.
    Bytes other = report;
    other[0] = 0x37;
    EXPECT_FALSE(wii_report::decodeIrDots(other.data(), other.size(), dots));
    EXPECT_FALSE(wii_report::decodeIrDots(report.data(), report.size() - 1, dots));
    EXPECT_EQ(dots[2].x, 1023);
}

TEST(WiiReport, LedReportAndStatusLeds) {
    uint8_t out[wii_report::kLedReportLength];
    const bool secondAndFourth[4] = {false, true, false, true};
    wii_report::encodeLedReport(secondAndFourth, true, out);
    EXPECT_EQ(out[0], 0x11);
    EXPECT_EQ(out[1], 0x20 | 0x80 | 0x01);
    const bool first[4] = {true, false, false, false};
    wii_report::encodeLedReport(first, false, out);
    EXPECT_EQ(out[1], 0x10);

    bool leds[4] = {false, false, true, true};
    const Bytes status = {0x20, 0x00, 0x00, 0x30, 0x00, 0x00, 0xC0};
    ASSERT_TRUE(wii_report::decodeStatusLeds(status.data(), status.size(), leds));
    EXPECT_TRUE(leds[0] && leds[1] && !leds[2] && !leds[3]);
    EXPECT_FALSE(wii_report::decodeStatusLeds(status.data(), 3, leds));
}

}  // namespace
}  // namespace kelmo
