#pragma once
// Small helpers shared by the FFmpeg readers.
#include <string>

namespace kelmo {

// FFmpeg's text for an error code.
std::string ffmpegErrorText(int code);
// FFmpeg writes its own diagnostics to stderr for every damaged packet; Kelmo reports failures with
// one console line of its own instead.
void silenceFfmpegLog();

}  // namespace kelmo
