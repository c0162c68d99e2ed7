#pragma once
// Small helpers shared by the FFmpeg readers (private to movie/).
#include <cstddef>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace kelmo {

// FFmpeg's text for an error code.
std::string ffmpegErrorText(int code);
// Before FFmpeg reads a file: its own diagnostics are silenced (it writes one for every damaged
// packet; Kelmo reports failures with one console line of its own), and no single allocation of
// its may exceed kFfmpegAllocationLimit, since a few bytes of a hostile header can ask for gigabytes.
constexpr size_t kFfmpegAllocationLimit = size_t(256) << 20;
void prepareFfmpeg();
// The codec name of the file's first stream of that kind, for a message; "unknown" without one.
std::string firstCodecName(const AVFormatContext* format, AVMediaType type);

}  // namespace kelmo
