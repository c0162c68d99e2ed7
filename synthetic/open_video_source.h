#pragma once
// Opening whichever source the camera configuration names. It sits above tracking/ because the
// synthetic camera renders with tracking's camera model; the tracker takes it as an argument.
#include <memory>
#include <string>

#include "tracking/camera_config.h"
#include "tracking/frame_pacer.h"
#include "tracking/video_source.h"

namespace kelmo {

// Opens the source and reads its first image to learn the size (a synthetic camera knows it from its
// parameters). Null, with the reason, on failure. Files, image series and the synthetic camera are
// paced by the clock (empty: the steady clock); a live camera delivers when it has a new image.
std::unique_ptr<VideoSource> openVideoSource(const CameraConfig& sourceConfig, std::string& error,
                                             MillisecondClock clock = {});

}  // namespace kelmo
