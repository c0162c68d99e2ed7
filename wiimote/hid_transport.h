#pragma once
// The device edge of the remote: list HID devices, open one, write an output report, read an input
// report with a time-out. hidapi stands behind it in the program, a simulated remote in the tests.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelmo {

constexpr uint16_t kNintendoVendorId = 0x057E;
constexpr uint16_t kWiiRemoteProductId = 0x0306;
constexpr uint16_t kWiiRemotePlusProductId = 0x0330;  // the later remotes with the motion sensor inside
// The remote's own report length (id and 21 bytes), used where the system cannot tell.
constexpr size_t kWiiReportLength = 22;

struct HidDeviceInfo {
    std::string path;  // what open() takes
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    size_t inputReportLength = 0;  // bytes including the id; 0 when unknown
    size_t outputReportLength = 0;
};

// One open device. Owned by whoever opened it; closed by its destructor.
class HidDevice {
public:
    virtual ~HidDevice() = default;
    // Sends one output report (its first byte is the report id). Returns the bytes written, -1 on failure.
    virtual int write(const uint8_t* report, size_t length, uint32_t timeoutMs) = 0;
    // Takes one input report into buffer. Returns the bytes read, 0 when nothing came within timeoutMs,
    // -1 on failure (a device that went away). Nothing is left pending after a time-out.
    virtual int read(uint8_t* buffer, size_t capacity, uint32_t timeoutMs) = 0;
};

class HidTransport {
public:
    virtual ~HidTransport() = default;
    virtual std::vector<HidDeviceInfo> enumerate() = 0;
    // Null when the device cannot be opened (gone, or no permission on its node).
    virtual std::unique_ptr<HidDevice> open(const std::string& path) = 0;
};

}  // namespace kelmo
