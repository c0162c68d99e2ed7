#pragma once
// Video sources on OpenCV's capture: live cameras, video files, still images and numbered series.
#include <memory>
#include <string>

#include "tracking/camera_config.h"
#include "tracking/frame_pacer.h"
#include "tracking/video_source.h"

namespace kelmo {

// Opens the source and reads its first image to learn the size. Null, with the reason, on failure and
// for a synthetic configuration (openVideoSource opens that). Files and image series are paced by the
// clock (empty: the steady clock); a live camera delivers when it has a new image.
std::unique_ptr<VideoSource> openCaptureSource(const CameraConfig& sourceConfig, std::string& error,
                                               MillisecondClock clock = {});

}  // namespace kelmo
