// Software rendering of a marker card on a desk as a calibrated camera sees it.
//
//   1. the built-in design and projection
//   2. textures: the card, the desk, one atlas of their mip levels
//   3. noise and mip level tables
//   4. the scene: per-camera tables
//   5. ground truth
//   6. one frame: plane coordinates per supersample, texture look-up, area average, noise
//   7. marker designs
//   8. camera paths
//
// The desk and the card lie in one plane (z = 0), so one homography per frame takes every ideal pixel
// to plane coordinates. Each observed supersample knows its ideal position from a table made once, so
// distortion costs nothing per frame, and a single cv::remap from a texture atlas does the shading.
// Mip levels are chosen per supersample from the homography's local scale; 2 × 2 supersamples are
// averaged into each pixel, which anti-aliases the edges like a lens and sensor would.
#include "synthetic/synthetic_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace kelmo {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Camera-like intensities: paper under room light and black ink never reach 255 and 0.
const cv::Vec3b kPaper(235, 235, 235);
const cv::Vec3b kInk(25, 25, 25);
const cv::Vec3b kWall(200, 212, 222);

// ---- 1. the built-in design and projection ----

const char* const kBuiltInDesign[kPatternSide] = {
    "................", "................", "...###.....###..", "...###....###...",
    "...###...###....", "...###..###.....", "...###.###......", "...######.......",
    "...#######......", "...###..###.....", "...###...###....", "...###....###...",
    "...###.....###..", "...###......###.", "................", "................",
};

// Ideal pixel of a marker-plane point, and its depth along mat's third row.
void project(const CameraParam& camera, const double pose[3][4], double x, double y, double& u, double& v,
             double& depth) {
    double c[3];
    for (int r = 0; r < 3; ++r) c[r] = pose[r][0] * x + pose[r][1] * y + pose[r][3];
    double h[3];
    for (int r = 0; r < 3; ++r)
        h[r] = camera.mat[r][0] * c[0] + camera.mat[r][1] * c[1] + camera.mat[r][2] * c[2] + camera.mat[r][3];
    depth = h[2];
    u = h[0] / h[2];
    v = h[1] / h[2];
}

bool finitePose(const double pose[3][4]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(pose[r][c])) return false;
    return true;
}

// ---- 2. textures ----

constexpr int kSuper = 2;                // supersamples per pixel along each axis
constexpr double kCardHalf = 0.75;       // half the card's side, in marker widths
constexpr int kCardTexels = 1536;        // card side at level 0; the black square is 1024 of it
constexpr int kCardLevels = 7;           // down to 24 texels
constexpr double kDeskTileWidths = 8.0;  // the desk repeats every 8 marker widths
constexpr int kDeskTexels = 1024;        // desk tile side at level 0
constexpr int kDeskLevels = 6;           // down to 32 texels
constexpr int kPad = 2;                  // texels around each atlas block, for bilinear look-ups
constexpr double kFarWidths = 1000.0;    // the desk ends this far away (depth); the wall beyond

double hash01(uint32_t x, uint32_t y) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    return (h & 0xffffu) / 65535.0;
}

// Smooth noise along a row: random values every `cell` texels, blended with a smoothstep; repeats
// every `period` texels.
double valueNoise(double x, int cell, int period, uint32_t row) {
    const int cells = period / cell;
    const double at = x / cell;
    const int i = static_cast<int>(std::floor(at));
    double f = at - i;
    f = f * f * (3 - 2 * f);
    const auto value = [&](int k) {
        return hash01(static_cast<uint32_t>(((k % cells) + cells) % cells), row);
    };
    return value(i) + (value(i + 1) - value(i)) * f;
}

