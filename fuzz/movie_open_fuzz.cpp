// Fuzzes opening a movie the way the movie thread does: the input is written to an in-memory file
// that FFmpeg's own demuxers and decoders read beneath our wrapper. The video is opened and asked
// for frames forwards, far ahead and backwards (the seek and rewind paths); the sound track is
// decoded whole. Checks that every picture and sound buffer has the size its users assume and
// stays within the limits that bound the memory a file can make us allocate.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "movie/audio_track.h"
#include "movie/frame_conversion.h"
#include "movie/video_decoder.h"

namespace {

int file = -1;
std::string path;

void checkVideo() {
    kelmo::VideoDecoder decoder;
    std::string reason;
    if (!decoder.open(path, reason)) {
        check(!reason.empty() && !decoder.isOpen());
        return;
    }
    const int width = decoder.width();
    const int height = decoder.height();
    check(width > 0 && height > 0 && width <= kelmo::kMaxMovieSide && height <= kelmo::kMaxMovieSide &&
          int64_t{width} * height <= kelmo::kMaxMoviePixels);
    const size_t pictureBytes = kelmo::bgrRowBytes(width) * static_cast<size_t>(height);
    for (int64_t milliseconds : {0, 40, 100, 5000, 20, 0}) {
        reason.clear();
        const kelmo::VideoDecoder::Frame frame = decoder.frameAt(milliseconds, reason);
        if (frame == kelmo::VideoDecoder::Frame::Failed) {
            check(!reason.empty());
            return;
        }
        check(decoder.width() == width && decoder.height() == height && decoder.bgr().size() == pictureBytes);
    }
}

void checkSound() {
    kelmo::PcmTrack track;
    std::string reason;
    const kelmo::SoundTrack result = kelmo::decodeSoundTrack(path, track, reason);
    if (result == kelmo::SoundTrack::Unusable) check(!reason.empty());
    if (result != kelmo::SoundTrack::Decoded) return;
    check(track.channels == 1 || track.channels == 2);
    check(track.sampleRate > 0 && !track.samples.empty() && track.samples.size() % track.channels == 0);
    check(track.samples.size() <=
          size_t{kelmo::kMaxSoundTrackSeconds} * size_t(track.sampleRate) * size_t(track.channels));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    file = memfd_create("movie", 0);
    path = "/proc/self/fd/" + std::to_string(file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    checkVideo();
    checkSound();
    return 0;
}
