#pragma once
// Polishing a square's pose: the rotation and translation that bring four known points nearest, in
// the sum of squared pixel distances, to where a camera saw them.
#include <opencv2/core/matx.hpp>

namespace kelmo {

// Levenberg-Marquardt on the six degrees of freedom from the pose (r, t) given, with derivatives in
// closed form. k is the camera matrix. Returns the sum of squared reprojection errors of the pose it
// leaves in r and t, which is never worse than the one given; a pose that puts a point behind the
// camera is left as it is, with an infinite sum.
double refinePose(const cv::Matx33d& k, const cv::Vec3d object[4], const cv::Vec2d image[4], cv::Matx33d& r,
                  cv::Vec3d& t);

}  // namespace kelmo
