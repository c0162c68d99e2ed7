#include "wiimote/hid_device_list.h"

#include <utility>

namespace kelmo {
namespace {

bool isWiiRemote(const HidDeviceInfo& info) {
    return info.vendorId == kNintendoVendorId &&
           (info.productId == kWiiRemoteProductId || info.productId == kWiiRemotePlusProductId);
}

}  // namespace

HidDeviceList::HidDeviceList(int capacity) : slots_(capacity > 0 ? capacity : 0) {}

int HidDeviceList::enumerate(HidTransport& transport) {
    int opened = 0;
    size_t next = 0;
    unopened_.clear();
    for (const HidDeviceInfo& info : transport.enumerate()) {
        if (!isWiiRemote(info)) continue;
        while (next < slots_.size() && slots_[next].device) ++next;
        if (next == slots_.size()) break;
        std::unique_ptr<HidDevice> device = transport.open(info.path);
        if (!device) {
            unopened_.push_back(info.path);
            continue;
        }
        slots_[next].lengths = HidReportLengths{info.inputReportLength, info.outputReportLength};
        slots_[next].device = std::move(device);
        ++opened;
    }
    return opened;
}

std::unique_ptr<WiiRemote> HidDeviceList::openRemote(int index, SleepFunction sleep) {
    if (!isOpen(index)) return nullptr;
    const Slot& slot = slots_[index];
    return std::make_unique<WiiRemote>(slot.device.get(), slot.lengths, std::move(sleep));
}

void HidDeviceList::closeDevice(int index) {
    if (isOpen(index)) slots_[index].device.reset();
}

void HidDeviceList::closeAll() {
    for (Slot& slot : slots_) slot.device.reset();
}

bool HidDeviceList::isOpen(int index) const {
    return index >= 0 && index < capacity() && slots_[index].device != nullptr;
}

}  // namespace kelmo
