#include "tracking/square_finder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace kelmo {
namespace {

// Neighbour offsets clockwise on screen (y grows downwards), starting with "right".
constexpr int kStepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kStepY[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// The columns of a mask row that may hold dark pixels: [from, to). Beyond them the row is
// background, so the search for components need not read it.
struct RowSpan {
    int from = 0, to = 0;
};

void widenSpan(RowSpan& span, int from, int to) {
    if (span.from == span.to) {
        span = {from, to};
    } else {
        span.to = to;
    }
}

// 1. Dark pixels as 255, the outermost rows and columns left out.
void binarise(const ImageView& image, int threshold, cv::Mat& mask, std::vector<RowSpan>& spans) {
    mask.create(image.height, image.width, CV_8U);
    mask.row(0).setTo(0);
    mask.row(image.height - 1).setTo(0);
    spans.assign(static_cast<size_t>(image.height), RowSpan());
    const int limit = 3 * threshold;
    for (int y = 1; y < image.height - 1; ++y) {
        const uint8_t* in = image.pixels + static_cast<size_t>(y) * image.stride;
        uint8_t* out = mask.ptr<uint8_t>(y);
        RowSpan& span = spans[static_cast<size_t>(y)];
        int x = 0;
#if CV_SIMD128
        // Sixteen pixels at a time; channel sums reach 765, so they are added in 16 bits.
        const cv::v_uint16x8 bound = cv::v_setall_u16(static_cast<uint16_t>(std::clamp(limit, -1, 765) + 1));
        const cv::v_uint8x16 light = cv::v_setall_u8(static_cast<uint8_t>(std::clamp(threshold, 0, 255)));
        for (; x + 16 <= image.width; x += 16) {
            // Most of a frame is paper or desk: when every channel of sixteen pixels is above the
            // threshold, so is their sum, and the costly split into channels is not needed.
            const cv::v_uint8x16 v0 = cv::v_load(in + 3 * x), v1 = cv::v_load(in + 3 * x + 16),
                                 v2 = cv::v_load(in + 3 * x + 32);
            if (cv::v_check_all(cv::v_min(cv::v_min(v0, v1), v2) > light)) {
                cv::v_store(out + x, cv::v_setzero_u8());
                continue;
            }
            cv::v_uint8x16 b, g, r;
            cv::v_load_deinterleave(in + 3 * x, b, g, r);
            cv::v_uint16x8 b0, b1, g0, g1, r0, r1;
            cv::v_expand(b, b0, b1);
            cv::v_expand(g, g0, g1);
            cv::v_expand(r, r0, r1);
            // All ones where the sum is below limit + 1; packing saturates them to 255.
            const cv::v_uint8x16 dark = cv::v_pack(cv::v_reinterpret_as_u16(b0 + g0 + r0 < bound),
                                                   cv::v_reinterpret_as_u16(b1 + g1 + r1 < bound));
            cv::v_store(out + x, dark);
            if (cv::v_check_any(dark)) widenSpan(span, x, x + 16);
        }
#endif
        for (; x < image.width; ++x) {
            const uint8_t* p = in + 3 * x;
            out[x] = (p[0] + p[1] + p[2] <= limit) ? 255 : 0;
            if (out[x] != 0) widenSpan(span, x, x + 1);
        }
        out[0] = out[image.width - 1] = 0;
    }
}

// 2. Components as runs of dark pixels: each row's runs are joined to the runs above that touch them
// (8-connectivity) by union-find, the earliest run being each component's root. Labelling only the
// dark pixels this way costs a fraction of a full label image with statistics, which spends most of
// its time on the background.
struct Run {
    int y, left, right;  // right inclusive
};

struct Component {
    int area = 0;
    int64_t sumX = 0, sumY = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    int firstRun = 0;  // its top row's leftmost run
};

int findRoot(std::vector<int>& parent, int i) {
    while (parent[static_cast<size_t>(i)] != i) {
        parent[static_cast<size_t>(i)] = parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
        i = parent[static_cast<size_t>(i)];
    }
    return i;
}

// Components in the order of their first pixel in a raster scan.
void findComponents(const cv::Mat& mask, const std::vector<RowSpan>& spans, std::vector<Run>& runs,
                    std::vector<Component>& components) {
    runs.clear();
    components.clear();
    std::vector<int> parent;
    int previousStart = 0, previousEnd = 0;  // the row above's runs
    for (int y = 0; y < mask.rows; ++y) {
        const uint8_t* row = mask.ptr<uint8_t>(y);
        const int start = static_cast<int>(runs.size());
        const RowSpan& span = spans[static_cast<size_t>(y)];
        for (int x = span.from; x < span.to;) {
            // Skip background 32 or 8 pixels at a time.
            uint64_t word[4];
            if (x + 32 <= mask.cols &&
                (std::memcpy(word, row + x, 32), (word[0] | word[1] | word[2] | word[3]) == 0)) {
                x += 32;
                continue;
            }
            if (x + 8 <= mask.cols && (std::memcpy(word, row + x, 8), word[0] == 0)) {
                x += 8;
                continue;
            }
            if (row[x] == 0) {
                ++x;
                continue;
            }
            const int left = x;
            while (x < mask.cols && row[x] != 0) ++x;
            runs.push_back({y, left, x - 1});
        }
        const int end = static_cast<int>(runs.size());
        int above = previousStart;
        for (int i = start; i < end; ++i) {
            parent.push_back(i);
            const Run& run = runs[static_cast<size_t>(i)];
            while (above < previousEnd && runs[static_cast<size_t>(above)].right < run.left - 1) ++above;
            for (int j = above; j < previousEnd && runs[static_cast<size_t>(j)].left <= run.right + 1; ++j) {
                const int a = findRoot(parent, i), b = findRoot(parent, j);
                if (a < b) parent[static_cast<size_t>(b)] = a;
                if (b < a) parent[static_cast<size_t>(a)] = b;
            }
        }
        previousStart = start;
        previousEnd = end;
    }

    std::vector<int> index(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        const int root = findRoot(parent, static_cast<int>(i));
        const Run& run = runs[i];
        if (root == static_cast<int>(i)) {
            index[i] = static_cast<int>(components.size());
            Component c;
            c.left = run.left;
            c.right = run.right;
            c.top = c.bottom = run.y;
            c.firstRun = root;
            components.push_back(c);
        } else {
            index[i] = index[static_cast<size_t>(root)];
        }
        Component& c = components[static_cast<size_t>(index[i])];
        const int length = run.right - run.left + 1;
        c.area += length;
        c.sumX += static_cast<int64_t>(run.left + run.right) * length / 2;
        c.sumY += static_cast<int64_t>(run.y) * length;
        c.left = std::min(c.left, run.left);
        c.right = std::max(c.right, run.right);
        c.bottom = run.y;
    }
}

// 3. Moore tracing of the outer boundary from the leftmost pixel of the top row, with the region
// on the right-hand side, so the contour runs clockwise on screen. Every dark pixel next to the
// component belongs to it (8-connectivity), so the mask alone tells it apart.
bool traceContour(const cv::Mat& mask, int startX, int startY, int maxPoints,
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
            if (mask.at<uint8_t>(ny, nx) != 0) {
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
        if (!findVertices(c, 0, middle, threshold, low) || !findVertices(c, middle, v, threshold, high))
            return false;
        if (low.size() != 1 || high.size() != 1) return false;
        const int found[4] = {0, low[0], high[0], v};
        std::copy(found, found + 4, corner);
        return true;
    }
    if (first.empty() && second.size() > 1) {
        std::vector<int> low, high;
        const int middle = (v + n) / 2;
        if (!findVertices(c, v, middle, threshold, low) || !findVertices(c, middle, n, threshold, high))
            return false;
        if (low.size() != 1 || high.size() != 1) return false;
        const int found[4] = {0, v, low[0], high[0]};
        std::copy(found, found + 4, corner);
        return true;
    }
    return false;
}

bool findSquaresIn(const cv::Mat& mask, const std::vector<RowSpan>& spans,
                   std::vector<SquareCandidate>& squares, const SquareFinderLimits& limits);

// A closed contour (last point = first) that is a square but for a notch in one side: its convex hull
// with four clear corners, walked pixel by pixel from one corner, becomes the square's outline. The
// frame must still cover most of its ring, so a ragged or thin shape is not taken.
bool bridgeNotch(const std::vector<ContourPoint>& contour, int area, SquareCandidate& square) {
    std::vector<cv::Point> points;
    points.reserve(contour.size());
    for (const ContourPoint& p : contour) points.emplace_back(p.x, p.y);
    points.pop_back();
    std::vector<cv::Point> hull, quad;
    cv::convexHull(points, hull);
    const double perimeter = cv::arcLength(hull, true);
    cv::approxPolyDP(hull, quad, 0.04 * perimeter, true);
    if (quad.size() != 4 || !cv::isContourConvex(quad)) return false;
    const double quadArea = cv::contourArea(quad);
    double shortest = 1e9, longest = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double side = cv::norm(quad[static_cast<size_t>((i + 1) % 4)] - quad[static_cast<size_t>(i)]);
        shortest = std::min(shortest, side);
        longest = std::max(longest, side);
    }
    // A marker's frame covers three quarters of its square; a notch takes a little of that.
    if (shortest < 8.0 || longest > 4.0 * shortest || area < 0.5 * quadArea || area > 0.9 * quadArea)
        return false;
    // The outline runs the same way round as the contour: clockwise on screen (positive area with y down).
    if (cv::contourArea(quad, true) < 0) std::reverse(quad.begin(), quad.end());
    square.contour.clear();
    for (int i = 0; i < 4; ++i) {
        square.corner[i] = static_cast<int>(square.contour.size());
        const cv::Point a = quad[static_cast<size_t>(i)], b = quad[static_cast<size_t>((i + 1) % 4)];
        const int steps = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
        for (int k = 0; k < steps; ++k)
            square.contour.push_back(
                {a.x + static_cast<int>(std::lround(static_cast<double>(k) * (b.x - a.x) / steps)),
                 a.y + static_cast<int>(std::lround(static_cast<double>(k) * (b.y - a.y) / steps))});
    }
    square.contour.push_back(square.contour.front());
    square.bridged = true;
    return true;
}

}  // namespace

