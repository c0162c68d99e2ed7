#include "tracking/marker_edges.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelmo {
namespace {

struct Point {
    double x, y;
};

constexpr int kRefinePasses = 2;
constexpr double kProfileStep = 0.25;  // ideal pixels between brightness samples across an edge
constexpr double kMinContrast = 12.0;  // grey levels between the two sides of a usable edge profile

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

// The mean of blue, green and red at (x, y) in observed pixels, as sampleGrey reads it: bilinear is
// linear, so adding each pixel's channels first gives the same value for a third of the arithmetic.
// The profiles below read this tens of thousands of times a frame.
inline double greyAt(const ImageView& image, double x, double y) {
    x = std::clamp(x, 0.0, image.width - 1.0);
    y = std::clamp(y, 0.0, image.height - 1.0);
    const int x0 = std::min(static_cast<int>(x), std::max(image.width - 2, 0));
    const int y0 = std::min(static_cast<int>(y), std::max(image.height - 2, 0));
    const int right = x0 + 1 < image.width ? 3 : 0;
    const int down = y0 + 1 < image.height ? image.stride : 0;
    const uint8_t* p = image.pixels + static_cast<size_t>(y0) * image.stride + 3 * x0;
    const int a = p[0] + p[1] + p[2];
    const int b = p[right] + p[right + 1] + p[right + 2];
    const int c = p[down] + p[down + 1] + p[down + 2];
    const int d = p[down + right] + p[down + right + 1] + p[down + right + 2];
    const double fx = x - x0, fy = y - y0;
    const double top = a + (b - a) * fx, bottom = c + (d - c) * fx;
    return (top + (bottom - top) * fy) * (1.0 / 3.0);
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

// Where the side crosses the brightness profile taken across it at p (ideal pixels): the dark frame
// on one end, the light paper on the other. The edge lies as far from the light end as the profile's
// area says: a camera pixel (and any blur) keeps the amount of light, so the estimate is exact for a
// straight edge however soft it looks. False when the profile shows no clear edge.
bool edgeCrossing(const ImageView& image, const CameraParam& param, Point p, Point normal, double reach,
                  Point& edge) {
    const int steps = static_cast<int>(reach / kProfileStep);
    double profile[64];
    const int count = std::min(2 * steps + 1, 64);
    for (int k = 0; k < count; ++k) {
        const double s = (k - steps) * kProfileStep;
        double ox, oy;
        idealToObserved(param, p.x + s * normal.x, p.y + s * normal.y, ox, oy);
        profile[k] = greyAt(image, ox, oy);
    }
    const double first = 0.5 * (profile[0] + profile[1]);
    const double last = 0.5 * (profile[count - 1] + profile[count - 2]);
    if (std::fabs(last - first) < kMinContrast) return false;
    // Share of light along the profile (trapezoid rule), from the light end.
    double light = 0.0;
    for (int k = 0; k + 1 < count; ++k) {
        const double a = std::clamp((profile[k] - first) / (last - first), 0.0, 1.0);
        const double b = std::clamp((profile[k + 1] - first) / (last - first), 0.0, 1.0);
        light += 0.5 * (a + b) * kProfileStep;
    }
    const double span = (count - 1) * kProfileStep;
    // light is the part of the span on the "last" side of the edge.
    const double s = -steps * kProfileStep + (span - light);
    if (std::fabs(s) > reach) return false;
    edge = {p.x + s * normal.x, p.y + s * normal.y};
    return true;
}

// Moves each side onto the brightness edge near the current corners and refits it.
bool refineSides(const ImageView& image, const CameraParam& param, double line[4][3], double vertex[4][2]) {
    double shortest = 1e9;
    for (int i = 0; i < 4; ++i)
        shortest = std::min(shortest, std::hypot(vertex[(i + 1) % 4][0] - vertex[i][0],
                                                 vertex[(i + 1) % 4][1] - vertex[i][1]));
    // Stay within the black frame (a quarter of the side) on the inside.
    const double reach = std::clamp(0.12 * shortest, 1.0, 3.0);
    std::vector<Point> points;
    for (int i = 0; i < 4; ++i) {
        const Point a{vertex[i][0], vertex[i][1]};
        const Point b{vertex[(i + 1) % 4][0], vertex[(i + 1) % 4][1]};
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        if (length < 4.0) return false;
        const Point normal{-(b.y - a.y) / length, (b.x - a.x) / length};
        const int samples = std::clamp(static_cast<int>(length / 2.0), 6, 48);
        points.clear();
        for (int k = 0; k < samples; ++k) {
            // Keep clear of the corners, where two edges blur into each other.
            const double t = 0.1 + 0.8 * (k + 0.5) / samples;
            Point edge;
            if (edgeCrossing(image, param, {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}, normal, reach,
                             edge))
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
        for (int k = start; k <= end; ++k) {
            Point p;
            observedToIdeal(param, contour[static_cast<size_t>(k)].x, contour[static_cast<size_t>(k)].y, p.x,
                            p.y);
            points.push_back(p);
        }
        if (!fitLine(points, line[i])) return false;
    }
    if (!cornersFromLines(line, vertex)) return false;
    for (int pass = 0; pass < kRefinePasses; ++pass)
        if (!refineSides(image, param, line, vertex)) return false;
    return true;
}

}  // namespace kelmo