// Light wooden planks along X, 2 marker widths wide, sawn from logs: growth rings cut at a slant
// give arched grain of uneven spacing, and fibres streak along the plank. Every term repeats across
// the tile, so tiles meet without seams. Never dark: the darkest grain stays well above the threshold.
cv::Mat makeDeskTile() {
    constexpr int kPlanks = 4;
    const double base[kPlanks][3] = {{138, 176, 214}, {128, 168, 210}, {146, 184, 220}, {133, 173, 213}};
    const double logDepth[kPlanks] = {0.45, 0.3, 0.6, 0.38};  // log centre below the surface, plank widths
    const double rings[kPlanks] = {7.0, 9.0, 6.0, 8.0};       // growth rings per plank width
    cv::Mat tile(kDeskTexels, kDeskTexels, CV_8UC3);
    const int plankRows = kDeskTexels / kPlanks;
    for (int y = 0; y < kDeskTexels; ++y) {
        const int plank = y / plankRows;
        const double pv = static_cast<double>(y % plankRows) / plankRows;
        const double seam = std::min(pv, 1.0 - pv) * plankRows < 1.5 ? 0.9 : 1.0;
        auto* row = tile.ptr<cv::Vec3b>(y);
        for (int x = 0; x < kDeskTexels; ++x) {
            const double u = static_cast<double>(x) / kDeskTexels;
            // The log's axis wanders across the plank along its length.
            const double axis = 0.5 + 0.22 * std::sin(2 * kPi * (u + 0.29 * plank)) +
                                0.07 * std::sin(2 * kPi * (3 * u + 0.61 * plank) + 0.8);
            const double across = pv - axis;
            const double radius = std::sqrt(across * across + logDepth[plank] * logDepth[plank]);
            const double wobble = 0.04 * (valueNoise(x, 64, kDeskTexels, 1000 + plank) - 0.5);
            const double ring = rings[plank] * (radius + wobble);
            const double late = std::pow(0.5 + 0.5 * std::cos(2 * kPi * ring), 6);  // dark late wood
            const double fibre = valueNoise(x, 24, kDeskTexels, static_cast<uint32_t>(y)) - 0.5;
            const double stain = valueNoise(x, 256, kDeskTexels, 2000 + plank) - 0.5;
            const double shade = seam * (1.0 - 0.13 * late + 0.05 * fibre + 0.06 * stain);
            for (int c = 0; c < 3; ++c) row[x][c] = cv::saturate_cast<uint8_t>(base[plank][c] * shade);
        }
    }
    return tile;
}

// Level 0 and its halvings; INTER_AREA keeps texel j of level L covering [j·2^L, (j+1)·2^L) of level 0.
std::vector<cv::Mat> mipLevels(const cv::Mat& top, int count) {
    std::vector<cv::Mat> levels{top};
    for (int i = 1; i < count; ++i) {
        cv::Mat half;
        cv::resize(levels.back(), half, cv::Size(levels.back().cols / 2, levels.back().rows / 2), 0, 0,
                   cv::INTER_AREA);
        levels.push_back(half);
    }
    return levels;
}

const std::vector<cv::Mat>& deskLevels() {
    static const std::vector<cv::Mat> levels = mipLevels(makeDeskTile(), kDeskLevels);
    return levels;
}

cv::Mat makeCard(const SyntheticMarker& marker) {
    cv::Mat card(kCardTexels, kCardTexels, CV_8UC3, cv::Scalar(kPaper));
    const int square = kCardTexels * 2 / 3;  // 1024
    const int border = (kCardTexels - square) / 2;
    card(cv::Rect(border, border, square, square)).setTo(cv::Scalar(kInk));

    const BgrImage& design = marker.interior;
    const cv::Mat source(design.height, design.width, CV_8UC3, const_cast<uint8_t*>(design.pixels.data()));
    const int inner = marker.fillsSquare ? square : square / 2;
    cv::Mat interior;
    const bool shrink = design.width >= inner && design.height >= inner;
    cv::resize(source, interior, cv::Size(inner, inner), 0, 0,
               marker.cells ? cv::INTER_NEAREST
               : shrink     ? cv::INTER_AREA
                            : cv::INTER_LINEAR);
    if (!marker.cells) {
        // A drawing's black and white become the ink and paper of the rest of the card.
        interior.convertTo(interior, CV_8UC3, (kPaper[0] - kInk[0]) / 255.0, kInk[0]);
    }
    const int offset = border + (square - inner) / 2;
    interior.copyTo(card(cv::Rect(offset, offset, inner, inner)));
    return card;
}

struct AtlasBlock {
    cv::Mat texels;    // padded
    cv::Point origin;  // where texel (0, 0) of the unpadded block lies in the atlas
};

