#pragma once
// The synthetic camera: a video source that renders a marker on a desk along a camera path, paced like
// a live camera, and tells the truth about every image it delivers.
//
// Configuration (CAM_CON): the word "synthetic", then space-separated key=value options:
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
#include <memory>
#include <string>

#include "tracking/frame_pacer.h"
#include "tracking/synthetic_scene.h"
#include "tracking/video_source.h"

namespace kelmo {

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

struct SyntheticFrameTruth {
    uint64_t frameNumber = 0;  // frames since start(), skipped ones included; shown at frameNumber / fps s
    SyntheticTruth truth;
};

class SyntheticCamera : public VideoSource {
public:
    ~SyntheticCamera() override;

    int width() const override;
    int height() const override;
    void start() override;
    void stop() override;
    // Renders the frame that is due, if any (see FramePacer).
    const ImageView* getImage() override;
    void releaseImage() override;

    // The image getImage delivered last; null before the first.
    const SyntheticFrameTruth* lastDelivered() const;
    // One frame at any pose, unpaced, with this camera's marker, noise and seed.
    bool renderAt(const double pose[3][4], uint64_t frameNumber, BgrImage& image, SyntheticTruth& truth);
    const CameraParam& camera() const;  // at the image size
    const SyntheticOptions& options() const;

private:
    friend std::unique_ptr<SyntheticCamera> openSyntheticCamera(const SyntheticOptions&, std::string&,
                                                                MillisecondClock);
    struct State;
    explicit SyntheticCamera(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// Loads the parameters and the marker. Null, with a message naming the file or value, on failure.
// The clock paces the frames (empty: the steady clock).
std::unique_ptr<SyntheticCamera> openSyntheticCamera(const SyntheticOptions& options, std::string& error,
                                                     MillisecondClock clock = {});

// For openVideoSource: spec.options holds the option text, spec.cameraParamFile the default parameters.
std::unique_ptr<VideoSource> openSyntheticSource(const VideoSourceSpec& spec, std::string& error,
                                                 MillisecondClock clock = {});

}  // namespace kelmo
