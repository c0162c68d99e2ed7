#include "tracking/pattern_sampler.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "tracking/bilinear.h"

namespace kelmo {
namespace {

constexpr int kMaxSamplesPerSide = 64;

// 16 samples a side for small squares, more (up to 64) as the square grows, as a camera sees more.
int samplesAlong(double sideLength2) {
    int n = kPatternSide;
    while (n < kMaxSamplesPerSide && n * n < static_cast<int>(sideLength2) / 4) n *= 2;
    return n;
}

double distance2(const double a[2], const double b[2]) {
    return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]);
}

}  // namespace

bool samplePattern(const ImageView& image, const CameraParam& param, const double vertex[4][2],
                   uint8_t samples[kPatternValues]) {
    const cv::Point2f unit[4] = {{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}};
    cv::Point2f corners[4];
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(vertex[i][0]) || !std::isfinite(vertex[i][1])) return false;
        corners[i] = cv::Point2f(static_cast<float>(vertex[i][0]), static_cast<float>(vertex[i][1]));
    }
    const cv::Mat h = cv::getPerspectiveTransform(unit, corners);
    if (h.empty()) return false;
    const double* m = h.ptr<double>();

    const int nx = samplesAlong(std::max(distance2(vertex[0], vertex[1]), distance2(vertex[2], vertex[3])));
    const int ny = samplesAlong(std::max(distance2(vertex[1], vertex[2]), distance2(vertex[3], vertex[0])));
    const int perCellX = nx / kPatternSide, perCellY = ny / kPatternSide;
    int64_t sums[kPatternSide][kPatternSide][3] = {};
    double us[kMaxSamplesPerSide];
    for (int i = 0; i < nx; ++i) us[i] = 0.25 + 0.5 * (i + 0.5) / nx;
    for (int j = 0; j < ny; ++j) {
        // The pattern is the central half of the square: from 1/4 to 3/4 of each side.
        const double v = 0.25 + 0.5 * (j + 0.5) / ny;
        int64_t(*row)[3] = sums[j / perCellY];
        for (int i = 0; i < nx; ++i) {
            const double u = us[i];
            const double w = m[6] * u + m[7] * v + m[8];
            if (w == 0.0) return false;
            const double perW = 1.0 / w;
            double ox, oy;
            idealToObserved(param, (m[0] * u + m[1] * v + m[2]) * perW, (m[3] * u + m[4] * v + m[5]) * perW,
                            ox, oy);
            addBgr(image, ox, oy, row[i / perCellX]);
        }
    }
    const double count = static_cast<double>(perCellX * perCellY) * static_cast<double>(kBilinearScale);
    for (int plane = 0; plane < kPatternPlanes; ++plane)
        for (int row = 0; row < kPatternSide; ++row)
            for (int column = 0; column < kPatternSide; ++column)
                samples[patternIndex(plane, row, column)] = static_cast<uint8_t>(
                    std::lround(std::clamp(sums[row][column][plane] / count, 0.0, 255.0)));
    return true;
}

}  // namespace kelmo
