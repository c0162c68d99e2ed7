#include "tools/demo/movie_writer.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace kelmo {
namespace {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct Output {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* sound = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;

    ~Output() {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&video);
        avcodec_free_context(&sound);
        if (format != nullptr && format->pb != nullptr) avio_closep(&format->pb);
        avformat_free_context(format);
    }
};

bool fail(std::string& error, const std::string& what, int code) {
    error = what + " (" + errorText(code) + ")";
    return false;
}

// Sends one frame (or the end, for null) and writes every packet the encoder gives back.
bool encode(Output& out, AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::string& error) {
    int result = avcodec_send_frame(codec, frame);
    if (result < 0) return fail(error, "cannot encode", result);
    while ((result = avcodec_receive_packet(codec, out.packet)) == 0) {
        av_packet_rescale_ts(out.packet, codec->time_base, stream->time_base);
        out.packet->stream_index = stream->index;
        if ((result = av_interleaved_write_frame(out.format, out.packet)) < 0)
            return fail(error, "cannot write a packet", result);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) return fail(error, "cannot encode", result);
    return true;
}

// A new stream for the codec's encoder, opened once setUp has set its context up; the stream takes
// the encoder's parameters.
template <class SetUp>
bool addStream(Output& out, AVCodecID codec, const std::string& kind, AVStream*& stream,
               AVCodecContext*& context, SetUp setUp, std::string& error) {
    const AVCodec* encoder = avcodec_find_encoder(codec);
    if (encoder == nullptr) return fail(error, "no " + kind + " encoder", AVERROR_ENCODER_NOT_FOUND);
    stream = avformat_new_stream(out.format, nullptr);
    context = avcodec_alloc_context3(encoder);
    if (stream == nullptr || context == nullptr) return fail(error, kind, AVERROR(ENOMEM));
    setUp(context);
    const int result = avcodec_open2(context, encoder, nullptr);
    if (result < 0) return fail(error, "cannot open the " + kind + " encoder", result);
    stream->time_base = context->time_base;
    avcodec_parameters_from_context(stream->codecpar, context);
    return true;
}

bool addVideo(Output& out, const MovieSpec& spec, std::string& error) {
    const bool mjpeg = spec.video == MovieVideoCodec::Mjpeg;
    const AVPixelFormat pixels = mjpeg ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    const auto setUp = [&](AVCodecContext* c) {
        c->width = spec.width;
        c->height = spec.height;
        c->time_base = AVRational{1, spec.framesPerSecond};
        c->framerate = AVRational{spec.framesPerSecond, 1};
        c->pix_fmt = pixels;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * spec.quality;
        c->gop_size = 12;
        c->max_b_frames = 0;
    };
    if (!addStream(out, mjpeg ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_MPEG4, "video", out.videoStream, out.video,
                   setUp, error))
        return false;
    out.scaler = sws_getContext(spec.width, spec.height, AV_PIX_FMT_RGB24, spec.width, spec.height, pixels,
                                SWS_BICUBIC, nullptr, nullptr, nullptr);
    return out.scaler != nullptr || fail(error, "no scaler", AVERROR(EINVAL));
}

bool addSound(Output& out, const MovieSpec& spec, std::string& error) {
    const bool pcm = spec.sound == MovieSoundCodec::Pcm;
    const auto setUp = [&](AVCodecContext* c) {
        c->sample_fmt = AV_SAMPLE_FMT_S16;
        c->sample_rate = spec.sampleRate;
        av_channel_layout_default(&c->ch_layout, spec.channels);
        c->time_base = AVRational{1, spec.sampleRate};
        if (!pcm) c->bit_rate = 64000 * spec.channels;  // valid for MPEG-1 and -2 rates alike
    };
    return addStream(out, pcm ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_MP2, "sound", out.soundStream, out.sound,
                     setUp, error);
}

bool writeVideoFrame(Output& out, const MovieSpec& spec, int index, int64_t tick, std::vector<uint8_t>& rgb,
                     std::string& error) {
    AVFrame* f = out.frame;
    av_frame_unref(f);
    f->format = out.video->pix_fmt;
    f->width = spec.width;
    f->height = spec.height;
    int result = av_frame_get_buffer(f, 0);
    if (result < 0) return fail(error, "no frame buffer", result);
    spec.paint(index, rgb.data(), spec.width * 3);
    const uint8_t* source[1] = {rgb.data()};
    const int sourceStride[1] = {spec.width * 3};
    sws_scale(out.scaler, source, sourceStride, 0, spec.height, f->data, f->linesize);
    f->pts = tick;
    f->quality = out.video->global_quality;
    return encode(out, out.video, out.videoStream, f, error);
}

