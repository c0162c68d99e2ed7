// The sound track decoded whole into PCM, and the device playing it (SDL's dummy driver).
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "movie/audio_output.h"
#include "movie/audio_track.h"
#include "tests/movie/movie_files.h"

namespace kelmo {
namespace {

using namespace testing_support;

MovieSpec withSound(MovieSoundCodec codec, int channels, double seconds) {
    MovieSpec spec = numberedMovie(64, 48, 10);
    spec.sound = codec;
    spec.channels = channels;
    spec.sampleRate = 22050;
    spec.soundSeconds = seconds;
    return spec;
}

TEST(SoundTrack, PcmMonoAndStereoAndMp2DecodeWholeIntoInterleavedPcm) {
    struct Case {
        const char* name;
        MovieSoundCodec codec;
        int channels;
    };
    for (const Case& c :
         {Case{"pcm_mono.avi", MovieSoundCodec::Pcm, 1}, Case{"pcm_stereo.avi", MovieSoundCodec::Pcm, 2},
          Case{"mp2_stereo.avi", MovieSoundCodec::Mp2, 2}}) {
        const std::string path = writeTestMovie(c.name, withSound(c.codec, c.channels, 1.5));
        PcmTrack track;
        std::string reason;
        ASSERT_EQ(decodeSoundTrack(path, track, reason), SoundTrack::Decoded) << c.name << ": " << reason;
        EXPECT_EQ(track.sampleRate, 22050) << c.name;
        EXPECT_EQ(track.channels, c.channels) << c.name;
        const double seconds = double(track.samples.size()) / c.channels / 22050;
        // MP2 pads the last frame and adds its decoder delay.
        EXPECT_NEAR(seconds, 1.5, c.codec == MovieSoundCodec::Pcm ? 1e-6 : 0.15) << c.name;
        // The tone is there: the loudest sample of each channel is near its 8000 amplitude, and the
        // second channel is not a copy of the first.
        std::vector<int> loudest(c.channels, 0);
        bool channelsDiffer = false;
        for (size_t i = 0; i < track.samples.size(); ++i) {
            loudest[i % c.channels] = std::max(loudest[i % c.channels], std::abs(int(track.samples[i])));
            if (c.channels == 2 && i % 2 == 1 && std::abs(track.samples[i] - track.samples[i - 1]) > 2000)
                channelsDiffer = true;
        }
        for (int peak : loudest) EXPECT_NEAR(peak, 8000, 800) << c.name;
        EXPECT_EQ(channelsDiffer, c.channels == 2) << c.name;
    }
}

TEST(SoundTrack, AMovieWithoutSoundHasNoTrackAndAnUnknownCodecOrContainerIsUnusable) {
    PcmTrack track;
    std::string reason;
    EXPECT_EQ(decodeSoundTrack(writeTestMovie("silent.avi", numberedMovie(64, 48, 3)), track, reason),
              SoundTrack::Missing);

    std::string data = readBytes(writeTestMovie("to_patch.avi", withSound(MovieSoundCodec::Pcm, 1, 0.5)));
    const size_t audioFormat = data.find("strf", data.find("strf") + 4);
    ASSERT_NE(audioFormat, std::string::npos);
    data[audioFormat + 8] = 0x77;  // wFormatTag: a codec nobody knows
    data[audioFormat + 9] = 0x77;
    const std::string unknown = tempPath("unknown_sound.avi");
    writeBytes(unknown, data);
    EXPECT_EQ(decodeSoundTrack(unknown, track, reason), SoundTrack::Unusable);
    EXPECT_NE(reason.find("no decoder for its sound codec"), std::string::npos) << reason;
    EXPECT_TRUE(track.samples.empty());

    // Only AVI and the decoders AVI movies use: FFmpeg knows WMA and WAV, but Kelmo refuses them.
    data[audioFormat + 8] = 0x61;  // WMA 2
    data[audioFormat + 9] = 0x01;
    writeBytes(unknown, data);
    EXPECT_EQ(decodeSoundTrack(unknown, track, reason), SoundTrack::Unusable);
    EXPECT_NE(reason.find("no decoder for its sound codec wmav2"), std::string::npos) << reason;

    auto le = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += char((value >> (8 * i)) & 0xff);
        return out;
    };
    const std::string samples(4410, '\0');
    const std::string wave = tempPath("sound.wav");
    writeBytes(wave, "RIFF" + le(36 + samples.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
                         le(22050, 4) + le(44100, 4) + le(2, 2) + le(16, 2) + "data" + le(samples.size(), 4) +
                         samples);
    EXPECT_EQ(decodeSoundTrack(wave, track, reason), SoundTrack::Unusable);
    EXPECT_NE(reason.find("not an AVI file"), std::string::npos) << reason;
}

TEST(AudioOutput, PlaysTheWholeBufferReportsItsEndOnceAndStopsWhenClosed) {
    useDummyAudio();
    std::atomic<int> finished{0};
    AudioOutput output([&finished] { finished.fetch_add(1); });
    std::string reason;
    ASSERT_TRUE(output.open(22050, 2, reason)) << reason;
    std::vector<int16_t> shortSound(2 * 2205, 1000);  // 0.1 s
    output.play(shortSound.data(), shortSound.size());
    ASSERT_TRUE(waitFor([&] { return finished.load() > 0; }));
    EXPECT_EQ(output.playedSamples(), shortSound.size());

    std::vector<int16_t> longSound(2 * 22050 * 30, 1000);  // 30 s: still playing when closed
    output.play(longSound.data(), longSound.size());
    ASSERT_TRUE(waitFor([&] { return output.playedSamples() > 0; }));
    output.close();
    const size_t played = output.playedSamples();
    EXPECT_LT(played, longSound.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // room for a wrong callback
    EXPECT_EQ(output.playedSamples(), played);
    EXPECT_EQ(finished.load(), 1);
    EXPECT_FALSE(output.isOpen());
}

TEST(AudioOutput, NoDeviceIsAReasonNotACrash) {
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    AudioOutput output(nullptr);
    std::string reason;
    EXPECT_FALSE(output.open(22050, 1, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(output.isOpen());
    useDummyAudio();
}

}  // namespace
}  // namespace kelmo