// Shelf packing, tallest first.
cv::Mat packAtlas(std::vector<AtlasBlock*> blocks) {
    std::stable_sort(blocks.begin(), blocks.end(), [](const AtlasBlock* a, const AtlasBlock* b) {
        return a->texels.rows > b->texels.rows;
    });
    int limit = 0;
    for (const AtlasBlock* b : blocks) limit = std::max(limit, b->texels.cols);
    limit += limit * 2 / 3;
    int x = 0, y = 0, shelf = 0, width = 0;
    for (AtlasBlock* b : blocks) {
        if (x + b->texels.cols > limit) {
            y += shelf;
            x = 0;
            shelf = 0;
        }
        b->origin = cv::Point(x + kPad, y + kPad);
        x += b->texels.cols;
        width = std::max(width, x);
        shelf = std::max(shelf, b->texels.rows);
    }
    cv::Mat atlas(y + shelf, width, CV_8UC3, cv::Scalar(kWall));
    for (const AtlasBlock* b : blocks)
        b->texels.copyTo(
            atlas(cv::Rect(b->origin.x - kPad, b->origin.y - kPad, b->texels.cols, b->texels.rows)));
    return atlas;
}

// ---- 3. noise and mip level tables ----

// Φ⁻¹((i + 0.5) / 65536): 16 random bits become one standard normal sample (Acklam's approximation).
double inverseNormal(double p) {
    static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                               1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                               6.680131188771972e+01, -1.328068155288572e+01};
    static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                               -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                               3.754408661907416e+00};
    const double low = 0.02425;
    if (p < low || p > 1 - low) {
        const double q = std::sqrt(-2 * std::log(p < low ? p : 1 - p));
        const double x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
                         ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
        return p < low ? x : -x;
    }
    const double q = p - 0.5, r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

const std::vector<float>& normalTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(65536);
        for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<float>(inverseNormal((i + 0.5) / 65536.0));
        return t;
    }();
    return table;
}

uint64_t splitMix(uint64_t z) {
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// Per mip level: atlas origins, looked up lane by lane.
constexpr int kLevelSlots = 8;
// Card texels are 2^3 times denser than desk texels, so one exponent gives both mip levels.
constexpr int kCardFinerLevels = 3;
// One level coarser than the sample spacing: each supersample then reads an area average of the card,
// so the coverage of an edge, and the edge position it gives, changes smoothly with the pose.
constexpr int kCardBlurLevels = 1;
static_assert(kCardTexels / (2 * kCardHalf) == (1 << kCardFinerLevels) * kDeskTexels / kDeskTileWidths,
              "card and desk texel densities must differ by a power of two");
static_assert(kCardLevels <= kLevelSlots && kDeskLevels <= kLevelSlots, "level tables too small");

}  // namespace

// ---- 4. the scene ----

struct SyntheticScene::Impl {
    CameraParam camera;  // mat normalised so its third row has unit length
    CameraParam original;
    double width = 80.0;
    cv::Mat ideal;  // CV_32FC2, per observed supersample: its ideal pixel position
    cv::Mat atlas;
    cv::Point2f cardOrigin[kCardLevels];
    cv::Point2f deskOrigin[kDeskLevels];
    cv::Point2f wall;
    cv::Mat super;  // the supersampled frame, reused
};

