#pragma once
// One square found in a camera image, in the conventions of ARToolKit 2.x marker records.

namespace kelmo {

struct MarkerInfo {
    int area = 0;              // dark pixels of the square's frame (full-resolution pixels)
    int id = -1;               // pattern slot, or -1 when no pattern matches well enough
    int dir = -1;              // 0..3: the pattern's top-left corner is vertex[(4 - dir) % 4]
    double cf = 0.0;           // confidence: normalised correlation with the pattern, at most 1
    double pos[2] = {};        // centre of the dark pixels, observed (camera) pixels
    double line[4][3] = {};    // side i: a·x + b·y + c = 0 through vertex[i] and vertex[i+1], ideal pixels
    double vertex[4][2] = {};  // corners in ideal (undistorted) pixels, clockwise on screen
};

}  // namespace kelmo
