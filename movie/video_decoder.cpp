// Contents: file set-up and tear-down, decoding one frame, finding the frame for a time, conversion.
#include "movie/video_decoder.h"

#include <cstring>
#include <memory>
#include <utility>

#include "movie/ffmpeg_support.h"
#include "movie/frame_conversion.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace kelmo {
namespace {

// Damaged packets are skipped; this many in a row means the stream is broken.
constexpr int kMaxBadPacketsInARow = 30;
// A jump ahead by more than this is worth a seek instead of decoding every frame in between.
constexpr int64_t kFarJumpMilliseconds = 3000;
// swscale's vector code writes whole blocks, up to this many bytes past the end of a row.
constexpr int kScalerOverrun = 64;

struct AvFreer {
    void operator()(uint8_t* bytes) const { av_free(bytes); }
};

struct DecodedFrame {
    AVFrame* frame = nullptr;
    int64_t ts = 0;        // presentation time, stream time base
    int64_t duration = 0;  // stream time base, at least 1
    uint64_t serial = 0;   // tells frames apart across seeks
};

}  // namespace

struct VideoDecoder::Impl {
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1000};
    int64_t defaultDuration = 1;
    int64_t startTs = 0;  // timestamp of the first frame: time 0
    int width = 0;
    int height = 0;

    DecodedFrame current;  // the frame last found for a time
    DecodedFrame pending;  // the next frame, decoded ahead to know where `current` ends
    bool haveCurrent = false;
    bool havePending = false;
    bool inputDone = false;  // the demuxer has no more packets; the decoder is being drained
    bool drained = false;    // ... and has given its last frame
    int badPackets = 0;
    bool haveLastTs = false;
    int64_t lastTs = 0;
    uint64_t nextSerial = 1;
    uint64_t shownSerial = 0;
    std::vector<uint8_t> bgr;
    // What swscale writes: top-down rows padded to kScalerOverrun and room for an overrun after the
    // last row, so the bytes it writes past a row's end never leave this block. Copied into `bgr`.
    std::unique_ptr<uint8_t, AvFreer> scaled;
    int scaledStride = 0;

    bool openFile(std::string& reason);
    void closeFile();
    void resetDecoding();
    int decodeNext(DecodedFrame& out, std::string& reason);
    bool seekTo(int64_t target, bool mayRewind, std::string& reason);
    bool rewind(std::string& reason);
    bool convert(const AVFrame* frame, std::string& reason);
};

bool VideoDecoder::Impl::openFile(std::string& reason) {
    int result = openMovieInput(path, &format, reason);
    if (result < 0) return false;
    result = avformat_find_stream_info(format, nullptr);
    if (result < 0) {
        reason = "cannot read its streams (" + ffmpegErrorText(result) + ")";
        return false;
    }
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream == AVERROR_STREAM_NOT_FOUND) {
        reason = "it has no video stream";
        return false;
    }
    if (stream < 0 || !isMovieDecoder(decoder)) {
        reason = std::string("no decoder for its video codec ") + firstCodecName(format, AVMEDIA_TYPE_VIDEO);
        return false;
    }
    AVStream* video = format->streams[stream];
    const AVCodecParameters* parameters = video->codecpar;
    if (parameters->width <= 0 || parameters->height <= 0 || parameters->width > kMaxMovieSide ||
        parameters->height > kMaxMovieSide ||
        int64_t(parameters->width) * parameters->height > kMaxMoviePixels) {
        reason = "its frame size " + std::to_string(parameters->width) + " x " +
                 std::to_string(parameters->height) + " is not playable";
        return false;
    }
    width = parameters->width;
    height = parameters->height;
    timeBase = video->time_base;
    if (timeBase.num <= 0 || timeBase.den <= 0) timeBase = AVRational{1, 1000};
    AVRational rate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    defaultDuration = rate.num > 0 && rate.den > 0 ? av_rescale_q(1, av_inv_q(rate), timeBase)
                                                   : av_rescale_q(40, AVRational{1, 1000}, timeBase);
    if (defaultDuration < 1) defaultDuration = 1;

    codec = avcodec_alloc_context3(decoder);
    packet = av_packet_alloc();
    if (codec == nullptr || packet == nullptr) {
        reason = "out of memory";
        return false;
    }
    avcodec_parameters_to_context(codec, parameters);
    codec->thread_count = 1;  // frames come out in order and at once; the machine has other work
    result = openMovieDecoder(codec, decoder);
    if (result < 0) {
        reason =
            std::string("cannot open its ") + decoder->name + " decoder (" + ffmpegErrorText(result) + ")";
        return false;
    }
    if (current.frame == nullptr) current.frame = av_frame_alloc();
    if (pending.frame == nullptr) pending.frame = av_frame_alloc();
    if (current.frame == nullptr || pending.frame == nullptr) {
        reason = "out of memory";
        return false;
    }
    resetDecoding();
    return true;
}