SyntheticScene::SyntheticScene(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SyntheticScene::~SyntheticScene() = default;
const CameraParam& SyntheticScene::camera() const { return impl_->original; }
double SyntheticScene::markerWidth() const { return impl_->width; }

std::unique_ptr<SyntheticScene> SyntheticScene::create(const CameraParam& camera,
                                                       const SyntheticMarker& marker, std::string& error) {
    if (camera.xsize < 16 || camera.ysize < 16 || camera.xsize > kMaxImageSide ||
        camera.ysize > kMaxImageSide) {
        error = "the image size " + std::to_string(camera.xsize) + "x" + std::to_string(camera.ysize) +
                " is outside 16x16 .. " + std::to_string(kMaxImageSide) + "x" + std::to_string(kMaxImageSide);
        return nullptr;
    }
    if (!std::isfinite(marker.width) || marker.width <= 0.0) {
        error = "the marker width must be a number above 0";
        return nullptr;
    }
    if (marker.interior.width <= 0 || marker.interior.height <= 0 ||
        marker.interior.pixels.size() !=
            static_cast<size_t>(marker.interior.width) * marker.interior.height * 3) {
        error = "the marker has no interior design";
        return nullptr;
    }
    for (const auto& row : camera.mat)
        for (double v : row)
            if (!std::isfinite(v))
                return error = "the camera matrix holds a number that is not finite", nullptr;
    for (double v : camera.distFactor)
        if (!std::isfinite(v)) return error = "a distortion factor is not finite", nullptr;
    if (camera.distFactor[3] == 0.0) return error = "the distortion scale factor is zero", nullptr;
    const double* r2 = camera.mat[2];
    const double norm = std::sqrt(r2[0] * r2[0] + r2[1] * r2[1] + r2[2] * r2[2]) * (r2[2] < 0 ? -1.0 : 1.0);
    if (!(std::fabs(norm) > 0.0)) {
        error = "the camera matrix projects nothing";
        return nullptr;
    }

    auto impl = std::make_unique<Impl>();
    impl->original = camera;
    impl->camera = camera;
    for (auto& row : impl->camera.mat)
        for (double& v : row) v /= norm;
    impl->width = marker.width;

    // The ideal position of every observed supersample, once: distortion then costs nothing per frame.
    // Padded to whole groups of eight for the vector loop; the extra columns are never shown.
    const int sw = camera.xsize * kSuper, sh = camera.ysize * kSuper;
    impl->ideal.create(sh, (sw + 7) / 8 * 8, CV_32FC2);
    cv::parallel_for_(cv::Range(0, sh), [&](const cv::Range& rows) {
        for (int sy = rows.start; sy < rows.end; ++sy) {
            auto* out = impl->ideal.ptr<cv::Vec2f>(sy);
            const double oy = (sy + 0.5) / kSuper - 0.5;
            for (int sx = 0; sx < impl->ideal.cols; ++sx) {
                double ix, iy;
                observedToIdeal(camera, (std::min(sx, sw - 1) + 0.5) / kSuper - 0.5, oy, ix, iy);
                out[sx] = cv::Vec2f(static_cast<float>(ix), static_cast<float>(iy));
            }
        }
    });

    std::vector<AtlasBlock> blocks;
    blocks.reserve(kCardLevels + kDeskLevels + 1);
    for (const cv::Mat& level : mipLevels(makeCard(marker), kCardLevels)) {
        blocks.push_back({});
        cv::copyMakeBorder(level, blocks.back().texels, kPad, kPad, kPad, kPad, cv::BORDER_REPLICATE);
    }
    for (const cv::Mat& level : deskLevels()) {
        blocks.push_back({});
        cv::copyMakeBorder(level, blocks.back().texels, kPad, kPad, kPad, kPad, cv::BORDER_WRAP);
    }
    blocks.push_back({cv::Mat(4, 4, CV_8UC3, cv::Scalar(kWall)), {}});
    std::vector<AtlasBlock*> order;
    for (AtlasBlock& b : blocks) order.push_back(&b);
    impl->atlas = packAtlas(order);
    for (int i = 0; i < kCardLevels; ++i) impl->cardOrigin[i] = blocks[i].origin;
    for (int i = 0; i < kDeskLevels; ++i) impl->deskOrigin[i] = blocks[kCardLevels + i].origin;
    impl->wall = blocks.back().origin;
    impl->super.create(sh, sw, CV_8UC3);
    return std::unique_ptr<SyntheticScene>(new SyntheticScene(std::move(impl)));
}

// ---- 5. ground truth ----

SyntheticTruth computeSyntheticTruth(const CameraParam& camera, double width, const double pose[3][4]) {
    SyntheticTruth truth;
    std::memcpy(truth.transform, pose, sizeof truth.transform);
    const double h = width / 2;
    const double corner[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
    double depth = 0.0;
    for (int i = 0; i < 4; ++i)
        project(camera, pose, corner[i][0], corner[i][1], truth.corners[i][0], truth.corners[i][1], depth);
    if (!finitePose(pose)) return truth;
    // The whole outline, not only the corners: distortion bends straight edges outwards.
    constexpr int kSteps = 16;
    bool inView = true;
    for (int side = 0; side < 4 && inView; ++side) {
        const double* a = corner[side];
        const double* b = corner[(side + 1) % 4];
        for (int s = 0; s < kSteps && inView; ++s) {
            const double f = static_cast<double>(s) / kSteps;
            double u, v, ox, oy;
            project(camera, pose, a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, u, v, depth);
            if (!(depth > 0.0)) inView = false;
            idealToObserved(camera, u, v, ox, oy);
            if (!(ox >= 0.0 && oy >= 0.0 && ox <= camera.xsize - 1.0 && oy <= camera.ysize - 1.0))
                inView = false;
        }
    }
    truth.markerInView = inView;
    return truth;
}

// ---- 6. one frame ----

bool renderSyntheticFrame(SyntheticScene& scene, const double pose[3][4], double noiseSigma, uint64_t seed,
                          uint64_t frameNumber, BgrImage& image, SyntheticTruth& truth) {
    SyntheticScene::Impl& s = *scene.impl_;
    const CameraParam& cam = s.camera;
    const int width = cam.xsize, height = cam.ysize;
    truth = computeSyntheticTruth(s.original, s.width, pose);
    const bool good = finitePose(pose);

    // Homography plane (X, Y, 1) -> ideal pixel, then its inverse. The inverse's third output is
    // 1 / depth, so its sign tells the points in front of the camera.
    cv::Matx33d g;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int col = c < 2 ? c : 3;
            g(r, c) = good ? cam.mat[r][0] * pose[0][col] + cam.mat[r][1] * pose[1][col] +
                                 cam.mat[r][2] * pose[2][col]
                           : 0.0;
        }
        if (good) g(r, 2) += cam.mat[r][3];
    }
    cv::Matx33d hd(0, 0, 0, 0, 0, 0, 0, 0, -1);  // all wall
    if (good && std::fabs(cv::determinant(g)) > 1e-300) hd = g.inv();
    cv::Matx33f h = hd;
    const float cMin = static_cast<float>(1.0 / (kFarWidths * s.width));
    const float cardHalf = static_cast<float>(kCardHalf * s.width);
    const float cardScale0 = static_cast<float>(kCardTexels / (2 * kCardHalf * s.width));
    const float deskScale0 = static_cast<float>(kDeskTexels / (kDeskTileWidths * s.width));
    constexpr float kIdealPerSuper2 = 1.0f / (kSuper * kSuper);  // squared ideal pixels per supersample

    // Step 1: every supersample's atlas position, eight at a time, in strips so the map stays in cache;
    // then the texture look-up. The map is written in remap's own fixed-point form (whole texel and
    // 1/32 fractions), which saves remap converting it.
    const int sw = width * kSuper, sh = height * kSuper;
    const int padded = s.ideal.cols;
    float cardOriginX[kLevelSlots], cardOriginY[kLevelSlots], deskOriginX[kLevelSlots],
        deskOriginY[kLevelSlots];
    for (int i = 0; i < kLevelSlots; ++i) {
        // Less half a texel: remap puts texel centres on whole coordinates.
        cardOriginX[i] = s.cardOrigin[std::min(i, kCardLevels - 1)].x - 0.5f;
        cardOriginY[i] = s.cardOrigin[std::min(i, kCardLevels - 1)].y - 0.5f;
        deskOriginX[i] = s.deskOrigin[std::min(i, kDeskLevels - 1)].x - 0.5f;
        deskOriginY[i] = s.deskOrigin[std::min(i, kDeskLevels - 1)].y - 0.5f;
    }
    constexpr int kStrip = 16;
    cv::parallel_for_(cv::Range(0, (sh + kStrip - 1) / kStrip), [&](const cv::Range& strips) {
        using cv::v_float32x4;
        using cv::v_int32x4;
        const auto all = [](float v) { return cv::v_setall_f32(v); };
        const auto allInt = [](int v) { return cv::v_setall_s32(v); };
        const v_float32x4 h00 = all(h(0, 0)), h01 = all(h(0, 1)), h02 = all(h(0, 2)), h10 = all(h(1, 0)),
                          h11 = all(h(1, 1)), h12 = all(h(1, 2)), h20 = all(h(2, 0)), h21 = all(h(2, 1)),
                          h22 = all(h(2, 2));
        const v_float32x4 near = all(cMin), one = all(1.0f), zero = all(0.0f), half = all(cardHalf);
        const v_float32x4 deskStretch = all(kIdealPerSuper2 * deskScale0 * deskScale0);
        const v_float32x4 cardScale = all(cardScale0), deskScale = all(deskScale0);
        const v_float32x4 tile = all(kDeskTexels), perTile = all(1.0f / kDeskTexels), justBelow = all(0.01f);
        const v_float32x4 wallX = all(s.wall.x), wallY = all(s.wall.y), fractions = all(cv::INTER_TAB_SIZE);
        const v_int32x4 exponentBias = allInt(127), topCard = allInt(kCardLevels - 1),
                        topDesk = allInt(kDeskLevels - 1), none = allInt(0),
                        cardFiner = allInt(kCardFinerLevels + kCardBlurLevels),
                        fractionMask = allInt(cv::INTER_TAB_SIZE - 1);
        // 2^level and 2^-level as floats, built from the exponent bits.
        const auto up = [&](const v_int32x4& level) {
            return cv::v_reinterpret_as_f32((exponentBias + level) << 23);
        };
        const auto down = [&](const v_int32x4& level) {
            return cv::v_reinterpret_as_f32((exponentBias - level) << 23);
        };
        // Atlas position of four supersamples: whole texels (x, y) and the 1/32 fraction index.
        const auto place = [&](const float* ideal, v_int32x4& wholeX, v_int32x4& wholeY,
                               v_int32x4& fraction) {
            v_float32x4 ix, iy;
            cv::v_load_deinterleave(ideal, ix, iy);
            const v_float32x4 a = h00 * ix + h01 * iy + h02;
            const v_float32x4 b = h10 * ix + h11 * iy + h12;
            const v_float32x4 c = h20 * ix + h21 * iy + h22;
            const v_float32x4 front = c > near;
            const v_float32x4 inv = one / cv::v_select(front, c, one);
            const v_float32x4 x = a * inv, y = b * inv;
            // Squared plane units per supersample along the more stretched image axis, in desk texels;
            // half its exponent is the desk's mip level, and the card's is kCardFinerLevels more.
            const v_float32x4 j00 = h00 - x * h20, j01 = h01 - x * h21;
            const v_float32x4 j10 = h10 - y * h20, j11 = h11 - y * h21;
            const v_float32x4 stretch =
                cv::v_max(j00 * j00 + j10 * j10, j01 * j01 + j11 * j11) * inv * inv * deskStretch;
            const v_int32x4 octave = ((cv::v_reinterpret_as_s32(stretch) >> 23) - exponentBias) >> 1;
            const v_int32x4 cl = cv::v_min(cv::v_max(octave + cardFiner, none), topCard);
            const v_int32x4 dl = cv::v_min(cv::v_max(octave, none), topDesk);

            // The desk repeats: fold into one tile of this level.
            const v_float32x4 ds = deskScale * down(dl), size = tile * down(dl), perSize = perTile * up(dl);
            const auto fold = [&](const v_float32x4& u) {
                const v_float32x4 folded = u - cv::v_cvt_f32(cv::v_floor(u * perSize)) * size;
                return cv::v_min(cv::v_max(folded, zero), size - justBelow);
            };
            const v_float32x4 deskU = fold(x * ds) + cv::v_lut(deskOriginX, dl);
            const v_float32x4 deskV = fold(zero - y * ds) + cv::v_lut(deskOriginY, dl);

            v_float32x4 u = deskU, v = deskV;
            const v_float32x4 onCard = (cv::v_abs(x) < half) & (cv::v_abs(y) < half) & front;
            if (cv::v_check_any(onCard)) {  // most groups lie on the desk only
                const v_float32x4 cs = cardScale * down(cl);
                u = cv::v_select(onCard, (x + half) * cs + cv::v_lut(cardOriginX, cl), u);
                v = cv::v_select(onCard, (half - y) * cs + cv::v_lut(cardOriginY, cl), v);
            }
            const v_int32x4 fixedU = cv::v_round(cv::v_select(front, u, wallX) * fractions);
            const v_int32x4 fixedV = cv::v_round(cv::v_select(front, v, wallY) * fractions);
            wholeX = fixedU >> cv::INTER_BITS;
            wholeY = fixedV >> cv::INTER_BITS;
            fraction = ((fixedV & fractionMask) << cv::INTER_BITS) + (fixedU & fractionMask);
        };
        cv::Mat whole(kStrip, padded, CV_16SC2), fraction(kStrip, padded, CV_16UC1);
        for (int strip = strips.start; strip < strips.end; ++strip) {
            const int y0 = strip * kStrip, rows = std::min(kStrip, sh - y0);
            for (int r = 0; r < rows; ++r) {
                const float* ideal = s.ideal.ptr<float>(y0 + r);
                int16_t* xy = whole.ptr<int16_t>(r);
                uint16_t* f = fraction.ptr<uint16_t>(r);
                for (int sx = 0; sx < padded; sx += 8) {
                    v_int32x4 x0, y0_, f0, x1, y1, f1;
                    place(ideal + 2 * sx, x0, y0_, f0);
                    place(ideal + 2 * sx + 8, x1, y1, f1);
                    cv::v_store_interleave(xy + 2 * sx, cv::v_pack(x0, x1), cv::v_pack(y0_, y1));
                    cv::v_store(f + sx, cv::v_reinterpret_as_u16(cv::v_pack(f0, f1)));
                }
            }
            cv::Mat dst = s.super.rowRange(y0, y0 + rows);
            const cv::Range used(0, sw);
            cv::remap(s.atlas, dst, whole(cv::Range(0, rows), used), fraction(cv::Range(0, rows), used),
                      cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        }
    });

    // Step 2: average each pixel's supersamples, darken the corners a little like a lens does, add noise.
    if (image.width != width || image.height != height ||
        image.pixels.size() != static_cast<size_t>(width) * height * 3)
        image = BgrImage(width, height, 0);
    const float sigma = std::isfinite(noiseSigma) && noiseSigma > 0.0 ? static_cast<float>(noiseSigma) : 0.0f;
    const std::vector<float>& normal = normalTable();
    const float cx = 0.5f * (width - 1), cy = 0.5f * (height - 1);
    const float vignette = 0.12f / (cx * cx + cy * cy);
    const uint64_t frameSeed = splitMix(splitMix(seed) ^ frameNumber);
    cv::parallel_for_(cv::Range(0, height), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uint8_t* top = s.super.ptr<uint8_t>(kSuper * y);
            const uint8_t* bottom = s.super.ptr<uint8_t>(kSuper * y + 1);
            uint8_t* out = image.at(0, y);
            uint64_t state = splitMix(frameSeed ^ static_cast<uint64_t>(y));
            uint64_t bits = 0;
            int bitsLeft = 0;
            const float dy2 = (y - cy) * (y - cy);
            for (int x = 0; x < width; ++x) {
                const float gain = 0.25f * (1.0f - vignette * ((x - cx) * (x - cx) + dy2));
                for (int c = 0; c < 3; ++c) {
                    const int i = 6 * x + c;
                    float v = gain * static_cast<float>(top[i] + top[i + 3] + bottom[i] + bottom[i + 3]);
                    if (sigma > 0.0f) {
                        if (bitsLeft == 0) {
                            state += 0x9e3779b97f4a7c15ull;
                            bits = splitMix(state);
                            bitsLeft = 4;
                        }
                        v += sigma * normal[bits & 0xffff];
                        bits >>= 16;
                        --bitsLeft;
                    }
                    out[3 * x + c] = static_cast<uint8_t>(std::min(std::max(v, 0.0f), 255.0f) + 0.5f);
                }
            }
        }
    });
    return good;
}

