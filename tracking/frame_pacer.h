#pragma once
// Paces a recorded or generated source like a live camera: frame n is due n / fps seconds after
// start, and a consumer that falls behind skips frames instead of slowing the clip down.
#include <cstdint>
#include <functional>

namespace kelmo {

// Milliseconds on a clock that never jumps; the origin is arbitrary. Empty means the steady clock;
// tests drive their own, so pacing does not depend on how fast the machine is.
using MillisecondClock = std::function<uint64_t()>;

class FramePacer {
public:
    static constexpr double kDefaultFramesPerSecond = 30.0;
    // Frame rates outside this range are taken for a broken file's and replaced by the default.
    static double saneFramesPerSecond(double fps);

    explicit FramePacer(double framesPerSecond = kDefaultFramesPerSecond, MillisecondClock clock = {});

    void start();
    double framesPerSecond() const { return framesPerSecond_; }
    // How many frames to skip before the one to deliver now, or -1 while none is due. A consumer
    // far behind is not made to catch up: the clock carries on from the current frame.
    int64_t framesToSkip();
    // The frame just delivered; it becomes the current frame number.
    void delivered();
    uint64_t frameNumber() const { return next_; }

private:
    uint64_t now() const;

    double framesPerSecond_;
    MillisecondClock clock_;
    uint64_t startMs_ = 0;
    uint64_t next_ = 0;  // frames consumed since start, skipped ones included
};

}  // namespace kelmo
