#include "tracking/local_threshold.h"

#include <algorithm>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace kelmo {

void localDarkMask(const ImageView& image, const LocalThreshold& settings, std::vector<uint8_t>& mask) {
    mask.assign(static_cast<size_t>(image.width) * static_cast<size_t>(image.height), 0);
    if (image.pixels == nullptr || image.width <= 0 || image.height <= 0) return;
    const cv::Mat bgr(image.height, image.width, CV_8UC3, const_cast<uint8_t*>(image.pixels),
                      static_cast<size_t>(image.stride));
    cv::Mat grey, mean;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    const int window = std::max(3, settings.window | 1);
    cv::blur(grey, mean, cv::Size(window, window), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    // Dark below the lower of ratio · mean and mean − minContrast; whole-image operations keep it to a
    // few vector passes.
    cv::Mat share, less, limit;
    mean.convertTo(share, CV_8U, settings.ratio);
    cv::subtract(mean, cv::Scalar(settings.minContrast), less);
    cv::min(share, less, limit);
    cv::Mat out(image.height, image.width, CV_8U, mask.data());
    cv::compare(grey, limit, out, cv::CMP_LT);
}

void flattenLight(const ImageView& image, int left, int top, int right, int bottom, int window, int paper,
                  std::vector<uint8_t>& out) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.width);
    bottom = std::min(bottom, image.height);
    if (image.pixels == nullptr || right <= left || bottom <= top) return;
    out.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
    const cv::Rect area(left, top, right - left, bottom - top);
    const cv::Mat bgr(image.height, image.width, CV_8UC3, const_cast<uint8_t*>(image.pixels),
                      static_cast<size_t>(image.stride));
    cv::Mat grey, white;
    cv::cvtColor(bgr(area), grey, cv::COLOR_BGR2GRAY);
    // The brightest pixel nearby is the paper; smoothing the result keeps its steps out of the design.
    const int size = std::max(3, window | 1);
    cv::dilate(grey, white, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(size, size)),
               cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::blur(white, white, cv::Size(size, size), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    for (int y = 0; y < area.height; ++y) {
        const uint8_t* in = image.pixels + static_cast<size_t>(top + y) * image.stride + 3 * left;
        uint8_t* o = out.data() + (static_cast<size_t>(top + y) * image.width + left) * 3;
        const uint8_t* w = white.ptr<uint8_t>(y);
        for (int x = 0; x < 3 * area.width; ++x) {
            const int level = std::max<int>(w[x / 3], 1);
            o[x] = static_cast<uint8_t>(std::min(in[x] * paper / level, 255));
        }
    }
}

}  // namespace kelmo