// ---- 7. marker designs ----

SyntheticMarker syntheticMarkerFromPattern(const PatternData& pattern, double width) {
    SyntheticMarker marker;
    marker.width = width;
    marker.cells = true;
    marker.interior = BgrImage(kPatternSide, kPatternSide);
    for (int row = 0; row < kPatternSide; ++row)
        for (int col = 0; col < kPatternSide; ++col)
            for (int plane = 0; plane < kPatternPlanes; ++plane)
                marker.interior.at(col, row)[plane] = pattern.raw[0][patternIndex(plane, row, col)];
    return marker;
}

bool syntheticMarkerFromImage(const std::string& path, double width, SyntheticMarker& out,
                              std::string& error) {
    BgrImage image;
    if (!loadImage(path, image, error)) {
        error = "marker image \"" + path + "\": " + error;
        return false;
    }
    SyntheticMarker marker;
    marker.width = width;
    marker.interior = markerInterior(image);
    out = std::move(marker);
    return true;
}

PatternData builtInSyntheticPattern() {
    uint8_t upright[kPatternSide][kPatternSide][3];
    for (int row = 0; row < kPatternSide; ++row)
        for (int col = 0; col < kPatternSide; ++col)
            for (int c = 0; c < 3; ++c)
                upright[row][col][c] = kBuiltInDesign[row][col] == '#' ? kInk[c] : kPaper[c];
    return patternFromUpright(upright);
}

