#include "tracking/chessboard.h"

#include <algorithm>
#include <cstdlib>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace kelmo {

bool parseChessboardSize(const std::string& text, ChessboardSpec& board) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    const std::string cols = text.substr(0, x), rows = text.substr(x + 1);
    char* end = nullptr;
    const long c = std::strtol(cols.c_str(), &end, 10);
    if (cols.empty() || *end != '\0') return false;
    const long r = std::strtol(rows.c_str(), &end, 10);
    if (rows.empty() || *end != '\0') return false;
    if (c < 2 || c > 64 || r < 2 || r > 64) return false;
    board.cols = static_cast<int>(c);
    board.rows = static_cast<int>(r);
    return true;
}

BgrImage chessboardImage(const ChessboardSpec& board, int pixelsPerSquare) {
    const int across = board.cols + 3, down = board.rows + 3;
    BgrImage image(across * pixelsPerSquare, down * pixelsPerSquare, 255);
    for (int y = 0; y < image.height; ++y) {
        const int row = y / pixelsPerSquare - 1;
        for (int x = 0; x < image.width; ++x) {
            const int col = x / pixelsPerSquare - 1;
            const bool onBoard = row >= 0 && row <= board.rows && col >= 0 && col <= board.cols;
            if (onBoard && (row + col) % 2 == 0) std::fill_n(image.at(x, y), 3, uint8_t{0});
        }
    }
    return image;
}

void chessboardCorner(const ChessboardSpec& board, int i, int j, double& x, double& y) {
    // Marker X right, Y up (the board's top); the board's centre is the card's centre.
    x = (i - (board.cols - 1) / 2.0) * board.square;
    y = ((board.rows - 1) / 2.0 - j) * board.square;
}

bool findChessboard(const ImageView& image, const ChessboardSpec& board, std::vector<double>& corners) {
    if (image.width <= 0 || image.height <= 0 || image.pixels == nullptr) return false;
    const cv::Mat bgr(image.height, image.width, CV_8UC3, const_cast<uint8_t*>(image.pixels),
                      static_cast<size_t>(image.stride));
    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    std::vector<cv::Point2f> found;
    const cv::Size pattern(board.cols, board.rows);
    if (!cv::findChessboardCorners(
            grey, pattern, found,
            cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_FAST_CHECK))
        return false;
    // The search window must stay inside one square, along rows and columns (a tilted board is
    // foreshortened along one of them): half the shortest corner spacing, at most 11.
    double spacing = 1e9;
    for (int j = 0; j < board.rows; ++j)
        for (int i = 0; i < board.cols; ++i) {
            const cv::Point2f at = found[j * board.cols + i];
            if (i + 1 < board.cols) spacing = std::min(spacing, cv::norm(found[j * board.cols + i + 1] - at));
            if (j + 1 < board.rows)
                spacing = std::min(spacing, cv::norm(found[(j + 1) * board.cols + i] - at));
        }
    const int half = std::max(2, std::min(11, static_cast<int>(spacing / 2) - 1));
    cv::cornerSubPix(grey, found, cv::Size(half, half), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 50, 0.001));
    corners.resize(found.size() * 2);
    for (size_t k = 0; k < found.size(); ++k) {
        corners[2 * k] = found[k].x;
        corners[2 * k + 1] = found[k].y;
    }
    return true;
}

}  // namespace kelmo
