#include "tracking/square_finder.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>

namespace kelmo {
namespace {

// Neighbour offsets clockwise on screen (y grows downwards), starting with "right".
constexpr int kStepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kStepY[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// 1. Dark pixels as 255, the outermost rows and columns left out.
void binarise(const ImageView& image, int threshold, cv::Mat& mask) {
    mask.create(image.height, image.width, CV_8U);
    mask.setTo(0);
    const int limit = 3 * threshold;
    for (int y = 1; y < image.height - 1; ++y) {
        const uint8_t* in = image.pixels + static_cast<size_t>(y) * image.stride;
        uint8_t* out = mask.ptr<uint8_t>(y);
        for (int x = 1; x < image.width - 1; ++x) {
            const uint8_t* p = in + 3 * x;
            out[x] = (p[0] + p[1] + p[2] <= limit) ? 255 : 0;
        }
    }
}

// 3. Moore tracing of the outer boundary from the leftmost pixel of the top row, with the region
// on the right-hand side, so the contour runs clockwise on screen.
bool traceContour(const cv::Mat& labels, int label, int startX, int startY, int maxPoints,
                  std::vector<ContourPoint>& contour) {
    contour.clear();
    contour.push_back({startX, startY});
    int x = startX, y = startY;
    int direction = 3;  // so that the first search looks right
    for (;;) {
        int found = -1;
        for (int k = 0; k < 8; ++k) {
            const int d = (direction + 5 + k) % 8;
            const int nx = x + kStepX[d], ny = y + kStepY[d];
            if (labels.at<int32_t>(ny, nx) == label) {
                found = d;
                break;
            }
        }
        if (found < 0) return false;  // a single pixel has no boundary to follow
        x += kStepX[found];
        y += kStepY[found];
        direction = found;
        if (x == startX && y == startY) return true;
        if (static_cast<int>(contour.size()) >= maxPoints) return false;
        contour.push_back({x, y});
    }
}

int squaredDistance(const ContourPoint& a, const ContourPoint& b) {
    const int dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// A square has at most this many nested splits; deeper means a ragged blob.
constexpr int kMaxSplitDepth = 8;

// 5. Splits the contour range [a, b] at the point farthest from the chord while that distance²
// exceeds threshold; collects the split points in order.
bool findVertices(const std::vector<ContourPoint>& c, int a, int b, double threshold, std::vector<int>& out,
                  int depth = 0) {
    const double ax = c[a].x, ay = c[a].y;
    const double dx = c[b].x - ax, dy = c[b].y - ay;
    const double chord2 = dx * dx + dy * dy;
    double best = 0.0;
    int bestIndex = -1;
    for (int i = a + 1; i < b; ++i) {
        const double cross = dx * (c[i].y - ay) - dy * (c[i].x - ax);
        const double d2 = chord2 > 0.0 ? cross * cross / chord2
                                       : (c[i].x - ax) * (c[i].x - ax) + (c[i].y - ay) * (c[i].y - ay);
        if (d2 > best) {
            best = d2;
            bestIndex = i;
        }
    }
    if (bestIndex < 0 || best <= threshold) return true;
    if (depth >= kMaxSplitDepth || !findVertices(c, a, bestIndex, threshold, out, depth + 1)) return false;
    out.push_back(bestIndex);
    if (out.size() > 5) return false;
    return findVertices(c, bestIndex, b, threshold, out, depth + 1);
}

// Four corners of a closed contour (last point = first), or false when it is not a square.
bool findCorners(const std::vector<ContourPoint>& c, int area, int corner[4]) {
    const int n = static_cast<int>(c.size()) - 1;
    const double threshold = area / 0.75 * 0.01;
    int v = 0, farthest = -1;
    for (int i = 1; i < n; ++i) {
        const int d = squaredDistance(c[0], c[i]);
        if (d > farthest) {
            farthest = d;
            v = i;
        }
    }
    std::vector<int> first, second;
    if (!findVertices(c, 0, v, threshold, first) || !findVertices(c, v, n, threshold, second)) return false;
    if (first.size() + second.size() > 5) return false;
    if (first.size() == 1 && second.size() == 1) {
        const int found[4] = {0, first[0], v, second[0]};
        std::copy(found, found + 4, corner);
        return true;
    }
    if (first.size() > 1 && second.empty()) {
        std::vector<int> low, high;
        const int middle = v / 2;
        if (!findVertices(c, 0, middle, threshold, low) || !findVertices(c, middle, v, threshold, high)) return false;
        if (low.size() != 1 || high.size() != 1) return false;
        const int found[4] = {0, low[0], high[0], v};
        std::copy(found, found + 4, corner);
        return true;
    }
    if (first.empty() && second.size() > 1) {
        std::vector<int> low, high;
        const int middle = (v + n) / 2;
        if (!findVertices(c, v, middle, threshold, low) || !findVertices(c, middle, n, threshold, high)) return false;
        if (low.size() != 1 || high.size() != 1) return false;
        const int found[4] = {0, v, low[0], high[0]};
        std::copy(found, found + 4, corner);
        return true;
    }
    return false;
}

}  // namespace

bool findSquares(const ImageView& image, int threshold, std::vector<SquareCandidate>& squares,
                 const SquareFinderLimits& limits) {
    squares.clear();
    if (image.pixels == nullptr || image.width < 8 || image.height < 8 || image.stride < 3 * image.width)
        return false;

    // 1-2. Dark pixels and their 8-connected components.
    cv::Mat mask, labels, stats, centroids;
    binarise(image, threshold, mask);
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);

    std::vector<ContourPoint> contour;
    for (int label = 1; label < count && static_cast<int>(squares.size()) < limits.maxCandidates; ++label) {
        const int area = stats.at<int>(label, cv::CC_STAT_AREA);
        if (area < limits.minArea || area > limits.maxArea) continue;
        const int left = stats.at<int>(label, cv::CC_STAT_LEFT);
        const int top = stats.at<int>(label, cv::CC_STAT_TOP);
        const int right = left + stats.at<int>(label, cv::CC_STAT_WIDTH) - 1;
        const int bottom = top + stats.at<int>(label, cv::CC_STAT_HEIGHT) - 1;
        // Frames cut by the image edge give no usable square.
        if (left <= 1 || right >= image.width - 2 || top <= 1 || bottom >= image.height - 2) continue;

        int startX = left;
        const int32_t* row = labels.ptr<int32_t>(top);
        while (row[startX] != label) ++startX;
        if (!traceContour(labels, label, startX, top, limits.maxContour, contour)) continue;

        // 4. Start at the point farthest from the first one and close the loop.
        int farthest = 0, best = -1;
        for (int i = 0; i < static_cast<int>(contour.size()); ++i) {
            const int d = squaredDistance(contour[0], contour[static_cast<size_t>(i)]);
            if (d > best) {
                best = d;
                farthest = i;
            }
        }
        std::rotate(contour.begin(), contour.begin() + farthest, contour.end());
        contour.push_back(contour.front());

        SquareCandidate square;
        if (!findCorners(contour, area, square.corner)) continue;
        square.area = area;
        square.pos[0] = centroids.at<double>(label, 0);
        square.pos[1] = centroids.at<double>(label, 1);
        square.contour = contour;
        squares.push_back(std::move(square));
    }

    // 7. A frame found twice (or inside another) keeps only the larger of the two.
    std::vector<bool> dropped(squares.size(), false);
    for (size_t i = 0; i < squares.size(); ++i) {
        for (size_t j = i + 1; j < squares.size(); ++j) {
            const double dx = squares[i].pos[0] - squares[j].pos[0];
            const double dy = squares[i].pos[1] - squares[j].pos[1];
            const int larger = std::max(squares[i].area, squares[j].area);
            if (dx * dx + dy * dy < larger / 4) {
                if (squares[i].area > squares[j].area) {
                    dropped[j] = true;
                } else {
                    dropped[i] = true;
                }
            }
        }
    }
    size_t kept = 0;
    for (size_t i = 0; i < squares.size(); ++i) {
        if (dropped[i]) continue;
        if (kept != i) squares[kept] = std::move(squares[i]);
        ++kept;
    }
    squares.resize(kept);
    return true;
}

}  // namespace kelmo
