#pragma once
// Synthetic views of a marker card shared by detection_bench and tracking_accuracy: the fixture
// camera and patterns, the camera poses of each sequence, rendering them, and checking a found
// marker against the truth.
//
//   1. fixtures
//   2. camera poses
//   3. sequences
//   4. rendering
//   5. comparing with the truth
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "synthetic/synthetic_scene.h"
#include "tracking/camera_param.h"
#include "tracking/image_view.h"
#include "tracking/marker_info.h"
#include "tracking/pattern_file.h"

namespace kelmo {
namespace bench {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
constexpr double kMarkerWidth = 80.0;  // mm, the printed Hiro marker
constexpr int kThreshold = 100;

// ---- 1. fixtures ----

inline std::string fixturePath(const std::string& name) {
    return std::string(KELMO_SOURCE_DIR) + "/tests/fixtures/artoolkit/" + name;
}

// The fixture camera at 640 × 480.
inline bool loadBenchCamera(CameraParam& out, std::string& error) {
    CameraParam loaded;
    if (!loadCameraParam(fixturePath("camera_para.dat"), loaded, error)) return false;
    out = changeCameraParamSize(loaded, 640, 480);
    return true;
}

inline bool loadBenchPattern(const std::string& name, PatternData& out, std::string& error) {
    return loadPatternFile(fixturePath(name), out, error);
}

// ---- 2. camera poses ----

struct Pose {
    double m[3][4];
};

inline Pose lookAtPose(const double eye[3], const double target[3], double roll) {
    Pose pose;
    syntheticLookAt(eye, target, roll, pose.m);
    return pose;
}

// Seen from `distance` marker widths at `elevation` above the desk and `azimuth` round from the
// marker's bottom side (degrees), looking at (targetX, targetY) on the desk (marker widths).
inline Pose orbitView(double distance, double elevation, double azimuth, double roll, double targetX = 0.0,
                      double targetY = 0.0) {
    const double w = kMarkerWidth;
    const double target[3] = {targetX * w, targetY * w, 0.0};
    const double el = elevation * kDegree, az = azimuth * kDegree;
    const double eye[3] = {target[0] + distance * w * std::cos(el) * std::sin(az),
                           target[1] - distance * w * std::cos(el) * std::cos(az),
                           target[2] + distance * w * std::sin(el)};
    return lookAtPose(eye, target, roll * kDegree);
}

// Straight above the marker from `distance` widths, the marker turned by `spin` degrees in the image
// and shifted by (shiftX, shiftY) widths.
inline Pose frontalView(double distance, double spin, double shiftX = 0.0, double shiftY = 0.0) {
    const double w = kMarkerWidth, c = std::cos(spin * kDegree), s = std::sin(spin * kDegree);
    // Marker X along image x and marker Y against image y, then the spin about the optical axis.
    return Pose{{{c, s, 0, shiftX * w}, {s, -c, 0, shiftY * w}, {0, 0, -1, distance * w}}};
}

inline Pose pathPose(SyntheticPath path, double seconds) {
    Pose pose;
    syntheticPathPose(path, seconds, kMarkerWidth, pose.m);
    return pose;
}

// True when no pixel of the image sees any part of the card (the marker square and its paper
// margin, ±0.75 widths) or its immediate surroundings: rays through a dense pixel grid all miss it.
inline bool cardOutOfView(const CameraParam& camera, const Pose& pose) {
    const double(*m)[4] = camera.mat;
    const double(*p)[4] = pose.m;
    // Camera centre in marker coordinates: −Rᵀt.
    double centre[3];
    for (int k = 0; k < 3; ++k) centre[k] = -(p[0][k] * p[0][3] + p[1][k] * p[1][3] + p[2][k] * p[2][3]);
    const double limit = 0.85 * kMarkerWidth;
    for (int oy = 0; oy < camera.ysize; oy += 2) {
        for (int ox = 0; ox < camera.xsize; ox += 2) {
            double ix, iy;
            observedToIdeal(camera, ox, oy, ix, iy);
            // Ray in the camera frame from the upper triangular K: K⁻¹ (ix, iy, 1).
            const double dy = (iy - m[1][2]) / m[1][1];
            const double dx = (ix - m[0][2] - m[0][1] * dy) / m[0][0];
            const double dc[3] = {dx, dy, 1.0};
            double dm[3];
            for (int k = 0; k < 3; ++k) dm[k] = p[0][k] * dc[0] + p[1][k] * dc[1] + p[2][k] * dc[2];
            if (!(dm[2] * centre[2] < 0.0)) continue;  // parallel to the desk or rising away from it
            const double s = -centre[2] / dm[2];
            const double x = centre[0] + s * dm[0], y = centre[1] + s * dm[1];
            if (std::fabs(x) < limit && std::fabs(y) < limit) return false;
        }
    }
    return true;
}

// ---- 3. sequences ----

// The benchmark's poses: 40 along the orbit, and frontal, oblique and far views.
inline std::vector<Pose> benchPoses() {
    std::vector<Pose> poses;
    for (int i = 0; i < 40; ++i)
        poses.push_back(pathPose(SyntheticPath::Orbit, i * kSyntheticOrbitPeriod / 40));
    poses.push_back(frontalView(5.0, 0.0));
    poses.push_back(frontalView(4.0, 30.0, 0.5, -0.3));
    poses.push_back(frontalView(7.0, 135.0, -1.0, 0.8));
    poses.push_back(orbitView(5.0, 30.0, 40.0, 4.0));
    poses.push_back(orbitView(6.0, 25.0, -60.0, -3.0));
    poses.push_back(orbitView(4.5, 35.0, 150.0, 2.0));
    poses.push_back(orbitView(14.0, 60.0, 10.0, 0.0));
    poses.push_back(orbitView(16.0, 70.0, -30.0, 5.0));
    return poses;
}

// Views from every side with the marker in the image, some far, some steep, some nearly flat.
inline std::vector<Pose> orbitSequence(int frames) {
    std::vector<Pose> poses;
    for (int i = 0; i < frames; ++i)
        poses.push_back(pathPose(SyntheticPath::Orbit, i * kSyntheticOrbitPeriod / frames));
    return poses;
}

// Straight above, every in-plane turn, 4 to 7 widths away, shifted about the image.
inline std::vector<Pose> frontalSequence() {
    std::vector<Pose> poses;
    for (int i = 0; i < 72; ++i) {
        const double distance = 4.0 + 3.0 * (0.5 + 0.5 * std::sin(0.7 * i));
        poses.push_back(frontalView(distance, 5.0 * i, 0.6 * std::sin(1.3 * i), 0.4 * std::cos(0.9 * i)));
    }
    return poses;
}

// Low views, 20° to 35° above the desk, all round.
inline std::vector<Pose> obliqueSequence() {
    std::vector<Pose> poses;
    for (int i = 0; i < 72; ++i) {
        const double elevation = 20.0 + 15.0 * (0.5 + 0.5 * std::sin(0.37 * i));
        const double distance = 4.0 + 2.0 * (0.5 + 0.5 * std::cos(0.53 * i));
        poses.push_back(orbitView(distance, elevation, 5.0 * i, 8.0 * std::sin(0.8 * i)));
    }
    return poses;
}

// The marker about 30 to 40 pixels across: 18 to 22 widths away, 50° to 85° above the desk.
inline std::vector<Pose> farSequence() {
    std::vector<Pose> poses;
    for (int i = 0; i < 72; ++i) {
        const double elevation = 50.0 + 35.0 * (0.5 + 0.5 * std::sin(0.41 * i));
        const double distance = 18.0 + 4.0 * (0.5 + 0.5 * std::cos(0.29 * i));
        poses.push_back(orbitView(distance, elevation, 5.0 * i, 10.0 * std::sin(0.6 * i),
                                  0.5 * std::sin(0.7 * i), 0.5 * std::cos(1.1 * i)));
    }
    return poses;
}

// The camera over the desk looking away from the card, which stays wholly out of the image.
inline std::vector<Pose> deskSequence(const CameraParam& camera, int frames) {
    std::vector<Pose> poses;
    for (int i = 0; static_cast<int>(poses.size()) < frames && i < 50 * frames; ++i) {
        const double bearing = 0.61 * i;  // radians, golden-ratio-like spread round the card
        const double away = 3.0 + 6.0 * (0.5 + 0.5 * std::sin(1.7 * i));
        const double elevation = 30.0 + 50.0 * (0.5 + 0.5 * std::sin(0.9 * i + 0.3));
        const double distance = 3.0 + 5.0 * (0.5 + 0.5 * std::cos(1.3 * i));
        const Pose pose = orbitView(distance, elevation, 360.0 * std::sin(0.23 * i), 10.0 * std::sin(0.5 * i),
                                    away * std::cos(bearing), away * std::sin(bearing));
        if (cardOutOfView(camera, pose)) poses.push_back(pose);
    }
    return poses;
}

// ---- 4. rendering ----

struct Frame {
    BgrImage image;
    SyntheticTruth truth;
    ImageView view() const {
        return ImageView{image.width, image.height, image.width * 3, image.pixels.data()};
    }
};

// Every pose once; frame numbers (and so the noise) follow the list from firstFrame on.
inline bool renderFrames(const CameraParam& camera, const SyntheticMarker& marker,
                         const std::vector<Pose>& poses, double noise, uint64_t seed, std::vector<Frame>& out,
                         std::string& error, uint64_t firstFrame = 0) {
    std::unique_ptr<SyntheticScene> scene = SyntheticScene::create(camera, marker, error);
    if (!scene) return false;
    out.clear();
    out.resize(poses.size());
    for (size_t i = 0; i < poses.size(); ++i) {
        if (!renderSyntheticFrame(*scene, poses[i].m, noise, seed, firstFrame + i, out[i].image,
                                  out[i].truth)) {
            error = "pose " + std::to_string(i) + " holds a number that is not finite";
            return false;
        }
    }
    return true;
}

// ---- 5. comparing with the truth ----

// Mean side of the truth square, ideal pixels.
inline double truthSide(const SyntheticTruth& truth) {
    double sum = 0.0;
    for (int k = 0; k < 4; ++k)
        sum += std::hypot(truth.corners[(k + 1) % 4][0] - truth.corners[k][0],
                          truth.corners[(k + 1) % 4][1] - truth.corners[k][1]);
    return sum / 4.0;
}

// Distance of each found corner from the truth corner it stands for (c_k is vertex[(4 − dir + k) % 4]).
inline void cornerErrors(const MarkerInfo& marker, const SyntheticTruth& truth, double out[4]) {
    for (int k = 0; k < 4; ++k) {
        const double* v = marker.vertex[(4 - marker.dir + k) % 4];
        out[k] = std::hypot(v[0] - truth.corners[k][0], v[1] - truth.corners[k][1]);
    }
}

// A found marker is the true one, turned the right way, when every corner lies within a fifth of a
// side of its truth: a wrong turn or a different square is a whole side off.
inline bool matchesTruth(const double errors[4], const SyntheticTruth& truth) {
    const double tolerance = 0.2 * truthSide(truth);
    return std::all_of(errors, errors + 4, [&](double e) { return e < tolerance; });
}

// Pose errors against the truth: the angle of R_est · R_trueᵀ in degrees, and the translation error
// in percent of the true distance.
inline double rotationError(const double est[3][4], const double truth[3][4]) {
    double trace = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) trace += est[i][k] * truth[i][k];
    return std::acos(std::clamp((trace - 1.0) / 2.0, -1.0, 1.0)) / kDegree;
}

inline double translationError(const double est[3][4], const double truth[3][4]) {
    double diff = 0.0, distance = 0.0;
    for (int i = 0; i < 3; ++i) {
        diff += (est[i][3] - truth[i][3]) * (est[i][3] - truth[i][3]);
        distance += truth[i][3] * truth[i][3];
    }
    return 100.0 * std::sqrt(diff / distance);
}

}  // namespace bench
}  // namespace kelmo
