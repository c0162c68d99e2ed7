// Camera-to-screen delay of a live camera at 30 images a second, for a frame loop that takes less or
// more than a camera period per frame: the grabber thread that keeps only the newest image against
// reading the driver's queue from the frame loop, as the source did before. The driver is the tests'
// fake with four buffers (as V4L2 keeps), filled in real time by a sensor thread.
//
// age_ms: how old the image is when the frame loop gets it; delay_ms: age plus the frame's work, the
// time from capture to the swap that shows it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/tracking/queued_camera.h"
#include "tracking/live_camera_source.h"

namespace kelmo {
namespace {

using Clock = std::chrono::steady_clock;
using testing_support::QueuedCamera;

constexpr auto kPeriod = std::chrono::microseconds(33333);
constexpr size_t kDriverBuffers = 4;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

uint64_t nowMicroseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count());
}

// Captures an image every period until destroyed.
class Sensor {
public:
    explicit Sensor(QueuedCamera& camera)
        : thread_([this, &camera] {
              auto next = Clock::now();
              while (!stop_) {
                  next += kPeriod;
                  std::this_thread::sleep_until(next);
                  camera.capture();
              }
          }) {}
    ~Sensor() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct DelayFigures {
    double ageSum = 0, ageMax = 0, delaySum = 0, delayMax = 0;
    int frames = 0;
    void add(double ageMs, double workMs) {
        ageSum += ageMs;
        ageMax = std::max(ageMax, ageMs);
        delaySum += ageMs + workMs;
        delayMax = std::max(delayMax, ageMs + workMs);
        ++frames;
    }
    void report(benchmark::State& state) const {
        state.counters["age_ms"] = ageSum / frames;
        state.counters["age_max_ms"] = ageMax;
        state.counters["delay_ms"] = delaySum / frames;
        state.counters["delay_max_ms"] = delayMax;
    }
};

double ageMs(const QueuedCamera& camera, const ImageView& image) {
    return static_cast<double>(nowMicroseconds() - camera.capturedAt(QueuedCamera::numberOf(image))) / 1000.0;
}

// The frame loop as the tracker runs it: poll, sleep 2 ms when no image is ready, work, release.
void BM_NewestImage(benchmark::State& state) {
    const auto work = std::chrono::milliseconds(state.range(0));
    auto device = std::make_unique<QueuedCamera>(kWidth, kHeight, kDriverBuffers, nowMicroseconds);
    QueuedCamera& camera = *device;
    std::unique_ptr<VideoSource> source = openLiveCameraSource(std::move(device), kWidth, kHeight, "camera");
    source->start();
    Sensor sensor(camera);
    DelayFigures figures;
    for (auto _ : state) {
        const ImageView* image;
        while ((image = source->getImage()) == nullptr)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        figures.add(ageMs(camera, *image), static_cast<double>(state.range(0)));
        std::this_thread::sleep_for(work);
        source->releaseImage();
    }
    figures.report(state);
}

// Before: the frame loop takes the oldest image in the driver's queue itself.
void BM_DriverQueue(benchmark::State& state) {
    const auto work = std::chrono::milliseconds(state.range(0));
    QueuedCamera camera(kWidth, kHeight, kDriverBuffers, nowMicroseconds);
    Sensor sensor(camera);
    BgrImage image;
    DelayFigures figures;
    for (auto _ : state) {
        camera.grab();
        camera.retrieve(image);
        figures.add(ageMs(camera, image.view()), static_cast<double>(state.range(0)));
        std::this_thread::sleep_for(work);
    }
    camera.cancel();
    figures.report(state);
}

// Work per frame in milliseconds: within a period, and longer than one.
BENCHMARK(BM_NewestImage)->Arg(20)->Arg(50)->Iterations(90)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DriverQueue)->Arg(20)->Arg(50)->Iterations(90)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelmo
