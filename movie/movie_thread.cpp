#include "movie/movie_thread.h"

#include <cstdio>
#include <utility>

namespace kelmo {
namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace

MovieThread::MovieThread(std::string path, MovieShared& shared, ThreadMessageQueue& queue)
    : path_(std::move(path)),
      shared_(shared),
      queue_(queue),
      audio_([this] { queue_.post(kMovieSoundDoneMessage, static_cast<uintptr_t>(playback_.load())); }) {}

MovieThread::~MovieThread() { close(); }

void MovieThread::handle(const ThreadMessage& message) {
    const uint8_t alpha = static_cast<uint8_t>(message.lParam & 0xff);
    const uint32_t now = static_cast<uint32_t>(message.wParam);
    switch (message.message) {
        case kMovieOpenMessage:
            alpha_ = alpha;
            if (!video_.isOpen() && !shared_.refused()) open();  // a second open of an open movie is moot
            break;
        case kMovieStartMessage:
            alpha_ = alpha;
            if (!video_.isOpen()) break;
            if (started_) {
                showFrameAt(now);  // a second start of a playing movie is a frame request
            } else {
                start(now);
            }
            break;
        case kMovieFrameMessage:
            alpha_ = alpha;
            if (started_) showFrameAt(now);
            break;
        case kMovieCloseMessage:
            close();
            return;
        case kMovieSoundDoneMessage:
            soundDone(message.wParam);
            return;
        default:
            return;
    }
    // Only now may the GL thread post its next request, so requests never queue up behind a slow frame.
    shared_.requestTaken();
}

void MovieThread::run() {
    ThreadMessage message;
    while (queue_.get(message)) handle(message);
    close();
    releaseAudioThreadState();
}

void MovieThread::open() {
    shared_.setState(kMovieOpening);
    std::string reason;
    if (!video_.open(path_, reason)) {
        say("Movie: cannot play " + path_ + ": " + reason + "; Kelmo runs on without the movie screen");
        shared_.refuse();
        return;
    }
    // Without a device the sound is neither decoded nor the device asked for again on the next loop.
    if (!soundRefused_ && !toldNoDevice_) {
        switch (decodeSoundTrack(path_, sound_, reason)) {
            case SoundTrack::Missing:
                if (!toldNoSoundTrack_) say("Movie: " + path_ + " has no sound track; it plays silently");
                toldNoSoundTrack_ = true;
                break;
            case SoundTrack::Unusable:
                say("Movie: cannot use the sound track of " + path_ + ": " + reason +
                    "; the movie plays without sound");
                soundRefused_ = true;
                break;
            case SoundTrack::Decoded:
                if (!audio_.open(sound_.sampleRate, sound_.channels, reason)) {
                    if (!toldNoDevice_)
                        say("Movie: no audio device (" + reason + "); " + path_ + " plays silently");
                    toldNoDevice_ = true;
                    sound_ = PcmTrack{};
                }
                break;
        }
    }
    started_ = false;
    shared_.setUpPicture(video_.width(), video_.height(), alpha_);
}

void MovieThread::start(uint32_t now) {
    started_ = true;
    startTime_ = now;
    shared_.setState(kMoviePlaying);
    if (audio_.isOpen() && !sound_.samples.empty()) {
        playback_.fetch_add(1);
        audio_.play(sound_.samples.data(), sound_.samples.size());
    }
    showFrameAt(now);
}

void MovieThread::showFrameAt(uint32_t now) {
    const uint32_t elapsed = now - startTime_;  // wraps with the 32-bit clock
    std::string reason;
    switch (video_.frameAt(elapsed, reason)) {
        case VideoDecoder::Frame::New:
            shared_.showFrame(video_.bgr().data(), video_.width(), video_.height());
            break;
        case VideoDecoder::Frame::Same:
            break;
        case VideoDecoder::Frame::End:
            close();
            break;  // the next request opens it again: a loop
        case VideoDecoder::Frame::Failed:
            say("Movie: " + path_ + " breaks off at " + std::to_string(elapsed) + " ms: " + reason +
                "; the movie stops");
            close();
            shared_.refuse();
            break;
    }
}

void MovieThread::close() {
    video_.close();
    audio_.close();  // stops the device before the buffer it reads goes
    sound_ = PcmTrack{};
    started_ = false;
    shared_.closePicture();
}

void MovieThread::soundDone(uint64_t playback) {
    if (playback != playback_.load() || !audio_.isOpen()) return;  // from a playback already stopped
    audio_.stop();
    sound_ = PcmTrack{};
}

void postMovieRequest(MovieShared& shared, ThreadMessageQueue& queue, uint32_t nowMilliseconds,
                      uint8_t alpha) {
    const uint32_t message = shared.claimRequest();
    if (message == 0) return;
    if (!queue.post(message, message == kMovieOpenMessage ? 0 : nowMilliseconds, alpha))
        shared.requestTaken();
}

}  // namespace kelmo
