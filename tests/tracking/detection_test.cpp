// Detection and pose on rendered camera images whose ground truth is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "synthetic/synthetic_scene.h"
#include "tests/tracking/marker_lookup.h"
#include "tracking/marker_detector.h"
#include "tracking/marker_pose.h"

namespace kelmo {
namespace {

const std::string kFixtures = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";
constexpr double kWidth = 80.0;

struct Vec3 {
    double x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 scaled(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalised(Vec3 a) { return scaled(a, 1.0 / std::sqrt(dot(a, a))); }

// The camera at eye (marker coordinates) looking at target, with up (on the marker) towards the top
// of the image.
void lookAt(Vec3 eye, Vec3 target, Vec3 up, double pose[3][4]) {
    const Vec3 z = normalised(target - eye);
    const Vec3 y = normalised(scaled(up, -1.0) - scaled(z, dot(scaled(up, -1.0), z)));
    const Vec3 x = cross(y, z);
    const Vec3 rows[3] = {x, y, z};
    for (int r = 0; r < 3; ++r) {
        pose[r][0] = rows[r].x;
        pose[r][1] = rows[r].y;
        pose[r][2] = rows[r].z;
        pose[r][3] = -dot(rows[r], eye);
    }
}

PatternData loadPattern(const std::string& name) {
    PatternData pattern;
    std::string error;
    EXPECT_TRUE(loadPatternFile(kFixtures + name, pattern, error)) << error;
    return pattern;
}

CameraParam fixtureCamera() {
    CameraParam camera;
    std::string error;
    EXPECT_TRUE(loadCameraParam(kFixtures + "camera_para.dat", camera, error)) << error;
    return camera;
}

// Hiro is pattern 0, Kanji pattern 1.
class Detection : public testing::Test {
protected:
    void SetUp() override {
        camera_ = fixtureCamera();
        hiro_ = loadPattern("patt.hiro");
        kanji_ = loadPattern("patt.kanji");
        ASSERT_EQ(matcher_.add(hiro_), 0);
        ASSERT_EQ(matcher_.add(kanji_), 1);
    }

    void render(const PatternData& design, const double pose[3][4], double noise, uint64_t frame) {
        std::string error;
        if (!scene_ || sceneDesign_ != &design) {
            scene_ = SyntheticScene::create(camera_, syntheticMarkerFromPattern(design, kWidth), error);
            sceneDesign_ = &design;
        }
        ASSERT_NE(scene_, nullptr) << error;
        ASSERT_TRUE(renderSyntheticFrame(*scene_, pose, noise, 7, frame, image_, truth_));
        MarkerDetector detector(camera_, matcher_);
        ASSERT_TRUE(detector.detect(image_.view(), 100, markers_));
    }

    const MarkerInfo* find(int id) const { return testing_support::findMarker(markers_, id); }

    // Largest distance between the detected corners, taken in the pattern's order, and the truth.
    double cornerError(const MarkerInfo& m) const {
        double worst = 0.0;
        for (int k = 0; k < 4; ++k) {
            const double* v = m.vertex[(4 - m.dir + k) % 4];
            worst = std::max(worst, std::hypot(v[0] - truth_.corners[k][0], v[1] - truth_.corners[k][1]));
        }
        return worst;
    }

    CameraParam camera_;
    PatternData hiro_, kanji_;
    PatternMatcher matcher_;
    std::unique_ptr<SyntheticScene> scene_;
    const PatternData* sceneDesign_ = nullptr;
    BgrImage image_;
    SyntheticTruth truth_;
    std::vector<MarkerInfo> markers_;
};

TEST_F(Detection, HiroAndKanjiAreToldApartInEveryDirection) {
    for (const PatternData* design : {&hiro_, &kanji_}) {
        const int id = design == &hiro_ ? 0 : 1;
        for (int quarter = 0; quarter < 4; ++quarter) {
            const double a = quarter * M_PI / 2;
            double pose[3][4];
            lookAt({30, -40, 420}, {0, 0, 0}, {-std::sin(a), std::cos(a), 0}, pose);
            render(*design, pose, 1.0, static_cast<uint64_t>(quarter));
            ASSERT_TRUE(truth_.markerInView);
            const MarkerInfo* m = find(id);
            ASSERT_NE(m, nullptr) << "pattern " << id << " turned " << 90 * quarter << "°";
            EXPECT_GE(m->cf, 0.7);
            EXPECT_EQ(find(1 - id), nullptr);
            // The direction names the corners right: the pattern's top-left lands on c0.
            EXPECT_LT(cornerError(*m), 0.5) << "dir " << m->dir;
        }
    }
    // Upright and facing the camera, the contour starts at the bottom-right corner.
    double upright[3][4];
    lookAt({0, 0, 400}, {0, 0, 0}, {0, 1, 0}, upright);
    render(hiro_, upright, 0.0, 9);
    ASSERT_NE(find(0), nullptr);
    EXPECT_EQ(find(0)->dir, 2);
}

struct Sequence {
    const char* name;
    double distance;      // marker widths from the marker
    double elevationDeg;  // above the desk
    double noise;         // standard deviation, intensity levels
};

TEST_F(Detection, PosesMatchTheTruthAcrossViews) {
    const Sequence sequences[] = {
        {"frontal", 5.0, 88.0, 0.0},
        {"oblique", 5.0, 40.0, 0.0},
        {"far", 15.0, 60.0, 0.0},  // about 45 pixels a side
        {"noisy", 6.0, 55.0, 4.0},
    };
    for (const Sequence& s : sequences) {
        std::vector<double> rotation, translation, corners;
        int found = 0;
        const int frames = 16;
        for (int f = 0; f < frames; ++f) {
            const double azimuth = -0.6 + 1.2 * f / frames;
            const double e = s.elevationDeg * M_PI / 180, d = s.distance * kWidth;
            const Vec3 eye{d * std::cos(e) * std::sin(azimuth), -d * std::cos(e) * std::cos(azimuth),
                           d * std::sin(e)};
            double pose[3][4];
            lookAt(eye, {5.0 * std::sin(f), 3.0 * std::cos(f), 0}, {0, 1, 0}, pose);
            render(hiro_, pose, s.noise, static_cast<uint64_t>(f));
            ASSERT_TRUE(truth_.markerInView) << s.name << " frame " << f;
            const MarkerInfo* m = find(0);
            if (m == nullptr) continue;
            ++found;
            corners.push_back(cornerError(*m));
            double conv[3][4];
            const double centre[2] = {0.0, 0.0};
            ASSERT_GE(markerTransform(camera_, *m, centre, kWidth, conv), 0.0);
            // Angle of R_est · R_trueᵀ, and the distance between the translations.
            double trace = 0.0;
            for (int i = 0; i < 3; ++i)
                for (int k = 0; k < 3; ++k) trace += conv[i][k] * truth_.transform[i][k];
            rotation.push_back(std::acos(std::clamp((trace - 1.0) / 2.0, -1.0, 1.0)) * 180.0 / M_PI);
            const double dt =
                std::hypot(conv[0][3] - truth_.transform[0][3], conv[1][3] - truth_.transform[1][3],
                           conv[2][3] - truth_.transform[2][3]);
            translation.push_back(
                dt / std::hypot(truth_.transform[0][3], truth_.transform[1][3], truth_.transform[2][3]));
        }
        EXPECT_EQ(found, frames) << s.name;
        if (found == 0) continue;
        const auto median = [](std::vector<double> v) {
            std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
            return v[v.size() / 2];
        };
        EXPECT_LT(median(rotation), 0.3) << s.name << " (degrees)";
        EXPECT_LT(median(translation), 0.005) << s.name << " (share of the distance)";
        EXPECT_LT(*std::max_element(corners.begin(), corners.end()), 0.15) << s.name << " (pixels)";
    }
}

TEST_F(Detection, NothingIsFoundWhereThereIsNoMarker) {
    for (int f = 0; f < 12; ++f) {
        // Looking at the desk well away from the card.
        double pose[3][4];
        const double a = f * 0.5;
        const Vec3 target{700 * std::cos(a), 700 * std::sin(a), 0};
        lookAt({target.x * 0.7, target.y * 0.7 - 150, 350}, target, {0, 1, 0}, pose);
        render(hiro_, pose, f % 2 ? 3.0 : 0.0, static_cast<uint64_t>(f));
        ASSERT_FALSE(truth_.markerInView);
        for (const MarkerInfo& m : markers_) EXPECT_EQ(m.id, -1) << "frame " << f << " cf " << m.cf;
    }
}

}  // namespace
}  // namespace kelmo
