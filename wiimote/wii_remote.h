#pragma once
// One opened remote: its output path, LED and rumble flags, and the last decoded input. Used by one
// thread at a time (the main thread until the input thread starts, then the input thread alone).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "wiimote/hid_transport.h"
#include "wiimote/wii_report.h"

namespace kelmo {

// How the remote waits; the tests pass one that does not block.
using SleepFunction = std::function<void(uint32_t ms)>;

struct HidReportLengths {
    size_t input = kWiiReportLength;
    size_t output = kWiiReportLength;
};

class WiiRemote {
public:
    static constexpr uint32_t kWriteTimeoutMs = 100;
    static constexpr uint32_t kProbeReadTimeoutMs = 500;
    static constexpr int kMaxForeignReports = 30;  // while looking for the status report, both attempts
    static constexpr uint32_t kReleasePauseMs = 200;

    // Borrows device (its owner closes it after this object is gone). Probes the remote for its output
    // path and LED state; the remote is usable whatever the probe finds.
    WiiRemote(HidDevice* device, const HidReportLengths& lengths, SleepFunction sleep);
    // Leaves the remote reporting its core buttons continuously, then waits a moment for it to go out.
    virtual ~WiiRemote();
    WiiRemote(const WiiRemote&) = delete;
    WiiRemote& operator=(const WiiRemote&) = delete;

    // Returns the bytes written, 0 on failure (also for a report longer than the padded output report).
    size_t writeReport(const uint8_t* report, size_t length, uint32_t timeoutMs);
    // Reads one report into buffer (at most size bytes), or into the own input buffer when buffer is
    // null. Returns the bytes read, 0 on time-out or failure; a failure still takes the time-out, so a
    // vanished device does not make a reader spin.
    size_t readReport(uint8_t* buffer, size_t size, uint32_t timeoutMs);

    // index 0..3 is LED 1..4, 4 the rumble flag; any other index sends nothing and returns 0.
    size_t setLed(int index, bool on);
    size_t sendLeds();
    // Asks for a status report, first on the current output path, then on the other. Returns the
    // status report's byte count, 0 when none came; a status report found sets the LED flags.
    size_t probeStatus(uint8_t* buffer = nullptr, size_t size = 0);
    // One read and decode; true when a report was read.
    bool pollReport(uint32_t timeoutMs);

    // True: every output report is padded to the output report length and written whole. False: it is
    // written at its own length. Starts true; the probe keeps whichever the remote answers on.
    bool padOutputReports() const { return padOutputReports_; }
    bool led(int index) const { return index >= 0 && index < 4 && leds_[index]; }
    bool rumble() const { return rumble_; }
    const WiiButtons& buttons() const { return snapshot_.buttons; }
    const WiiSnapshot& snapshot() const { return snapshot_; }
    const HidReportLengths& reportLengths() const { return lengths_; }

private:
    WiiSnapshot snapshot_{};  // buttons, acceleration and dots as last decoded
    HidReportLengths lengths_;
    HidDevice* device_;  // borrowed
    bool padOutputReports_ = true;
    bool leds_[4] = {false, false, false, false};
    bool rumble_ = false;
    std::vector<uint8_t> input_;
    std::vector<uint8_t> output_;
    SleepFunction sleep_;
};

}  // namespace kelmo