void VideoDecoder::Impl::closeFile() {
    sws_freeContext(sws);
    sws = nullptr;
    av_frame_free(&current.frame);
    av_frame_free(&pending.frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    haveCurrent = havePending = false;
}

void VideoDecoder::Impl::resetDecoding() {
    haveCurrent = havePending = false;
    inputDone = drained = false;
    haveLastTs = false;
    badPackets = 0;
}

// 1: a frame in `out`; 0: the stream has no more frames; -1: broken (reason set).
int VideoDecoder::Impl::decodeNext(DecodedFrame& out, std::string& reason) {
    while (true) {
        int result = avcodec_receive_frame(codec, out.frame);
        if (result == 0) {
            badPackets = 0;
            int64_t ts = out.frame->best_effort_timestamp;
            if (ts == AV_NOPTS_VALUE) ts = haveLastTs ? lastTs + 1 : startTs;
            // Timestamps must grow for "the frame at t" to mean anything; a file that repeats or reverses
            // them gets the next tick.
            if (haveLastTs && ts <= lastTs) ts = lastTs + 1;
            haveLastTs = true;
            lastTs = ts;
            out.ts = ts;
            out.duration = out.frame->pkt_duration > 0 ? out.frame->pkt_duration : defaultDuration;
            out.serial = nextSerial++;
            return 1;
        }
        if (result == AVERROR_EOF) return 0;
        if (result != AVERROR(EAGAIN)) {
            if (++badPackets > kMaxBadPacketsInARow) {
                reason = "its video cannot be decoded (" + ffmpegErrorText(result) + ")";
                return -1;
            }
            continue;
        }
        if (inputDone) return 0;  // a decoder that neither gives frames nor ends after the flush

        result = av_read_frame(format, packet);
        if (result == AVERROR_EOF) {
            inputDone = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        if (result < 0) {
            reason = "the file cannot be read further (" + ffmpegErrorText(result) + ")";
            return -1;
        }
        // Empty packets stand for dropped frames; sent as they are they would end the stream.
        if (packet->stream_index != stream || packet->size == 0) {
            av_packet_unref(packet);
            continue;
        }
        result = avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        if (result < 0 && result != AVERROR(EAGAIN) && ++badPackets > kMaxBadPacketsInARow) {
            reason = "its video cannot be decoded (" + ffmpegErrorText(result) + ")";
            return -1;
        }
    }
}

bool VideoDecoder::Impl::rewind(std::string& reason) {
    closeFile();
    if (!openFile(reason)) return false;
    if (decodeNext(current, reason) != 1) {
        if (reason.empty()) reason = "its first frame cannot be decoded again";
        return false;
    }
    haveCurrent = true;
    return true;
}

// Leaves `current` at a frame at or before target (the first frame when target lies before it).
bool VideoDecoder::Impl::seekTo(int64_t target, bool mayRewind, std::string& reason) {
    AVStream* video = format->streams[stream];
    const bool indexed = avformat_index_get_entries_count(video) > 0;
    if (!indexed) return mayRewind ? rewind(reason) : true;
    if (av_seek_frame(format, stream, target, AVSEEK_FLAG_BACKWARD) < 0) return rewind(reason);
    avcodec_flush_buffers(codec);
    resetDecoding();
    const int result = decodeNext(current, reason);
    if (result < 0) return false;
    // A seek that lands past the target (a sparse or wrong index) cannot reach that frame any more.
    if (result == 0 || (current.ts > target && target >= startTs)) return rewind(reason);
    haveCurrent = true;
    return true;
}

bool VideoDecoder::Impl::convert(const AVFrame* frame, std::string& reason) {
    if (!scaled || bgr.size() != bgrRowBytes(width) * size_t(height)) {
        reason = "its frame size changed while it played";
        return false;
    }
    sws = sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                               width, height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (sws == nullptr) {
        reason = std::string("cannot convert its pixel format ") +
                 av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
        return false;
    }
    uint8_t* target[4] = {scaled.get(), nullptr, nullptr, nullptr};
    int targetStride[4] = {scaledStride, 0, 0, 0};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, target, targetStride);
    // Bottom-up: the picture's first row is the last one in memory.
    const size_t rowBytes = bgrRowBytes(width);
    for (int row = 0; row < height; ++row)
        std::memcpy(bgr.data() + rowBytes * (height - 1 - row), scaled.get() + size_t(scaledStride) * row,
                    size_t(width) * 3);
    return true;
}

VideoDecoder::VideoDecoder() : impl_(std::make_unique<Impl>()) {}

VideoDecoder::~VideoDecoder() { close(); }

bool VideoDecoder::open(const std::string& path, std::string& reason) {
    close();
    impl_->path = path;
    impl_->shownSerial = 0;
    if (!impl_->openFile(reason)) {
        close();
        return false;
    }
    const int result = impl_->decodeNext(impl_->current, reason);
    if (result != 1) {
        if (result == 0) reason = "it holds no video frame";
        close();
        return false;
    }
    impl_->haveCurrent = true;
    impl_->startTs = impl_->current.ts;
    impl_->bgr.assign(bgrRowBytes(impl_->width) * impl_->height, 0);
    impl_->scaledStride = (impl_->width * 3 + kScalerOverrun - 1) / kScalerOverrun * kScalerOverrun;
    impl_->scaled.reset(
        static_cast<uint8_t*>(av_malloc(size_t(impl_->scaledStride) * impl_->height + kScalerOverrun)));
    if (!impl_->scaled) {
        reason = "out of memory";
        close();
        return false;
    }
    return true;
}

void VideoDecoder::close() {
    impl_->closeFile();
    impl_->bgr.clear();
    impl_->bgr.shrink_to_fit();
    impl_->scaled.reset();
}

bool VideoDecoder::isOpen() const { return impl_->format != nullptr; }
int VideoDecoder::width() const { return impl_->width; }
int VideoDecoder::height() const { return impl_->height; }
const std::vector<uint8_t>& VideoDecoder::bgr() const { return impl_->bgr; }

VideoDecoder::Frame VideoDecoder::frameAt(int64_t milliseconds, std::string& reason) {
    Impl& d = *impl_;
    if (d.format == nullptr || !d.haveCurrent) {
        reason = "the movie is not open";
        return Frame::Failed;
    }
    if (milliseconds < 0) milliseconds = 0;
    const int64_t target = d.startTs + av_rescale_rnd(milliseconds, d.timeBase.den,
                                                      int64_t(d.timeBase.num) * 1000, AV_ROUND_DOWN);
    const int64_t farJump = av_rescale_q(kFarJumpMilliseconds, AVRational{1, 1000}, d.timeBase);
    if (target < d.current.ts) {
        if (!d.seekTo(target, true, reason)) return Frame::Failed;
    } else if (target - d.current.ts > farJump && !(d.havePending && d.pending.ts > target)) {
        if (!d.seekTo(target, false, reason)) return Frame::Failed;
    }

    while (true) {
        if (!d.havePending && !d.drained) {
            const int result = d.decodeNext(d.pending, reason);
            if (result < 0) return Frame::Failed;
            d.havePending = result == 1;
            d.drained = result == 0;
        }
        if (!d.havePending || d.pending.ts > target) break;
        std::swap(d.current, d.pending);
        d.havePending = false;
    }
    if (d.drained && target >= d.current.ts + d.current.duration) return Frame::End;
    if (d.current.serial == d.shownSerial) return Frame::Same;
    if (!d.convert(d.current.frame, reason)) return Frame::Failed;
    d.shownSerial = d.current.serial;
    return Frame::New;
}

}  // namespace kelmo
