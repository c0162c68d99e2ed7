// kelmo-demo-character: writes the demo's animated character into a folder: the documents
// stay000.mqo…, walk000.mqo… and run000.mqo…, one per animation frame, and the texture atlas
// character.tga with its alpha plane character_alpha.tga. Every run writes the same files.
//
// The figure is a big-headed kid in a striped shirt with a see-through cape, about 72 units tall,
// feet at y = 0, facing +z (documents are y-up; the loader turns +z into the marker's −y, the
// direction a heading of 0 walks in). Faces list their corners clockwise as seen from outside.
//
// Sections: 1 maths, 2 meshes, 3 texture atlas, 4 poses, 5 the posed figure, 6 files, 7 main.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tools/demo/output_argument.h"

namespace {

// ---- 1 maths ----------------------------------------------------------------------------------

constexpr double kPi = 3.14159265358979323846;

double deg(double degrees) { return degrees * kPi / 180.0; }

struct Vec2 {
    double x = 0.0, y = 0.0;
};

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalized(Vec3 a) { return a * (1.0 / std::sqrt(dot(a, a))); }

// Rotation; column c is where local axis c ends up.
struct Mat3 {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

Mat3 operator*(const Mat3& a, const Mat3& b) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

Vec3 operator*(const Mat3& a, Vec3 p) {
    return {a.m[0][0] * p.x + a.m[0][1] * p.y + a.m[0][2] * p.z,
            a.m[1][0] * p.x + a.m[1][1] * p.y + a.m[1][2] * p.z,
            a.m[2][0] * p.x + a.m[2][1] * p.y + a.m[2][2] * p.z};
}

// Right-handed turns about the axes. rotX(+a) tips the up axis forwards (+z) and a hanging limb
// backwards; rotY(+a) turns the left side (+x) backwards.
Mat3 rotX(double a) {
    Mat3 r;
    r.m[1][1] = std::cos(a), r.m[1][2] = -std::sin(a);
    r.m[2][1] = std::sin(a), r.m[2][2] = std::cos(a);
    return r;
}
Mat3 rotY(double a) {
    Mat3 r;
    r.m[0][0] = std::cos(a), r.m[0][2] = std::sin(a);
    r.m[2][0] = -std::sin(a), r.m[2][2] = std::cos(a);
    return r;
}
Mat3 rotZ(double a) {
    Mat3 r;
    r.m[0][0] = std::cos(a), r.m[0][1] = -std::sin(a);
    r.m[1][0] = std::sin(a), r.m[1][1] = std::cos(a);
    return r;
}

// A placed part: local point p lands at rotation * p + origin.
struct Frame {
    Mat3 rotation;
    Vec3 origin;
    Vec3 at(Vec3 p) const { return rotation * p + origin; }
    Frame then(const Frame& local) const { return {rotation * local.rotation, at(local.origin)}; }
};

Frame turned(const Mat3& r) { return {r, {}}; }
Frame moved(Vec3 t) { return {Mat3(), t}; }

// ---- 2 meshes ---------------------------------------------------------------------------------

enum Material { kSkin, kShirt, kTrousers, kBelt, kShoes, kHead, kCape, kMaterialCount };

constexpr int kAtlas = 128;  // texture edge, pixels

// A rectangle of the atlas, in pixels from the top-left corner of the picture.
struct Region {
    int x0, y0, w, h;
};
constexpr Region kFaceRegion{0, 0, 64, 64};
constexpr Region kSideRegion{64, 0, 64, 64};  // side of the head: front at the left edge
constexpr Region kHairRegion{0, 64, 32, 64};
constexpr Region kCapeRegion{32, 64, 32, 64};
constexpr Region kShirtRegion{64, 64, 64, 64};  // around the torso, front centre at the middle

struct MaterialSpec {
    const char* name;
    double r, g, b, a;
    double dif, amb, emi, spc, power;
    bool textured;
};

// Textured materials are white so that the picture shows its own colours.
constexpr MaterialSpec kMaterials[kMaterialCount] = {
    {"skin", 1.000, 0.820, 0.690, 1.0, 0.80, 0.60, 0.00, 0.15, 10.0, false},
    {"shirt", 1.000, 1.000, 1.000, 1.0, 0.80, 0.60, 0.00, 0.10, 5.0, true},
    {"trousers", 0.220, 0.300, 0.560, 1.0, 0.80, 0.60, 0.00, 0.10, 5.0, false},
    {"belt", 0.300, 0.190, 0.120, 1.0, 0.80, 0.60, 0.00, 0.30, 20.0, false},
    {"shoes", 0.820, 0.300, 0.180, 1.0, 0.80, 0.60, 0.00, 0.40, 30.0, false},
    {"head", 1.000, 1.000, 1.000, 1.0, 0.80, 0.60, 0.00, 0.15, 10.0, true},
    {"cape", 1.000, 1.000, 1.000, 1.0, 0.80, 0.70, 0.05, 0.20, 10.0, true},
};

const char* const kTextureFile = "character.tga";
const char* const kAlphaFile = "character_alpha.tga";

struct Corner {
    int vertex;
    Vec2 uv;  // written only for textured materials
};

struct Face {
    Material material;
    std::vector<Corner> corners;  // 3 or 4, clockwise seen from outside
};

struct Mesh {
    std::string name;
    std::vector<Vec3> vertices;
    std::vector<Face> faces;

