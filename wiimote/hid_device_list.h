#pragma once
// The remotes found among the system's HID devices, opened and held until closed.
#include <memory>
#include <string>
#include <vector>

#include "wiimote/hid_transport.h"
#include "wiimote/wii_remote.h"

namespace kelmo {

constexpr int kHidDeviceListCapacity = 4;

class HidDeviceList {
public:
    explicit HidDeviceList(int capacity = kHidDeviceListCapacity);
    HidDeviceList(const HidDeviceList&) = delete;
    HidDeviceList& operator=(const HidDeviceList&) = delete;

    // Opens every listed remote (vendor 0x057E, product 0x0306 or 0x0330) into the free slots, in the
    // order listed, until the list is full; remotes beyond that are not opened. Devices that fail to
    // open are skipped, and their paths kept in unopened(). Returns how many were opened.
    int enumerate(HidTransport& transport);
    // The remotes that the last enumerate found but could not open (no permission on the node, most
    // often), by path.
    const std::vector<std::string>& unopened() const { return unopened_; }
    // A remote on the slot's device, which stays in the slot: the remote must be gone before the slot
    // is closed. Null for an index outside the list or an empty slot.
    std::unique_ptr<WiiRemote> openRemote(int index, SleepFunction sleep = nullptr);
    void closeDevice(int index);
    void closeAll();

    int capacity() const { return static_cast<int>(slots_.size()); }
    bool isOpen(int index) const;

private:
    struct Slot {
        HidReportLengths lengths;
        std::unique_ptr<HidDevice> device;
    };
    std::vector<Slot> slots_;
    std::vector<std::string> unopened_;
};

}  // namespace kelmo
