// kelmo-demo-marker: draws the interior design of Kelmo's demo marker: a bold "K" set into the lower
// left of the interior. Ink on one side only keeps every quarter turn of the pattern unlike the
// others (correlation below 0.2), which a centred letter does not. Every run writes the same image.
#include <cstdio>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "tools/demo/output_argument.h"

namespace {

constexpr int kSide = 500;  // pixels; the printable marker's interior is 500 px

// The letter in a 7 × 7 box: stem, upper arm, lower leg.
const std::vector<std::vector<cv::Point2d>> kLetter = {{{0.0, 0.0}, {2.1, 0.0}, {2.1, 7.0}, {0.0, 7.0}},
                                                       {{2.1, 2.8}, {4.9, 0.0}, {7.0, 0.0}, {2.1, 5.1}},
                                                       {{3.1, 3.5}, {6.1, 7.0}, {3.9, 7.0}, {2.1, 4.9}}};

// Where the box lands, in tenths of the interior side. The ink keeps 1.5 tenths from the edges so it
// never touches the marker's black border, which would change the border's outline.
constexpr double kScale = 0.8;
const cv::Point2d kOrigin(1.5, 8.5 - 7.0 * kScale);

void fill(cv::Mat& image, const std::vector<cv::Point2d>& corners) {
    constexpr int kShift = 4;  // sub-pixel corners
    const double toFixed = kSide / 10.0 * (1 << kShift);
    std::vector<cv::Point> points;
    for (const cv::Point2d& c : corners)
        points.emplace_back(cvRound((kOrigin.x + c.x * kScale) * toFixed),
                            cvRound((kOrigin.y + c.y * kScale) * toFixed));
    cv::fillConvexPoly(image, points, cv::Scalar::all(0), cv::LINE_AA, kShift);
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (!kelmo::outputArgument(argc, argv, "kelmo-demo-marker OUT.png", status)) return status;
    cv::Mat image(kSide, kSide, CV_8UC3, cv::Scalar::all(255));
    for (const auto& part : kLetter) fill(image, part);
    try {
        if (!cv::imwrite(argv[1], image)) {
            std::fprintf(stderr, "kelmo-demo-marker: %s: cannot write the image\n", argv[1]);
            return 1;
        }
    } catch (const cv::Exception& e) {
        std::fprintf(stderr, "kelmo-demo-marker: %s: cannot write the image (%s)\n", argv[1], e.msg.c_str());
        return 1;
    }
    std::printf("wrote %s (%d x %d px)\n", argv[1], kSide, kSide);
    return 0;
}
