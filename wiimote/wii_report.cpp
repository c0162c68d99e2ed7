#include "wiimote/wii_report.h"

namespace kelmo {
namespace wii_report {
namespace {

constexpr size_t kButtonBytesEnd = 3;  // id, then two bytes of buttons
constexpr size_t kAccelerationEnd = 6;
constexpr size_t kIrDotsStart = 6;
constexpr size_t kIrDotBytes = 3;
constexpr size_t kStatusFlagsByte = 3;
constexpr uint8_t kAbsentDot = 0xFF;

bool carriesButtons(uint8_t id) { return id >= 0x30 && id <= 0x3F && id != kExtensionOnly; }

// 0x31, 0x33, 0x35 and 0x37: the modes whose bits 0x31 are set and 0x08 clear.
bool carriesAcceleration(uint8_t id) { return (id & 0xF0) == 0x30 && (id & 0x31) == 0x31 && !(id & 0x08); }

}  // namespace

bool decodeButtons(const uint8_t* report, size_t length, WiiButtons& buttons) {
    if (!report || length < kButtonBytesEnd || !carriesButtons(report[0])) return false;
    const uint8_t first = report[1];
    const uint8_t second = report[2];
    buttons.up = first & 0x08;
    buttons.left = first & 0x01;
    buttons.right = first & 0x02;
    buttons.down = first & 0x04;
    buttons.a = second & 0x08;
    buttons.b = second & 0x04;
    buttons.minus = second & 0x10;
    buttons.home = second & 0x80;
    buttons.plus = first & 0x10;
    buttons.one = second & 0x02;
    buttons.two = second & 0x01;
    return true;
}

bool decodeAcceleration(const uint8_t* report, size_t length, int16_t acceleration[3]) {
    if (!report || length < kAccelerationEnd || !carriesAcceleration(report[0])) return false;
    for (int axis = 0; axis < 3; ++axis) acceleration[axis] = static_cast<int16_t>(report[3 + axis] - 128);
    return true;
}

bool decodeIrDots(const uint8_t* report, size_t length, IrDot dots[kIrDotCount]) {
    if (!report || length < kIrDotsStart + kIrDotCount * kIrDotBytes || report[0] != kCoreButtonsAccelIr) {
        return false;
    }
    for (int i = 0; i < kIrDotCount; ++i) {
        const uint8_t* bytes = report + kIrDotsStart + i * kIrDotBytes;
        const uint8_t high = bytes[2];
        if (high == kAbsentDot) {
            dots[i] = IrDot{0, 0, 0};
            continue;
        }
        dots[i].x = bytes[0] + ((high >> 4) & 3) * 256;
        dots[i].y = bytes[1] + (high >> 6) * 256;
        dots[i].size = high & 0x0F;
    }
    return true;
}

bool decodeStatusLeds(const uint8_t* report, size_t length, bool leds[4]) {
    if (!report || length <= kStatusFlagsByte || report[0] != kStatus) return false;
    const uint8_t flags = report[kStatusFlagsByte];
    for (int i = 0; i < 4; ++i) leds[i] = (flags & (0x10 << i)) != 0;
    return true;
}

void encodeLedReport(const bool leds[4], bool rumble, uint8_t out[kLedReportLength]) {
    uint8_t flags = rumble ? 0x01 : 0x00;
    for (int i = 0; i < 4; ++i) {
        if (leds[i]) flags |= static_cast<uint8_t>(0x10 << i);
    }
    out[0] = kLeds;
    out[1] = flags;
}

void encodeStatusRequest(uint8_t out[kStatusRequestLength]) {
    out[0] = kStatusRequest;
    out[1] = 0x00;
}

void encodeReportingMode(uint8_t out[kReportingModeLength]) {
    out[0] = kReportingMode;
    out[1] = 0x04;  // continuous
    out[2] = kCoreButtons;
}

}  // namespace wii_report
}  // namespace kelmo
