#pragma once
// The calibration chessboard as the synthetic camera sees it.
#include "synthetic/synthetic_scene.h"
#include "tracking/chessboard.h"

namespace kelmo {

// The board as the synthetic camera's card: the design fills the card's square, centred, with paper
// around it; the card's centre is the middle of the board. Corner (i, j) (column i, row j, row 0 at the
// top) lies at marker coordinates chessboardCorner.
SyntheticMarker syntheticChessboard(const ChessboardSpec& board);

}  // namespace kelmo
