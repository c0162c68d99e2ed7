// Squares, their sub-pixel corners and the pose, on images drawn here with exactly known geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tracking/marker_edges.h"
#include "tracking/marker_pose.h"
#include "tracking/square_finder.h"

namespace kelmo {
namespace {

struct Vec2 {
    double x, y;
};

// A camera without lens distortion, 320 × 240.
CameraParam pinhole() {
    CameraParam p;
    p.xsize = 320;
    p.ysize = 240;
    const double mat[3][4] = {{400, 0, 160, 0}, {0, 400, 120, 0}, {0, 0, 1, 0}};
    std::copy(&mat[0][0], &mat[0][0] + 12, &p.mat[0][0]);
    p.distFactor[0] = 160;
    p.distFactor[1] = 120;
    p.distFactor[2] = 0.0;
    p.distFactor[3] = 1.0;
    return p;
}

// White image with a dark convex quadrilateral (corners clockwise on screen), edges anti-aliased by
// 8 × 8 samples per pixel; pixel (x, y) covers [x − ½, x + ½] × [y − ½, y + ½].
struct Canvas {
    int width = 320, height = 240;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(320 * 240 * 3, 230);
    ImageView view() const { return ImageView{width, height, width * 3, pixels.data()}; }

    static bool inside(const std::vector<Vec2>& q, double x, double y) {
        for (size_t i = 0; i < q.size(); ++i) {
            const Vec2 a = q[i], b = q[(i + 1) % q.size()];
            if ((b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x) < 0) return false;
        }
        return true;
    }
    void fill(const std::vector<Vec2>& q, uint8_t level) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                int hits = 0;
                for (int sy = 0; sy < 8; ++sy)
                    for (int sx = 0; sx < 8; ++sx)
                        hits += inside(q, x - 0.5 + (sx + 0.5) / 8, y - 0.5 + (sy + 0.5) / 8);
                if (hits == 0) continue;
                uint8_t* p = &pixels[static_cast<size_t>((y * width + x) * 3)];
                for (int k = 0; k < 3; ++k)
                    p[k] = static_cast<uint8_t>(std::lround((p[k] * (64 - hits) + level * hits) / 64.0));
            }
    }
};

// A marker-like frame: the outer square dark, its central half light again.
void drawFrame(Canvas& canvas, const std::vector<Vec2>& outer) {
    canvas.fill(outer, 20);
    std::vector<Vec2> inner;
    Vec2 c{0, 0};
    for (const Vec2& v : outer) c.x += v.x / 4, c.y += v.y / 4;
    for (const Vec2& v : outer) inner.push_back({c.x + 0.5 * (v.x - c.x), c.y + 0.5 * (v.y - c.y)});
    canvas.fill(inner, 230);
}

double nearestCornerError(const double vertex[4][2], const std::vector<Vec2>& truth) {
    double worst = 0.0;
    for (const Vec2& t : truth) {
        double best = 1e9;
        for (int i = 0; i < 4; ++i) best = std::min(best, std::hypot(vertex[i][0] - t.x, vertex[i][1] - t.y));
        worst = std::max(worst, best);
    }
    return worst;
}

TEST(SquareFinder, FindsAFrameWithSubPixelCornersClockwise) {
    Canvas canvas;
    const std::vector<Vec2> outer = {{100.3, 60.7}, {214.2, 72.4}, {205.6, 181.1}, {92.8, 170.2}};
    drawFrame(canvas, outer);
    std::vector<SquareCandidate> squares;
    ASSERT_TRUE(findSquares(canvas.view(), 100, squares));
    ASSERT_EQ(squares.size(), 1u);
    const SquareCandidate& s = squares[0];
    EXPECT_GT(s.area, 1000);
    EXPECT_EQ(s.contour.front().x, s.contour.back().x);
    EXPECT_EQ(s.corner[0], 0);
    EXPECT_LT(s.corner[1], s.corner[2]);
    EXPECT_LT(s.corner[2], s.corner[3]);

    double line[4][3], vertex[4][2];
    ASSERT_TRUE(fitSquareEdges(canvas.view(), pinhole(), s, line, vertex));
    EXPECT_LT(nearestCornerError(vertex, outer), 0.05);
    // Clockwise on screen (y down): the signed area is positive.
    double area2 = 0.0;
    for (int i = 0; i < 4; ++i)
        area2 += vertex[i][0] * vertex[(i + 1) % 4][1] - vertex[(i + 1) % 4][0] * vertex[i][1];
    EXPECT_GT(area2, 0.0);
    // Each side's line passes through its two corners.
    for (int i = 0; i < 4; ++i)
        for (int k : {i, (i + 1) % 4})
            EXPECT_NEAR(line[i][0] * vertex[k][0] + line[i][1] * vertex[k][1] + line[i][2], 0.0, 1e-6);
}

