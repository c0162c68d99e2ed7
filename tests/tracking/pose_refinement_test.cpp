// The pose polish against OpenCV's own refiner: both minimise the corners' squared reprojection
// error from the same start.
#include "tracking/pose_refinement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <opencv2/calib3d.hpp>
#include <random>
#include <vector>

namespace kelmo {
namespace {

const cv::Matx33d kCamera(700.0, 0.5, 320.0, 0.0, 710.0, 240.0, 0.0, 0.0, 1.0);
const cv::Vec3d kSquare[4] = {{-40, 40, 0}, {40, 40, 0}, {40, -40, 0}, {-40, -40, 0}};

cv::Vec2d project(const cv::Matx33d& r, const cv::Vec3d& t, const cv::Vec3d& point) {
    const cv::Vec3d p = kCamera * (r * point + t);
    return {p[0] / p[2], p[1] / p[2]};
}

double angleBetween(const cv::Matx33d& a, const cv::Matx33d& b) {
    const cv::Matx33d d = a.t() * b;
    return std::acos(std::clamp((cv::trace(d) - 1.0) / 2.0, -1.0, 1.0));
}

TEST(PoseRefinement, LandsWhereOpenCvsRefinerDoesFromNoisyCornersAndAFarStart) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> angle(-0.6, 0.6), shift(-60.0, 60.0), depth(250.0, 600.0);
    std::normal_distribution<double> noise(0.0, 0.3);
    for (int trial = 0; trial < 40; ++trial) {
        cv::Matx33d truthR;
        cv::Rodrigues(cv::Vec3d(angle(random) + M_PI, angle(random), angle(random)), truthR);
        const cv::Vec3d truthT(shift(random), shift(random), depth(random));
        cv::Vec2d seen[4];
        std::vector<cv::Point3d> object;
        std::vector<cv::Point2d> image;
        for (int i = 0; i < 4; ++i) {
            seen[i] = project(truthR, truthT, kSquare[i]) + cv::Vec2d(noise(random), noise(random));
            object.emplace_back(kSquare[i][0], kSquare[i][1], kSquare[i][2]);
            image.emplace_back(seen[i][0], seen[i][1]);
        }
        // Start some degrees and some millimetres off the truth.
        cv::Matx33d startTurn;
        cv::Rodrigues(cv::Vec3d(0.05, -0.04, 0.06), startTurn);
        cv::Matx33d r = startTurn * truthR;
        cv::Vec3d t = truthT + cv::Vec3d(8.0, -6.0, 25.0);

        cv::Mat rvec, tvec;
        cv::Rodrigues(r, rvec);
        tvec = (cv::Mat_<double>(3, 1) << t[0], t[1], t[2]);
        cv::solvePnPRefineLM(object, image, kCamera, cv::noArray(), rvec, tvec,
                             cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 200, 1e-15));
        cv::Matx33d expectedR;
        cv::Rodrigues(rvec, expectedR);
        const cv::Vec3d expectedT(tvec.at<double>(0), tvec.at<double>(1), tvec.at<double>(2));

        const double cost = refinePose(kCamera, kSquare, seen, r, t);
        double expectedCost = 0.0;
        for (int i = 0; i < 4; ++i) {
            const cv::Vec2d d = project(expectedR, expectedT, kSquare[i]) - seen[i];
            expectedCost += d.dot(d);
        }
        // At least as low as OpenCV gets, and no small turn or shift lowers it further.
        EXPECT_LE(cost, expectedCost * (1.0 + 1e-9) + 1e-12) << "trial " << trial;
        for (int axis = 0; axis < 6; ++axis)
            for (const double sign : {-1.0, 1.0}) {
                cv::Vec3d w(0, 0, 0), shiftBy(0, 0, 0);
                if (axis < 3)
                    w[axis] = sign * 1e-5;
                else
                    shiftBy[axis - 3] = sign * 1e-4;
                cv::Matx33d turn;
                cv::Rodrigues(w, turn);
                double moved = 0.0;
                for (int i = 0; i < 4; ++i) {
                    const cv::Vec2d d = project(turn * r, t + shiftBy, kSquare[i]) - seen[i];
                    moved += d.dot(d);
                }
                EXPECT_GE(moved, cost - 1e-12) << "trial " << trial << " axis " << axis;
            }
        EXPECT_LT(angleBetween(r, expectedR), 0.01) << "trial " << trial;
    }
}

TEST(PoseRefinement, ASquareBehindTheCameraIsLeftAlone) {
    const cv::Matx33d r = cv::Matx33d::eye();
    cv::Matx33d movedR = r;
    cv::Vec3d t(0.0, 0.0, -300.0);
    const cv::Vec2d seen[4] = {{300, 200}, {340, 200}, {340, 240}, {300, 240}};
    EXPECT_EQ(refinePose(kCamera, kSquare, seen, movedR, t), std::numeric_limits<double>::infinity());
    EXPECT_EQ(t[2], -300.0);
    EXPECT_EQ(angleBetween(movedR, r), 0.0);
}

}  // namespace
}  // namespace kelmo
