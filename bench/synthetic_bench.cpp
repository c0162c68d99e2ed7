// Cost of one synthetic camera frame at the demo's size, with and without sensor noise.
#include <benchmark/benchmark.h>

#include <string>

#include "synthetic/synthetic_scene.h"

namespace kelmo {
namespace {

void BM_SyntheticFrame(benchmark::State& state) {
    CameraParam camera;
    std::string error;
    loadCameraParam(std::string(KELMO_SOURCE_DIR) + "/tests/fixtures/artoolkit/camera_para.dat", camera,
                    error);
    std::unique_ptr<SyntheticScene> scene =
        SyntheticScene::create(camera, builtInSyntheticMarker(80.0), error);
    if (!scene) {
        state.SkipWithError(error.c_str());
        return;
    }
    const double noise = static_cast<double>(state.range(0));
    BgrImage image;
    SyntheticTruth truth;
    uint64_t frame = 0;
    for (auto _ : state) {
        double pose[3][4];
        syntheticPathPose(SyntheticPath::Orbit, frame / 30.0, 80.0, pose);
        renderSyntheticFrame(*scene, pose, noise, 1, frame++, image, truth);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(BM_SyntheticFrame)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kelmo
