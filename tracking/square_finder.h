#pragma once
// Finds dark square frames in a camera image: binarisation, connected components, the outer
// contour of each and its four corners. Everything here is in observed (camera) pixels.
#include <vector>

#include "tracking/image_view.h"

namespace kelmo {

struct ContourPoint {
    int x, y;
};

struct SquareCandidate {
    int area = 0;                       // dark pixels of the component
    double pos[2] = {};                 // their mean position
    std::vector<ContourPoint> contour;  // outer boundary, clockwise on screen; last point = first
    int corner[4] = {};                 // contour indices of the corners, corner[0] = 0, increasing
};

struct SquareFinderLimits {
    int minArea = 70;        // dark pixels of a candidate frame
    int maxArea = 100000;
    int maxContour = 9999;   // longer boundaries are not markers
    int maxCandidates = 30;  // squares kept per image
};

// False when the image cannot be searched (empty or too small); otherwise fills squares (possibly
// none). Pixels count as dark when blue + green + red <= 3 * threshold.
bool findSquares(const ImageView& image, int threshold, std::vector<SquareCandidate>& squares,
                 const SquareFinderLimits& limits = SquareFinderLimits());

}  // namespace kelmo
