// The frame for a time, as the file holds it: forward, backward, far ahead, past the end; with
// dropped frames, without an index, at an odd width; and files that cannot be played.
#include "movie/video_decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "movie/frame_conversion.h"
#include "tests/movie/movie_files.h"

namespace kelmo {
namespace {

using namespace testing_support;

// The number painted into the frame that the decoder holds now, read below the white band.
int shownNumber(const VideoDecoder& decoder) {
    const uint8_t* p = decoder.bgr().data() + bgrRowBytes(decoder.width()) * (decoder.height() / 4) +
                       3 * (decoder.width() / 2);
    return numberFromColour(p[2], p[1]);
}

int numberAt(VideoDecoder& decoder, int64_t ms) {
    std::string reason;
    const VideoDecoder::Frame result = decoder.frameAt(ms, reason);
    if (result == VideoDecoder::Frame::End) return -1;
    if (result == VideoDecoder::Frame::Failed) return -2;
    return shownNumber(decoder);
}

struct TimedFrame {
    int64_t ms;
    int number;
};

void expectFrames(const std::string& path, const std::vector<TimedFrame>& expected) {
    VideoDecoder decoder;
    std::string reason;
    ASSERT_TRUE(decoder.open(path, reason)) << reason;
    for (const TimedFrame& f : expected)
        EXPECT_EQ(numberAt(decoder, f.ms), f.number) << path << " at " << f.ms << " ms";
}

// 25 fps: frame n from 40 n ms. 110 frames make 4.4 s, long enough for a far jump.
const std::vector<TimedFrame> kEvenFrames = {{0, 0},     {39, 0},     {40, 1},    {41, 1},
                                             {400, 10},  {1000, 25},  {120, 3},  // back
                                             {120, 3},   {4000, 100},            // far ahead
                                             {1999, 49}, {4399, 109}, {4400, -1}, {0, 0}};

TEST(VideoDecoder, MjpegAndMpeg4GiveTheFrameTheFileHoldsAtEachTime) {
    expectFrames(writeTestMovie("even.avi", numberedMovie(160, 120, 110)), kEvenFrames);
    expectFrames(writeTestMovie("even_mpeg4.avi", numberedMovie(160, 120, 110, MovieVideoCodec::Mpeg4)),
                 kEvenFrames);
}

TEST(VideoDecoder, AFileWithoutAnIndexSeeksBackByStartingOver) {
    MovieSpec spec = numberedMovie(160, 120, 110, MovieVideoCodec::Mpeg4);
    spec.index = false;
    expectFrames(writeTestMovie("no_index.avi", spec), kEvenFrames);
}

TEST(VideoDecoder, DroppedFramesLeaveThePreviousFrameShowing) {
    MovieSpec spec = numberedMovie(160, 120, 0);
    spec.frameTicks = {0, 1, 2, 5, 6, 30, 31, 90, 91};  // frame i shown from tick frameTicks[i]
    expectFrames(writeTestMovie("dropped.avi", spec), {{0, 0},
                                                       {100, 2},
                                                       {199, 2},  // ticks 3 and 4 hold no frame
                                                       {200, 3},
                                                       {1100, 4},
                                                       {1200, 5},
                                                       {3599, 6},
                                                       {3600, 7},
                                                       {100, 2},
                                                       {3679, 8},
                                                       {3680, -1}});
}

TEST(VideoDecoder, AnOddWidthKeepsEveryRowInPlace) {
    VideoDecoder decoder;
    std::string reason;
    ASSERT_TRUE(decoder.open(writeTestMovie("odd.avi", numberedMovie(321, 241, 10)), reason)) << reason;
    ASSERT_EQ(decoder.width(), 321);
    ASSERT_EQ(decoder.bgr().size(), bgrRowBytes(321) * 241);
    ASSERT_EQ(numberAt(decoder, 280), 7);
    const size_t row = bgrRowBytes(321);
    // Bottom-up: the last row is the top of the picture, the white band.
    for (int x : {0, 160, 320}) {
        const uint8_t* top = decoder.bgr().data() + row * 240 + 3 * x;
        EXPECT_GT(top[0] + top[1] + top[2], 3 * 240) << x;
        for (int y : {0, 100, 200}) {
            const uint8_t* p = decoder.bgr().data() + row * y + 3 * x;
            EXPECT_EQ(numberFromColour(p[2], p[1]), 7) << x << ", " << y;
            EXPECT_NEAR(p[0], 180, 20) << x << ", " << y;
        }
    }
}

// Patches the first occurrence of `tag` at `offset` bytes after it.
std::string patched(const std::string& source, const std::string& name, const char* tag, size_t offset,
                    const std::string& bytes) {
    std::string data = readBytes(source);
    const size_t at = data.find(tag);
    EXPECT_NE(at, std::string::npos);
    data.replace(at + offset, bytes.size(), bytes);
    const std::string path = tempPath(name);
    writeBytes(path, data);
    return path;
}

TEST(VideoDecoder, FilesThatCannotBePlayedAreRefusedWithAReason) {
    const std::string good = writeTestMovie("good.avi", numberedMovie(160, 120, 5));
    const std::string text = tempPath("text.avi");
    writeBytes(text, "this is not a movie\n");
    const std::string truncated = tempPath("truncated.avi");
    writeBytes(truncated, readBytes(good).substr(0, 300));
    const std::string unknownCodec = patched(good, "unknown.avi", "strf", 24, "XXXX");
    // The stream header and every frame's JPEG header say 65000 pixels wide.
    std::string huge = readBytes(patched(good, "huge.avi", "strf", 12, std::string("\xe8\xfd\0\0", 4)));
    for (size_t at = huge.find("\xff\xc0"); at != std::string::npos; at = huge.find("\xff\xc0", at + 1))
        huge.replace(at + 7, 2, "\xfd\xe8");
    const std::string hugeFrame = tempPath("huge.avi");
    writeBytes(hugeFrame, huge);

    struct Case {
        std::string path;
        std::string reasonPart;
    };
    for (const Case& c : std::vector<Case>{{tempPath("missing.avi"), "No such file"},
                                           {text, "not an AVI file"},
                                           {truncated, ""},
                                           {unknownCodec, "no decoder for its video codec"},
                                           {hugeFrame, "65000 x 120 is not playable"}}) {
        VideoDecoder decoder;
        std::string reason;
        EXPECT_FALSE(decoder.open(c.path, reason)) << c.path;
        EXPECT_FALSE(reason.empty()) << c.path;
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << c.path << ": " << reason;
        EXPECT_FALSE(decoder.isOpen());
    }
}

TEST(VideoDecoder, DamageMidWayNeverReadsOutOfBoundsAndTheMovieStillEnds) {
    const std::string good = writeTestMovie("to_damage.avi", numberedMovie(160, 120, 50));
    std::string data = readBytes(good);
    for (size_t i = data.size() / 3; i < data.size() / 3 + 4000; ++i) data[i] = char((i * 37) & 0xff);
    const std::string damaged = tempPath("damaged.avi");
    writeBytes(damaged, data);

    VideoDecoder decoder;
    std::string reason;
    ASSERT_TRUE(decoder.open(damaged, reason)) << reason;
    VideoDecoder::Frame result = VideoDecoder::Frame::New;
    int64_t ms = 0;
    for (; ms < 5000 && result != VideoDecoder::Frame::End && result != VideoDecoder::Frame::Failed; ms += 40)
        result = decoder.frameAt(ms, reason);
    EXPECT_LT(ms, 5000) << "the damaged movie came to an end";
}

}  // namespace
}  // namespace kelmo
