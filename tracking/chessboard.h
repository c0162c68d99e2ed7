#pragma once
// The printed chessboard that camera calibration looks at: its design, and finding its inner corners
// in a camera image.
#include <string>
#include <vector>

#include "tracking/image_view.h"
#include "tracking/marker_image.h"

namespace kelmo {

struct ChessboardSpec {
    int cols = 9;          // inner corners along a row, as OpenCV counts them (squares: cols + 1)
    int rows = 6;          // inner corners along a column
    double square = 20.0;  // side of one square, millimetres (any unit: poses come out in it)
};

// "COLSxROWS", each 2 to 64. False for anything else.
bool parseChessboardSize(const std::string& text, ChessboardSpec& board);

// The board upright, the top-left square black, with a white margin of one square all round (the
// detector needs it): (cols + 3) × (rows + 3) squares of pixelsPerSquare.
BgrImage chessboardImage(const ChessboardSpec& board, int pixelsPerSquare);

// Corner (i, j) (column i, row j, row 0 at the top) in marker coordinates: the board's centre is the
// origin, X right, Y up.
void chessboardCorner(const ChessboardSpec& board, int i, int j, double& x, double& y);

// The inner corners in row-major order (cols × rows points, x then y, pixels with pixel centres on
// whole numbers), refined to a fraction of a pixel. False when the whole board is not seen.
bool findChessboard(const ImageView& image, const ChessboardSpec& board, std::vector<double>& corners);

}  // namespace kelmo
