#pragma once
// Marker designs as images: turning a design into a pattern file without a camera, and composing a
// printable marker around it.
#include <cstdint>
#include <string>
#include <vector>

#include "tracking/image_view.h"
#include "tracking/pattern_file.h"

namespace kelmo {

// An image we own: packed BGR, 3 bytes a pixel, row 0 at the top, no row padding.
struct BgrImage {
    int width = 0;  // pixels
    int height = 0;
    std::vector<uint8_t> pixels;  // width · height · 3 bytes

    BgrImage() = default;
    BgrImage(int w, int h, uint8_t grey = 255)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, grey) {}
    uint8_t* at(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
    const uint8_t* at(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
    ImageView view() const { return ImageView{width, height, width * 3, pixels.data()}; }
};

// Any image file OpenCV reads; grey becomes BGR, transparent parts lie on white paper.
bool loadImage(const std::string& path, BgrImage& out, std::string& error);
// PNG. pixelsPerMetre > 0 is stored as the print resolution, so "actual size" prints come out right.
bool savePng(const std::string& path, const BgrImage& image, int pixelsPerMetre, std::string& error);

// True when the outer quarter of the image is dark on all four sides and the middle is not: a marker
// with its black border.
bool hasMarkerBorder(const BgrImage& image);

// The design inside the marker: the central half of a whole marker (a light margin around the marker
// is skipped first), otherwise the image itself. wholeMarker, when given, tells which it was.
BgrImage markerInterior(const BgrImage& image, bool* wholeMarker = nullptr);

// Area averages of 16 × 16 equal cells covering the whole image: cells[row][column][B, G, R].
void averageCells(const BgrImage& image, double cells[kPatternSide][kPatternSide][3]);

// The pattern file of an interior design, upright in direction 0. False when the design is uniform,
// since such a pattern matches nothing.
bool patternFromDesign(const BgrImage& interior, PatternData& out, std::string& error);

// A printable marker: a white margin of an eighth of squareSide, the black square of squareSide pixels
// and the interior scaled into its central half.
BgrImage composePrintable(const BgrImage& interior, int squareSide);

}  // namespace kelmo
