// Detection plus pose per 640 × 480 frame: Kelmo's detector holding the Hiro pattern against OpenCV's
// ArUco detector with solvePnP, on the same camera poses and the same sensor noise, each on one thread.
// The ArUco card is a DICT_4X4_50 marker with the Hiro card's outer size, ink and paper.
//
// Counters: time_per_frame (detection and pose of every frame, divided by the frames), found (share of
// frames in which the marker's id came out), correct (share in which its corners also lie within a
// fifth of a side of the truth) and corner_px (median corner error of the correct ones). ArUco is
// given zero distortion: it works on the raw image, so its corners are compared with the observed
// truth corners, Kelmo's (ideal pixels) with the ideal ones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "bench/aruco_card.h"
#include "bench/synthetic_scenes.h"
#include "tracking/marker_detector.h"
#include "tracking/marker_pose.h"
#include "tracking/pattern_matcher.h"

namespace kelmo {
namespace bench {
namespace {

constexpr double kNoise = 2.0;  // sigma, intensity levels
constexpr uint64_t kSeed = 11;

struct Workload {
    CameraParam camera;
    PatternMatcher matcher;    // patt.hiro in slot 0
    std::vector<Frame> hiro;   // the Hiro card at every pose
    std::vector<Frame> aruco;  // the ArUco card at the same poses
    std::string error;         // set when the frames could not be made
};

// Rendered once, before any benchmark pins OpenCV to one thread.
const Workload& workload() {
    static const Workload w = [] {
        Workload w;
        PatternData hiro;
        if (!loadBenchCamera(w.camera, w.error) || !loadBenchPattern("patt.hiro", hiro, w.error)) return w;
        w.matcher.add(hiro);
        const std::vector<Pose> poses = benchPoses();
        if (renderFrames(w.camera, syntheticMarkerFromPattern(hiro, kMarkerWidth), poses, kNoise, kSeed,
                         w.hiro, w.error))
            renderFrames(w.camera, arucoCard(), poses, kNoise, kSeed, w.aruco, w.error);
        return w;
    }();
    return w;
}

double median(std::vector<double> values) {
    if (values.empty()) return -1.0;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

void setCounters(benchmark::State& state, size_t frames, int64_t found, int correct,
                 const std::vector<double>& cornerPx) {
    const double n = static_cast<double>(frames);
    // Frames per second, inverted: seconds per frame, shown with its SI prefix (ms, us).
    state.counters["time_per_frame"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["found"] = static_cast<double>(found) / (n * static_cast<double>(state.iterations()));
    state.counters["correct"] = correct / n;
    state.counters["corner_px"] = median(cornerPx);
    state.counters["frames"] = n;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frames));
}

// The frames, with OpenCV on one thread; null, the run marked as failed, when they could not be made.
const Workload* readyWorkload(benchmark::State& state) {
    const Workload& w = workload();
    if (!w.error.empty()) {
        state.SkipWithError(w.error.c_str());
        return nullptr;
    }
    cv::setNumThreads(1);
    return &w;
}

void BM_KelmoDetectAndPose(benchmark::State& state) {
    const Workload* ready = readyWorkload(state);
    if (ready == nullptr) return;
    const Workload& w = *ready;
    MarkerDetector detector(w.camera, w.matcher);
    std::vector<MarkerInfo> markers;
    const double center[2] = {0.0, 0.0};

    // Untimed: is what it finds the marker, where it is and turned the right way?
    int correct = 0;
    std::vector<double> cornerPx;
    for (const Frame& frame : w.hiro) {
        detector.detect(frame.view(), kThreshold, markers);
        for (const MarkerInfo& marker : markers) {
            double errors[4];
            cornerErrors(marker, frame.truth, errors);
            if (marker.id != 0 || !matchesTruth(errors, frame.truth)) continue;
            ++correct;
            cornerPx.insert(cornerPx.end(), errors, errors + 4);
            break;
        }
    }

    int64_t found = 0;
    for (auto _ : state) {
        for (const Frame& frame : w.hiro) {
            detector.detect(frame.view(), kThreshold, markers);
            bool hiro = false;
            for (const MarkerInfo& marker : markers) {
                if (marker.id < 0) continue;
                double conv[3][4];
                benchmark::DoNotOptimize(markerTransform(w.camera, marker, center, kMarkerWidth, conv));
                hiro = hiro || marker.id == 0;
            }
            found += hiro;
        }
    }
    setCounters(state, w.hiro.size(), found, correct, cornerPx);
}

void BM_ArucoDetectAndPose(benchmark::State& state) {
    const Workload* ready = readyWorkload(state);
    if (ready == nullptr) return;
    const Workload& w = *ready;
    const cv::Ptr<cv::aruco::Dictionary> dictionary = arucoDictionary();
    const cv::Ptr<cv::aruco::DetectorParameters> parameters = cv::aruco::DetectorParameters::create();
    const double(*m)[4] = w.camera.mat;
    const cv::Matx33d k(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]);
    const float h = static_cast<float>(kMarkerWidth / 2);
    // ArUco's corner order (top-left, clockwise) in the marker frame, as IPPE_SQUARE wants them.
    const std::vector<cv::Point3f> object = {{-h, h, 0.f}, {h, h, 0.f}, {h, -h, 0.f}, {-h, -h, 0.f}};
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    const auto detect = [&](const Frame& frame) {
        const cv::Mat image(frame.image.height, frame.image.width, CV_8UC3,
                            const_cast<uint8_t*>(frame.image.pixels.data()));
        cv::aruco::detectMarkers(image, dictionary, corners, ids, parameters);
    };

    int correct = 0;
    std::vector<double> cornerPx;
    for (const Frame& frame : w.aruco) {
        detect(frame);
        for (size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] != 0) continue;
            // ArUco reports observed pixels: compare with the truth seen through the lens.
            SyntheticTruth observed = frame.truth;
            for (auto& c : observed.corners) idealToObserved(w.camera, c[0], c[1], c[0], c[1]);
            MarkerInfo marker;
            marker.dir = 0;
            for (int c = 0; c < 4; ++c) {
                marker.vertex[c][0] = corners[i][static_cast<size_t>(c)].x;
                marker.vertex[c][1] = corners[i][static_cast<size_t>(c)].y;
            }
            double errors[4];
            cornerErrors(marker, observed, errors);
            if (!matchesTruth(errors, observed)) continue;
            ++correct;
            cornerPx.insert(cornerPx.end(), errors, errors + 4);
            break;
        }
    }

    int64_t found = 0;
    cv::Mat rvec, tvec;
    for (auto _ : state) {
        for (const Frame& frame : w.aruco) {
            detect(frame);
            for (const auto& quad : corners) {
                cv::solvePnP(object, quad, k, cv::noArray(), rvec, tvec, false, cv::SOLVEPNP_IPPE_SQUARE);
                benchmark::DoNotOptimize(tvec.data);
            }
            found += std::count(ids.begin(), ids.end(), 0) > 0;
        }
    }
    setCounters(state, w.aruco.size(), found, correct, cornerPx);
}

BENCHMARK(BM_KelmoDetectAndPose)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ArucoDetectAndPose)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace bench
}  // namespace kelmo
