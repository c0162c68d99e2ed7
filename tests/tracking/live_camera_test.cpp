// The live camera through its real grabber thread, with a fake driver queue at the device edge that
// the test drives one camera period at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/tracking/manual_clock.h"
#include "tests/tracking/queued_camera.h"
#include "tracking/live_camera_source.h"

namespace kelmo {
namespace {

using testing_support::ManualClock;
using testing_support::QueuedCamera;

constexpr uint64_t kPeriodMs = 33;
constexpr size_t kDriverBuffers = 4;

struct LiveCamera : testing::Test {
    LiveCamera() {
        auto device = std::make_unique<QueuedCamera>(16, 8, kDriverBuffers, clock.function());
        camera = device.get();
        source = openLiveCameraSource(std::move(device), 16, 8, "camera 0");
    }
    // The sensor finishes `count` images, one period apart, while the frame loop is busy elsewhere.
    // Within a period the grabber takes each off the driver's queue.
    void captureWhileBusy(int count) {
        for (int i = 0; i < count; ++i) {
            clock.advance(kPeriodMs);
            camera->capture();
            ASSERT_TRUE(camera->waitUntilDrained());
        }
    }

    ManualClock clock;
    QueuedCamera* camera = nullptr;  // owned by source
    std::unique_ptr<VideoSource> source;
};

TEST_F(LiveCamera, ASlowFrameLoopAlwaysGetsTheNewestImage) {
    source->start();
    // Busy for one to seven periods per frame: more than the driver has buffers, too.
    for (int busy = 1; busy <= 7; ++busy) {
        captureWhileBusy(busy);
        const ImageView* image = source->getImage();
        ASSERT_NE(image, nullptr) << busy;
        EXPECT_EQ(image->width, 16);
        EXPECT_EQ(image->height, 8);
        const uint64_t n = QueuedCamera::numberOf(*image);
        EXPECT_EQ(n, camera->lastCaptured()) << "busy for " << busy << " periods";
        EXPECT_LT(clock.now() - camera->capturedAt(n), kPeriodMs) << "the image is a period old or more";

        // While it is held, newer images do not overwrite it, and none is handed out beside it.
        captureWhileBusy(2);
        EXPECT_EQ(source->getImage(), nullptr);
        EXPECT_EQ(QueuedCamera::numberOf(*image), n);
        source->releaseImage();
        const ImageView* next = source->getImage();
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(QueuedCamera::numberOf(*next), camera->lastCaptured());
        source->releaseImage();
        EXPECT_EQ(source->getImage(), nullptr) << "the same image twice";
    }
}

TEST_F(LiveCamera, NothingCapturedBeforeStartIsShown) {
    // Three seconds of start-up (the motion sets loading) fill no queue and are never shown.
    EXPECT_EQ(source->getImage(), nullptr) << "nothing before start";
    captureWhileBusy(90);
    source->start();
    EXPECT_EQ(source->getImage(), nullptr);
    captureWhileBusy(1);
    const ImageView* image = source->getImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(QueuedCamera::numberOf(*image), 90u) << "the first image captured after start";
    source->releaseImage();

    source->stop();
    captureWhileBusy(1);
    EXPECT_EQ(source->getImage(), nullptr) << "nothing after stop";
}

TEST_F(LiveCamera, AnUnpluggedCameraIsReportedOnce) {
    source->start();
    captureWhileBusy(1);
    ASSERT_NE(source->getImage(), nullptr);
    source->releaseImage();
    camera->unplug();
    // The grabber notices on its own thread; the frame loop keeps asking meanwhile. The deadline only
    // keeps a broken grabber from hanging the suite.
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (out.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        testing::internal::CaptureStdout();
        EXPECT_EQ(source->getImage(), nullptr);
        out = testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(out, "camera 0 stopped delivering images\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(source->getImage(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "said twice";
}

}  // namespace
}  // namespace kelmo
