#pragma once
// Small helpers shared by the FFmpeg readers (private to movie/).
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace kelmo {

// FFmpeg's text for an error code.
std::string ffmpegErrorText(int code);
// FFmpeg writes its own diagnostics to stderr for every damaged packet; Kelmo reports failures with
// one console line of its own instead.
void silenceFfmpegLog();
// The codec name of the file's first stream of that kind, for a message; "unknown" without one.
std::string firstCodecName(const AVFormatContext* format, AVMediaType type);

}  // namespace kelmo
