#pragma once
// The camera edge in tests: hands out images from memory, one per request, or none when told so.
#include <cstdint>
#include <vector>

#include "tracking/image_view.h"
#include "tracking/video_source.h"

namespace kelmo::testing_support {

class MemoryCamera : public VideoSource {
public:
    MemoryCamera(int width, int height) : width_(width), height_(height) {}
    int width() const override { return width_; }
    int height() const override { return height_; }
    void start() override {}
    void stop() override {}
    const ImageView* getImage() override {
        if (!ready || held_ || frame == nullptr) return nullptr;
        held_ = true;
        view_ = ImageView{width_, height_, width_ * 3, frame->data()};
        return &view_;
    }
    void releaseImage() override { held_ = false; }

    bool ready = true;
    const std::vector<uint8_t>* frame = nullptr;  // packed BGR of the camera's size, owned by the test

private:
    int width_, height_;
    ImageView view_;
    bool held_ = false;
};

}  // namespace kelmo::testing_support
