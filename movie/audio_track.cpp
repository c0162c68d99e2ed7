#include "movie/audio_track.h"

#include <algorithm>
#include <memory>

#include "movie/ffmpeg_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace kelmo {
namespace {

constexpr int kMaxBadPacketsInARow = 30;
constexpr int kMaxSampleRate = 384000;

struct FormatCloser {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFreer {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};

// Feeds decoded frames through one resampler into the track, within the length limit.
class PcmWriter {
public:
    PcmWriter(PcmTrack& track, int channels) : track_(track), channels_(channels) {}

    bool add(const AVFrame* frame, std::string& reason) {
        if (!resampler_ && !start(frame, reason)) return false;
        if (frame->format != format_ || frame->sample_rate != track_.sampleRate ||
            frame->ch_layout.nb_channels != sourceChannels_) {
            reason = "its sound format changes mid-way";
            return false;
        }
        return convert(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples, reason);
    }

    bool finish(std::string& reason) { return !resampler_ || convert(nullptr, 0, reason); }

private:
    bool start(const AVFrame* frame, std::string& reason) {
        if (frame->sample_rate <= 0 || frame->sample_rate > kMaxSampleRate) {
            reason = "its sample rate " + std::to_string(frame->sample_rate) + " Hz is not playable";
            return false;
        }
        format_ = frame->format;
        sourceChannels_ = frame->ch_layout.nb_channels;
        track_.sampleRate = frame->sample_rate;
        track_.channels = channels_;
        maxValues_ = size_t(kMaxSoundTrackSeconds) * size_t(track_.sampleRate) * size_t(channels_);

        AVChannelLayout source{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&source, sourceChannels_);
        } else if (av_channel_layout_copy(&source, &frame->ch_layout) < 0) {
            reason = "out of memory";
            return false;
        }
        AVChannelLayout target{};
        av_channel_layout_default(&target, channels_);
        SwrContext* made = nullptr;
        int result = swr_alloc_set_opts2(&made, &target, AV_SAMPLE_FMT_S16, track_.sampleRate, &source,
                                         static_cast<AVSampleFormat>(format_), track_.sampleRate, 0, nullptr);
        av_channel_layout_uninit(&source);
        av_channel_layout_uninit(&target);
        resampler_.reset(made);
        if (result >= 0) result = swr_init(made);
        if (result < 0) {
            reason = "its sound cannot be converted to PCM (" + ffmpegErrorText(result) + ")";
            return false;
        }
        return true;
    }

    bool convert(const uint8_t** input, int inputSamples, std::string& reason) {
        const int room = swr_get_out_samples(resampler_.get(), inputSamples);
        if (room < 0) {
            reason = "its sound cannot be converted to PCM (" + ffmpegErrorText(room) + ")";
            return false;
        }
        const size_t used = track_.samples.size();
        if (used + size_t(room) * size_t(channels_) > maxValues_) {
            reason = "it is longer than " + std::to_string(kMaxSoundTrackSeconds / 60) + " minutes";
            return false;
        }
        track_.samples.resize(used + size_t(room) * size_t(channels_));
        uint8_t* output = reinterpret_cast<uint8_t*>(track_.samples.data() + used);
        const int written = swr_convert(resampler_.get(), &output, room, input, inputSamples);
        if (written < 0) {
            reason = "its sound cannot be converted to PCM (" + ffmpegErrorText(written) + ")";
            return false;
        }
        track_.samples.resize(used + size_t(written) * size_t(channels_));
        return true;
    }

    PcmTrack& track_;
    int channels_;
    int format_ = -1;
    int sourceChannels_ = 0;
    size_t maxValues_ = 0;
    std::unique_ptr<SwrContext, ResamplerFreer> resampler_;
};

}  // namespace

SoundTrack decodeSoundTrack(const std::string& path, PcmTrack& track, std::string& reason) {
    track = PcmTrack{};
    AVFormatContext* opened = nullptr;
    int result = openMovieInput(path, &opened, reason);
    if (result < 0) return SoundTrack::Unusable;
    std::unique_ptr<AVFormatContext, FormatCloser> format(opened);
    if ((result = avformat_find_stream_info(format.get(), nullptr)) < 0) {
        reason = "cannot read its streams (" + ffmpegErrorText(result) + ")";
        return SoundTrack::Unusable;
    }
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (index == AVERROR_STREAM_NOT_FOUND) return SoundTrack::Missing;
    if (index < 0 || !isMovieDecoder(decoder)) {
        reason =
            std::string("no decoder for its sound codec ") + firstCodecName(format.get(), AVMEDIA_TYPE_AUDIO);
        return SoundTrack::Unusable;
    }
    const AVStream* audio = format->streams[index];
    if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0 &&
        av_rescale_q(audio->duration, audio->time_base, AVRational{1, 1}) > kMaxSoundTrackSeconds) {
        reason = "it is longer than " + std::to_string(kMaxSoundTrackSeconds / 60) + " minutes";
        return SoundTrack::Unusable;
    }
    std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!codec || !packet || !frame) {
        reason = "out of memory";
        return SoundTrack::Unusable;
    }
    avcodec_parameters_to_context(codec.get(), audio->codecpar);
    codec->thread_count = 1;
    if ((result = openMovieDecoder(codec.get(), decoder)) < 0) {
        reason =
            std::string("cannot open its ") + decoder->name + " decoder (" + ffmpegErrorText(result) + ")";
        return SoundTrack::Unusable;
    }
    const int channels = std::clamp(codec->ch_layout.nb_channels, 1, 2);
    PcmWriter writer(track, channels);

    int badPackets = 0;
    bool inputDone = false;
    while (true) {
        result = avcodec_receive_frame(codec.get(), frame.get());
        if (result == 0) {
            badPackets = 0;
            if (!writer.add(frame.get(), reason)) return SoundTrack::Unusable;
            continue;
        }
        if (result == AVERROR_EOF || (result == AVERROR(EAGAIN) && inputDone)) break;
        if (result != AVERROR(EAGAIN)) {
            if (++badPackets > kMaxBadPacketsInARow) break;  // keep what came before the damage
            continue;
        }
        result = av_read_frame(format.get(), packet.get());
        if (result < 0) {  // the end, or the point where the file breaks off
            inputDone = true;
            avcodec_send_packet(codec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == index && packet->size > 0) {
            if (avcodec_send_packet(codec.get(), packet.get()) < 0 && ++badPackets > kMaxBadPacketsInARow) {
                av_packet_unref(packet.get());
                break;
            }
        }
        av_packet_unref(packet.get());
    }
    if (!writer.finish(reason)) return SoundTrack::Unusable;
    if (track.samples.empty()) {
        reason = "its sound track holds no sound";
        return SoundTrack::Unusable;
    }
    return SoundTrack::Decoded;
}

}  // namespace kelmo
