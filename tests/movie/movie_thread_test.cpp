// The movie thread's state machine driven with explicit times, its console lines, the sound's end,
// and the real thread handing pictures to a reader (the GL thread's side, without GL).
#include "movie/movie_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "movie/movie_shared.h"
#include "tests/movie/movie_files.h"

namespace kelmo {
namespace {

using namespace testing_support;

constexpr uint32_t kStart = 4294966796u;  // the 32-bit clock wraps while the movie plays

ThreadMessage message(uint32_t id, uint32_t now = 0, uint8_t alpha = 127) { return {id, now, alpha}; }

// The number in the shared picture (alpha checked too), or -1 without a picture.
int pictureNumber(const MovieShared& shared, int expectedAlpha = 127) {
    int number = -1;
    shared.usePicture([&](const uint8_t* rgba, int width, int height) {
        const uint8_t* p = rgba + (size_t(height / 4) * width + width / 2) * 4;
        EXPECT_EQ(p[3], expectedAlpha);
        number = numberFromColour(p[0], p[1]);
    });
    return number;
}

struct MovieThreadTest : ::testing::Test {
    void SetUp() override { useDummyAudio(); }
    MovieShared shared;
    ThreadMessageQueue queue;
};

TEST_F(MovieThreadTest, StatesRunFromNeverOpenedThroughPlayingToClosedAndOpenAgain) {
    MovieThread thread(writeTestMovie("states.avi", numberedMovie(96, 64, 30)), shared, queue);
    EXPECT_EQ(shared.state(), kMovieNeverOpened);
    EXPECT_EQ(pictureNumber(shared), -1);

    thread.handle(message(0x7ff));  // unknown: nothing happens
    EXPECT_EQ(shared.state(), kMovieNeverOpened);
    thread.handle(message(kMovieFrameMessage, kStart));  // not started: nothing happens
    EXPECT_EQ(shared.state(), kMovieNeverOpened);

    thread.handle(message(kMovieOpenMessage));
    EXPECT_EQ(shared.state(), kMovieOpen);
    shared.usePicture([](const uint8_t* rgba, int width, int height) {
        EXPECT_EQ(width, 96);
        EXPECT_EQ(height, 64);
        EXPECT_EQ(rgba[0] | rgba[1] | rgba[2], 0);  // black until the start
        EXPECT_EQ(rgba[3], 127);
    });
    thread.handle(message(kMovieOpenMessage, 0, 10));  // duplicate: the open movie stays as it is
    EXPECT_EQ(shared.state(), kMovieOpen);

    thread.handle(message(kMovieStartMessage, kStart));
    EXPECT_EQ(shared.state(), kMoviePlaying);
    EXPECT_EQ(pictureNumber(shared), 0);
    thread.handle(message(kMovieStartMessage, kStart + 200));  // duplicate: a frame request, same start
    EXPECT_EQ(pictureNumber(shared), 5);
    thread.handle(message(kMovieFrameMessage, kStart + 440));
    EXPECT_EQ(pictureNumber(shared), 11);
    thread.handle(message(0x1234, kStart));
    EXPECT_EQ(shared.state(), kMoviePlaying);
    thread.handle(message(kMovieFrameMessage, kStart + 1199));
    EXPECT_EQ(pictureNumber(shared), 29);

    thread.handle(message(kMovieFrameMessage, kStart + 1200));  // past the last frame
    EXPECT_EQ(shared.state(), kMovieClosed);
    EXPECT_EQ(pictureNumber(shared), -1);
    EXPECT_FALSE(shared.refused());

    // The next request opens it again and it plays from the start: the loop.
    EXPECT_EQ(shared.claimRequest(), kMovieOpenMessage);
    thread.handle(message(kMovieOpenMessage, 0, 200));
    EXPECT_EQ(shared.state(), kMovieOpen);
    thread.handle(message(kMovieStartMessage, 5000, 200));
    EXPECT_EQ(pictureNumber(shared, 200), 0);
    thread.handle(message(kMovieFrameMessage, 5080, 200));
    EXPECT_EQ(pictureNumber(shared, 200), 2);

    thread.handle(message(kMovieCloseMessage));
    EXPECT_EQ(shared.state(), kMovieClosed);
}

TEST_F(MovieThreadTest, RequestsFollowTheStateOneAtATime) {
    EXPECT_EQ(shared.claimRequest(), kMovieOpenMessage);
    EXPECT_EQ(shared.claimRequest(), 0u) << "the open has not been taken yet";
    shared.requestTaken();
    shared.setState(kMovieOpening);
    EXPECT_EQ(shared.claimRequest(), 0u);
    shared.setState(kMovieOpen);
    EXPECT_EQ(shared.claimRequest(), kMovieStartMessage);
    shared.requestTaken();
    shared.setState(kMoviePlaying);
    postMovieRequest(shared, queue, 1234, 127);
    ThreadMessage posted;
    ASSERT_EQ(queue.size(), 1u);
    ASSERT_TRUE(queue.get(posted));
    EXPECT_EQ(posted.message, kMovieFrameMessage);
    EXPECT_EQ(posted.wParam, 1234u);
    EXPECT_EQ(posted.lParam, 127);
    postMovieRequest(shared, queue, 1300, 127);
    EXPECT_EQ(queue.size(), 0u);
    shared.refuse();
    shared.requestTaken();
    EXPECT_EQ(shared.claimRequest(), 0u) << "a refused movie is never opened again";
}

TEST_F(MovieThreadTest, AMovieThatCannotBePlayedSaysSoOnceAndIsNotOpenedAgain) {
    const std::string missing = tempPath("missing_movie.avi");
    MovieThread thread(missing, shared, queue);
    ::testing::internal::CaptureStdout();
    thread.handle(message(kMovieOpenMessage));
    thread.handle(message(kMovieOpenMessage));
    thread.handle(message(kMovieStartMessage, 100));
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "Movie: cannot play " + missing +
                           ": No such file or directory; Kelmo runs on without the movie screen\n");
    EXPECT_EQ(shared.state(), kMovieClosed);
    EXPECT_TRUE(shared.refused());
    EXPECT_EQ(pictureNumber(shared), -1);
}

TEST_F(MovieThreadTest, ASoundTrackThatCannotBeConvertedLeavesTheMovieSilentWithoutDecodingItAgain) {
    MovieSpec spec = numberedMovie(64, 48, 5);
    spec.sound = MovieSoundCodec::Pcm;
    std::string data = readBytes(writeTestMovie("bad_sound_source.avi", spec));
    const size_t audioFormat = data.find("strf", data.find("strf") + 4);
    data[audioFormat + 8] = 0x77;
    data[audioFormat + 9] = 0x77;
    const std::string path = tempPath("bad_sound.avi");
    writeBytes(path, data);

    MovieThread thread(path, shared, queue);
    ::testing::internal::CaptureStdout();
    for (int loop = 0; loop < 2; ++loop) {
        thread.handle(message(kMovieOpenMessage));
        thread.handle(message(kMovieStartMessage, 0));
        EXPECT_EQ(pictureNumber(shared), 0);
        EXPECT_FALSE(thread.soundDeviceOpen());
        thread.handle(message(kMovieFrameMessage, 200));  // the end: closed, then opened again
        EXPECT_EQ(shared.state(), kMovieClosed);
    }
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "Movie: cannot use the sound track of " + path +
                           ": no decoder for its sound codec none; the movie plays without sound\n");
    EXPECT_FALSE(shared.refused());
}