SyntheticMarker builtInSyntheticMarker(double width) {
    return syntheticMarkerFromPattern(builtInSyntheticPattern(), width);
}

// ---- 8. camera paths ----

void syntheticLookAt(const double eye[3], const double target[3], double roll, double out[3][4]) {
    double f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    const double fn = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& v : f) v /= fn;
    // Right = forward × up(Z), so the far side of the desk (the marker's top) is at the image top.
    double r[3] = {f[1], -f[0], 0.0};
    const double rn = std::sqrt(r[0] * r[0] + r[1] * r[1]);
    for (double& v : r) v /= rn;
    const double d[3] = {f[1] * r[2] - f[2] * r[1], f[2] * r[0] - f[0] * r[2], f[0] * r[1] - f[1] * r[0]};
    const double cr = std::cos(roll), sr = std::sin(roll);
    for (int i = 0; i < 3; ++i) {
        out[0][i] = cr * r[i] + sr * d[i];
        out[1][i] = -sr * r[i] + cr * d[i];
        out[2][i] = f[i];
    }
    for (int row = 0; row < 3; ++row)
        out[row][3] = -(out[row][0] * eye[0] + out[row][1] * eye[1] + out[row][2] * eye[2]);
}

namespace {

void orbitPose(double distance, double elevation, double azimuth, double roll, const double target[3],
               double out[3][4]) {
    const double eye[3] = {target[0] + distance * std::cos(elevation) * std::sin(azimuth),
                           target[1] - distance * std::cos(elevation) * std::cos(azimuth),
                           target[2] + distance * std::sin(elevation)};
    syntheticLookAt(eye, target, roll, out);
}

constexpr double kDegree = kPi / 180.0;

}  // namespace

