#include "tracking/frame_pacer.h"

#include <cmath>
#include <utility>

#include "platform/clock.h"

namespace kelmo {
namespace {

constexpr uint64_t kMaxFramesSkipped = 30;

}  // namespace

double FramePacer::saneFramesPerSecond(double fps) {
    return std::isfinite(fps) && fps > 0.5 && fps <= 1000.0 ? fps : kDefaultFramesPerSecond;
}

FramePacer::FramePacer(double framesPerSecond, MillisecondClock clock)
    : framesPerSecond_(saneFramesPerSecond(framesPerSecond)), clock_(std::move(clock)) {}

uint64_t FramePacer::now() const { return clock_ ? clock_() : steadyMilliseconds(); }

void FramePacer::start() {
    startMs_ = now();
    next_ = 0;
}

int64_t FramePacer::framesToSkip() {
    const uint64_t nowMs = now();
    const uint64_t elapsedMs = nowMs - startMs_;
    const auto due = static_cast<uint64_t>(static_cast<double>(elapsedMs) * framesPerSecond_ / 1000.0);
    if (next_ > due) return -1;
    const uint64_t behind = due - next_;
    if (behind > kMaxFramesSkipped) {
        startMs_ = nowMs - static_cast<uint64_t>(static_cast<double>(next_) * 1000.0 / framesPerSecond_);
        return 0;
    }
    next_ += behind;
    return static_cast<int64_t>(behind);
}

void FramePacer::delivered() { ++next_; }

}  // namespace kelmo
