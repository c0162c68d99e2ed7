#include "movie/ffmpeg_support.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace kelmo {

std::string ffmpegErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void prepareFfmpeg() {
    av_log_set_level(AV_LOG_QUIET);
    av_max_alloc(kFfmpegAllocationLimit);
}

const char* const kMovieDecoders =
    "mjpeg,mpeg4,msmpeg4v1,msmpeg4v2,msmpeg4,h263,h264,mpeg1video,mpeg2video,rawvideo,cinepak,"
    "msvideo1,msrle,huffyuv,ffvhuff,dvvideo,"
    "pcm_u8,pcm_s16le,pcm_s24le,pcm_s32le,pcm_f32le,pcm_alaw,pcm_mulaw,adpcm_ms,adpcm_ima_wav,"
    "mp2,mp2float,mp3,mp3float,ac3,gsm_ms";

namespace {

// The options that hold FFmpeg to kMovieDecoders, for one open call.
struct DecoderList {
    AVDictionary* entries = nullptr;
    DecoderList() { av_dict_set(&entries, "codec_whitelist", kMovieDecoders, 0); }
    ~DecoderList() { av_dict_free(&entries); }
};

}  // namespace

int openMovieInput(const std::string& path, AVFormatContext** format, std::string& reason) {
    prepareFfmpeg();
    const AVInputFormat* avi = av_find_input_format("avi");
    if (avi == nullptr) {
        reason = "this FFmpeg cannot read AVI files";
        return AVERROR_DEMUXER_NOT_FOUND;
    }
    DecoderList options;
    const int result = avformat_open_input(format, path.c_str(), avi, &options.entries);
    if (result == AVERROR_INVALIDDATA)
        reason = "it is not an AVI file or its headers are damaged";
    else if (result < 0)
        reason = ffmpegErrorText(result);
    return result;
}

bool isMovieDecoder(const AVCodec* decoder) {
    return decoder != nullptr && av_match_list(decoder->name, kMovieDecoders, ',') > 0;
}

int openMovieDecoder(AVCodecContext* codec, const AVCodec* decoder) {
    if (!isMovieDecoder(decoder)) return AVERROR_DECODER_NOT_FOUND;
    DecoderList options;
    return avcodec_open2(codec, decoder, &options.entries);
}

std::string firstCodecName(const AVFormatContext* format, AVMediaType type) {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == type)
            return avcodec_get_name(format->streams[i]->codecpar->codec_id);
    }
    return "unknown";
}

}  // namespace kelmo