void syntheticPathPose(SyntheticPath path, double seconds, double width, double out[3][4]) {
    if (!std::isfinite(seconds)) seconds = 0.0;
    switch (path) {
        case SyntheticPath::Frontal: {
            // Straight down from 5 widths: marker X along image x, marker Y against image y.
            const double pose[3][4] = {{1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 5 * width}};
            std::memcpy(out, pose, sizeof pose);
            return;
        }
        case SyntheticPath::Still: {
            const double target[3] = {0.0, 0.0, 0.0};
            orbitPose(6 * width, 50 * kDegree, 20 * kDegree, 3 * kDegree, target, out);
            return;
        }
        case SyntheticPath::Orbit:
            break;
    }
    // Whole multiples of one base frequency, so the path repeats after kSyntheticOrbitPeriod.
    const double phase = 2 * kPi * std::fmod(seconds, kSyntheticOrbitPeriod) / kSyntheticOrbitPeriod;
    const double azimuth = 45 * kDegree * std::sin(phase);
    const double elevation = (55 + 20 * std::sin(2 * phase + 0.7)) * kDegree;
    const double distance = width * (6 + 2 * std::sin(3 * phase + 1.9));
    const double roll = 6 * kDegree * std::sin(5 * phase);
    const double target[3] = {0.25 * width * std::sin(4 * phase + 0.4), 0.2 * width * std::cos(3 * phase),
                              0.0};
    orbitPose(distance, elevation, azimuth, roll, target, out);
}

}  // namespace kelmo
