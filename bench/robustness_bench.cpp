// robustness_bench: Kelmo's detector against OpenCV's ArUco detector, both on the same synthetic
// camera poses under the same conditions (uneven light, a covered edge, blur, look-alike printouts, clear
// frames), one thread each, in one run. Prints one row per condition: frames found, false positives,
// median rotation and translation error, and median time per frame of each with their ratio.
//
// Kelmo holds patt.hiro (id 0), patt.kanji, patt.sample1 and patt.sample2; the Hiro card is the
// marker. ArUco holds DICT_4X4_50 and its card is marker 0 with the same outer size, ink and paper.
// A false positive is any id reported on a look-alike or desk frame, or any id other than the
// marker's, or the marker's id at the wrong place or turn.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "bench/aruco_card.h"
#include "bench/synthetic_scenes.h"
#include "synthetic/synthetic_conditions.h"
#include "tracking/marker_detector.h"
#include "tracking/marker_pose.h"
#include "tracking/pattern_matcher.h"

namespace kelmo {
namespace bench {
namespace {

// ---- conditions ----

struct Random {
    uint64_t state;
    double operator()(double low, double high) {
        state += 0x9e3779b97f4a7c15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        return low + (high - low) * static_cast<double>(z >> 11) / 9007199254740992.0;
    }
};

// Changes a frame rendered without noise; the truth is that of the marker card.
using Effect = std::function<void(int frame, BgrImage&, const SyntheticTruth&, Random&)>;

enum class Card { Marker, WashedOut, LookAlikes };

struct Condition {
    std::string name;
    std::string group;  // clear, uneven light, covered, look-alike
    Card card;
    std::vector<Pose> poses;
    double noise;
    Effect effect;
    bool markerExpected;
};

// Observed-pixel centre and mean side of the marker in a frame.
void observedSquare(const CameraParam& camera, const SyntheticTruth& truth, double corners[4][2],
                    double& side) {
    for (int k = 0; k < 4; ++k)
        idealToObserved(camera, truth.corners[k][0], truth.corners[k][1], corners[k][0], corners[k][1]);
    side = truthSide(truth);
}

std::vector<Condition> conditions(const CameraParam& camera) {
    const std::vector<Pose> orbit = orbitSequence(120);
    std::vector<Pose> lookAlikePoses;  // 28 poses for each of the 20 printouts
    for (int i = 0; i < 28; ++i)
        lookAlikePoses.push_back(pathPose(SyntheticPath::Orbit, i * kSyntheticOrbitPeriod / 28 + 0.3));
    std::vector<Pose> lookAlikeAll;
    for (int p = 0; p < 20; ++p)
        lookAlikeAll.insert(lookAlikeAll.end(), lookAlikePoses.begin(), lookAlikePoses.end());
    const Effect none = [](int, BgrImage&, const SyntheticTruth&, Random&) {};

    const Effect ramp = [&camera](int, BgrImage& image, const SyntheticTruth& truth, Random& random) {
        // A frame-wide ramp, bright at one end, with the marker in its dark half where the paper is dimmed
        // to 20-42 % (below the fixed threshold).
        double corners[4][2], side;
        observedSquare(camera, truth, corners, side);
        const double cx = (corners[0][0] + corners[2][0]) / 2, cy = (corners[0][1] + corners[2][1]) / 2;
        double angle = random(0, 2 * kPi);
        const double along =
            (cx - image.width / 2.0) * std::cos(angle) + (cy - image.height / 2.0) * std::sin(angle);
        if (along > 0) angle += kPi;
        // Where the marker lies along the ramp, 0 at its dark end (as applyBrightnessRamp measures it).
        const double dx = std::cos(angle), dy = std::sin(angle);
        double low, high;
        frameExtentAlong(image, angle, low, high);
        const double at = std::min((cx * dx + cy * dy - low) / (high - low), 0.5);
        const double bright = random(1.0, 1.3), there = random(0.2, 0.42);
        applyBrightnessRamp(image, angle, std::max((there - bright * at) / (1 - at), 0.04), bright);
    };
    const Effect shadow = [&camera](int, BgrImage& image, const SyntheticTruth& truth, Random& random) {
        double corners[4][2], side;
        observedSquare(camera, truth, corners, side);
        const double cx = (corners[0][0] + corners[2][0]) / 2, cy = (corners[0][1] + corners[2][1]) / 2;
        applyShadowEdge(image, cx + random(-0.3, 0.3) * side, cy + random(-0.3, 0.3) * side,
                        random(0, 2 * kPi), random(0.3, 0.5), random(3, 30));
    };
    const Effect dim = [](int, BgrImage& image, const SyntheticTruth&, Random& random) {
        applyGain(image, random(60, 104) / kPaper);
    };
    const Effect blur = [](int, BgrImage& image, const SyntheticTruth&, Random& random) {
        applyMotionBlur(image, random(3, 9), random(0, kPi));
    };
    const Effect heavyBlur = [](int, BgrImage& image, const SyntheticTruth&, Random& random) {
        applyMotionBlur(image, random(10, 20), random(0, kPi));
    };
    const Effect covered = [&camera](int, BgrImage& image, const SyntheticTruth& truth, Random& random) {
        // A skin-coloured or dark blob over part of one side's black edge, centred anywhere in its middle
        // 70 %, up to a fifth of a side across: near the ends it reaches a corner.
        double corners[4][2], side;
        observedSquare(camera, truth, corners, side);
        const int s = static_cast<int>(random(0, 4)) % 4;
        const double t = random(0.15, 0.85);
        const double* a = corners[s];
        const double* b = corners[(s + 1) % 4];
        const double x = a[0] + t * (b[0] - a[0]), y = a[1] + t * (b[1] - a[1]);
        const uint8_t skin[3] = {120, 150, 205}, dark[3] = {45, 40, 38};
        const double r = random(0.06, 0.2) * side;
        drawBlob(image, x, y, r, r * random(0.6, 1.0), random(0, kPi), random(0, 1) < 0.5 ? skin : dark);
    };

    return {
        {"clear", "clear", Card::Marker, orbit, 2.0, none, true},
        {"noisy (sigma 5)", "clear", Card::Marker, orbit, 5.0, none, true},
        {"frontal", "clear", Card::Marker, frontalSequence(), 2.0, none, true},
        {"oblique", "clear", Card::Marker, obliqueSequence(), 2.0, none, true},
        {"far (30-40 px)", "clear", Card::Marker, farSequence(), 2.0, none, true},
        {"motion blur 3-9 px", "blur", Card::Marker, orbit, 2.0, blur, true},
        {"motion blur 10-20 px", "blur", Card::Marker, orbit, 2.0, heavyBlur, true},
        {"brightness ramp", "uneven light", Card::Marker, orbit, 2.0, ramp, true},
        {"shadow edge", "uneven light", Card::Marker, orbit, 2.0, shadow, true},
        {"dim paper 60-104", "uneven light", Card::Marker, orbit, 2.0, dim, true},
        {"washed-out ink 70-110", "uneven light", Card::WashedOut, orbit, 2.0, none, true},
        {"covered edge", "covered", Card::Marker, orbit, 2.0, covered, true},
        {"look-alike printouts", "look-alike", Card::LookAlikes, lookAlikeAll, 2.0, none, false},
        {"desk, no marker", "look-alike", Card::Marker, deskSequence(camera, 100), 2.0, none, false},
    };
}

// ---- rendering ----

// The cards a condition shows, one per frame (look-alikes: 20 printouts, 28 frames each; washed-out
// print: five ink levels in turn).
SyntheticMarker cardFor(const Condition& c, const SyntheticMarker& marker,
                        const std::function<SyntheticMarker(int)>& washedOut, int frame) {
    switch (c.card) {
        case Card::Marker:
            return marker;
        case Card::WashedOut:
            return washedOut(70 + 10 * (frame % 5));
        case Card::LookAlikes:
            return lookAlikeMarker(static_cast<LookAlike>((frame / 28) % kLookAlikeKinds),
                                   frame / 28 / kLookAlikeKinds * 3 + 1, kMarkerWidth);
    }
    return marker;
}

// Which card a frame needs; frames that share one share a scene.
int cardKey(const Condition& c, int frame) {
    switch (c.card) {
        case Card::Marker:
            return 0;
        case Card::WashedOut:
            return frame % 5;
        case Card::LookAlikes:
            return frame / 28;
    }
    return 0;
}

bool renderCondition(const CameraParam& camera, const Condition& c, const SyntheticMarker& marker,
                     const std::function<SyntheticMarker(int)>& washedOut, std::vector<Frame>& frames,
                     std::string& error) {
    frames.assign(c.poses.size(), Frame());
    std::unique_ptr<SyntheticScene> scene;
    int key = -1;
    for (size_t i = 0; i < c.poses.size(); ++i) {
        const int frame = static_cast<int>(i);
        if (!scene || cardKey(c, frame) != key) {
            scene = SyntheticScene::create(camera, cardFor(c, marker, washedOut, frame), error);
            if (!scene) return false;
            key = cardKey(c, frame);
        }
        Frame& f = frames[i];
        if (!renderSyntheticFrame(*scene, c.poses[i].m, 0.0, 0, i, f.image, f.truth)) {
            error = "pose " + std::to_string(i) + " is not finite";
            return false;
        }
        Random random{1000u * i + 17u};
        c.effect(frame, f.image, f.truth, random);
        addSensorNoise(f.image, c.noise, 7919u * i + 3u);
    }
    return true;
}

// ---- detection and scoring ----

struct Result {
    int frames = 0, found = 0, falsePositives = 0;
    std::vector<double> rotation, translation, time;  // degrees, % of the distance, microseconds
};

double median(std::vector<double> v) {
    if (v.empty()) return std::nan("");
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// One detection: markers found with their corners in ideal pixels (dir as Kelmo's) and poses.
struct Found {
    int id;
    MarkerInfo marker;
    double conv[3][4];
    bool posed;
};

void score(const Condition& c, const Frame& frame, int markerId, const std::vector<Found>& found,
           double micros, Result& r) {
    if (c.markerExpected && !frame.truth.markerInView) return;
    ++r.frames;
    r.time.push_back(micros);
    bool hit = false;
    for (const Found& f : found) {
        double errors[4];
        cornerErrors(f.marker, frame.truth, errors);
        if (!c.markerExpected || f.id != markerId || hit || !matchesTruth(errors, frame.truth)) {
            ++r.falsePositives;
            continue;
        }
        hit = true;
        ++r.found;
        if (!f.posed) continue;
        r.rotation.push_back(rotationError(f.conv, frame.truth.transform));
        r.translation.push_back(translationError(f.conv, frame.truth.transform));
    }
}

using Clock = std::chrono::steady_clock;

void runKelmo(const CameraParam& camera, const PatternMatcher& matcher, const Condition& c,
              const std::vector<Frame>& frames, Result& r) {
    MarkerDetector detector(camera, matcher);
    std::vector<MarkerInfo> markers;
    std::vector<Found> found;
    const double center[2] = {0.0, 0.0};
    for (const Frame& frame : frames) {
        found.clear();
        const Clock::time_point start = Clock::now();
        detector.detect(frame.view(), kThreshold, markers);
        for (const MarkerInfo& m : markers) {
            if (m.id < 0) continue;
            Found f{m.id, m, {}, false};
            f.posed = markerTransform(camera, m, center, kMarkerWidth, f.conv) >= 0.0;
            found.push_back(f);
        }
        const double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        score(c, frame, 0, found, micros, r);
    }
}

void runAruco(const CameraParam& camera, const Condition& c, const std::vector<Frame>& frames, Result& r) {
    const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
    const cv::Ptr<cv::aruco::DetectorParameters> parameters = cv::aruco::DetectorParameters::create();
    const double(*m)[4] = camera.mat;
    const cv::Matx33d k(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]);
    const float h = static_cast<float>(kMarkerWidth / 2);
    const std::vector<cv::Point3f> object = {{-h, h, 0.f}, {h, h, 0.f}, {h, -h, 0.f}, {-h, -h, 0.f}};
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    std::vector<Found> found;
    for (const Frame& frame : frames) {
        found.clear();
        const cv::Mat image(frame.image.height, frame.image.width, CV_8UC3,
                            const_cast<uint8_t*>(frame.image.pixels.data()));
        const Clock::time_point start = Clock::now();
        cv::aruco::detectMarkers(image, dictionary, corners, ids, parameters);
        for (size_t i = 0; i < ids.size(); ++i) {
            // ArUco works on the raw image: its corners are taken to ideal pixels, as Kelmo's are, and the
            // pose is solved on those with the camera matrix.
            Found f{ids[i], MarkerInfo(), {}, false};
            f.marker.dir = 0;
            std::vector<cv::Point2f> ideal(4);
            for (int q = 0; q < 4; ++q) {
                double ix, iy;
                observedToIdeal(camera, corners[i][static_cast<size_t>(q)].x,
                                corners[i][static_cast<size_t>(q)].y, ix, iy);
                f.marker.vertex[q][0] = ix;
                f.marker.vertex[q][1] = iy;
                ideal[static_cast<size_t>(q)] = cv::Point2f(static_cast<float>(ix), static_cast<float>(iy));
            }
            cv::Mat rvec, tvec, rotation;
            f.posed =
                cv::solvePnP(object, ideal, k, cv::noArray(), rvec, tvec, false, cv::SOLVEPNP_IPPE_SQUARE);
            if (f.posed) {
                cv::Rodrigues(rvec, rotation);
                for (int row = 0; row < 3; ++row) {
                    for (int col = 0; col < 3; ++col) f.conv[row][col] = rotation.at<double>(row, col);
                    f.conv[row][3] = tvec.at<double>(row);
                }
            }
            found.push_back(f);
        }
        const double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        score(c, frame, 0, found, micros, r);
    }
}

// ---- the table ----

std::string cell(double value, const char* format) {
    if (std::isnan(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string percent(const Result& r, bool expected) {
    if (!expected) return "-";
    return cell(r.frames ? 100.0 * r.found / r.frames : std::nan(""), "%.1f");
}

int runAll(const std::string& only) {
    CameraParam camera;
    PatternMatcher matcher;
    std::string error;
    for (const char* name : {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"}) {
        PatternData pattern;
        if (!loadBenchCamera(camera, error) || !loadBenchPattern(name, pattern, error)) {
            std::fprintf(stderr, "robustness_bench: %s\n", error.c_str());
            return 1;
        }
        matcher.add(pattern);
    }
    PatternData hiro;
    loadBenchPattern("patt.hiro", hiro, error);
    const SyntheticMarker hiroCard = syntheticMarkerFromPattern(hiro, kMarkerWidth);
    const auto hiroWashed = [&hiro](int ink) { return washedOutMarker(hiro, kMarkerWidth, ink); };

    std::printf(
        "640x480, one thread each. Kelmo: threshold %d, patterns hiro (the marker), kanji, sample1, sample2. "
        "ArUco: DICT_4X4_50, marker 0.\n",
        kThreshold);
    std::printf("%-22s %6s | %7s %4s %7s %7s %7s | %7s %4s %7s %7s %7s | %6s\n", "condition", "frames",
                "found%", "FP", "rot deg", "t %", "us", "found%", "FP", "rot deg", "t %", "us", "ratio");
    std::printf("%-22s %6s | %-40s | %-40s |\n", "", "", "Kelmo", "ArUco");
    for (const Condition& c : conditions(camera)) {
        if (!only.empty() && c.name.find(only) == std::string::npos) continue;
        std::vector<Frame> frames;
        Result kelmo, aruco;
        cv::setNumThreads(-1);
        if (!renderCondition(camera, c, hiroCard, hiroWashed, frames, error)) {
            std::fprintf(stderr, "robustness_bench: %s: %s\n", c.name.c_str(), error.c_str());
            return 1;
        }
        cv::setNumThreads(1);
        runKelmo(camera, matcher, c, frames, kelmo);
        if (c.card != Card::LookAlikes) {
            cv::setNumThreads(-1);
            const SyntheticMarker arucoMarker = arucoCard(kInk);
            const auto arucoWashed = [](int ink) { return arucoCard(static_cast<uint8_t>(ink)); };
            if (!renderCondition(camera, c, arucoMarker, arucoWashed, frames, error)) {
                std::fprintf(stderr, "robustness_bench: %s: %s\n", c.name.c_str(), error.c_str());
                return 1;
            }
            cv::setNumThreads(1);
        }
        runAruco(camera, c, frames, aruco);
        const double kt = median(kelmo.time), at = median(aruco.time);
        std::printf(
            "%-22s %6d | %7s %4d %7s %7s %7.0f | %7s %4d %7s %7s %7.0f | %6s\n", c.name.c_str(), kelmo.frames,
            percent(kelmo, c.markerExpected).c_str(), kelmo.falsePositives,
            cell(median(kelmo.rotation), "%.3f").c_str(), cell(median(kelmo.translation), "%.3f").c_str(), kt,
            percent(aruco, c.markerExpected).c_str(), aruco.falsePositives,
            cell(median(aruco.rotation), "%.3f").c_str(), cell(median(aruco.translation), "%.3f").c_str(), at,
            ("1/" + cell(at / kt, "%.1f")).c_str());
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace
}  // namespace bench
}  // namespace kelmo

// Optional argument: run only the conditions whose name contains it.
int main(int argc, char** argv) { return kelmo::bench::runAll(argc > 1 ? argv[1] : ""); }
