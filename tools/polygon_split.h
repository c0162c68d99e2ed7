#pragma once
// Triangles of one polygon face in 3D, convex or not, by ear clipping in the face's own plane.
#include <array>
#include <vector>

namespace kelmo {

using Point3 = std::array<double, 3>;
using CornerTriangle = std::array<int, 3>;  // indices into the polygon's corners

// corners.size() − 2 triangles in the polygon's own turning sense, so their normals face the way the
// polygon's does. A self-crossing or degenerate polygon still gives that many triangles, some thin.
std::vector<CornerTriangle> splitPolygon(const std::vector<Point3>& corners);

// True when the quadrilateral's split along corners 0 and 2 leaves the face (corner 1 or 3 bends
// inwards): the triangles (0, 1, 2) and (0, 2, 3) then cover ground outside it.
bool quadSplitFallsOutside(const std::vector<Point3>& corners);

}  // namespace kelmo
