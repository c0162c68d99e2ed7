#include "tracking/capture_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <vector>

#include "tests/support/temp_path.h"
#include "tests/tracking/manual_clock.h"

namespace kelmo {
namespace {

using testing_support::ManualClock;

// Frame k of the generated media is one flat colour, so the frame can be told from its pixels.
cv::Scalar colourOf(int k) { return cv::Scalar(40 + 60 * k, 200 - 50 * k, 90 + 30 * k); }

int frameIndexOf(const ImageView& image, int frames) {
    const uint8_t* p = image.pixels + image.stride * (image.height / 2) + 3 * (image.width / 2);
    for (int k = 0; k < frames; ++k) {
        const cv::Scalar c = colourOf(k);
        if (std::abs(p[0] - c[0]) < 12 && std::abs(p[1] - c[1]) < 12 && std::abs(p[2] - c[2]) < 12) return k;
    }
    return -1;
}

std::string writeVideo(const std::string& name, int frames, double fps, cv::Size size) {
    const std::string path = testing_support::tempPath(name);
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size);
    EXPECT_TRUE(writer.isOpened());
    for (int k = 0; k < frames; ++k) writer.write(cv::Mat(size, CV_8UC3, colourOf(k)));
    return path;
}

std::unique_ptr<VideoSource> open(const std::string& config, ManualClock& clock) {
    CameraConfig sourceConfig;
    std::string error;
    EXPECT_TRUE(parseCameraConfig(config, sourceConfig, error)) << error;
    std::unique_ptr<VideoSource> source = openCaptureSource(sourceConfig, error, clock.function());
    EXPECT_NE(source, nullptr) << config << ": " << error;
    return source;
}

// The frame the source hands out after the clock moved on by ms; -1 for none. Released again.
int frameAfter(VideoSource& source, ManualClock& clock, uint64_t ms, int frames) {
    clock.advance(ms);
    const ImageView* image = source.getImage();
    if (image == nullptr) return -1;
    const int k = frameIndexOf(*image, frames);
    source.releaseImage();
    return k;
}

TEST(VideoSource, VideoFileIsPacedLikeACameraAndLoops) {
    ManualClock clock;
    auto source = open(writeVideo("paced.avi", 3, 10.0, cv::Size(64, 48)), clock);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->width(), 64);
    EXPECT_EQ(source->height(), 48);
    EXPECT_EQ(source->getImage(), nullptr) << "nothing is delivered before start";

    source->start();
    const ImageView* first = source->getImage();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width, 64);
    EXPECT_GE(first->stride, 64 * 3);
    EXPECT_EQ(frameIndexOf(*first, 3), 0);
    EXPECT_EQ(source->getImage(), nullptr) << "no second image while the first is held";
    source->releaseImage();
    EXPECT_EQ(frameAfter(*source, clock, 99, 3), -1) << "the next frame is due at 100 ms";

    // Each frame when due, round again past the end of the file, and a consumer two periods late
    // skips the frame it missed.
    std::vector<int> order;
    for (uint64_t ms : {1, 100, 100, 200, 100}) order.push_back(frameAfter(*source, clock, ms, 3));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 0, 2, 0}));
    EXPECT_EQ(frameAfter(*source, clock, 0, 3), -1) << "the same frame twice";
}

TEST(VideoSource, StillImageIsDeliveredRepeatedly) {
    const std::string path = testing_support::tempPath("still.png");
    ASSERT_TRUE(cv::imwrite(path, cv::Mat(cv::Size(40, 30), CV_8UC3, colourOf(1))));
    ManualClock clock;
    auto source = open(path, clock);
    ASSERT_NE(source, nullptr);
    source->start();
    for (int i = 0; i < 3; ++i) {
        const ImageView* image = source->getImage();
        ASSERT_NE(image, nullptr) << i;
        EXPECT_EQ(image->width, 40);
        EXPECT_EQ(frameIndexOf(*image, 3), 1);
        source->releaseImage();
        EXPECT_EQ(source->getImage(), nullptr) << "30 a second, not more";
        clock.advance(34);
    }
}

TEST(VideoSource, NumberedImagesPlayInOrderAtOneSize) {
    const std::string folder = testing_support::tempPath("frames");
    std::filesystem::create_directories(folder);
    // The third image is larger: every image comes out at the first one's size.
    const cv::Size sizes[] = {{32, 24}, {32, 24}, {64, 48}};
    for (int k = 0; k < 3; ++k) {
        char name[64];
        std::snprintf(name, sizeof name, "/%03d.png", k);
        ASSERT_TRUE(cv::imwrite(folder + name, cv::Mat(sizes[k], CV_8UC3, colourOf(k))));
    }
    ManualClock clock;
    auto source = open(folder + "/%03d.png", clock);
    ASSERT_NE(source, nullptr);
    source->start();
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        const ImageView* image = source->getImage();
        ASSERT_NE(image, nullptr) << i;
        EXPECT_EQ(image->width, 32);
        EXPECT_EQ(image->height, 24);
        order.push_back(frameIndexOf(*image, 3));
        source->releaseImage();
        clock.advance(34);  // a little over one period of 30 a second
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 0, 1}));
}

TEST(VideoSource, WhatCannotBeOpenedFailsWithItsName) {
    for (const std::string& config :
         {testing_support::tempPath("missing.avi"), testing_support::tempPath("missing.png"),
          testing_support::tempPath("missing/%04d.png"), std::string("/dev/video63"),
          std::string("-dev=/dev/video62")}) {
        CameraConfig sourceConfig;
        std::string error;
        ASSERT_TRUE(parseCameraConfig(config, sourceConfig, error));
        EXPECT_EQ(openCaptureSource(sourceConfig, error), nullptr) << config;
        EXPECT_FALSE(error.empty()) << config;
    }
    // A file that is not a video at all.
    const std::string text = testing_support::tempPath("notes.avi");
    FILE* f = std::fopen(text.c_str(), "w");
    std::fputs("not a movie\n", f);
    std::fclose(f);
    CameraConfig sourceConfig;
    std::string error;
    ASSERT_TRUE(parseCameraConfig(text, sourceConfig, error));
    EXPECT_EQ(openCaptureSource(sourceConfig, error), nullptr);
    EXPECT_NE(error.find("notes.avi"), std::string::npos) << error;
}

}  // namespace
}  // namespace kelmo