bool writeSoundFrame(Output& out, const MovieSpec& spec, int64_t first, int64_t total, std::string& error) {
    AVCodecContext* c = out.sound;
    const bool variable = (c->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || c->frame_size == 0;
    const int frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    const int samples = variable ? int(std::min<int64_t>(frameSize, total - first)) : frameSize;
    AVFrame* f = out.frame;
    av_frame_unref(f);
    f->format = c->sample_fmt;
    f->nb_samples = samples;
    f->sample_rate = c->sample_rate;
    av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
    int result = av_frame_get_buffer(f, 0);
    if (result < 0) return fail(error, "no sound buffer", result);
    int16_t* values = reinterpret_cast<int16_t*>(f->data[0]);
    for (int i = 0; i < samples; ++i) {
        const int64_t n = first + i;
        for (int ch = 0; ch < spec.channels; ++ch) {
            // The second channel an octave up, so the two can be told apart.
            const double phase = 2.0 * M_PI * spec.toneHz * (ch + 1) * double(n) / spec.sampleRate;
            values[i * spec.channels + ch] = n < total ? int16_t(8000.0 * std::sin(phase)) : 0;
        }
    }
    f->pts = first;
    return encode(out, c, out.soundStream, f, error);
}

// Cuts the idx1 chunk, the last one of a small AVI file.
bool dropIndex(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = bytes.rfind("idx1");
    if (at == std::string::npos) {
        error = "the file has no index to drop";
        return false;
    }
    std::filesystem::resize_file(path, at);
    return true;
}

}  // namespace

bool writeMovie(const std::string& path, const MovieSpec& spec, std::string& error) {
    av_log_set_level(AV_LOG_ERROR);
    Output out;
    int result = avformat_alloc_output_context2(&out.format, nullptr, "avi", path.c_str());
    if (result < 0) return fail(error, "cannot make an AVI writer", result);
    out.frame = av_frame_alloc();
    out.packet = av_packet_alloc();
    if (out.frame == nullptr || out.packet == nullptr) return fail(error, "writer", AVERROR(ENOMEM));
    if (!addVideo(out, spec, error)) return false;
    if (spec.sound != MovieSoundCodec::None && !addSound(out, spec, error)) return false;
    if ((result = avio_open(&out.format->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0)
        return fail(error, "cannot create " + path, result);
    if ((result = avformat_write_header(out.format, nullptr)) < 0)
        return fail(error, "cannot write the header", result);

    std::vector<int64_t> ticks = spec.frameTicks;
    if (ticks.empty()) {
        for (int i = 0; i < spec.frameCount; ++i) ticks.push_back(i);
    }
    const int64_t totalSamples = out.sound ? int64_t(spec.soundSeconds * spec.sampleRate) : 0;
    const int soundStep = out.sound && out.sound->frame_size > 0 ? out.sound->frame_size : 1024;
    // swscale's vector code reads whole blocks, past the end of the last row: the slack keeps those
    // reads inside the buffer and their bytes fixed, so a movie's last pixels do not vary from run to run.
    constexpr size_t kScalerOverread = 64;
    std::vector<uint8_t> rgb(size_t(spec.width) * spec.height * 3 + kScalerOverread);
    size_t frame = 0;
    int64_t sample = 0;
    // In time order, so that the file interleaves like a real recording.
    while (frame < ticks.size() || sample < totalSamples) {
        const bool videoNext =
            sample >= totalSamples ||
            (frame < ticks.size() &&
             av_compare_ts(ticks[frame], out.video->time_base, sample, AVRational{1, spec.sampleRate}) <= 0);
        if (videoNext) {
            if (!writeVideoFrame(out, spec, int(frame), ticks[frame], rgb, error)) return false;
            ++frame;
        } else {
            if (!writeSoundFrame(out, spec, sample, totalSamples, error)) return false;
            sample += soundStep;
        }
    }
    if (!encode(out, out.video, out.videoStream, nullptr, error)) return false;
    if (out.sound && !encode(out, out.sound, out.soundStream, nullptr, error)) return false;
    if ((result = av_write_trailer(out.format)) < 0) return fail(error, "cannot finish the file", result);
    avio_closep(&out.format->pb);
    return spec.index || dropIndex(path, error);
}

}  // namespace kelmo
