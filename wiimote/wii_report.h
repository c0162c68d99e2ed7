#pragma once
// The remote's report bytes: decoding input reports into buttons, acceleration and infrared dots, and
// encoding the output reports the program sends. Plain byte logic, no device.
#include <cstddef>
#include <cstdint>

namespace kelmo {

// One flag per button: 0 while up, the button's mask value (not 1) while held; test for non-zero.
struct WiiButtons {
    uint8_t up, left, right, down, a, b, minus, home, plus, one, two;
};
static_assert(sizeof(WiiButtons) == 11, "the button snapshot is 11 one-byte flags");

// One dot of the infrared camera; all zero when the camera sees no dot there.
struct IrDot {
    int32_t x;     // 0..1023
    int32_t y;     // 0..1023
    int32_t size;  // 0..15
};

constexpr int kIrDotCount = 4;

// What the input thread hands to the render thread.
struct WiiSnapshot {
    WiiButtons buttons;
    int16_t acceleration[3];  // x, y, z, raw byte minus 128
    IrDot irDots[kIrDotCount];
};

namespace wii_report {

constexpr uint8_t kLeds = 0x11;
constexpr uint8_t kReportingMode = 0x12;
constexpr uint8_t kStatusRequest = 0x15;
constexpr uint8_t kStatus = 0x20;
constexpr uint8_t kCoreButtons = 0x30;
constexpr uint8_t kCoreButtonsAccelIr = 0x33;
constexpr uint8_t kExtensionOnly = 0x3D;  // carries no buttons

constexpr size_t kLedReportLength = 2;
constexpr size_t kStatusRequestLength = 2;
constexpr size_t kReportingModeLength = 3;

// Each decoder reads only the first `length` bytes of `report`. It returns true and writes its output
// when the report id carries that field and the report is long enough; otherwise it leaves the output
// as it was.
bool decodeButtons(const uint8_t* report, size_t length, WiiButtons& buttons);
bool decodeAcceleration(const uint8_t* report, size_t length, int16_t acceleration[3]);
bool decodeIrDots(const uint8_t* report, size_t length, IrDot dots[kIrDotCount]);
// LED 1..4 flags from a status report; false for anything that is not a whole status report.
bool decodeStatusLeds(const uint8_t* report, size_t length, bool leds[4]);

// The LED report: 0x11 and one byte of flags (LED 1..4 in the high nibble, rumble in bit 0).
void encodeLedReport(const bool leds[4], bool rumble, uint8_t out[kLedReportLength]);
void encodeStatusRequest(uint8_t out[kStatusRequestLength]);
// Continuous reporting of the core buttons: what the remote is left in when released.
void encodeReportingMode(uint8_t out[kReportingModeLength]);

}  // namespace wii_report
}  // namespace kelmo
