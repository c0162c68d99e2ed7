#include "tracking/marker_pose.h"

#include <cmath>
#include <opencv2/calib3d.hpp>
#include <vector>

#include "tracking/pose_refinement.h"

namespace kelmo {

double markerTransform(const CameraParam& param, const MarkerInfo& marker, const double center[2],
                       double width, double conv[3][4]) {
    if (marker.dir < 0 || marker.dir > 3 || !(width > 0.0)) return -1.0;
    const double h = width / 2.0;
    // The square's corners top-left, top-right, bottom-right, bottom-left, centred on the origin
    // (the square solver wants it so); the centre offset is added to t at the end.
    const std::vector<cv::Point3d> object = {{-h, h, 0.0}, {h, h, 0.0}, {h, -h, 0.0}, {-h, -h, 0.0}};
    std::vector<cv::Point2d> image(4);
    for (int k = 0; k < 4; ++k) {
        const double* v = marker.vertex[(4 - marker.dir + k) % 4];
        if (!std::isfinite(v[0]) || !std::isfinite(v[1])) return -1.0;
        image[static_cast<size_t>(k)] = cv::Point2d(v[0], v[1]);
    }
    const cv::Matx33d k(param.mat[0][0], param.mat[0][1], param.mat[0][2], param.mat[1][0], param.mat[1][1],
                        param.mat[1][2], param.mat[2][0], param.mat[2][1], param.mat[2][2]);
    cv::Mat rvec, tvec;
    try {
        if (!cv::solvePnP(object, image, k, cv::noArray(), rvec, tvec, false, cv::SOLVEPNP_IPPE_SQUARE))
            return -1.0;
    } catch (const cv::Exception&) {
        return -1.0;  // degenerate corners
    }
    cv::Matx33d r;
    cv::Rodrigues(rvec, r);
    cv::Vec3d t(tvec.at<double>(0), tvec.at<double>(1), tvec.at<double>(2));
    cv::Vec3d objectPoints[4];
    cv::Vec2d imagePoints[4];
    for (size_t i = 0; i < 4; ++i) {
        objectPoints[i] = cv::Vec3d(object[i].x, object[i].y, object[i].z);
        imagePoints[i] = cv::Vec2d(image[i].x, image[i].y);
    }
    // The square solution fits the corners' homography; the polish fits the corners themselves.
    const double error = refinePose(k, objectPoints, imagePoints, r, t);
    if (!std::isfinite(error) || !(t[2] > 0.0)) return -1.0;  // a square behind the camera is no view of it

    const cv::Vec3d offset = r * cv::Vec3d(center[0], center[1], 0.0);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) conv[row][col] = r(row, col);
        conv[row][3] = t[row] - offset[row];
    }
    return error / 4.0;
}

void cameraPositionInMarker(const double conv[3][4], double out[3]) {
    // The inverse of [R | t] is [Rᵀ | −Rᵀt]; its translation is the camera centre.
    for (int i = 0; i < 3; ++i)
        out[i] = -(conv[0][i] * conv[0][3] + conv[1][i] * conv[1][3] + conv[2][i] * conv[2][3]);
}

void modelviewFromTransform(const double conv[3][4], double out[16]) {
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 3; ++row) out[col * 4 + row] = conv[row][col];
        out[col * 4 + 3] = col == 3 ? 1.0 : 0.0;
    }
}

}  // namespace kelmo
