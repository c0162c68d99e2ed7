#include "synthetic/synthetic_chessboard.h"

#include <algorithm>

namespace kelmo {
namespace {

// The synthetic card's square is drawn 1024 texels wide; a design of that size is copied unscaled.
constexpr int kCardSquareTexels = 1024;

// Squares along the design's side: the board and a margin of one square on every side.
int designSquares(const ChessboardSpec& board) { return std::max(board.cols, board.rows) + 3; }

}  // namespace

SyntheticMarker syntheticChessboard(const ChessboardSpec& board) {
    const int side = designSquares(board);
    SyntheticMarker marker;
    marker.width = side * board.square;
    marker.fillsSquare = true;
    // An even number of design pixels per square, so the board sits exactly in the middle; the card
    // stretches the design to its square, which keeps every edge where it belongs.
    const int perSquare = kCardSquareTexels / side / 2 * 2;
    const BgrImage drawn = chessboardImage(board, perSquare);
    marker.interior = BgrImage(side * perSquare, side * perSquare, 255);
    const int left = (marker.interior.width - drawn.width) / 2,
              top = (marker.interior.height - drawn.height) / 2;
    for (int y = 0; y < drawn.height; ++y)
        std::copy_n(drawn.at(0, y), drawn.width * 3, marker.interior.at(left, top + y));
    return marker;
}

}  // namespace kelmo
