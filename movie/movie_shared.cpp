#include "movie/movie_shared.h"

#include "movie/frame_conversion.h"

namespace kelmo {

int MovieShared::state() const {
    std::lock_guard<std::mutex> hold(lock_);
    return state_;
}

void MovieShared::setState(int state) {
    std::lock_guard<std::mutex> hold(lock_);
    state_ = state;
}

void MovieShared::refuse() {
    std::lock_guard<std::mutex> hold(lock_);
    refused_ = true;
    state_ = kMovieClosed;
    std::vector<uint8_t>().swap(picture_);
}

bool MovieShared::refused() const {
    std::lock_guard<std::mutex> hold(lock_);
    return refused_;
}

void MovieShared::setUpPicture(int width, int height, uint8_t alpha) {
    std::vector<uint8_t> picture(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    clearPicture(picture.data(), width, height, alpha);
    std::lock_guard<std::mutex> hold(lock_);
    width_ = width;
    height_ = height;
    picture_.swap(picture);
    state_ = kMovieOpen;
}

void MovieShared::showFrame(const uint8_t* bgr, int width, int height) {
    std::lock_guard<std::mutex> hold(lock_);
    if (picture_.empty()) return;
    convertBgrToPicture(bgr, width, height, picture_.data(), width_, height_);
}

void MovieShared::closePicture() {
    std::vector<uint8_t> freed;
    std::lock_guard<std::mutex> hold(lock_);
    picture_.swap(freed);
    state_ = kMovieClosed;
}

bool MovieShared::usePicture(const std::function<void(const uint8_t*, int, int)>& use) const {
    std::lock_guard<std::mutex> hold(lock_);
    if (picture_.empty()) return false;
    use(picture_.data(), width_, height_);
    return true;
}

uint32_t MovieShared::claimRequest() {
    std::lock_guard<std::mutex> hold(lock_);
    if (refused_ || requestPending_) return 0;
    uint32_t message = 0;
    switch (state_) {
        case kMovieNeverOpened:
        case kMovieClosed:
            message = kMovieOpenMessage;
            break;
        case kMovieOpen:
            message = kMovieStartMessage;
            break;
        case kMoviePlaying:
            message = kMovieFrameMessage;
            break;
        default:
            return 0;  // opening
    }
    requestPending_ = true;
    return message;
}

void MovieShared::requestTaken() {
    std::lock_guard<std::mutex> hold(lock_);
    requestPending_ = false;
}

}  // namespace kelmo
