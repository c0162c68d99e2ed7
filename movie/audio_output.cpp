#include "movie/audio_output.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace kelmo {

AudioOutput::AudioOutput(std::function<void()> finished) : finished_(std::move(finished)) {}

AudioOutput::~AudioOutput() { close(); }

bool AudioOutput::open(int sampleRate, int channels, std::string& reason) {
    close();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        reason = SDL_GetError();
        return false;
    }
    subsystemStarted_ = true;
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = 2048;
    wanted.callback = &AudioOutput::fill;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to what the device takes.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device_ == 0) {
        reason = SDL_GetError();
        close();
        return false;
    }
    silence_ = obtained.silence;
    return true;
}

bool AudioOutput::isOpen() const { return device_ != 0; }

void AudioOutput::play(const int16_t* samples, size_t count) {
    if (device_ == 0) return;
    SDL_LockAudioDevice(device_);
    samples_ = samples;
    count_ = count;
    position_ = 0;
    reported_ = false;
    SDL_UnlockAudioDevice(device_);
    SDL_PauseAudioDevice(device_, 0);
}

void AudioOutput::stop() {
    if (device_ == 0) return;
    SDL_PauseAudioDevice(device_, 1);
    SDL_LockAudioDevice(device_);
    samples_ = nullptr;
    count_ = 0;
    reported_ = true;
    SDL_UnlockAudioDevice(device_);
}

void AudioOutput::close() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);  // joins the device thread
        device_ = 0;
    }
    samples_ = nullptr;
    count_ = position_ = 0;
    reported_ = true;
    if (subsystemStarted_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemStarted_ = false;
    }
}

size_t AudioOutput::playedSamples() const {
    if (device_ == 0) return position_;
    SDL_LockAudioDevice(device_);
    const size_t played = position_;
    SDL_UnlockAudioDevice(device_);
    return played;
}

// Device thread, under the device lock.
void AudioOutput::fill(void* self, uint8_t* stream, int bytes) {
    AudioOutput& output = *static_cast<AudioOutput*>(self);
    const size_t wanted = static_cast<size_t>(bytes) / sizeof(int16_t);
    const size_t available = output.samples_ ? output.count_ - output.position_ : 0;
    const size_t copied = std::min(wanted, available);
    if (copied > 0) std::memcpy(stream, output.samples_ + output.position_, copied * sizeof(int16_t));
    std::memset(stream + copied * sizeof(int16_t), output.silence_,
                static_cast<size_t>(bytes) - copied * sizeof(int16_t));
    output.position_ += copied;
    if (!output.reported_ && output.position_ == output.count_) {
        output.reported_ = true;
        if (output.finished_) output.finished_();
    }
}

void releaseAudioThreadState() { SDL_TLSCleanup(); }

}  // namespace kelmo
