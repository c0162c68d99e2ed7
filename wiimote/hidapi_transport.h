#pragma once
// The remote's device edge on hidapi (hidraw backend).
#include "wiimote/hid_transport.h"

namespace kelmo {

class HidapiTransport : public HidTransport {
public:
    // Every HID device hidapi can see; hidraw does not tell report lengths, so those stay 0.
    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;
};

}  // namespace kelmo
