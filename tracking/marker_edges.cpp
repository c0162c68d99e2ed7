#include "tracking/marker_edges.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tracking/bilinear.h"

namespace kelmo {
namespace {

struct Point {
    double x, y;
};

// Each side is moved onto the image's edge twice. The first pass only has to come close, so a few
// coarse profiles do; the second one's profiles decide the result.
struct EdgePass {
    double step;      // ideal pixels between brightness samples across the edge
    int maxProfiles;  // per side
};
constexpr EdgePass kCoarsePass{0.5, 16};
constexpr EdgePass kFinePass{0.25, 48};
constexpr int kContourPointsPerSide = 32;  // at least, for the first fit of a side
// A profile whose outer quarter still changes by this share of its contrast has not reached the
// flat on both sides of the edge.
constexpr double kStillClimbing = 0.1;
constexpr double kMaxReachShare = 0.15;  // of the shortest side: a blurred edge's profile stays on the frame
constexpr double kMinContrast = 12.0;    // grey levels between the two sides of a usable edge profile

// Total least squares: the line through the points' mean along their principal direction.
bool fitLine(const std::vector<Point>& points, double line[3]) {
    if (points.size() < 2) return false;
    double mx = 0.0, my = 0.0;
    for (const Point& p : points) mx += p.x, my += p.y;
    mx /= points.size();
    my /= points.size();
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (const Point& p : points) {
        sxx += (p.x - mx) * (p.x - mx);
        sxy += (p.x - mx) * (p.y - my);
        syy += (p.y - my) * (p.y - my);
    }
    if (sxx + syy <= 0.0) return false;
    // Direction of largest spread; the normal is perpendicular to it.
    const double angle = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    const double a = -std::sin(angle), b = std::cos(angle);
    line[0] = a;
    line[1] = b;
    line[2] = -(a * mx + b * my);
    return true;
}

bool intersect(const double l1[3], const double l2[3], double out[2]) {
    const double det = l1[0] * l2[1] - l2[0] * l1[1];
    if (std::fabs(det) < 1e-4) return false;
    out[0] = (l1[1] * l2[2] - l2[1] * l1[2]) / det;
    out[1] = (l2[0] * l1[2] - l1[0] * l2[2]) / det;
    return true;
}

bool cornersFromLines(const double line[4][3], double vertex[4][2]) {
    for (int i = 0; i < 4; ++i)
        if (!intersect(line[(i + 3) % 4], line[i], vertex[i])) return false;
    return true;
}

constexpr int kMaxStepsEachWay = 24;

// Brightness at count = 2·steps + 1 points `step` apart across the side, centred on p (ideal pixels).
void takeProfile(const ImageView& image, const CameraParam& param, Point p, Point normal, int steps,
                 double step, double profile[]) {
    // The lens moves points along a cubic, so over a profile a few pixels long a parabola through its
    // two ends and its middle places the samples to a thousandth of a pixel, for three lens
    // corrections instead of one per sample.
    const double half = steps * step;
    Point start, middle, end;
    idealToObserved(param, p.x - half * normal.x, p.y - half * normal.y, start.x, start.y);
    idealToObserved(param, p.x, p.y, middle.x, middle.y);
    idealToObserved(param, p.x + half * normal.x, p.y + half * normal.y, end.x, end.y);
    const Point slope{0.5 * (end.x - start.x), 0.5 * (end.y - start.y)};
    const Point bend{0.5 * (end.x + start.x) - middle.x, 0.5 * (end.y + start.y) - middle.y};
    const double perStep = 1.0 / steps;
    for (int k = 0; k <= 2 * steps; ++k) {
        const double t = (k - steps) * perStep;  // -1 at the start, 1 at the end
        profile[k] =
            sampleGrey(image, middle.x + t * (slope.x + t * bend.x), middle.y + t * (slope.y + t * bend.y));
    }
}

// Where the side crosses the brightness profile taken across it at p (ideal pixels): the dark frame
// on one end, the light paper on the other. The edge lies as far from the light end as the profile's
// area says: a camera pixel (and any blur) keeps the amount of light, so the estimate is exact for a
// straight edge however soft it looks, as long as the profile reaches past the soft part. A profile
// whose ends still climb is taken again twice as long, up to maxReach. False when the profile shows
// no clear edge.
bool edgeCrossing(const ImageView& image, const CameraParam& param, Point p, Point normal, double reach,
                  double maxReach, double step, Point& edge) {
    double profile[2 * kMaxStepsEachWay + 1];
    for (;;) {
        const double sampleStep = std::max(step, reach / kMaxStepsEachWay);
        const int steps = std::clamp(static_cast<int>(reach / sampleStep), 1, kMaxStepsEachWay);
        const int count = 2 * steps + 1;
        takeProfile(image, param, p, normal, steps, sampleStep, profile);
        const double first = 0.5 * (profile[0] + profile[1]);
        const double last = 0.5 * (profile[count - 1] + profile[count - 2]);
        const double contrast = std::fabs(last - first);
        if (contrast < kMinContrast) return false;
        const int quarter = std::max(steps / 2, 1);
        if (reach < maxReach && std::min(std::fabs(profile[quarter] - profile[0]),
                                         std::fabs(profile[count - 1] - profile[count - 1 - quarter])) >
                                    kStillClimbing * contrast) {
            reach = std::min(2.0 * reach, maxReach);
            continue;
        }
        // Share of light along the profile (trapezoid rule), from the light end.
        const double perLevel = 1.0 / (last - first);
        double share = 0.0, ends = 0.0;
        for (int k = 0; k < count; ++k) {
            const double level = std::clamp((profile[k] - first) * perLevel, 0.0, 1.0);
            share += level;
            if (k == 0 || k == count - 1) ends += level;
        }
        const double light = (share - 0.5 * ends) * sampleStep;
        // light is the part of the profile on the "last" side of the edge.
        const double s = steps * sampleStep - light;
        if (std::fabs(s) > reach) return false;
        edge = {p.x + s * normal.x, p.y + s * normal.y};
        return true;
    }
}

// Moves each side onto the brightness edge near the current corners and refits it.
bool refineSides(const ImageView& image, const CameraParam& param, const EdgePass& pass, double line[4][3],
                 double vertex[4][2]) {
    double shortest = 1e9;
    for (int i = 0; i < 4; ++i)
        shortest = std::min(shortest, std::hypot(vertex[(i + 1) % 4][0] - vertex[i][0],
                                                 vertex[(i + 1) % 4][1] - vertex[i][1]));
    // Stay within the black frame (a quarter of the side) on the inside.
    const double reach = std::clamp(0.12 * shortest, 1.0, 3.0);
    const double maxReach = std::max(reach, kMaxReachShare * shortest);
    std::vector<Point> points;
    for (int i = 0; i < 4; ++i) {
        const Point a{vertex[i][0], vertex[i][1]};
        const Point b{vertex[(i + 1) % 4][0], vertex[(i + 1) % 4][1]};
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        if (length < 4.0) return false;
        const Point normal{-(b.y - a.y) / length, (b.x - a.x) / length};
        const int samples = std::clamp(static_cast<int>(length / 2.0), 6, pass.maxProfiles);
        points.clear();
        for (int k = 0; k < samples; ++k) {
            // Keep clear of the corners, where two edges blur into each other.
            const double t = 0.1 + 0.8 * (k + 0.5) / samples;
            Point edge;
            if (edgeCrossing(image, param, {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}, normal, reach,
                             maxReach, pass.step, edge))
                points.push_back(edge);
        }
        if (static_cast<int>(points.size()) < samples / 2) continue;  // keep the contour's fit
        double fitted[3];
        if (!fitLine(points, fitted)) continue;
        // One pass against outliers (a shadow, a finger): drop points far from the first fit.
        std::vector<double> residual;
        for (const Point& p : points)
            residual.push_back(std::fabs(fitted[0] * p.x + fitted[1] * p.y + fitted[2]));
        std::vector<double> sorted = residual;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double limit = std::max(0.3, 3.0 * sorted[sorted.size() / 2]);
        std::vector<Point> inliers;
        for (size_t k = 0; k < points.size(); ++k)
            if (residual[k] <= limit) inliers.push_back(points[k]);
        if (fitLine(inliers, fitted)) std::copy(fitted, fitted + 3, line[i]);
    }
    return cornersFromLines(line, vertex);
}

}  // namespace

bool fitSquareEdges(const ImageView& image, const CameraParam& param, const SquareCandidate& square,
                    double line[4][3], double vertex[4][2]) {
    const std::vector<ContourPoint>& contour = square.contour;
    const int n = static_cast<int>(contour.size()) - 1;
    std::vector<Point> points;
    for (int i = 0; i < 4; ++i) {
        const int from = square.corner[i];
        const int to = i < 3 ? square.corner[i + 1] : n;
        // Leave out 5% at both ends, where the side bends into the next one.
        const double trim = 0.05 * (to - from + 1) + 0.5;
        const int start = static_cast<int>(from + trim);
        const int end = static_cast<int>(to - trim);
        points.clear();
        // The edge passes move the sides onto the image's edges, so this first fit needs no more
        // than a few dozen of the side's pixels.
        const int stride = std::max(1, (end - start + 1) / kContourPointsPerSide);
        for (int k = start; k <= end; k += stride) {
            Point p;
            observedToIdeal(param, contour[static_cast<size_t>(k)].x, contour[static_cast<size_t>(k)].y, p.x,
                            p.y);
            points.push_back(p);
        }
        if (!fitLine(points, line[i])) return false;
    }
    if (!cornersFromLines(line, vertex)) return false;
    return refineSides(image, param, kCoarsePass, line, vertex) &&
           refineSides(image, param, kFinePass, line, vertex);
}

}  // namespace kelmo
