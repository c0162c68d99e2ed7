#pragma once
// A camera's view of a square marker card lying on a desk, rendered in software: the demo's camera
// on machines without one and the tests' source of ground truth.
//
// Frames: marker X right, Y up (the top of the printed design), Z out of the paper; camera x right,
// y down (image rows), z forward. A pose is [R|t] with Xc = R·Xm + t; the ideal pixel of a marker
// point is mat·[R|t]·[Xm;1] and the image shows it at idealToObserved of that (lens distortion).
#include <cstdint>
#include <memory>
#include <string>

#include "tracking/camera_param.h"
#include "tracking/marker_image.h"
#include "tracking/pattern_file.h"
#include "tracking/synthetic_options.h"

namespace kelmo {

// What is printed inside the black square (its central half, or all of it), upright: row 0 is the
// marker's top.
struct SyntheticMarker {
    double width = 80.0;       // outer side of the black square, marker units
    BgrImage interior;         // the design, any size; stretched to the square
    bool cells = false;        // a grid of cells (a pattern's 16 × 16): enlarged crisply, values as given
    bool fillsSquare = false;  // the design covers the whole square and draws its own border
};

// Direction 0 of the pattern, its values as the camera intensities they are.
SyntheticMarker syntheticMarkerFromPattern(const PatternData& pattern, double width);
// An image of the design; a whole marker (dark outer quarter) contributes only its central half.
bool syntheticMarkerFromImage(const std::string& path, double width, SyntheticMarker& out,
                              std::string& error);
// A blocky "K": asymmetric, so every quarter turn of it tells apart.
SyntheticMarker builtInSyntheticMarker(double width);
// The built-in design as a pattern file sees it, so a matching .patt can be written.
PatternData builtInSyntheticPattern();

struct SyntheticTruth {
    bool markerInView = false;    // the whole black square lies inside the image, in front of the camera
    double transform[3][4] = {};  // marker -> camera, as rendered
    // Outer corners of the black square in ideal pixels: c0 top-left (-w/2, +w/2), c1 top-right,
    // c2 bottom-right, c3 bottom-left.
    double corners[4][2] = {};
};

SyntheticTruth computeSyntheticTruth(const CameraParam& camera, double width, const double pose[3][4]);

// Everything that depends only on the camera and the marker, prepared once: the observed-to-ideal
// pixel map and the card and desk textures.
class SyntheticScene {
public:
    static constexpr int kMaxImageSide = kMaxSyntheticImageSide;

    // Null, with the reason, for an image size outside 16..kMaxImageSide or a marker without a
    // positive width or an interior.
    static std::unique_ptr<SyntheticScene> create(const CameraParam& camera, const SyntheticMarker& marker,
                                                  std::string& error);
    ~SyntheticScene();
    SyntheticScene(const SyntheticScene&) = delete;
    SyntheticScene& operator=(const SyntheticScene&) = delete;

    const CameraParam& camera() const;
    double markerWidth() const;

private:
    struct Impl;
    explicit SyntheticScene(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend bool renderSyntheticFrame(SyntheticScene&, const double[3][4], double, uint64_t, uint64_t,
                                     BgrImage&, SyntheticTruth&);
};

// One frame at the camera's image size. noiseSigma: standard deviation of the Gaussian sensor noise per
// channel, in intensity levels; the noise is a function of (seed, frameNumber) alone. False, with a
// wall-coloured image, when the pose holds a number that is not finite.
bool renderSyntheticFrame(SyntheticScene& scene, const double pose[3][4], double noiseSigma, uint64_t seed,
                          uint64_t frameNumber, BgrImage& image, SyntheticTruth& truth);

// A camera at eye looking at target (marker coordinates), turned by roll (radians) about its axis; the
// far side of the desk (the marker's top) is towards the image top. eye must not lie straight above
// target.
void syntheticLookAt(const double eye[3], const double target[3], double roll, double out[3][4]);
void syntheticPathPose(SyntheticPath path, double seconds, double width, double out[3][4]);

}  // namespace kelmo
