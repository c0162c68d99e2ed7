// Fuzzes the remote's input report decoders over memory. Checks that a decoder that refuses a report
// leaves its output as it was, and that decoded values stay in the ranges their users assume.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "wiimote/wii_report.h"

namespace {

template <typename T>
bool untouched(const T& value, uint8_t fill) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value);
    for (size_t i = 0; i < sizeof value; ++i)
        if (bytes[i] != fill) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace report = kelmo::wii_report;
    constexpr uint8_t kFill = 0x5A;

    kelmo::WiiButtons buttons;
    std::memset(&buttons, kFill, sizeof buttons);
    if (report::decodeButtons(data, size, buttons)) {
        const uint8_t* flags = reinterpret_cast<const uint8_t*>(&buttons);
        for (size_t i = 0; i < sizeof buttons; ++i)
            check((flags[i] & (flags[i] - 1)) == 0);  // one mask bit or 0
    } else {
        check(untouched(buttons, kFill));
    }

    int16_t acceleration[3];
    std::memset(acceleration, kFill, sizeof acceleration);
    if (report::decodeAcceleration(data, size, acceleration)) {
        for (int16_t axis : acceleration) check(axis >= -128 && axis <= 127);
    } else {
        check(untouched(acceleration, kFill));
    }

    kelmo::IrDot dots[kelmo::kIrDotCount];
    std::memset(dots, kFill, sizeof dots);
    if (report::decodeIrDots(data, size, dots)) {
        for (const kelmo::IrDot& dot : dots)
            check(dot.x >= 0 && dot.x <= 1023 && dot.y >= 0 && dot.y <= 1023 && dot.size >= 0 &&
                  dot.size <= 15);
    } else {
        check(untouched(dots, kFill));
    }

    bool leds[4];
    std::memset(leds, 0, sizeof leds);
    if (!report::decodeStatusLeds(data, size, leds))
        for (bool led : leds) check(!led);
    return 0;
}
