// The movie's cost per frame on this machine for a 640 × 480 movie: decoding and converting one frame
// on the movie thread (MJPEG and MPEG-4), and how long each side holds the movie lock: the movie
// thread writing a converted frame, the GL thread uploading the picture (needs an X display; under
// Xvfb the upload goes to Mesa's software renderer).
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "movie/movie_player.h"
#include "movie/movie_shared.h"
#include "movie/video_decoder.h"
#include "tests/support/gl_window.h"
#include "tools/demo/movie_writer.h"

namespace kelmo {
namespace {

constexpr int kWidth = 640, kHeight = 480, kFrames = 100;

// A picture with detail everywhere, moving every frame, so the decoder has real work.
void paintBusyFrame(int index, uint8_t* rgb, int stride) {
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = rgb + y * stride + x * 3;
            p[0] = uint8_t((x * x / 7 + y + index * 5) & 0xff);
            p[1] = uint8_t((y * 3 + int(40 * std::sin((x + index * 3) * 0.05))) & 0xff);
            p[2] = uint8_t(((x ^ y) + index * 2) & 0xff);
        }
    }
}

const std::string& benchMovie(MovieVideoCodec codec) {
    static std::string paths[2];
    std::string& path = paths[codec == MovieVideoCodec::Mjpeg ? 0 : 1];
    if (path.empty()) {
        path = "/tmp/kelmo_movie_bench_" + std::to_string(getpid()) +
               (codec == MovieVideoCodec::Mjpeg ? "_mjpeg.avi" : "_mpeg4.avi");
        MovieSpec spec;
        spec.width = kWidth;
        spec.height = kHeight;
        spec.frameCount = kFrames;
        spec.video = codec;
        spec.quality = 4;
        spec.paint = paintBusyFrame;
        std::string error;
        if (!writeMovie(path, spec, error)) path = "!" + error;
    }
    return path;
}

void decodeAndConvert(benchmark::State& state, MovieVideoCodec codec) {
    const std::string& path = benchMovie(codec);
    VideoDecoder decoder;
    std::string reason;
    if (path[0] == '!' || !decoder.open(path, reason)) {
        state.SkipWithError(("cannot make or open the movie: " + path + reason).c_str());
        return;
    }
    MovieShared shared;
    shared.setUpPicture(kWidth, kHeight, 127);
    int64_t ms = 0;
    for (auto _ : state) {
        VideoDecoder::Frame result = decoder.frameAt(ms, reason);
        if (result == VideoDecoder::Frame::End) {
            ms = 0;
            result = decoder.frameAt(ms, reason);  // back to the start: one seek, as a loop makes it
        }
        if (result == VideoDecoder::Frame::New) shared.showFrame(decoder.bgr().data(), kWidth, kHeight);
        ms += 40;
    }
}

void BM_DecodeAndConvertMjpeg(benchmark::State& state) { decodeAndConvert(state, MovieVideoCodec::Mjpeg); }
void BM_DecodeAndConvertMpeg4(benchmark::State& state) { decodeAndConvert(state, MovieVideoCodec::Mpeg4); }
BENCHMARK(BM_DecodeAndConvertMjpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeAndConvertMpeg4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The movie thread's share of the lock: converting one decoded frame into the picture.
void BM_MovieThreadLockHeld(benchmark::State& state) {
    std::vector<uint8_t> bgr(size_t((kWidth * 3 + 3) & ~3) * kHeight, 90);
    MovieShared shared;
    shared.setUpPicture(kWidth, kHeight, 127);
    for (auto _ : state) shared.showFrame(bgr.data(), kWidth, kHeight);
}
BENCHMARK(BM_MovieThreadLockHeld)->Unit(benchmark::kMicrosecond);

bool glWindow() { return testing_support::glWindowReady(64, 64); }

// The GL thread's share: movieUploadFrame holds the lock for the whole glTexImage2D of the picture.
void BM_GlThreadUploadLockHeld(benchmark::State& state) {
    if (!glWindow()) {
        state.SkipWithError("needs an X display (run under xvfb-run)");
        return;
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    MovieConfig config{};
    std::strncpy(config.file, benchMovie(MovieVideoCodec::Mjpeg).c_str(), sizeof config.file - 1);
    movieInit(config);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (movieUploadFrame() == 0 && std::chrono::steady_clock::now() < deadline) {
        movieRequest(1000, 127);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (movieUploadFrame() == 0) {
        movieShutdown();
        state.SkipWithError("the movie never showed a picture");
        return;
    }
    // Mesa copies the picture inside glTexImage2D, so the call's time is the time the lock is held.
    for (auto _ : state) benchmark::DoNotOptimize(movieUploadFrame());
    movieShutdown();
}
BENCHMARK(BM_GlThreadUploadLockHeld)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kelmo
