// Detection where the fixed threshold struggles (uneven light, blur) and where a square only resembles a
// pattern, on rendered frames whose truth is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "synthetic/synthetic_conditions.h"
#include "synthetic/synthetic_scene.h"
#include "tests/tracking/marker_lookup.h"
#include "tracking/marker_detector.h"
#include "tracking/marker_edges.h"
#include "tracking/marker_pose.h"
#include "tracking/pattern_sampler.h"
#include "tracking/square_finder.h"

namespace kelmo {
namespace {

const std::string kFixtures = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";
constexpr double kWidth = 80.0;
constexpr double kDegree = M_PI / 180.0;

// Seen from `distance` marker widths at `elevation` degrees above the desk and `azimuth` degrees round.
void orbitView(double distance, double elevation, double azimuth, double pose[3][4]) {
    const double el = elevation * kDegree, az = azimuth * kDegree, d = distance * kWidth;
    const double eye[3] = {d * std::cos(el) * std::sin(az), -d * std::cos(el) * std::cos(az),
                           d * std::sin(el)};
    const double target[3] = {0.0, 0.0, 0.0};
    syntheticLookAt(eye, target, 0.0, pose);
}

// Hiro, Kanji, sample1 and sample2 in slots 0 to 3; the rendered card shows `marker`.
class RobustDetection : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        CameraParam loaded;
        ASSERT_TRUE(loadCameraParam(kFixtures + "camera_para.dat", loaded, error)) << error;
        camera_ = changeCameraParamSize(loaded, 640, 480);
        for (const char* name : {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"}) {
            PatternData pattern;
            ASSERT_TRUE(loadPatternFile(kFixtures + name, pattern, error)) << error;
            patterns_.push_back(pattern);
            matcher_.add(pattern);
        }
    }

    // Renders the card at the pose without noise, applies the effect, adds noise and detects.
    void detect(const SyntheticMarker& card, const double pose[3][4], uint64_t frame,
                const std::function<void(BgrImage&)>& effect = nullptr) {
        std::string error;
        const std::unique_ptr<SyntheticScene> scene = SyntheticScene::create(camera_, card, error);
        ASSERT_NE(scene, nullptr) << error;
        ASSERT_TRUE(renderSyntheticFrame(*scene, pose, 0.0, 0, frame, image_, truth_));
        if (effect) effect(image_);
        addSensorNoise(image_, 2.0, frame);
        MarkerDetector detector(camera_, matcher_);
        ASSERT_TRUE(detector.detect(image_.view(), 100, markers_));
    }

    const MarkerInfo* find(int id) const { return testing_support::findMarker(markers_, id); }

    // The found marker is the rendered one: every corner, in the pattern's order, near the truth, and the
    // pose within bounds of the rendered one.
    void expectTruth(const MarkerInfo& m, double cornerPx, double rotationDeg,
                     double translationShare) const {
        for (int k = 0; k < 4; ++k) {
            const double* v = m.vertex[(4 - m.dir + k) % 4];
            EXPECT_LT(std::hypot(v[0] - truth_.corners[k][0], v[1] - truth_.corners[k][1]), cornerPx)
                << "corner " << k;
        }
        double conv[3][4];
        const double centre[2] = {0.0, 0.0};
        ASSERT_GE(markerTransform(camera_, m, centre, kWidth, conv), 0.0);
        double trace = 0.0;
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k) trace += conv[i][k] * truth_.transform[i][k];
        EXPECT_LT(std::acos(std::clamp((trace - 1.0) / 2.0, -1.0, 1.0)) / kDegree, rotationDeg);
        const double dt = std::hypot(conv[0][3] - truth_.transform[0][3], conv[1][3] - truth_.transform[1][3],
                                     conv[2][3] - truth_.transform[2][3]);
        EXPECT_LT(dt / std::hypot(truth_.transform[0][3], truth_.transform[1][3], truth_.transform[2][3]),
                  translationShare);
    }

