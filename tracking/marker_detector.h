#pragma once
// Finds square markers in a camera image and tells which loaded pattern each one shows.
#include <vector>

#include "tracking/camera_param.h"
#include "tracking/image_view.h"
#include "tracking/marker_info.h"
#include "tracking/pattern_matcher.h"

namespace kelmo {

// Markers whose best match is below this confidence get id −1.
constexpr double kMinConfidence = 0.5;

class MarkerDetector {
public:
    // param: the camera at the image size; patterns may be empty (every marker then has id −1).
    MarkerDetector(const CameraParam& param, const PatternMatcher& patterns);

    // Every square found, in the order found. A pixel is dark when blue + green + red <= 3·threshold.
    // Each frame is searched on its own: nothing is remembered between calls. False when the image
    // cannot be searched at all (no pixels, or not the camera's size).
    bool detect(const ImageView& image, int threshold, std::vector<MarkerInfo>& markers);

private:
    CameraParam param_;
    const PatternMatcher& patterns_;
};

}  // namespace kelmo