TEST_F(MovieThreadTest, SoundShorterThanTheVideoEndsWithItsDoneMessageAndTheVideoGoesOn) {
    MovieSpec spec = numberedMovie(64, 48, 50);  // 2 s of video
    spec.sound = MovieSoundCodec::Pcm;
    spec.soundSeconds = 0.2;
    spec.sampleRate = 22050;
    MovieThread thread(writeTestMovie("short_sound.avi", spec), shared, queue);
    thread.handle(message(kMovieOpenMessage));
    ASSERT_TRUE(thread.soundDeviceOpen());
    EXPECT_EQ(thread.soundSamples(), 4410u);
    thread.handle(message(kMovieStartMessage, 0));

    ThreadMessage done;
    ASSERT_TRUE(waitFor([&] { return queue.size() > 0; }));
    ASSERT_TRUE(queue.get(done));
    EXPECT_EQ(done.message, kMovieSoundDoneMessage);
    thread.handle(done);
    EXPECT_EQ(thread.soundSamples(), 0u) << "the played track is freed";
    EXPECT_TRUE(thread.soundDeviceOpen());
    thread.handle(message(kMovieFrameMessage, 1000));
    EXPECT_EQ(pictureNumber(shared), 25);

    // A done message from a playback that has been stopped since changes nothing.
    thread.handle(message(kMovieFrameMessage, 2000));  // the end: closed
    thread.handle(message(kMovieOpenMessage));
    EXPECT_EQ(thread.soundSamples(), 4410u) << "decoded again for the next loop";
    thread.handle(message(kMovieStartMessage, 0));
    thread.handle(done);
    EXPECT_EQ(thread.soundSamples(), 4410u);
    thread.handle(message(kMovieCloseMessage));
    EXPECT_FALSE(thread.soundDeviceOpen());
}

TEST_F(MovieThreadTest, TheThreadHandsPicturesOverWhileAReaderUsesThemAndQuitJoins) {
    MovieSpec spec = numberedMovie(96, 64, 20);
    spec.sound = MovieSoundCodec::Pcm;
    spec.soundSeconds = 0.5;
    MovieThread worker(writeTestMovie("threaded.avi", spec), shared, queue);
    std::thread thread(&MovieThread::run, &worker);

    // The GL thread's side: a request per frame, 20 ms of movie time apart, and a read of the picture.
    uint32_t now = 100000;
    int largest = -1;
    bool sawClose = false;
    ASSERT_TRUE(waitFor([&] {
        postMovieRequest(shared, queue, now, 127);
        now += 20;
        const int number = pictureNumber(shared);
        if (number > largest) largest = number;
        if (largest > 0 && shared.state() == kMovieClosed) sawClose = true;
        return sawClose && shared.state() == kMoviePlaying;  // played to its end and started again
    }));
    EXPECT_EQ(largest, 19);
    queue.postQuit();
    thread.join();
    EXPECT_EQ(shared.state(), kMovieClosed);
    EXPECT_EQ(pictureNumber(shared), -1);
}

}  // namespace
}  // namespace kelmo
