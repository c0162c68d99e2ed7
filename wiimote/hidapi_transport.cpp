#include "wiimote/hidapi_transport.h"

#include <hidapi/hidapi.h>

#include <climits>

namespace kelmo {
namespace {

class HidapiDevice : public HidDevice {
public:
    explicit HidapiDevice(hid_device* device) : device_(device) {}
    ~HidapiDevice() override { hid_close(device_); }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    // hidraw queues an output report in the kernel and returns; there is no pending write to time out.
    int write(const uint8_t* report, size_t length, uint32_t /*timeoutMs*/) override {
        return hid_write(device_, report, length);
    }

    int read(uint8_t* buffer, size_t capacity, uint32_t timeoutMs) override {
        const int milliseconds =
            timeoutMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(timeoutMs);
        return hid_read_timeout(device_, buffer, capacity, milliseconds);
    }

private:
    hid_device* device_;
};

}  // namespace

std::vector<HidDeviceInfo> HidapiTransport::enumerate() {
    std::vector<HidDeviceInfo> devices;
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* entry = list; entry; entry = entry->next) {
        if (!entry->path) continue;
        HidDeviceInfo info;
        info.path = entry->path;
        info.vendorId = entry->vendor_id;
        info.productId = entry->product_id;
        devices.push_back(std::move(info));
    }
    hid_free_enumeration(list);
    return devices;
}

std::unique_ptr<HidDevice> HidapiTransport::open(const std::string& path) {
    hid_device* device = hid_open_path(path.c_str());
    if (!device) return nullptr;
    return std::make_unique<HidapiDevice>(device);
}

}  // namespace kelmo
