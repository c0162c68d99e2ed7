// The screen's size, its grid and each brick's place and picture corners.
#include "movie/screen_layout.h"

namespace kelmo {

ScreenLayout layoutScreen(double posX, double posY, double posZ, double size, int pictureWidth,
                          int pictureHeight, int columns, int rows) {
    ScreenLayout layout;
    if (pictureWidth < pictureHeight) {
        layout.screenHeight = size;
        layout.screenWidth = size / pictureHeight * pictureWidth;
    } else {
        layout.screenWidth = size;
        layout.screenHeight = size / pictureWidth * pictureHeight;
    }
    layout.columns = columns;
    layout.rows = rows;
    layout.pieceWidth = layout.screenWidth / columns;
    layout.pieceHeight = layout.screenHeight / rows;
    layout.firstCentreX = posX - layout.screenWidth / 2 + layout.pieceWidth / 2;
    layout.centreY = posY;
    layout.firstCentreZ = posZ + layout.pieceHeight / 2;
    return layout;
}

PieceGeometry pieceGeometry(const ScreenLayout& layout, int column, int row) {
    PieceGeometry piece;
    piece.centre[0] = layout.firstCentreX + column * layout.pieceWidth;
    piece.centre[1] = layout.centreY;
    piece.centre[2] = layout.firstCentreZ + row * layout.pieceHeight;
    piece.boxSize[0] = layout.pieceWidth;
    piece.boxSize[1] = layout.pieceHeight / 4;
    piece.boxSize[2] = layout.pieceHeight;

    const auto s0 = static_cast<float>(static_cast<double>(column) / layout.columns);
    const auto s1 = static_cast<float>(static_cast<double>(column + 1) / layout.columns);
    const auto t0 = static_cast<float>(static_cast<double>(row) / layout.rows);
    const auto t1 = static_cast<float>(static_cast<double>(row + 1) / layout.rows);
    const float corners[4][2] = {{s0, t1}, {s0, t0}, {s1, t0}, {s1, t1}};
    for (int k = 0; k < 4; ++k) {
        piece.texCoords[k][0] = corners[k][0];
        piece.texCoords[k][1] = corners[k][1];
    }
    return piece;
}

}  // namespace kelmo
