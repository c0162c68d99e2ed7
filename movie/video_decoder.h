#pragma once
// A movie file's first video stream, decoded on demand: the frame that the file holds at a time.
//
// Successive times decode forward from the last frame; the decoder seeks only when the time goes
// backwards or jumps far ahead, and starts again from the beginning of the file when the file has no
// index to seek with. Times are compared against each frame's own timestamp, so files with dropped
// or variable-length frames show each frame for exactly as long as the file holds it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelmo {

// Larger frames are refused: the picture is allocated whole on open.
constexpr int kMaxMovieSide = 8192;
constexpr int64_t kMaxMoviePixels = 4096 * 4096;

class VideoDecoder {
public:
    enum class Frame { New, Same, End, Failed };

    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the file and decodes its first frame. False, with a reason fit for a console line, when the
    // file cannot be played.
    bool open(const std::string& path, std::string& reason);
    void close();
    bool isOpen() const;
    int width() const;
    int height() const;

    // The frame held at `milliseconds` after the first frame. New: it differs from the last one
    // returned and is in bgr(). Same: bgr() still holds it. End: the time lies past the last frame.
    // Failed: the stream cannot be decoded further (reason says why).
    Frame frameAt(int64_t milliseconds, std::string& reason);

    // The frame as bottom-up BGR rows padded to 4 bytes, width() × height().
    const std::vector<uint8_t>& bgr() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kelmo
