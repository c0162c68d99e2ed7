#pragma once
// Finds square markers in a camera image and tells which loaded pattern each one shows.
#include <cstdint>
#include <vector>

#include "tracking/camera_param.h"
#include "tracking/image_view.h"
#include "tracking/marker_info.h"
#include "tracking/pattern_matcher.h"
#include "tracking/square_finder.h"

namespace kelmo {

// Markers whose best match is below this confidence get id −1.
constexpr double kMinConfidence = 0.5;

class MarkerDetector {
public:
    // param: the camera at the image size; patterns may be empty (every marker then has id −1).
    MarkerDetector(const CameraParam& param, const PatternMatcher& patterns);

    // Every square found, in the order found. A pixel is dark when blue + green + red <= 3·threshold.
    // When that finds no loaded pattern, the frame is searched again with dark judged against each
    // pixel's surroundings, and then for frames with a notch in one side (something light over part of
    // an edge); the patterns found that way follow. Each frame is searched on its own:
    // nothing is remembered between calls. False when the image cannot be searched at all (no pixels,
    // or not the camera's size).
    bool detect(const ImageView& image, int threshold, std::vector<MarkerInfo>& markers);

private:
    // Edges, samples and pattern of one square; false when it gives no marker.
    bool identify(const ImageView& image, const SquareCandidate& square, MarkerInfo& marker) const;
    // identify() again on the square's samples with the light made even across it.
    bool identifyFlattened(const ImageView& image, const SquareCandidate& square, MarkerInfo& marker);
    // Appends the patterns found with the local threshold; false when there were none.
    bool searchLocally(const ImageView& image, std::vector<MarkerInfo>& markers);
    // Appends the patterns found in frames with a notch in one side, at the fixed threshold.
    void bridgeNotches(const ImageView& image, int threshold, std::vector<MarkerInfo>& markers);

    CameraParam param_;
    const PatternMatcher& patterns_;
    std::vector<uint8_t> mask_;  // the local threshold's dark pixels, kept between frames
    std::vector<uint8_t> flat_;  // the image with even light, around the squares that need it
};

}  // namespace kelmo
