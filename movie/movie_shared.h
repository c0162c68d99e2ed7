#pragma once
// What the movie thread and the GL thread share: the movie's state, its size and the picture, all
// under one lock. The movie thread writes; the GL thread reads and posts requests.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace kelmo {

// Movie states: never opened, opening, open and waiting for the start, playing, closed.
enum MovieState : int {
    kMovieNeverOpened = -1,
    kMovieOpening = 0,
    kMovieOpen = 1,
    kMoviePlaying = 2,
    kMovieClosed = 3
};

// Messages of the movie thread. Open, start and frame carry the alpha in the low byte of lParam;
// start and frame carry the GL thread's milliseconds in wParam. Sound-done carries the number of the
// playback that ended in wParam.
constexpr uint32_t kMovieOpenMessage = 0x800;
constexpr uint32_t kMovieStartMessage = 0x801;
constexpr uint32_t kMovieFrameMessage = 0x802;
constexpr uint32_t kMovieCloseMessage = 0x803;
constexpr uint32_t kMovieSoundDoneMessage = 0x804;

class MovieShared {
public:
    int state() const;
    void setState(int state);
    // The movie cannot be played: closed for good, no request opens it again.
    void refuse();
    bool refused() const;

    // A new black picture of width × height whose alpha bytes are `alpha`; the state becomes open.
    void setUpPicture(int width, int height, uint8_t alpha);
    // Replaces red, green and blue of the picture with a bottom-up BGR frame (rows padded to 4 bytes).
    void showFrame(const uint8_t* bgr, int width, int height);
    // Frees the picture; the state becomes closed.
    void closePicture();

    // Calls `use` with the picture (RGBA, bottom row first) under the lock; false without a picture.
    bool usePicture(const std::function<void(const uint8_t* rgba, int width, int height)>& use) const;

    // The request the state calls for (open, start or frame), or 0 for none. One request at a time
    // travels to the movie thread, so a slow decoder never builds a backlog: after a request is claimed
    // no other is until the movie thread has handled it and calls requestTaken() (or the poster, when
    // posting failed).
    uint32_t claimRequest();
    void requestTaken();

private:
    mutable std::mutex lock_;
    int state_ = kMovieNeverOpened;
    bool refused_ = false;
    bool requestPending_ = false;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> picture_;  // empty while no movie is open
};

}  // namespace kelmo