    // What the fixed threshold alone gives: squares, edges, samples, best match and the 0.5 rule.
    std::vector<MarkerInfo> fixedThresholdMarkers() const {
        std::vector<SquareCandidate> squares;
        EXPECT_TRUE(findSquares(image_.view(), 100, squares));
        std::vector<MarkerInfo> out;
        for (const SquareCandidate& square : squares) {
            MarkerInfo m;
            if (!fitSquareEdges(image_.view(), camera_, square, m.line, m.vertex)) continue;
            uint8_t samples[kPatternValues];
            if (!samplePattern(image_.view(), camera_, m.vertex, samples)) continue;
            const PatternMatch match = matcher_.match(samples);
            m.id = match.cf < kMinConfidence ? -1 : match.id;
            m.dir = match.dir;
            m.cf = match.cf;
            out.push_back(m);
        }
        return out;
    }

    CameraParam camera_;
    std::vector<PatternData> patterns_;
    PatternMatcher matcher_;
    BgrImage image_;
    SyntheticTruth truth_;
    std::vector<MarkerInfo> markers_;
};

// Fault: a printout whose interior shares some light and dark areas with a pattern takes its id, and the
// character jumps onto it. This bit grid scores above 0.5 against sample2 in these views.
TEST_F(RobustDetection, LookAlikePrintoutsGetNoId) {
    double highest = 0.0;
    for (int view = 0; view < 4; ++view) {
        double pose[3][4];
        orbitView(5.5 + view, 50.0 + 8 * view, -40.0 + 25 * view, pose);
        for (const LookAlike kind : {LookAlike::BitGrid, LookAlike::TextBlock, LookAlike::FramedSquare}) {
            detect(lookAlikeMarker(kind, 1, kWidth), pose, static_cast<uint64_t>(view));
            for (const MarkerInfo& m : markers_) {
                EXPECT_EQ(m.id, -1) << "view " << view << " cf " << m.cf;
                highest = std::max(highest, m.cf);
            }
        }
    }
    EXPECT_GT(highest, kMinConfidence) << "no look-alike came near a pattern: the case tests nothing";
}

// Faults: the look-alike check throws out real markers whose confidence blur has pulled below the sure
// level (real motion-blurred frames go down to 0.56); the pose of a blurred marker is off.
TEST_F(RobustDetection, MotionBlurredMarkersKeepTheirId) {
    double lowest = 1.0;
    for (int view = 0; view < 4; ++view) {
        double pose[3][4];
        orbitView(5.0 + 0.5 * view, 55.0, -30.0 + 20 * view, pose);
        detect(syntheticMarkerFromPattern(patterns_[0], kWidth), pose, static_cast<uint64_t>(view),
               [view](BgrImage& image) { applyMotionBlur(image, 12.0 + 2 * view, 0.4 + 0.7 * view); });
        const MarkerInfo* m = find(0);
        ASSERT_NE(m, nullptr) << "view " << view;
        lowest = std::min(lowest, m->cf);
        // Fault: edge profiles shorter than the blur leave each side where the threshold cut the smear,
        // up to 3 px off and the pose degrees off. The smear is symmetric about the true edge.
        expectTruth(*m, 0.5, 0.3, 0.005);
    }
    EXPECT_LT(lowest, PatternMatcher::kSureConfidence) << "blur too weak to reach the check";
}

struct Light {
    const char* name;
    std::function<void(BgrImage&)> effect;
    int ink;  // grey level of the print's black
};

