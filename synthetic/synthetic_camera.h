#pragma once
// The synthetic camera: a video source that renders a marker on a desk along a camera path, paced like
// a live camera, and tells the truth about every image it delivers.
//
#include <cstdint>
#include <memory>
#include <string>

#include "synthetic/synthetic_scene.h"
#include "tracking/camera_config.h"
#include "tracking/frame_pacer.h"
#include "tracking/synthetic_options.h"
#include "tracking/video_source.h"

namespace kelmo {

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

// For openVideoSource: sourceConfig.options holds the option text, sourceConfig.cameraParamFile the default
// parameters.
std::unique_ptr<VideoSource> openSyntheticSource(const CameraConfig& sourceConfig, std::string& error,
                                                 MillisecondClock clock = {});

}  // namespace kelmo
