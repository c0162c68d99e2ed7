#pragma once
// The synthetic camera's options: the text after the word "synthetic" in the camera configuration.
//
// The word "synthetic", then space-separated key=value options:
//   marker=IMAGE         the interior design (any size; a whole marker's border is cut off)
//   pattern=FILE.patt    the interior drawn from the pattern's direction 0, as crisp cells
//                        (neither given: a built-in asymmetric design)
//   width=MM             outer side of the black square, marker units (80)
//   fps=F                frames per second, 1 to 240 (30)
//   noise=SIGMA          Gaussian sensor noise per channel, intensity levels, 0 to 64 (0)
//   seed=N               seed of the noise, a whole number (1)
//   path=orbit|still|frontal   how the camera moves (orbit)
//   size=WxH             image size; the parameters are scaled to it (the parameter file's size)
//   param=FILE           camera parameter file (CAM_PARA)
// Paths are taken as given, relative ones from the current directory, and cannot hold spaces.
#include <cstdint>
#include <string>

namespace kelmo {

// Largest image side the synthetic camera renders.
constexpr int kMaxSyntheticImageSide = 2048;

// Camera paths looking at the marker, smooth and the same on every run.
enum class SyntheticPath {
    Orbit,    // circles and bobs: 4 to 8 marker widths away, 35° to 75° above the desk, ±45° round
    Still,    // a fixed oblique view
    Frontal,  // straight above, the marker upright in the image
};
constexpr double kSyntheticOrbitPeriod = 40.0;  // seconds after which the orbit repeats

bool parseSyntheticPath(const std::string& name, SyntheticPath& out);

struct SyntheticOptions {
    std::string markerImage;  // empty: patternFile, else the built-in design
    std::string patternFile;
    double width = 80.0;  // marker units
    double framesPerSecond = 30.0;
    double noise = 0.0;  // standard deviation, intensity levels
    uint64_t seed = 1;
    SyntheticPath path = SyntheticPath::Orbit;
    int imageWidth = 0;  // pixels; 0 keeps the parameter file's size
    int imageHeight = 0;
    std::string cameraParamFile;  // empty: the caller's default (CAM_PARA)
};

// The text after the word "synthetic". False, with a message naming the option, for an unknown key, a
// bad value, a key given twice, or both marker= and pattern=.
bool parseSyntheticOptions(const std::string& text, SyntheticOptions& out, std::string& error);

}  // namespace kelmo
