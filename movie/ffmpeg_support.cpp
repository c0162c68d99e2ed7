#include "movie/ffmpeg_support.h"

extern "C" {
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

std::string firstCodecName(const AVFormatContext* format, AVMediaType type) {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == type)
            return avcodec_get_name(format->streams[i]->codecpar->codec_id);
    }
    return "unknown";
}

}  // namespace kelmo
