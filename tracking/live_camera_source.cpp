#include "tracking/live_camera_source.h"

#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

namespace kelmo {
namespace {

// Three buffers, swapped, never copied: the grabber thread fills its own, the newest waits under the
// lock, and the frame loop holds the one it was handed until releaseImage.
class LiveCameraSource : public VideoSource {
public:
    LiveCameraSource(std::unique_ptr<CameraDevice> device, int width, int height, std::string name)
        : device_(std::move(device)), width_(width), height_(height), name_(std::move(name)) {
        grabber_ = std::thread([this] { grabLoop(); });
    }

    ~LiveCameraSource() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        device_->cancel();
        grabber_.join();
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

    void start() override {
        std::lock_guard<std::mutex> lock(mutex_);
        decoding_ = true;
        fresh_ = false;
        running_ = true;
    }

    void stop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        decoding_ = false;
        running_ = false;
    }

    const ImageView* getImage() override {
        if (held_) return nullptr;
        bool failed = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!running_) return nullptr;
            if (fresh_) {
                std::swap(front_, newest_);
                fresh_ = false;
                held_ = true;
            } else {
                failed = failed_;
            }
        }
        if (failed && !reported_) {
            reported_ = true;
            std::printf("%s stopped delivering images\n", name_.c_str());
            std::fflush(stdout);
        }
        if (!held_) return nullptr;
        view_ = front_.view();
        return &view_;
    }

    void releaseImage() override { held_ = false; }

private:
    // The grabber thread: the device and back are its own.
    void grabLoop() {
        BgrImage back;
        for (;;) {
            const bool grabbed = device_->grab();
            std::unique_lock<std::mutex> lock(mutex_);
            if (quit_) return;
            if (!grabbed) {
                failed_ = true;
                return;
            }
            if (!decoding_) continue;
            lock.unlock();
            if (!device_->retrieve(back)) continue;
            lock.lock();
            // stop() may have come while decoding; the image is then dropped with the others.
            if (!decoding_) continue;
            std::swap(back, newest_);
            fresh_ = true;
        }
    }

    std::unique_ptr<CameraDevice> device_;  // the grabber thread's after construction
    const int width_;
    const int height_;
    const std::string name_;

    std::mutex mutex_;  // guards the fields down to failed_
    BgrImage newest_;
    bool fresh_ = false;  // newest_ holds an image not handed out yet
    bool decoding_ = false;
    bool running_ = false;
    bool quit_ = false;
    bool failed_ = false;

    // The frame loop's own.
    BgrImage front_;
    ImageView view_;
    bool held_ = false;
    bool reported_ = false;

    std::thread grabber_;  // started once every field above is built; joined before any goes
};

}  // namespace

std::unique_ptr<VideoSource> openLiveCameraSource(std::unique_ptr<CameraDevice> device, int width, int height,
                                                  const std::string& name) {
    return std::make_unique<LiveCameraSource>(std::move(device), width, height, name);
}

}  // namespace kelmo