    int add(Vec3 p) {
        vertices.push_back(p);
        return static_cast<int>(vertices.size()) - 1;
    }
};

// (s, t) in 0..1 across a region to texture coordinates; half a texel in from the edges so that
// linear filtering never reaches the neighbouring region. t = 0 is the region's top row.
Vec2 atlasUv(const Region& r, double s, double t) {
    return {(r.x0 + 0.5 + s * (r.w - 1)) / kAtlas, (r.y0 + 0.5 + t * (r.h - 1)) / kAtlas};
}

// The face normal the drawing code computes: (P0 − P1) × (P2 − P1).
Vec3 faceNormal(const Mesh& mesh, const Face& face) {
    const Vec3 p0 = mesh.vertices[face.corners[0].vertex];
    const Vec3 p1 = mesh.vertices[face.corners[1].vertex];
    const Vec3 p2 = mesh.vertices[face.corners[2].vertex];
    return cross(p0 - p1, p2 - p1);
}

// For faces whose outside is easier to name than to derive: turns the corner order round when
// the normal would point against `outside`.
void addFacing(Mesh& mesh, Face face, Vec3 outside) {
    if (dot(faceNormal(mesh, face), outside) < 0.0) std::reverse(face.corners.begin(), face.corners.end());
    mesh.faces.push_back(face);
}

// One cross-section of a tube. The profile is laid out in (u, v); u × v points towards the next
// ring, so a profile running counter-clockwise from u to v gives outward faces.
struct Ring {
    Vec3 centre;
    Vec3 u, v;
    double su, sv;  // profile scale along u and v
};

// What covers the stretch between two rings; t0 and t1 are texture rows (0..1 of the region).
struct Band {
    Material material;
    double t0 = 0.0, t1 = 0.0;
};

const Region* regionOf(Material m) {
    switch (m) {
        case kShirt:
            return &kShirtRegion;
        case kCape:
            return &kCapeRegion;
        default:
            return nullptr;
    }
}

std::vector<Vec2> roundProfile(int segments) {
    std::vector<Vec2> p;
    for (int k = 0; k < segments; ++k) {
        const double a = 2.0 * kPi * k / segments;
        p.push_back({std::cos(a), std::sin(a)});
    }
    return p;
}

// A closed tube: quads between successive rings, triangle fans over both ends. Around the tube
// the texture's s runs from the profile's first point, shifted by sShift.
void addTube(Mesh& mesh, const std::vector<Ring>& rings, const std::vector<Vec2>& profile,
             const std::vector<Band>& bands, Material startCap, Material endCap, double sShift = 0.0) {
    const int m = static_cast<int>(profile.size());
    const int first = static_cast<int>(mesh.vertices.size());
    for (const Ring& r : rings)
        for (const Vec2& p : profile) mesh.add(r.centre + r.u * (p.x * r.su) + r.v * (p.y * r.sv));
    auto index = [&](size_t ring, int k) { return first + static_cast<int>(ring) * m + (k % m); };

    for (size_t i = 0; i + 1 < rings.size(); ++i) {
        const Band& band = bands[i];
        const Region* region = regionOf(band.material);
        for (int k = 0; k < m; ++k) {
            double s0 = static_cast<double>(k) / m + sShift, s1 = static_cast<double>(k + 1) / m + sShift;
            while (s0 >= 1.0 - 1e-9) s0 -= 1.0, s1 -= 1.0;
            auto uv = [&](double s, double t) { return region ? atlasUv(*region, s, t) : Vec2{}; };
            mesh.faces.push_back({band.material,
                                  {{index(i, k), uv(s0, band.t0)},
                                   {index(i + 1, k), uv(s0, band.t1)},
                                   {index(i + 1, k + 1), uv(s1, band.t1)},
                                   {index(i, k + 1), uv(s1, band.t0)}}});
        }
    }
    const size_t last = rings.size() - 1;
    const int startCentre = mesh.add(rings.front().centre);
    const int endCentre = mesh.add(rings.back().centre);
    auto capUv = [](Material mat) {
        const Region* region = regionOf(mat);
        return region ? atlasUv(*region, 0.5, 0.02) : Vec2{};
    };
    for (int k = 0; k < m; ++k) {
        const Vec2 a = capUv(startCap), b = capUv(endCap);
        mesh.faces.push_back({startCap, {{startCentre, a}, {index(0, k), a}, {index(0, k + 1), a}}});
        mesh.faces.push_back({endCap, {{endCentre, b}, {index(last, k + 1), b}, {index(last, k), b}}});
    }
}

// The six sides of a cube as (normal, u, v) with u × v = normal.
struct CubeSide {
    Vec3 n, u, v;
};
constexpr int kSideLeft = 0, kSideRight = 1, kSideTop = 2, kSideBottom = 3, kSideFront = 4, kSideBack = 5;
const CubeSide kCubeSides[6] = {
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
    {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
    {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
};

// Texture coordinate of a point of the unit cube c on the given side.
using BlobUv = Vec2 (*)(int side, Vec3 c);

// An ellipsoid from a subdivided cube pushed onto the sphere: n × n quads per side, corners shared
// between sides so the smoothing runs across the seams.
void addBlob(Mesh& mesh, const Frame& frame, Vec3 radii, int n, Material material, BlobUv uvOf) {
    std::map<std::tuple<int, int, int>, int> lattice;
    auto vertex = [&](Vec3 latticePoint) {
        const auto key = std::make_tuple(static_cast<int>(std::lround(latticePoint.x)),
                                         static_cast<int>(std::lround(latticePoint.y)),
                                         static_cast<int>(std::lround(latticePoint.z)));
        const auto found = lattice.find(key);
        if (found != lattice.end()) return found->second;
        const Vec3 s = normalized(latticePoint);
        const int index = mesh.add(frame.at({s.x * radii.x, s.y * radii.y, s.z * radii.z}));
        lattice.emplace(key, index);
        return index;
    };
    for (int side = 0; side < 6; ++side) {
        const CubeSide& cs = kCubeSides[side];
        auto point = [&](int i, int j) { return cs.n * n + cs.u * (2 * i - n) + cs.v * (2 * j - n); };
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                Face face{material, {}};
                for (const auto& [a, b] : {std::pair{i, j}, {i, j + 1}, {i + 1, j + 1}, {i + 1, j}}) {
                    const Vec3 p = point(a, b);
                    face.corners.push_back({vertex(p), uvOf ? uvOf(side, p * (1.0 / n)) : Vec2{}});
                }
                mesh.faces.push_back(face);
            }
    }
}

// ---- 3 texture atlas --------------------------------------------------------------------------

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb kSkinColour{255, 212, 178};
constexpr Rgb kHairColour{92, 56, 36};
constexpr Rgb kHairDark{64, 36, 22};

struct Atlas {
    std::vector<Rgb> colour = std::vector<Rgb>(kAtlas * kAtlas, Rgb{255, 255, 255});
    std::vector<uint8_t> alpha = std::vector<uint8_t>(kAtlas * kAtlas, 255);
};

Rgb mix(Rgb a, Rgb b, double t) {
    auto channel = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

// Calls paint(x, y, colour, alpha) for each pixel of the region; x and y are its centre, relative
// to the region's top-left corner.
template <typename Paint>
void paintRegion(Atlas& atlas, const Region& r, Paint paint) {
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x) {
            const size_t at = static_cast<size_t>(r.y0 + y) * kAtlas + (r.x0 + x);
            paint(x + 0.5, y + 0.5, atlas.colour[at], atlas.alpha[at]);
        }
}

bool inEllipse(double x, double y, double cx, double cy, double rx, double ry) {
    const double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

// Even-odd test against a closed polygon.
bool inPolygon(double x, double y, const std::vector<Vec2>& poly) {
    bool inside = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Vec2 a = poly[i], b = poly[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

std::vector<Vec2> star(double cx, double cy, double outer, double inner) {
    std::vector<Vec2> p;
    for (int k = 0; k < 10; ++k) {
        const double a = kPi * k / 5.0, r = (k % 2 == 0) ? outer : inner;
        p.push_back({cx + r * std::sin(a), cy - r * std::cos(a)});
    }
    return p;
}

// Hair with soft strands; x and y are pixels, so the pattern is the same on every region.
Rgb hairAt(double x, double y) {
    const double strand = 0.5 + 0.5 * std::sin(x * 1.7 + 0.6 * std::sin(y * 0.35));
    return mix(kHairColour, kHairDark, 0.45 * strand);
}

bool inSegment(double x, double y, Vec2 a, Vec2 b, double halfWidth) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    const double ex = x - (a.x + t * dx), ey = y - (a.y + t * dy);
    return ex * ex + ey * ey <= halfWidth * halfWidth;
}

Atlas paintAtlas() {
    Atlas atlas;
    // Face, seen from the front: the whole region spans ear to ear and crown to chin, and the sphere
    // squeezes its outer parts, so the features sit close to the middle and are drawn large.
    paintRegion(atlas, kFaceRegion, [](double x, double y, Rgb& c, uint8_t&) {
        c = kSkinColour;
        if (inEllipse(x, y, 17, 45, 4.0, 2.4) || inEllipse(x, y, 47, 45, 4.0, 2.4))
            c = mix(kSkinColour, Rgb{255, 140, 140}, 0.55);
        for (const double ex : {22.5, 41.5}) {
            if (inEllipse(x, y, ex, 35.5, 4.6, 6.4)) c = {38, 28, 48};
            if (inEllipse(x, y, ex, 38.0, 3.4, 3.4)) c = {70, 110, 170};
            if (inEllipse(x, y, ex, 39.0, 1.8, 2.0)) c = {30, 22, 40};
            if (inEllipse(x, y, ex - 1.6, 32.6, 1.6, 1.6)) c = {255, 255, 255};
            if (inSegment(x, y, {ex - 4.0, 26.0}, {ex + 4.0, 26.0}, 0.9)) c = kHairDark;
        }
        // A smile: the lower half of a thin ring.
        const double r = std::hypot(x - 32, y - 45.0);
        if (y > 45.0 && r > 3.4 && r < 4.8) c = {170, 60, 70};
        // Fringe with scalloped ends, and the hair falling down both sides.
        const double fringe = 16.0 + 4.0 * std::fabs(std::sin((x - 2.0) * kPi / 10.0));
        if (y < fringe || ((x < 5.0 || x > 59.0) && y < 40.0)) c = hairAt(x, y);
    });
    // Side of the head: hair down to the cheek at the front and to the nape at the back, an ear below.
    paintRegion(atlas, kSideRegion, [](double x, double y, Rgb& c, uint8_t&) {
        const double back = x / 64.0;
        c = y < 40.0 + 18.0 * back ? hairAt(x, y) : kSkinColour;
        if (inEllipse(x, y, 26, 44, 4.5, 6.0)) c = mix(kSkinColour, Rgb{230, 150, 130}, 0.35);
        if (inEllipse(x, y, 26.5, 44.5, 2.2, 3.6)) c = mix(kSkinColour, Rgb{200, 110, 100}, 0.45);
    });
    // Back and top of the head; the nape's skin along the bottom rows.
    paintRegion(atlas, kHairRegion,
                [](double x, double y, Rgb& c, uint8_t&) { c = y < 58.0 ? hairAt(x, y) : kSkinColour; });
    // Shirt: teal and cream stripes, a darker collar and hem, a yellow star on the chest.
    const std::vector<Vec2> shirtStar = star(32, 24, 7.5, 3.2), starOutline = star(32, 24, 9.0, 4.2);
    paintRegion(atlas, kShirtRegion, [&](double x, double y, Rgb& c, uint8_t&) {
        const Rgb teal{38, 150, 160}, cream{242, 236, 214}, dark{24, 96, 110};
        c = (static_cast<int>(y) / 6) % 2 == 0 ? teal : cream;
        if (y < 5.0 || y > 60.0) c = dark;
        if (inPolygon(x, y, starOutline)) c = dark;
        if (inPolygon(x, y, shirtStar)) c = {252, 204, 48};
    });
    // Cape: red cloth, gold trim and a gold "K" badge; the cloth lets light through, the trim does
    // not, and the hem is cut into points.
    paintRegion(atlas, kCapeRegion, [](double x, double y, Rgb& c, uint8_t& a) {
        const Rgb red{200, 36, 52}, gold{246, 196, 60};
        c = red;
        a = 170;
        if (x < 2.5 || x > 29.5 || y < 3.0) c = gold, a = 255;
        if (inEllipse(x, y, 16, 18, 8.0, 8.0)) c = gold, a = 255;
        const bool letter = inSegment(x, y, {13.5, 13.5}, {13.5, 22.5}, 1.1) ||
                            inSegment(x, y, {14.0, 18.5}, {19.0, 13.5}, 1.1) ||
                            inSegment(x, y, {15.0, 17.5}, {19.0, 22.5}, 1.1);
        if (letter) c = red;
        const double tooth = std::fabs(std::fmod(x, 8.0) - 4.0) / 4.0;  // 0 at a point, 1 between
        if (y > 64.0 - 7.0 * tooth) a = 0;
    });
    return atlas;
}

// ---- 4 poses ----------------------------------------------------------------------------------

enum class Motion { Stay, Walk, Run };

constexpr int kLeft = 0, kRight = 1;  // the figure's left is +x

// Angles in radians, lengths in document units.
struct Pose {
    double sway = 0.0;  // pelvis shift to the figure's left
    double hop = 0.0;   // lift of the lowest sole off the ground (running flight)
    double pelvisTurn = 0.0;
    double lean = 0.0, twist = 0.0, roll = 0.0;  // upper body, bent over the spine
    double breath = 0.0;                         // chest swell, fraction of its size
    double nod = 0.0, headTurn = 0.0, headTilt = 0.0;
    double hip[2] = {}, legOut[2] = {}, knee[2] = {}, foot[2] = {};  // hip > 0 swings the thigh forwards
    double shoulder[2] = {}, armOut[2] = {}, elbow[2] = {};          // shoulder > 0 swings the arm forwards
    double capeLift = 0.0, capeWave = 0.0, capePhase = 0.0;
};

constexpr double kThigh = 13.5, kShin = 12.5, kAnkle = 3.0;  // hip to knee, knee to ankle, ankle to sole
constexpr double kUpperArm = 10.0, kForearm = 8.5;

Pose stayPose(double phase) {
    Pose p;
    // One slow breath and one sway from foot to foot per loop; the head looks about a little.
    p.breath = 0.035 * std::sin(phase);
    p.sway = 0.7 * std::sin(phase);
    p.roll = deg(-1.5) * std::sin(phase);
    p.headTilt = deg(2.5) * std::sin(phase);
    p.headTurn = deg(9.0) * std::sin(phase + 1.0);
    p.nod = deg(-2.0) + deg(2.0) * std::sin(2.0 * phase);
    for (int side : {kLeft, kRight}) {
        const double sign = side == kLeft ? 1.0 : -1.0;
        p.legOut[side] = -std::asin(p.sway / (kThigh + kShin));  // feet stay planted
        p.knee[side] = deg(3.0);
        p.armOut[side] = deg(9.0) + deg(1.5) * std::sin(phase) * sign;
        p.shoulder[side] = deg(3.0) * std::sin(phase + (side == kLeft ? 0.0 : kPi));
        p.elbow[side] = deg(12.0) + deg(3.0) * std::sin(phase);
    }
    p.capeLift = deg(5.0);
    p.capeWave = deg(3.0);
    p.capePhase = phase;
    return p;
}

// Walking and running share one gait; run is faster (fewer frames), swings wider, bends the knees
// and elbows more, leans into the stride and leaves the ground between steps.
Pose gaitPose(double phase, bool run) {
    Pose p;
    const double hipSwing = deg(run ? 38.0 : 24.0), armSwing = deg(run ? 42.0 : 22.0);
    p.lean = deg(run ? 13.0 : 4.0);
    p.nod = -0.6 * p.lean + deg(run ? 2.0 : 1.0) * std::sin(2.0 * phase);  // eyes stay on the way ahead
    p.twist = deg(run ? 9.0 : 5.0) * std::sin(phase);
    p.pelvisTurn = -deg(run ? 5.0 : 3.0) * std::sin(phase);
    p.headTurn = -0.7 * p.twist;
    p.sway = -(run ? 0.4 : 0.7) * std::cos(phase);  // over the foot that carries the weight
    p.roll = deg(run ? 1.0 : 1.5) * std::cos(phase);
    p.hop = run ? 3.5 * std::pow(std::sin(phase), 2.0) : 0.0;
    for (int side : {kLeft, kRight}) {
        const double sign = side == kLeft ? 1.0 : -1.0;
        const double s = phase + (side == kLeft ? 0.0 : kPi);  // this leg's own phase
        const double swingingForward = std::max(0.0, std::cos(s));
        p.hip[side] = hipSwing * std::sin(s);
        p.legOut[side] = sign * deg(2.0);
        p.knee[side] = deg(run ? 18.0 : 5.0) + deg(run ? 85.0 : 45.0) * swingingForward;
        // Toes down after pushing off, up before the heel lands.
        p.foot[side] = deg(run ? 35.0 : 25.0) * 2.0 * std::max(0.0, -std::sin(s)) * swingingForward -
                       deg(10.0) * 2.0 * std::max(0.0, std::sin(s)) * std::max(0.0, -std::cos(s));
        p.shoulder[side] = -armSwing * std::sin(s);  // against the leg of the same side
        p.armOut[side] = deg(run ? 12.0 : 8.0);
        p.elbow[side] = deg(run ? 80.0 : 15.0) + deg(run ? 15.0 : 12.0) * std::max(0.0, -std::sin(s));
    }
    p.capeLift = deg(run ? 55.0 : 20.0);
    p.capeWave = deg(run ? 10.0 : 6.0);
    p.capePhase = 2.0 * phase;
    return p;
}

Pose poseAt(Motion motion, int frame, int frameCount) {
    const double phase = 2.0 * kPi * frame / frameCount;
    return motion == Motion::Stay ? stayPose(phase) : gaitPose(phase, motion == Motion::Run);
}

// ---- 5 the posed figure -----------------------------------------------------------------------

constexpr double kHipHeight = kThigh + kShin + kAnkle + 1.0;  // pelvis origin, legs straight

// Head texture: front side shows the face, the sides the side picture, back and top the hair.
Vec2 headUv(int side, Vec3 c) {
    switch (side) {
        case kSideFront:
            return atlasUv(kFaceRegion, (c.x + 1.0) / 2.0, (1.0 - c.y) / 2.0);
        case kSideLeft:
        case kSideRight:
            return atlasUv(kSideRegion, (1.0 - c.z) / 2.0, (1.0 - c.y) / 2.0);
        case kSideBack:
            return atlasUv(kHairRegion, (1.0 - c.x) / 2.0, (1.0 - c.y) / 2.0);
        case kSideTop:
            return atlasUv(kHairRegion, (c.x + 1.0) / 2.0, 0.75 * (1.0 - c.z) / 2.0);
        default:
            return atlasUv(kFaceRegion, 0.5, 0.97);  // under the chin
    }
}

// A ring across a limb bone: axis along the bone, u towards the bone's front.
Ring limbRing(Vec3 centre, Vec3 along, Vec3 front, double radius) {
    const Vec3 a = normalized(along);
    const Vec3 u = normalized(front - a * dot(front, a));
    return {centre, u, cross(a, u), radius, radius};
}

// One arm or leg as one tube over two bones, so the elbow or knee bends without a seam.
struct LimbRing {
    int bone;      // 0 upper, 1 lower
    double along;  // distance from the bone's start
    double radius;
    Material below;  // band from this ring to the next
    double t0, t1;   // its texture rows
};

void addLimb(Mesh& mesh, Vec3 start, const Mat3& upper, double upperLength, const Mat3& lower,
             const std::vector<LimbRing>& spec, Material startCap, Material endCap) {
    const Vec3 joint = start + upper * Vec3{0, -upperLength, 0};
    std::vector<Ring> rings;
    std::vector<Band> bands;
    for (const LimbRing& s : spec) {
        const Mat3& r = s.bone == 0 ? upper : lower;
        const Vec3 base = s.bone == 0 ? start : joint;
        Vec3 along = r * Vec3{0, -1, 0}, front = r * Vec3{0, 0, 1};
        if (s.bone == 1 && s.along == 0.0) {  // the joint ring halves the bend
            along = along + upper * Vec3{0, -1, 0};
            front = front + upper * Vec3{0, 0, 1};
        }
        rings.push_back(limbRing(base + r * Vec3{0, -s.along, 0}, along, front, s.radius));
        bands.push_back({s.below, s.t0, s.t1});
    }
    addTube(mesh, rings, roundProfile(8), bands, startCap, endCap);
}

// Spine bend: the given fraction of the upper body's lean, twist and roll (1 at the shoulders).
Mat3 spineAt(const Pose& p, double fraction) {
    return rotX(p.lean * fraction) * rotY(p.twist * fraction) * rotZ(p.roll * fraction);
}

std::vector<Mesh> buildFigure(const Pose& p) {
    Mesh body{"body", {}, {}}, head{"head", {}, {}}, arms{"arms", {}, {}}, legs{"legs", {}, {}},
        cape{"cape", {}, {}};
    const Frame pelvis{rotY(p.pelvisTurn), {p.sway, kHipHeight, 0.0}};
    const Frame chest = pelvis.then(turned(spineAt(p, 1.0)));

    // Torso, bottom to top: crotch, hips, belt, shirt, shoulders, neck. Heights from the hip joints.
    struct TorsoRing {
        double h, halfWidth, halfDepth;
        Material below;
    };
    const TorsoRing torso[] = {
        {-3.5, 5.2, 3.8, kTrousers}, {-1.0, 7.4, 4.7, kTrousers}, {2.5, 7.1, 4.5, kBelt},
        {4.2, 7.2, 4.6, kShirt},     {5.0, 7.1, 4.6, kShirt},     {11.0, 7.5, 5.0, kShirt},
        {16.5, 8.7, 5.7, kShirt},    {20.5, 8.8, 5.1, kShirt},    {22.6, 6.2, 3.9, kSkin},
        {23.4, 2.9, 2.7, kSkin},     {27.0, 2.7, 2.6, kSkin},
    };
    std::vector<Ring> rings;
    std::vector<Band> bands;
    const double shirtTop = 22.6, shirtBottom = 5.0;
    for (const TorsoRing& t : torso) {
        const Frame at = pelvis.then(turned(spineAt(p, std::clamp(t.h / 22.0, 0.0, 1.0))));
        const double swell = 1.0 + p.breath * std::max(0.0, 1.0 - std::fabs(t.h - 16.5) / 8.0);
        rings.push_back({at.at({0, t.h, 0}), at.rotation * Vec3{0, 0, 1}, at.rotation * Vec3{1, 0, 0},
                         t.halfDepth * swell, t.halfWidth * swell});
        bands.push_back({t.below, 0, 0});
    }
    for (size_t i = 0; i + 1 < rings.size(); ++i) {
        auto row = [&](double h) { return std::clamp((shirtTop - h) / (shirtTop - shirtBottom), 0.0, 1.0); };
        bands[i].t0 = row(torso[i].h);
        bands[i].t1 = row(torso[i + 1].h);
    }
    addTube(body, rings, roundProfile(12), bands, kTrousers, kSkin, 0.5);

    // Head on the neck.
    const double shrug = 0.4 * p.breath / 0.035;  // shoulders rise with the breath
    const Frame headFrame = chest.then(moved({0, 24.2 + shrug, 0.3}))
                                .then(turned(rotX(p.nod) * rotY(p.headTurn) * rotZ(p.headTilt)))
                                .then(moved({0, 8.6, 0.5}));
    addBlob(head, headFrame, {9.4, 9.1, 8.8}, 4, kHead, headUv);

    // Arms: short striped sleeves with a hem, bare forearms, mitten hands.
    for (int side : {kLeft, kRight}) {
        const double sign = side == kLeft ? 1.0 : -1.0;
        const Vec3 shoulder = chest.at({sign * 9.3, 19.6 + shrug, -0.3});
        const Mat3 upper = chest.rotation * rotX(-p.shoulder[side]) * rotZ(sign * p.armOut[side]);
        const Mat3 lower = upper * rotX(-p.elbow[side]);
        const std::vector<LimbRing> spec = {
            {0, -1.6, 2.3, kShirt, 0.62, 0.70}, {0, 0.0, 3.0, kShirt, 0.70, 0.95},
            {0, 4.6, 3.1, kShirt, 0.95, 0.98},  {0, 4.6, 2.2, kSkin, 0, 0},
            {1, 0.0, 2.05, kSkin, 0, 0},        {1, 4.5, 1.95, kSkin, 0, 0},
            {1, kForearm, 1.6, kSkin, 0, 0},
        };
        addLimb(arms, shoulder, upper, kUpperArm, lower, spec, kShirt, kSkin);
        const Vec3 wrist = shoulder + upper * Vec3{0, -kUpperArm, 0} + lower * Vec3{0, -kForearm, 0};
        addBlob(arms, Frame{lower, wrist + lower * Vec3{0, -1.9, 0.2}}, {1.5, 2.5, 2.0}, 2, kSkin, nullptr);
    }

    // Legs: trousers from hip to ankle, then the shoe, kept level unless the pose tips it.
    for (int side : {kLeft, kRight}) {
        const double sign = side == kLeft ? 1.0 : -1.0;
        const Vec3 hip = pelvis.at({sign * 3.9, -1.0, 0.0});
        const Mat3 upper = pelvis.rotation * rotX(-p.hip[side]) * rotZ(p.legOut[side]);
        const Mat3 lower = upper * rotX(p.knee[side]);
        const std::vector<LimbRing> spec = {
            {0, -1.5, 3.3, kTrousers, 0, 0}, {0, 0.0, 3.8, kTrousers, 0, 0}, {0, 6.5, 3.5, kTrousers, 0, 0},
            {1, 0.0, 3.0, kTrousers, 0, 0},  {1, 6.0, 2.8, kTrousers, 0, 0}, {1, kShin, 2.5, kTrousers, 0, 0},
        };
        addLimb(legs, hip, upper, kThigh, lower, spec, kTrousers, kTrousers);
        const Vec3 ankle = hip + upper * Vec3{0, -kThigh, 0} + lower * Vec3{0, -kShin, 0};
        const Frame foot{pelvis.rotation * rotX(p.foot[side]), ankle};
        // Rounded-box section with a flat sole; the shoe runs heel to toe along +z.
        const std::vector<Vec2> section = {{1, 0.42},  {0.42, 1},  {-0.42, 1}, {-1, 0.42},
                                           {-1, -0.7}, {-0.6, -1}, {0.6, -1},  {1, -0.7}};
        struct ShoeRing {
            double z, y, halfWidth, halfHeight;
        };
        const ShoeRing shoe[] = {
            {-3.4, -0.9, 2.0, 2.1}, {-2.4, -0.8, 2.5, 2.2}, {2.4, -1.6, 2.6, 1.4},
            {6.0, -2.0, 2.1, 1.0},  {6.9, -2.2, 1.5, 0.8},
        };
        std::vector<Ring> shoeRings;
        for (const ShoeRing& s : shoe)
            shoeRings.push_back({foot.at({0, s.y, s.z}), foot.rotation * Vec3{1, 0, 0},
                                 foot.rotation * Vec3{0, 1, 0}, s.halfWidth, s.halfHeight});
        addTube(legs, shoeRings, section, std::vector<Band>(shoeRings.size(), Band{kShoes}), kShoes, kShoes);
    }

    // Cape: a thin two-sided sheet hung from the shoulders, swept back by the motion, rippling.
    constexpr int kColumns = 5, kRows = 6;
    constexpr double kCapeLength = 33.0, kThickness = 0.6;
    std::vector<Vec3> outer, inner;  // chest coordinates, row by row
    std::vector<double> rowAngle(kRows);
    double y = 21.2, z = -5.7;
    for (int r = 0; r < kRows; ++r) {
        const double down = static_cast<double>(r) / (kRows - 1);
        const double beta =
            p.capeLift * (0.35 + 0.65 * down) + p.capeWave * std::sin(p.capePhase - 1.1 * r) * down;
        rowAngle[r] = beta;
        if (r > 0) {
            const double step = kCapeLength / (kRows - 1), b = rowAngle[r - 1];
            y -= step * std::cos(b);
            z -= step * std::sin(b);
        }
        const double halfWidth = 6.6 + 3.0 * down, wrap = 2.2 - 1.0 * down;
        for (int c = 0; c < kColumns; ++c) {
            const double across = 2.0 * c / (kColumns - 1) - 1.0;
            const Vec3 o{across * halfWidth, y, z + wrap * across * across};
            const Vec3 towardsBody{0, -std::sin(beta), std::cos(beta)};
            outer.push_back(chest.at(o));
            inner.push_back(chest.at(o + towardsBody * kThickness));
        }
    }
    const int firstOuter = static_cast<int>(cape.vertices.size());
    for (const Vec3& v : outer) cape.add(v);
    const int firstInner = static_cast<int>(cape.vertices.size());
    for (const Vec3& v : inner) cape.add(v);
    auto o = [&](int r, int c) { return firstOuter + r * kColumns + c; };
    auto in = [&](int r, int c) { return firstInner + r * kColumns + c; };
    // Seen from behind the figure's left (+x) is on the right, so the picture runs from +x to −x.
    auto uv = [&](int r, int c) {
        return atlasUv(kCapeRegion, 1.0 - static_cast<double>(c) / (kColumns - 1),
                       static_cast<double>(r) / (kRows - 1));
    };
    for (int r = 0; r + 1 < kRows; ++r)
        for (int c = 0; c + 1 < kColumns; ++c) {
            cape.faces.push_back({kCape,
                                  {{o(r, c), uv(r, c)},
                                   {o(r + 1, c), uv(r + 1, c)},
                                   {o(r + 1, c + 1), uv(r + 1, c + 1)},
                                   {o(r, c + 1), uv(r, c + 1)}}});
            cape.faces.push_back({kCape,
                                  {{in(r, c), uv(r, c)},
                                   {in(r, c + 1), uv(r, c + 1)},
                                   {in(r + 1, c + 1), uv(r + 1, c + 1)},
                                   {in(r + 1, c), uv(r + 1, c)}}});
        }
    // The rim: strips joining the two sheets, facing away from the sheet's middle.
    auto rim = [&](int r0, int c0, int r1, int c1, int rIn, int cIn) {
        const Vec3 outside = cape.vertices[o(r0, c0)] - cape.vertices[o(rIn, cIn)];
        const Vec2 trim = atlasUv(kCapeRegion, 0.0, 0.5);
        addFacing(cape,
                  {kCape, {{o(r0, c0), trim}, {o(r1, c1), trim}, {in(r1, c1), trim}, {in(r0, c0), trim}}},
                  outside);
    };
    for (int c = 0; c + 1 < kColumns; ++c) {
        rim(0, c, 0, c + 1, 1, c);
        rim(kRows - 1, c, kRows - 1, c + 1, kRows - 2, c);
    }
    for (int r = 0; r + 1 < kRows; ++r) {
        rim(r, 0, r + 1, 0, r, 1);
        rim(r, kColumns - 1, r + 1, kColumns - 1, r, kColumns - 2);
    }

    // Stand the lowest sole on the ground (y = 0), then lift by the running hop.
    double lowest = legs.vertices.front().y;
    for (const Vec3& v : legs.vertices) lowest = std::min(lowest, v.y);
    std::vector<Mesh> figure = {body, head, arms, legs, cape};  // cape last: it is see-through
    for (Mesh& mesh : figure)
        for (Vec3& v : mesh.vertices) v.y += p.hop - lowest;
    return figure;
}

// ---- 6 files ----------------------------------------------------------------------------------

// Metasequoia writes CR LF line ends; so do we.
bool writeDocument(const std::string& path, const std::vector<Mesh>& figure) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n");
    std::fprintf(
        file,
        "Scene {\r\n\tpos 0.0000 0.0000 1500.0000\r\n\tlookat 0.0000 36.0000 0.0000\r\n"
        "\thead -0.5236\r\n\tpich 0.3000\r\n\tortho 0\r\n\tzoom2 5.0000\r\n\tamb 0.250 0.250 0.250\r\n}\r\n");
    std::fprintf(file, "Material %d {\r\n", kMaterialCount);
    for (const MaterialSpec& m : kMaterials) {
        std::fprintf(file,
                     "\t\"%s\" shader(3) col(%.3f %.3f %.3f %.3f) dif(%.3f) amb(%.3f) emi(%.3f) spc(%.3f) "
                     "power(%.2f)",
                     m.name, m.r, m.g, m.b, m.a, m.dif, m.amb, m.emi, m.spc, m.power);
        // Every textured material names the same pair, so the whole figure shares one texture.
        if (m.textured) std::fprintf(file, " tex(\"%s\") aplane(\"%s\")", kTextureFile, kAlphaFile);
        std::fprintf(file, "\r\n");
    }
    std::fprintf(file, "}\r\n");
    for (const Mesh& mesh : figure) {
        std::fprintf(
            file,
            "Object \"%s\" {\r\n\tdepth 0\r\n\tfolding 0\r\n\tscale 1.000000 1.000000 1.000000\r\n"
            "\trotation 0.000000 0.000000 0.000000\r\n\ttranslation 0.000000 0.000000 0.000000\r\n"
            "\tvisible 15\r\n\tlocking 0\r\n\tshading 1\r\n\tfacet 59.5\r\n\tcolor 0.898 0.498 0.698\r\n"
            "\tcolor_type 0\r\n",
            mesh.name.c_str());
        std::fprintf(file, "\tvertex %zu {\r\n", mesh.vertices.size());
        for (const Vec3& v : mesh.vertices)
            std::fprintf(file, "\t\t%.4f %.4f %.4f\r\n", v.x + 0.0, v.y + 0.0, v.z + 0.0);
        std::fprintf(file, "\t}\r\n\tface %zu {\r\n", mesh.faces.size());
        for (const Face& f : mesh.faces) {
            std::fprintf(file, "\t\t%zu V(", f.corners.size());
            for (size_t k = 0; k < f.corners.size(); ++k)
                std::fprintf(file, k ? " %d" : "%d", f.corners[k].vertex);
            std::fprintf(file, ") M(%d)", static_cast<int>(f.material));
            if (kMaterials[f.material].textured) {
                std::fprintf(file, " UV(");
                for (size_t k = 0; k < f.corners.size(); ++k)
                    std::fprintf(file, k ? " %.5f %.5f" : "%.5f %.5f", f.corners[k].uv.x, f.corners[k].uv.y);
                std::fprintf(file, ")");
            }
            std::fprintf(file, "\r\n");
        }
        std::fprintf(file, "\t}\r\n}\r\n");
    }
    std::fprintf(file, "Eof\r\n");
    return std::fclose(file) == 0;
}

// Uncompressed TGA, stored bottom row first (origin bits 0); type 2 with 24-bit BGR or type 3 with
// 8-bit grey.
bool writeTga(const std::string& path, const Atlas& atlas, bool alphaPlane) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    uint8_t header[18] = {};
    header[2] = alphaPlane ? 3 : 2;
    header[12] = kAtlas & 0xff, header[13] = kAtlas >> 8;
    header[14] = kAtlas & 0xff, header[15] = kAtlas >> 8;
    header[16] = alphaPlane ? 8 : 24;
    std::fwrite(header, 1, sizeof header, file);
    std::vector<uint8_t> row;
    for (int y = kAtlas - 1; y >= 0; --y) {
        row.clear();
        for (int x = 0; x < kAtlas; ++x) {
            const size_t at = static_cast<size_t>(y) * kAtlas + x;
            if (alphaPlane) {
                row.push_back(atlas.alpha[at]);
            } else {
                row.insert(row.end(), {atlas.colour[at].b, atlas.colour[at].g, atlas.colour[at].r});
            }
        }
        std::fwrite(row.data(), 1, row.size(), file);
    }
    return std::fclose(file) == 0;
}

struct Sequence {
    const char* name;
    Motion motion;
    int frames;
};

// Frames per loop: one breath, one walking stride pair, one running stride pair.
constexpr Sequence kSequences[] = {
    {"stay", Motion::Stay, 30}, {"walk", Motion::Walk, 24}, {"run", Motion::Run, 20}};

}  // namespace

// ---- 7 main -----------------------------------------------------------------------------------

int main(int argc, char** argv) {
    int status = 0;
    if (!kelmo::outputArgument(argc, argv, "kelmo-demo-character OUTDIR", status)) return status;
    const std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "kelmo-demo-character: %s: cannot make the folder (%s)\n", folder.c_str(),
                     error.message().c_str());
        return 1;
    }
    const Atlas atlas = paintAtlas();
    for (const auto& [name, alphaPlane] : {std::pair{kTextureFile, false}, {kAlphaFile, true}}) {
        const std::string path = folder + "/" + name;
        if (!writeTga(path, atlas, alphaPlane)) {
            std::fprintf(stderr, "kelmo-demo-character: %s: cannot write the image\n", path.c_str());
            return 1;
        }
    }
    for (const Sequence& s : kSequences) {
        size_t vertices = 0, triangles = 0;
        for (int frame = 0; frame < s.frames; ++frame) {
            const std::vector<Mesh> figure = buildFigure(poseAt(s.motion, frame, s.frames));
            char name[64];
            std::snprintf(name, sizeof name, "%s%03d.mqo", s.name, frame);
            const std::string path = folder + "/" + name;
            if (!writeDocument(path, figure)) {
                std::fprintf(stderr, "kelmo-demo-character: %s: cannot write the document\n", path.c_str());
                return 1;
            }
            vertices = triangles = 0;
            for (const Mesh& mesh : figure) {
                vertices += mesh.vertices.size();
                for (const Face& f : mesh.faces) triangles += f.corners.size() - 2;
            }
        }
        std::printf("wrote %s000.mqo..%s%03d.mqo: %d frames, %zu vertices and %zu triangles each\n", s.name,
                    s.name, s.frames - 1, s.frames, vertices, triangles);
    }
    std::printf("wrote %s and %s (%d x %d px)\n", kTextureFile, kAlphaFile, kAtlas, kAtlas);
    return 0;
}
