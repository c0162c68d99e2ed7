#pragma once
// Small helpers shared by the FFmpeg readers of movie/ and kelmo-check.
#include <cstddef>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
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
// Opens a movie file for reading with the AVI demuxer only, and lets FFmpeg open only the decoders
// that AVI movies use (kMovieDecoders), both while it reads the stream headers and later. A file
// must not reach FFmpeg's other demuxers and decoders: they are many, rarely exercised, and some
// corrupt memory on damaged input. Returns FFmpeg's result; `reason` is set on failure.
extern const char* const kMovieDecoders;
int openMovieInput(const std::string& path, AVFormatContext** format, std::string& reason);
// Whether the decoder FFmpeg chose for a stream is one openMovieInput admits.
bool isMovieDecoder(const AVCodec* decoder);
// Opens `decoder` on `codec` under the same list of decoders.
int openMovieDecoder(AVCodecContext* codec, const AVCodec* decoder);
// The codec name of the file's first stream of that kind, for a message; "unknown" without one.
std::string firstCodecName(const AVFormatContext* format, AVMediaType type);

}  // namespace kelmo
