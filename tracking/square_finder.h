#pragma once
// Finds dark square frames in a camera image: binarisation, connected components, the outer
// contour of each and its four corners. Everything here is in observed (camera) pixels.
#include <cstdint>
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
    bool bridged = false;               // the contour is the convex hull of a frame with a notch
};

struct SquareFinderLimits {
    int minArea = 70;  // dark pixels of a candidate frame
    int maxArea = 100000;
    int maxContour = 9999;   // longer boundaries are not markers
    int maxCandidates = 30;  // squares kept per image
    // Also take a frame whose outline is a square with a notch in it (something light over part of an
    // edge): its convex hull, when that has four clear corners, stands for the outline.
    bool bridgeNotches = false;
};

// False when the image cannot be searched (empty or too small); otherwise fills squares (possibly
// none). Pixels count as dark when blue + green + red <= 3 * threshold.
bool findSquares(const ImageView& image, int threshold, std::vector<SquareCandidate>& squares,
                 const SquareFinderLimits& limits = SquareFinderLimits());

// Dark pixels chosen some other way: one byte a pixel, non-zero for dark.
struct MaskView {
    int width = 0;   // pixels
    int height = 0;  // pixels
    int stride = 0;  // bytes from one row to the next
    const uint8_t* pixels = nullptr;
};

// The same search on a ready mask. Its outermost rows and columns are taken as background whatever
// they hold.
bool findSquaresInMask(const MaskView& mask, std::vector<SquareCandidate>& squares,
                       const SquareFinderLimits& limits = SquareFinderLimits());

}  // namespace kelmo
