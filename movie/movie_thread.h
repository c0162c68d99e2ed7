#pragma once
// The movie thread's message handling: open, start, frame, close, the sound's end and quit.
//
// The thread owns the file, the decoded sound track and the sound device; it hands pictures to the GL
// thread only through MovieShared. handle() is the whole state machine and runs on whatever thread
// calls it, so tests drive it with explicit times; run() is the thread body.
#include <atomic>
#include <cstdint>
#include <string>

#include "movie/audio_output.h"
#include "movie/audio_track.h"
#include "movie/movie_shared.h"
#include "movie/video_decoder.h"
#include "platform/thread_message_queue.h"

namespace kelmo {

class MovieThread {
public:
    MovieThread(std::string path, MovieShared& shared, ThreadMessageQueue& queue);
    ~MovieThread();
    MovieThread(const MovieThread&) = delete;
    MovieThread& operator=(const MovieThread&) = delete;

    // Unknown messages are ignored.
    void handle(const ThreadMessage& message);
    // Handles messages until the queue's quit, then closes the movie.
    void run();

    // Owner thread only (or while run() is not running).
    size_t soundSamples() const { return sound_.samples.size(); }
    bool soundDeviceOpen() const { return audio_.isOpen(); }

private:
    void open();
    void start(uint32_t now);
    void showFrameAt(uint32_t now);
    void close();
    void soundDone(uint64_t playback);

    std::string path_;
    MovieShared& shared_;
    ThreadMessageQueue& queue_;
    VideoDecoder video_;
    PcmTrack sound_;
    AudioOutput audio_;
    std::atomic<uint64_t> playback_{0};  // numbers each start of the sound; read by the device thread
    bool started_ = false;
    uint32_t startTime_ = 0;
    uint8_t alpha_ = 0;
    bool soundRefused_ = false;  // the track cannot be converted: not decoded again on the next loop
    bool toldNoSoundTrack_ = false;
    bool toldNoDevice_ = false;
};

// The GL thread's request for the current frame: posts open, start or frame as the state says.
void postMovieRequest(MovieShared& shared, ThreadMessageQueue& queue, uint32_t nowMilliseconds,
                      uint8_t alpha);

}  // namespace kelmo