TEST(SquareFinder, RejectsWhatIsNotAWholeSquare) {
    Canvas canvas;
    drawFrame(canvas, {{0.0, 100.0}, {60.0, 100.0}, {60.0, 160.0}, {0.0, 160.0}});  // cut by the image edge
    canvas.fill({{150, 20}, {161, 20}, {161, 29}, {150, 29}}, 10);                  // small: 80 dark pixels
    canvas.fill({{200, 150}, {290, 150}, {245, 220}}, 15);                          // a triangle
    canvas.fill({{120, 150}, {150, 140}, {170, 160}, {160, 200}, {130, 205}, {110, 180}}, 15);  // a hexagon
    std::vector<SquareCandidate> squares;
    ASSERT_TRUE(findSquares(canvas.view(), 100, squares));
    // The small filled square is a square, all the others are not.
    ASSERT_EQ(squares.size(), 1u);
    EXPECT_NEAR(squares[0].pos[0], 155, 1.0);

    // An empty (light) image and a too small one.
    Canvas blank;
    EXPECT_TRUE(findSquares(blank.view(), 100, squares));
    EXPECT_TRUE(squares.empty());
    EXPECT_FALSE(findSquares(ImageView{4, 4, 12, blank.pixels.data()}, 100, squares));
}

TEST(SquareFinder, ThresholdCountsTheSumOfTheThreeChannels) {
    Canvas canvas;
    const std::vector<Vec2> outer = {{100, 60}, {200, 60}, {200, 160}, {100, 160}};
    canvas.fill(outer, 100);  // exactly 3·100: dark, inclusive
    std::vector<SquareCandidate> squares;
    ASSERT_TRUE(findSquares(canvas.view(), 100, squares));
    EXPECT_EQ(squares.size(), 1u);
    ASSERT_TRUE(findSquares(canvas.view(), 99, squares));
    EXPECT_EQ(squares.size(), 0u);
}

TEST(SquareFinder, AFrameInsideAFrameKeepsOnlyTheLarger) {
    Canvas canvas;
    drawFrame(canvas, {{60, 20}, {260, 20}, {260, 220}, {60, 220}});
    canvas.fill({{140, 100}, {180, 100}, {180, 140}, {140, 140}}, 20);  // a dark square in the light middle
    std::vector<SquareCandidate> squares;
    ASSERT_TRUE(findSquares(canvas.view(), 100, squares));
    ASSERT_EQ(squares.size(), 1u);
    EXPECT_GT(squares[0].area, 20000);
}

// Projects marker corners through a known pose and checks that the pose comes back.
TEST(MarkerPose, RecoversAKnownPoseFromExactCorners) {
    const CameraParam cam = pinhole();
    // Rotated 30° about x and 20° about z, 500 units in front of the camera.
    const double ax = 30 * M_PI / 180, az = 20 * M_PI / 180;
    const double rx[3][3] = {{1, 0, 0}, {0, std::cos(ax), -std::sin(ax)}, {0, std::sin(ax), std::cos(ax)}};
    const double rz[3][3] = {{std::cos(az), -std::sin(az), 0}, {std::sin(az), std::cos(az), 0}, {0, 0, 1}};
    double truth[3][4] = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) truth[i][j] += rx[i][k] * rz[k][j];
    truth[0][3] = 20;
    truth[1][3] = -15;
    truth[2][3] = 500;

    const double w = 80.0, center[2] = {10.0, -5.0};
    const double corners[4][2] = {{-w / 2, w / 2}, {w / 2, w / 2}, {w / 2, -w / 2}, {-w / 2, -w / 2}};
    for (int dir = 0; dir < 4; ++dir) {
        MarkerInfo marker;
        marker.dir = dir;
        for (int k = 0; k < 4; ++k) {
            const double X = corners[k][0] + center[0], Y = corners[k][1] + center[1];
            double c[3];
            for (int r = 0; r < 3; ++r) c[r] = truth[r][0] * X + truth[r][1] * Y + truth[r][3];
            double* v = marker.vertex[(4 - dir + k) % 4];
            v[0] = (cam.mat[0][0] * c[0] + cam.mat[0][2] * c[2]) / c[2];
            v[1] = (cam.mat[1][1] * c[1] + cam.mat[1][2] * c[2]) / c[2];
        }
        double conv[3][4];
        const double error = markerTransform(cam, marker, center, w, conv);
        ASSERT_GE(error, 0.0) << "dir " << dir;
        EXPECT_LT(error, 1e-8);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(conv[r][c], truth[r][c], c == 3 ? 1e-5 : 1e-8) << r << c;
    }
}

TEST(MarkerPose, CameraPositionAndModelviewFollowTheTransform) {
    // Camera straight above the marker at height 300, image rows running down the marker's y axis.
    const double conv[3][4] = {{1, 0, 0, 5}, {0, -1, 0, 7}, {0, 0, -1, 300}};
    double position[3];
    cameraPositionInMarker(conv, position);
    EXPECT_NEAR(position[0], -5, 1e-12);
    EXPECT_NEAR(position[1], 7, 1e-12);
    EXPECT_NEAR(position[2], 300, 1e-12);

    double gl[16];
    modelviewFromTransform(conv, gl);
    const double expected[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 5, 7, 300, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(gl[i], expected[i]) << i;

    MarkerInfo degenerate;
    degenerate.dir = 0;  // all corners at one point
    double untouched[3][4] = {};
    const double center[2] = {0.0, 0.0};
    EXPECT_EQ(markerTransform(pinhole(), degenerate, center, 80, untouched), -1.0);
    EXPECT_EQ(untouched[2][3], 0.0);
}

}  // namespace
}  // namespace kelmo
