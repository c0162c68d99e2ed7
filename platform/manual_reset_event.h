#pragma once
// An event that stays signalled until it is reset: every waiter passes while it is set.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kelmo {

class ManualResetEvent {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    explicit ManualResetEvent(bool initiallySignalled = false);
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set();
    void reset();
    // True when the event is (or becomes) signalled within timeoutMs; 0 polls, kInfinite waits forever.
    bool wait(uint32_t timeoutMs);
    bool isSet() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable signalled_;
    bool set_;
};

}  // namespace kelmo
