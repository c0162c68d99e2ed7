#pragma once
// A clock the test moves by hand, so paced sources deliver by the test's steps and not by how fast
// the machine runs. Safe to read from other threads.
#include <atomic>
#include <cstdint>

#include "tracking/frame_pacer.h"

namespace kelmo::testing_support {

class ManualClock {
public:
    uint64_t now() const { return ms_.load(); }
    void advance(uint64_t ms) { ms_ += ms; }
    MillisecondClock function() {
        return [this] { return now(); };
    }

private:
    std::atomic<uint64_t> ms_{1000};  // not 0, so no code can mistake it for "never"
};

}  // namespace kelmo::testing_support