bool findSquares(const ImageView& image, int threshold, std::vector<SquareCandidate>& squares,
                 const SquareFinderLimits& limits) {
    squares.clear();
    if (image.pixels == nullptr || image.width < 8 || image.height < 8 || image.stride < 3 * image.width)
        return false;
    // 1. Dark pixels.
    cv::Mat mask;
    std::vector<RowSpan> spans;
    binarise(image, threshold, mask, spans);
    return findSquaresIn(mask, spans, squares, limits);
}

bool findSquaresInMask(const MaskView& view, std::vector<SquareCandidate>& squares,
                       const SquareFinderLimits& limits) {
    squares.clear();
    if (view.pixels == nullptr || view.width < 8 || view.height < 8 || view.stride < view.width) return false;
    cv::Mat mask(view.height, view.width, CV_8U);
    // Every row is searched whole.
    const std::vector<RowSpan> spans(static_cast<size_t>(view.height), RowSpan{0, view.width});
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* in = view.pixels + static_cast<size_t>(y) * view.stride;
        uint8_t* out = mask.ptr<uint8_t>(y);
        for (int x = 0; x < view.width; ++x) out[x] = in[x] != 0 ? 255 : 0;
        out[0] = out[view.width - 1] = 0;
    }
    mask.row(0).setTo(0);
    mask.row(view.height - 1).setTo(0);
    return findSquaresIn(mask, spans, squares, limits);
}

