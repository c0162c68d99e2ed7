#pragma once
// What a real camera meets and a plain synthetic render lacks, applied to a rendered frame: uneven
// light, a hand or object over the marker, motion blur and sensor noise; and printouts that are not
// markers but look like them.
#include <cstdint>

#include "synthetic/synthetic_scene.h"
#include "tracking/marker_image.h"
#include "tracking/pattern_file.h"

namespace kelmo {

// Light falling linearly across the frame along `angle` (radians, image x towards y): gain `from` at the
// frame's first corner on that axis, `to` at the last.
void applyBrightnessRamp(BgrImage& image, double angle, double from, double to);
// The frame's extent along the direction at `angle` (radians): the lowest and highest x·cos + y·sin
// of its corner pixels, which the ramp above runs between.
void frameExtentAlong(const BgrImage& image, double angle, double& low, double& high);

// A soft shadow edge through (x, y) along `angle`: gain `depth` on the left of the direction, 1 on the
// right, blended over `softness` pixels.
void applyShadowEdge(BgrImage& image, double x, double y, double angle, double depth, double softness);

// Every pixel times gain (a dim room).
void applyGain(BgrImage& image, double gain);

// A filled ellipse of the given colour (centre, radii and angle in pixels and radians), edges
// anti-aliased: a finger or an object over the marker.
void drawBlob(BgrImage& image, double x, double y, double rx, double ry, double angle, const uint8_t bgr[3]);

// Straight motion of `length` pixels along `angle` during the exposure.
void applyMotionBlur(BgrImage& image, double length, double angle);

// Gaussian noise of sigma intensity levels, the same for the same seed.
void addSensorNoise(BgrImage& image, double sigma, uint64_t seed);

// The pattern printed with worn-out black: the frame and every dark cell lightened so that full black
// comes out at `ink` grey levels.
SyntheticMarker washedOutMarker(const PatternData& pattern, double width, int ink);

enum class LookAlike { TextBlock, BlobDrawing, BitGrid, SolidSquare, FramedSquare };
constexpr int kLookAlikeKinds = 5;

// A printout in a black square frame of its own whose interior is not a marker design; `variant`
// picks one of many of each kind.
SyntheticMarker lookAlikeMarker(LookAlike kind, int variant, double width);

}  // namespace kelmo
