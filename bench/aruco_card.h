#pragma once
// The ArUco card the comparisons detect: a DICT_4X4_50 marker with the Hiro card's outer size, ink
// and paper. Only for the benchmarks built with OpenCV's aruco module.
#include <algorithm>
#include <cstdint>
#include <opencv2/aruco.hpp>
#include <opencv2/core.hpp>

#include "bench/synthetic_scenes.h"

namespace kelmo {
namespace bench {

constexpr uint8_t kInk = 25, kPaper = 235;  // the synthetic cards' black and white

inline cv::Ptr<cv::aruco::Dictionary> arucoDictionary() {
    return cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
}

// Marker 0 as 6 × 6 crisp cells (its one-cell border included) covering the whole square.
inline SyntheticMarker arucoCard(uint8_t ink = kInk) {
    cv::Mat bits;
    cv::aruco::drawMarker(arucoDictionary(), 0, 6, bits, 1);
    SyntheticMarker marker;
    marker.width = kMarkerWidth;
    marker.cells = true;
    marker.fillsSquare = true;
    marker.interior = BgrImage(6, 6);
    for (int row = 0; row < 6; ++row)
        for (int col = 0; col < 6; ++col)
            std::fill_n(marker.interior.at(col, row), 3, bits.at<uint8_t>(row, col) ? kPaper : ink);
    return marker;
}

}  // namespace bench
}  // namespace kelmo
