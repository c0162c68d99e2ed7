#pragma once
// Test movies written with FFmpeg's encoders, whose frames carry their own number in their colour,
// and helpers that read that number back out of a decoded picture.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "tests/support/temp_path.h"
#include "tools/demo/movie_writer.h"

namespace kelmo::testing_support {

// Rows at the top of every frame are white, so an upside-down picture shows.
constexpr int kTopBandRows = 8;
constexpr int kColourStep = 9;

// Frame i: red and green count i in base 24, blue fixed; the top band white.
inline void paintNumberedFrame(int index, uint8_t* rgb, int stride, int width, int height) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = rgb + y * stride + x * 3;
            const bool band = y < kTopBandRows;
            p[0] = band ? 255 : uint8_t(20 + (index % 24) * kColourStep);
            p[1] = band ? 255 : uint8_t(20 + (index / 24) * kColourStep);
            p[2] = band ? 255 : 180;
        }
    }
}

inline int numberFromColour(int red, int green) {
    return int(std::lround((red - 20) / double(kColourStep))) +
           24 * int(std::lround((green - 20) / double(kColourStep)));
}

inline MovieSpec numberedMovie(int width, int height, int frames,
                               MovieVideoCodec codec = MovieVideoCodec::Mjpeg) {
    MovieSpec spec;
    spec.width = width;
    spec.height = height;
    spec.frameCount = frames;
    spec.video = codec;
    spec.paint = [width, height](int index, uint8_t* rgb, int stride) {
        paintNumberedFrame(index, rgb, stride, width, height);
    };
    return spec;
}

// Writes the movie once per test process; the path of the file.
inline std::string writeTestMovie(const std::string& name, const MovieSpec& spec) {
    const std::string path = tempPath(name);
    std::string error;
    EXPECT_TRUE(writeMovie(path, spec, error)) << name << ": " << error;
    return path;
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Bounded poll for something another thread does.
template <typename Condition>
bool waitFor(Condition condition, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Sound tests never reach a real device.
inline void useDummyAudio() { setenv("SDL_AUDIODRIVER", "dummy", 1); }

}  // namespace kelmo::testing_support
