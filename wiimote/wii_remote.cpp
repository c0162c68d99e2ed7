#include "wiimote/wii_remote.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/clock.h"

namespace kelmo {
namespace {

// HID reports are short; a larger length than this is a wrong answer from the system, not a size to
// allocate.
constexpr size_t kMaxReportLength = 4096;

size_t usableLength(size_t length) {
    return length == 0 || length > kMaxReportLength ? kWiiReportLength : length;
}

}  // namespace

WiiRemote::WiiRemote(HidDevice* device, const HidReportLengths& lengths, SleepFunction sleep)
    : lengths_{usableLength(lengths.input), usableLength(lengths.output)},
      device_(device),
      input_(lengths_.input, 0),
      output_(lengths_.output, 0),
      sleep_(std::move(sleep)) {
    if (!sleep_) sleep_ = sleepMilliseconds;
    probeStatus();
}

WiiRemote::~WiiRemote() {
    uint8_t report[wii_report::kReportingModeLength];
    wii_report::encodeReportingMode(report);
    writeReport(report, sizeof report, kWriteTimeoutMs);
    sleep_(kReleasePauseMs);
}

size_t WiiRemote::writeReport(const uint8_t* report, size_t length, uint32_t timeoutMs) {
    if (!report || length == 0 || !device_) return 0;
    if (!padOutputReports_) {
        const int written = device_->write(report, length, timeoutMs);
        return written == static_cast<int>(length) ? length : 0;
    }
    if (length > output_.size()) return 0;
    std::fill(output_.begin(), output_.end(), 0);
    std::memcpy(output_.data(), report, length);
    const int written = device_->write(output_.data(), output_.size(), timeoutMs);
    return written > 0 ? std::min(static_cast<size_t>(written), output_.size()) : 0;
}

size_t WiiRemote::readReport(uint8_t* buffer, size_t size, uint32_t timeoutMs) {
    if (!device_) return 0;
    uint8_t* target = buffer ? buffer : input_.data();
    const size_t capacity = buffer ? std::min(size, input_.size()) : input_.size();
    if (capacity == 0) return 0;
    const uint64_t start = steadyMilliseconds();
    const int read = device_->read(target, capacity, timeoutMs);
    if (read > 0) return std::min(static_cast<size_t>(read), capacity);
    if (read < 0) {
        const uint64_t spent = steadyMilliseconds() - start;
        if (spent < timeoutMs) sleepMilliseconds(static_cast<uint32_t>(timeoutMs - spent));
    }
    return 0;
}

size_t WiiRemote::setLed(int index, bool on) {
    if (index < 0 || index > 4) return 0;
    if (index == 4) {
        rumble_ = on;
    } else {
        leds_[index] = on;
    }
    return sendLeds();
}

size_t WiiRemote::sendLeds() {
    uint8_t report[wii_report::kLedReportLength];
    wii_report::encodeLedReport(leds_, rumble_, report);
    return writeReport(report, sizeof report, kWriteTimeoutMs);
}

size_t WiiRemote::probeStatus(uint8_t* buffer, size_t size) {
    uint8_t* target = buffer ? buffer : input_.data();
    const size_t capacity = buffer ? size : input_.size();
    uint8_t request[wii_report::kStatusRequestLength];
    wii_report::encodeStatusRequest(request);

    int foreignReports = 0;  // counted over both attempts
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (writeReport(request, sizeof request, kWriteTimeoutMs) != 0) {
            rumble_ = false;  // the request carries the rumble bit, cleared
            for (;;) {
                const size_t read = readReport(target, capacity, kProbeReadTimeoutMs);
                if (read == 0) break;
                bool leds[4];
                if (wii_report::decodeStatusLeds(target, read, leds)) {
                    std::copy(leds, leds + 4, leds_);
                    return read;
                }
                if (++foreignReports > kMaxForeignReports) break;
            }
        }
        // No answer on this path: the remote may take the other one.
        padOutputReports_ = !padOutputReports_;
    }
    return 0;
}

bool WiiRemote::pollReport(uint32_t timeoutMs) {
    const size_t read = readReport(nullptr, 0, timeoutMs);
    if (read == 0) return false;
    wii_report::decodeButtons(input_.data(), read, snapshot_.buttons);
    wii_report::decodeAcceleration(input_.data(), read, snapshot_.acceleration);
    wii_report::decodeIrDots(input_.data(), read, snapshot_.irDots);
    return true;
}

}  // namespace kelmo
