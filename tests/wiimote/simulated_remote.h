#pragma once
// A Wii Remote behind the HID device edge: it answers status requests on the output paths it is told
// to, sends the reports the test gives it, and records everything written to it. The test thread may
// drive it while the input thread reads.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "wiimote/hid_transport.h"

namespace kelmo {

using Report = std::vector<uint8_t>;

class SimulatedRemote {
public:
    enum class Answers { BothPaths, PaddedOnly, OwnLengthOnly, Never };

    void setAnswers(Answers answers, uint8_t ledBits = 0, int foreignBeforeStatus = 0);
    // Once the queue is empty, every read gets the next of these at once, for ever.
    void setStream(std::vector<Report> reports);
    // Reads fail at once, as on a device that went away.
    void setGone(bool gone);
    void send(const Report& report);

    std::vector<Report> written() const;  // padding included
    size_t writtenWithId(uint8_t id) const;
    uint8_t ledBits() const;
    int reportsRead() const;
    std::atomic<int> openDevices{0};
    bool refusesOpen = false;  // open() fails, as on a node the user may not open

    int write(const uint8_t* report, size_t length);
    int read(uint8_t* buffer, size_t capacity, uint32_t timeoutMs);

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    Answers answers_ = Answers::BothPaths;
    uint8_t ledBits_ = 0;
    int foreignBeforeStatus_ = 0;
    bool gone_ = false;
    std::deque<Report> queue_;
    std::vector<Report> stream_;
    size_t streamNext_ = 0;
    std::vector<Report> written_;
    int reportsRead_ = 0;
};

class SimulatedDevice : public HidDevice {
public:
    explicit SimulatedDevice(std::shared_ptr<SimulatedRemote> remote) : remote_(std::move(remote)) {
        ++remote_->openDevices;
    }
    ~SimulatedDevice() override { --remote_->openDevices; }
    int write(const uint8_t* report, size_t length, uint32_t) override {
        return remote_->write(report, length);
    }
    int read(uint8_t* buffer, size_t capacity, uint32_t timeoutMs) override {
        return remote_->read(buffer, capacity, timeoutMs);
    }

private:
    std::shared_ptr<SimulatedRemote> remote_;
};

// The system's HID devices in the order listed; each opens onto its own simulated remote.
class SimulatedTransport : public HidTransport {
public:
    std::shared_ptr<SimulatedRemote> add(uint16_t vendorId = kNintendoVendorId,
                                         uint16_t productId = kWiiRemoteProductId);
    std::vector<HidDeviceInfo> enumerate() override { return infos_; }
    std::unique_ptr<HidDevice> open(const std::string& path) override;

private:
    std::vector<HidDeviceInfo> infos_;
    std::vector<std::shared_ptr<SimulatedRemote>> remotes_;
};

}  // namespace kelmo
