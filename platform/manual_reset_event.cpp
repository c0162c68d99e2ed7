#include "platform/manual_reset_event.h"

#include <chrono>

namespace kelmo {

ManualResetEvent::ManualResetEvent(bool initiallySignalled) : set_(initiallySignalled) {}

void ManualResetEvent::set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
    }
    signalled_.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeoutMs == kInfinite) {
        signalled_.wait(lock, [this] { return set_; });
        return true;
    }
    return signalled_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
}

bool ManualResetEvent::isSet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

}  // namespace kelmo
