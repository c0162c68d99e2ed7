#pragma once
// The sound device: plays one whole PCM buffer and reports when it has played to its end.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kelmo {

class AudioOutput {
public:
    // `finished` runs once per play, on the device's own thread, when the last sample has been
    // handed to the device; it must not call back into this object.
    explicit AudioOutput(std::function<void()> finished);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the default output device for 16-bit samples, paused. False, with a reason, when there is
    // no device.
    bool open(int sampleRate, int channels, std::string& reason);
    bool isOpen() const;
    // Starts playing `count` interleaved samples from the start. The buffer is borrowed: it must stay
    // until stop() or close().
    void play(const int16_t* samples, size_t count);
    // Silences the device; the borrowed buffer is no longer read once this returns.
    void stop();
    void close();
    // Samples handed to the device since the last play.
    size_t playedSamples() const;

private:
    static void fill(void* self, uint8_t* stream, int bytes);

    std::function<void()> finished_;
    uint32_t device_ = 0;  // SDL device id, 0 while closed
    bool subsystemStarted_ = false;
    int silence_ = 0;
    // Read and written by the device thread's fill; others change them only under the device lock.
    const int16_t* samples_ = nullptr;
    size_t count_ = 0;
    size_t position_ = 0;
    bool reported_ = true;
};

// The sound library keeps state for each thread that calls it (its last error, for one) and frees it
// only for its own threads; a thread of ours calls this before it ends.
void releaseAudioThreadState();

}  // namespace kelmo
