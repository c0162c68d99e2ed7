#pragma once
// Where the movie screen's bricks stand and which part of the picture each one shows: arithmetic
// only, no GL and no physics.
//
// The screen stands upright in the marker's x-z plane at y = posY, centred on x = posX, with its
// bottom edge at z = posZ, facing -y. Lengths are marker units.

namespace kelmo {

struct ScreenLayout {
    double screenWidth = 0;   // along x
    double screenHeight = 0;  // along z
    double pieceWidth = 0;
    double pieceHeight = 0;
    int columns = 0;
    int rows = 0;
    double firstCentreX = 0;  // centre of column 0, the leftmost (-x)
    double centreY = 0;
    double firstCentreZ = 0;  // centre of row 0, the bottom row
};

struct PieceGeometry {
    double centre[3];  // x, y, z
    // Full edge lengths along x, y, z: the brick is a quarter of its height thick.
    double boxSize[3];
    // (s, t) of the corners top-left, bottom-left, bottom-right, top-right.
    float texCoords[4][2];
};

// The picture's longer side becomes size long and the other keeps the picture's aspect ratio.
// pictureWidth, pictureHeight, columns and rows must be at least 1.
ScreenLayout layoutScreen(double posX, double posY, double posZ, double size, int pictureWidth,
                          int pictureHeight, int columns, int rows);

// Row 0 is the bottom row and shows the bottom strip of the picture, whose rows run bottom-up.
PieceGeometry pieceGeometry(const ScreenLayout& layout, int column, int row);

}  // namespace kelmo
