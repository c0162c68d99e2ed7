// tracking_accuracy: how well detection and pose find the Hiro marker in synthetic sequences, and
// how often something else is taken for it. Prints one table row per sequence.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/synthetic_scenes.h"
#include "tracking/marker_detector.h"
#include "tracking/marker_pose.h"
#include "tracking/pattern_matcher.h"

namespace kelmo {
namespace bench {
namespace {

struct Sequence {
    std::string name;
    const SyntheticMarker* marker;
    std::vector<Pose> poses;
    double noise;       // sigma, intensity levels
    bool hiroExpected;  // false: any Hiro found is a false positive
};

struct Result {
    int frames = 0;    // with the whole marker in view (every frame where none is expected)
    int detected = 0;  // Hiro found where it is, turned the right way
    int falsePositives = 0;
    int poseFailures = 0;
    double minSide = 1e9, maxSide = 0.0;  // truth side, ideal pixels
    // Hiro expected: the lowest confidence it was found with; otherwise the highest confidence of any
    // square against Hiro, how near a look-alike came to the 0.5 cut.
    double confidence = std::nan("");
    std::vector<double> rotation;     // degrees
    std::vector<double> translation;  // percent of the true distance
    std::vector<double> corner;       // ideal pixels, every corner of every detection
};

// The value below which a share q of the values lie (nearest rank); NaN for none.
double quantile(std::vector<double> values, double q) {
    if (values.empty()) return std::nan("");
    const size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    const size_t k = rank == 0 ? 0 : std::min(rank, values.size()) - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(k), values.end());
    return values[k];
}

// A figure in a column of `width` characters, "-" when there is none.
std::string cell(double value, int width, int decimals) {
    char text[32];
    if (std::isnan(value))
        std::snprintf(text, sizeof text, "%*s", width, "-");
    else
        std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    return text;
}


bool run(const CameraParam& camera, const PatternMatcher& matcher, const Sequence& sequence, Result& result,
         std::string& error) {
    std::vector<Frame> frames;
    if (!renderFrames(camera, *sequence.marker, sequence.poses, sequence.noise, 7, frames, error))
        return false;
    MarkerDetector detector(camera, matcher);
    std::vector<MarkerInfo> markers;
    const double center[2] = {0.0, 0.0};
    for (const Frame& frame : frames) {
        if (sequence.hiroExpected && !frame.truth.markerInView) continue;
        ++result.frames;
        if (!detector.detect(frame.view(), kThreshold, markers)) {
            error = "the detector refused a frame";
            return false;
        }
        if (sequence.hiroExpected) {
            const double side = truthSide(frame.truth);
            result.minSide = std::min(result.minSide, side);
            result.maxSide = std::max(result.maxSide, side);
        }
        bool found = false;
        for (const MarkerInfo& marker : markers) {
            if (!sequence.hiroExpected && !(marker.cf <= result.confidence)) result.confidence = marker.cf;
            if (marker.id < 0) continue;
            double errors[4];
            cornerErrors(marker, frame.truth, errors);
            if (!sequence.hiroExpected || found || !matchesTruth(errors, frame.truth)) {
                ++result.falsePositives;
                continue;
            }
            found = true;
            ++result.detected;
            if (!(marker.cf >= result.confidence)) result.confidence = marker.cf;
            result.corner.insert(result.corner.end(), errors, errors + 4);
            double conv[3][4];
            if (markerTransform(camera, marker, center, kMarkerWidth, conv) < 0.0) {
                ++result.poseFailures;
                continue;
            }
            result.rotation.push_back(rotationError(conv, frame.truth.transform));
            result.translation.push_back(translationError(conv, frame.truth.transform));
        }
    }
    return true;
}

int runAll() {
    CameraParam camera;
    PatternData hiro, kanji, sample1, sample2;
    std::string error;
    if (!loadBenchCamera(camera, error) || !loadBenchPattern("patt.hiro", hiro, error) ||
        !loadBenchPattern("patt.kanji", kanji, error) || !loadBenchPattern("patt.sample1", sample1, error) ||
        !loadBenchPattern("patt.sample2", sample2, error)) {
        std::fprintf(stderr, "tracking_accuracy: %s\n", error.c_str());
        return 1;
    }
    PatternMatcher matcher;  // only Hiro: every other design must come out with id -1
    matcher.add(hiro);

    const SyntheticMarker hiroCard = syntheticMarkerFromPattern(hiro, kMarkerWidth);
    const SyntheticMarker kanjiCard = syntheticMarkerFromPattern(kanji, kMarkerWidth);
    const SyntheticMarker sample1Card = syntheticMarkerFromPattern(sample1, kMarkerWidth);
    const SyntheticMarker sample2Card = syntheticMarkerFromPattern(sample2, kMarkerWidth);
    const SyntheticMarker letterCard = builtInSyntheticMarker(kMarkerWidth);

    const std::vector<Pose> orbit = orbitSequence(400);
    const std::vector<Pose> lookAlikeOrbit = orbitSequence(200);
    const std::vector<Sequence> sequences = {
        {"clear", &hiroCard, orbit, 0.0, true},
        {"noisy", &hiroCard, orbit, 4.0, true},
        {"frontal", &hiroCard, frontalSequence(), 2.0, true},
        {"oblique", &hiroCard, obliqueSequence(), 2.0, true},
        {"far", &hiroCard, farSequence(), 2.0, true},
        {"no marker (desk)", &hiroCard, deskSequence(camera, 200), 2.0, false},
        {"kanji card", &kanjiCard, lookAlikeOrbit, 2.0, false},
        {"sample1 card", &sample1Card, lookAlikeOrbit, 2.0, false},
        {"sample2 card", &sample2Card, lookAlikeOrbit, 2.0, false},
        {"letter K card", &letterCard, lookAlikeOrbit, 2.0, false},
    };

    std::printf(
        "Hiro %g mm, camera_para.dat at %dx%d, threshold %d, confidence >= %.1f, only patt.hiro loaded\n\n",
        kMarkerWidth, camera.xsize, camera.ysize, kThreshold, kMinConfidence);
    std::printf("%-17s %5s %6s %6s %9s %11s %11s %8s %9s %9s %7s %8s\n", "sequence", "noise", "frames",
                "found", "detection", "rot med deg", "rot p95 deg", "t med %", "corner px", "false pos", "cf",
                "side px");
    for (const Sequence& sequence : sequences) {
        Result r;
        if (!run(camera, matcher, sequence, r, error)) {
            std::fprintf(stderr, "tracking_accuracy: %s: %s\n", sequence.name.c_str(), error.c_str());
            return 1;
        }
        char side[32] = "-";
        if (sequence.hiroExpected) std::snprintf(side, sizeof side, "%.0f-%.0f", r.minSide, r.maxSide);
        char rate[16] = "-";
        if (sequence.hiroExpected) std::snprintf(rate, sizeof rate, "%.2f%%", 100.0 * r.detected / r.frames);
        std::printf("%-17s %5.0f %6d %6d %9s %s %s %s %s %9d %s %8s\n", sequence.name.c_str(), sequence.noise,
                    r.frames, r.detected, rate, cell(quantile(r.rotation, 0.5), 11, 3).c_str(),
                    cell(quantile(r.rotation, 0.95), 11, 3).c_str(),
                    cell(quantile(r.translation, 0.5), 8, 3).c_str(),
                    cell(quantile(r.corner, 0.5), 9, 3).c_str(), r.falsePositives,
                    cell(r.confidence, 7, 3).c_str(), side);
        if (r.poseFailures > 0) std::printf("  %d detections gave no pose\n", r.poseFailures);
    }
    return 0;
}

}  // namespace
}  // namespace bench
}  // namespace kelmo

int main() { return kelmo::bench::runAll(); }