// Fault: a marker whose paper falls below the fixed threshold (dim room, the dark end of a ramp), whose
// black prints lighter than it (worn toner), or that a shadow edge crosses is not found, or is found
// with a wrong pose.
TEST_F(RobustDetection, MarkersInUnevenLightAreFoundWithTheirPose) {
    const Light lights[] = {
        {"ramp", [](BgrImage& image) { applyBrightnessRamp(image, 0.2, 0.02, 0.75); }, 25},
        {"shadow edge", [](BgrImage& image) { applyShadowEdge(image, 330, 230, 0.5, 0.35, 10.0); }, 25},
        {"dim paper", [](BgrImage& image) { applyGain(image, 0.35); }, 25},
        {"washed-out ink", nullptr, 105},
    };
    for (const Light& light : lights) {
        int fixedMisses = 0;
        for (int view = 0; view < 3; ++view) {
            double pose[3][4];
            orbitView(4.5 + view, 45.0 + 10 * view, -35.0 + 30 * view, pose);
            const SyntheticMarker card = light.ink == 25 ? syntheticMarkerFromPattern(patterns_[0], kWidth)
                                                         : washedOutMarker(patterns_[0], kWidth, light.ink);
            detect(card, pose, static_cast<uint64_t>(view), light.effect);
            ASSERT_TRUE(truth_.markerInView);
            const std::vector<MarkerInfo> fixed = fixedThresholdMarkers();
            fixedMisses +=
                std::none_of(fixed.begin(), fixed.end(), [](const MarkerInfo& m) { return m.id == 0; });
            const MarkerInfo* m = find(0);
            ASSERT_NE(m, nullptr) << light.name << " view " << view;
            SCOPED_TRACE(std::string(light.name) + " view " + std::to_string(view));
            expectTruth(*m, 0.5, 0.3, 0.005);
            for (const MarkerInfo& other : markers_) EXPECT_TRUE(other.id == -1 || &other == m) << other.id;
        }
        EXPECT_GT(fixedMisses, 0) << light.name << ": the fixed threshold alone finds every view";
    }
}

// Fault: a finger (light) or a dark object over part of one edge breaks the frame's outline, and the
// marker is lost although three corners and the other edges are clear; or the recovered corners are off.
TEST_F(RobustDetection, MarkersWithACoveredEdgeAreFoundWithTheirPose) {
    const uint8_t skin[3] = {120, 150, 205}, dark[3] = {45, 40, 38};
    int fixedMisses = 0;
    for (int view = 0; view < 4; ++view) {
        double pose[3][4];
        orbitView(4.5 + 0.5 * view, 50.0 + 8 * view, -30.0 + 20 * view, pose);
        const SyntheticTruth expected =
            computeSyntheticTruth(camera_, kWidth, pose);  // where to put the blob: on side `view`
        double a[2], b[2];
        idealToObserved(camera_, expected.corners[view][0], expected.corners[view][1], a[0], a[1]);
        idealToObserved(camera_, expected.corners[(view + 1) % 4][0], expected.corners[(view + 1) % 4][1],
                        b[0], b[1]);
        const double t = 0.35 + 0.1 * view, side = std::hypot(b[0] - a[0], b[1] - a[1]);
        detect(syntheticMarkerFromPattern(patterns_[0], kWidth), pose, static_cast<uint64_t>(view),
               [&](BgrImage& image) {
                   drawBlob(image, a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), 0.13 * side,
                            0.1 * side, 0.7, view % 2 ? dark : skin);
               });
        const std::vector<MarkerInfo> fixed = fixedThresholdMarkers();
        fixedMisses +=
            std::none_of(fixed.begin(), fixed.end(), [](const MarkerInfo& m) { return m.id == 0; });
        const MarkerInfo* m = find(0);
        ASSERT_NE(m, nullptr) << "view " << view;
        SCOPED_TRACE("view " + std::to_string(view));
        expectTruth(*m, 0.5, 0.3, 0.005);
    }
    EXPECT_GE(fixedMisses, 2) << "the blobs hardly cover the edge";
}

// Fault: anything added for hard frames changes what the fixed threshold finds on a clear one (ids,
// turns, confidences, corners).
TEST_F(RobustDetection, ClearFramesGiveTheFixedThresholdResult) {
    for (int view = 0; view < 3; ++view) {
        double pose[3][4];
        orbitView(4.5 + 2 * view, 40.0 + 15 * view, 60.0 - 50 * view, pose);
        detect(syntheticMarkerFromPattern(patterns_[view], kWidth), pose, static_cast<uint64_t>(view));
        const std::vector<MarkerInfo> expected = fixedThresholdMarkers();
        ASSERT_EQ(markers_.size(), expected.size());
        ASSERT_NE(find(view), nullptr);
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(markers_[i].id, expected[i].id);
            EXPECT_EQ(markers_[i].dir, expected[i].dir);
            EXPECT_EQ(markers_[i].cf, expected[i].cf);
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(markers_[i].vertex[k][0], expected[i].vertex[k][0]);
                EXPECT_EQ(markers_[i].vertex[k][1], expected[i].vertex[k][1]);
            }
        }
    }
}

}  // namespace
}  // namespace kelmo
