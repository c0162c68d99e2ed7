#pragma once
// The live camera's driver edge in tests and benches: a driver with a queue of a few buffers, as
// V4L2 has. capture() is the sensor finishing an image: it joins the back of the queue, or is
// dropped when every buffer already holds an image nobody took (the driver has none to fill).
// grab() waits for the front of the queue. Image n carries n in its first eight bytes.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "tracking/live_camera_source.h"

namespace kelmo::testing_support {

class QueuedCamera : public CameraDevice {
public:
    // now: when an image is captured, in milliseconds.
    QueuedCamera(int width, int height, size_t buffers, std::function<uint64_t()> now)
        : width_(width), height_(height), buffers_(buffers), now_(std::move(now)) {}

    // The sensor's side: image number n, stamped with the clock. Returns its number.
    uint64_t capture() {
        std::lock_guard<std::mutex> lock(mutex_);
        const uint64_t n = capturedAt_.size();
        capturedAt_.push_back(now_());
        if (queue_.size() < buffers_) queue_.push_back(n);
        changed_.notify_all();
        return n;
    }
    // From now on grab fails, as when the camera is unplugged.
    void unplug() {
        std::lock_guard<std::mutex> lock(mutex_);
        unplugged_ = true;
        changed_.notify_all();
    }
    // Waits until the queue is empty and a grab waits on it: every image captured so far has gone
    // through the grabber. False if that takes more than 30 s (the grabber is stuck).
    bool waitUntilDrained() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30),
                                 [this] { return queue_.empty() && waiting_; });
    }
    uint64_t capturedAt(uint64_t n) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return capturedAt_.at(n);
    }
    uint64_t lastCaptured() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return capturedAt_.size() - 1;
    }
    static uint64_t numberOf(const ImageView& image) {
        uint64_t n;
        std::memcpy(&n, image.pixels, sizeof n);
        return n;
    }

    // The driver's side, as the grabber thread calls it.
    bool grab() override {
        std::unique_lock<std::mutex> lock(mutex_);
        waiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !queue_.empty() || unplugged_ || cancelled_; });
        waiting_ = false;
        if (unplugged_ || cancelled_) return false;
        grabbed_ = queue_.front();
        queue_.pop_front();
        return true;
    }
    bool retrieve(BgrImage& image) override {
        uint64_t n;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            n = grabbed_;
        }
        image.width = width_;
        image.height = height_;
        image.pixels.assign(static_cast<size_t>(width_) * height_ * 3, 0);
        std::memcpy(image.pixels.data(), &n, sizeof n);
        return true;
    }
    void cancel() override {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }

private:
    const int width_, height_;
    const size_t buffers_;
    const std::function<uint64_t()> now_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uint64_t> queue_;        // image numbers the driver holds, oldest first
    std::vector<uint64_t> capturedAt_;  // by image number
    uint64_t grabbed_ = 0;
    bool waiting_ = false;
    bool unplugged_ = false;
    bool cancelled_ = false;
};

}  // namespace kelmo::testing_support
