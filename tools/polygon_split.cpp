// Ear clipping: the corners are laid into the face's plane (its Newell normal gives the plane and the
// turning sense), then convex corners whose triangle holds no other corner are cut off one by one.
#include "tools/polygon_split.h"

#include <algorithm>
#include <cmath>

namespace kelmo {
namespace {

struct Point2 {
    double x, y;
};

Point3 cross(const Point3& a, const Point3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const Point3& a, const Point3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The corners in a 2D frame of the face's plane in which the polygon turns counter-clockwise; false
// when the polygon has no area to define a plane.
bool layIntoPlane(const std::vector<Point3>& corners, std::vector<Point2>& out, double& areaScale) {
    const size_t n = corners.size();
    Point3 normal = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        const Point3& a = corners[i];
        const Point3& b = corners[(i + 1) % n];
        normal[0] += (a[1] - b[1]) * (a[2] + b[2]);
        normal[1] += (a[2] - b[2]) * (a[0] + b[0]);
        normal[2] += (a[0] - b[0]) * (a[1] + b[1]);
    }
    const double length = std::sqrt(dot(normal, normal));
    if (!(length > 0) || !std::isfinite(length)) return false;
    for (double& c : normal) c /= length;
    // u: perpendicular to the normal, taken from the axis the normal leans on least; v = n × u.
    int least = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(normal[k]) < std::fabs(normal[least])) least = k;
    Point3 axis = {0, 0, 0};
    axis[least] = 1;
    Point3 u = cross(normal, axis);
    const double uLength = std::sqrt(dot(u, u));
    for (double& c : u) c /= uLength;
    const Point3 v = cross(normal, u);
    out.clear();
    double extent = 0;
    for (const Point3& p : corners) {
        out.push_back({dot(p, u), dot(p, v)});
        extent = std::max({extent, std::fabs(out.back().x), std::fabs(out.back().y)});
    }
    areaScale = extent * extent;
    return true;
}

// Twice the signed area of (a, b, c): positive when it turns counter-clockwise.
double turn(const Point2& a, const Point2& b, const Point2& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool same(const Point2& a, const Point2& b) { return a.x == b.x && a.y == b.y; }

// Inside or on the edge of the counter-clockwise triangle (a, b, c).
bool inTriangle(const Point2& p, const Point2& a, const Point2& b, const Point2& c, double eps) {
    return turn(a, b, p) >= -eps && turn(b, c, p) >= -eps && turn(c, a, p) >= -eps;
}

}  // namespace

std::vector<CornerTriangle> splitPolygon(const std::vector<Point3>& corners) {
    std::vector<CornerTriangle> triangles;
    const int n = static_cast<int>(corners.size());
    if (n < 3) return triangles;
    std::vector<Point2> p;
    double areaScale = 0;
    std::vector<int> left(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) left[static_cast<size_t>(i)] = i;
    if (!layIntoPlane(corners, p, areaScale)) {
        // No plane: a fan keeps the corners and the count.
        for (int i = 1; i + 1 < n; ++i) triangles.push_back({0, i, i + 1});
        return triangles;
    }
    const double eps = areaScale * 1e-12;
    while (left.size() > 3) {
        const size_t m = left.size();
        size_t cut = m;       // an ear
        size_t fallback = m;  // a corner on a straight run, else the first convex one
        for (size_t i = 0; i < m && cut == m; ++i) {
            const Point2& a = p[static_cast<size_t>(left[(i + m - 1) % m])];
            const Point2& b = p[static_cast<size_t>(left[i])];
            const Point2& c = p[static_cast<size_t>(left[(i + 1) % m])];
            const double t = turn(a, b, c);
            if (std::fabs(t) <= eps) {
                fallback = i;
                continue;
            }
            if (t < 0) continue;
            if (fallback == m) fallback = i;
            bool empty = true;
            for (size_t k = 0; k < m && empty; ++k) {
                if (k == i || k == (i + m - 1) % m || k == (i + 1) % m) continue;
                const Point2& q = p[static_cast<size_t>(left[k])];
                if (same(q, a) || same(q, b) || same(q, c)) continue;
                empty = !inTriangle(q, a, b, c, eps);
            }
            if (empty) cut = i;
        }
        if (cut == m) cut = fallback == m ? 0 : fallback;
        triangles.push_back({left[(cut + m - 1) % m], left[cut], left[(cut + 1) % m]});
        left.erase(left.begin() + static_cast<std::ptrdiff_t>(cut));
    }
    triangles.push_back({left[0], left[1], left[2]});
    return triangles;
}

bool quadSplitFallsOutside(const std::vector<Point3>& corners) {
    std::vector<Point2> p;
    double areaScale = 0;
    if (corners.size() != 4 || !layIntoPlane(corners, p, areaScale)) return false;
    const double eps = areaScale * 1e-12;
    return turn(p[0], p[1], p[2]) < -eps || turn(p[2], p[3], p[0]) < -eps;
}

}  // namespace kelmo
