#include "movie/ffmpeg_support.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace kelmo {

std::string ffmpegErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void silenceFfmpegLog() { av_log_set_level(AV_LOG_QUIET); }

}  // namespace kelmo
