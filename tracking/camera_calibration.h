#pragma once
// Camera calibration from chessboard views: choosing views from a moving camera, OpenCV's calibration,
// and the 2.x camera parameters fitted to its result.
#include <string>
#include <vector>

#include "tracking/camera_fit.h"
#include "tracking/chessboard.h"

namespace kelmo {

// One view: the board's inner corners as findChessboard gives them.
using ChessboardCorners = std::vector<double>;

// Picks views from a stream of frames: a board that has stayed still since the previous frame and is
// seen from a new angle or place (its outline differs from every view taken so far).
class ViewSelector {
public:
    ViewSelector(const ChessboardSpec& board, int width, int height);
    // The corners of the next frame, or null when it shows no board. True when the view is taken.
    bool offer(const ChessboardCorners* corners);
    const std::vector<ChessboardCorners>& views() const { return views_; }
    bool lastWasStill() const { return still_; }

private:
    ChessboardSpec board_;
    double diagonal_;  // image diagonal, pixels
    ChessboardCorners previous_;
    bool still_ = false;
    std::vector<std::vector<double>> outlines_;  // the four outer corners of each view taken
    std::vector<ChessboardCorners> views_;
};

struct Calibration {
    int width = 0, height = 0;  // image size, pixels
    int views = 0;
    OpenCvLens lens;                // OpenCV's model
    double openCvRmsPx = 0.0;       // its reprojection error over every corner
    CameraFit fit;                  // the 2.x model fitted to OpenCV's mapping: the refinement's start
    CameraParam param;              // the 2.x parameters refined on the views: the result
    double cameraParamRmsPx = 0.0;  // their reprojection error
};

constexpr int kMinCalibrationViews = 8;
constexpr double kMaxCalibrationRmsPx =
    1.0;  // either model's reprojection error; above it nothing is written

// False, with a one-line reason, for too few views, views that leave a part of the image without a
// corner, a focal length the views do not pin down, or a reprojection error above kMaxCalibrationRmsPx.
bool calibrateFromViews(const std::vector<ChessboardCorners>& views, const ChessboardSpec& board, int width,
                        int height, Calibration& out, std::string& error);

}  // namespace kelmo