namespace {

// 2-7. Components of a mask whose border is background, and the squares among them.
bool findSquaresIn(const cv::Mat& mask, const std::vector<RowSpan>& spans,
                   std::vector<SquareCandidate>& squares, const SquareFinderLimits& limits) {
    // 2. Dark pixels' 8-connected components.
    std::vector<Run> runs;
    std::vector<Component> components;
    findComponents(mask, spans, runs, components);

    std::vector<ContourPoint> contour;
    for (const Component& component : components) {
        if (static_cast<int>(squares.size()) >= limits.maxCandidates) break;
        if (component.area < limits.minArea || component.area > limits.maxArea) continue;
        // Frames cut by the image edge give no usable square.
        if (component.left <= 1 || component.right >= mask.cols - 2 || component.top <= 1 ||
            component.bottom >= mask.rows - 2)
            continue;
        const Run& first = runs[static_cast<size_t>(component.firstRun)];
        if (!traceContour(mask, first.left, first.y, limits.maxContour, contour)) continue;

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
        if (!findCorners(contour, component.area, square.corner)) {
            if (!limits.bridgeNotches || !bridgeNotch(contour, component.area, square)) continue;
        } else {
            square.contour = contour;
        }
        square.area = component.area;
        square.pos[0] = static_cast<double>(component.sumX) / component.area;
        square.pos[1] = static_cast<double>(component.sumY) / component.area;
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

}  // namespace
}  // namespace kelmo
