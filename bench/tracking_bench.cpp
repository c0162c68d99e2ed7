// Per-frame costs of the camera path that do not need a window.
#include <benchmark/benchmark.h>

#include <string>

#include "tracking/camera_param.h"
#include "tracking/video_background.h"

namespace kelmo {
namespace {

CameraParam sampleCamera() {
    CameraParam param;
    std::string error;
    loadCameraParam(std::string(KELMO_SOURCE_DIR) + "/tests/fixtures/artoolkit/camera_para.dat", param, error);
    return param;
}

void BM_ObservedToIdeal(benchmark::State& state) {
    const CameraParam param = sampleCamera();
    double x = 0.0, y = 0.0, ox = 0.0;
    for (auto _ : state) {
        observedToIdeal(param, ox, 240.0, x, y);
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        ox = ox < 639.0 ? ox + 1.0 : 0.0;
    }
}
BENCHMARK(BM_ObservedToIdeal);

void BM_BackgroundMesh(benchmark::State& state) {
    const CameraParam param = sampleCamera();
    for (auto _ : state) benchmark::DoNotOptimize(backgroundMesh(param, 20));
}
BENCHMARK(BM_BackgroundMesh);

}  // namespace
}  // namespace kelmo
