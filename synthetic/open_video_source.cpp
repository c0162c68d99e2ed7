#include "synthetic/open_video_source.h"

#include <utility>

#include "synthetic/synthetic_camera.h"
#include "tracking/capture_source.h"

namespace kelmo {

std::unique_ptr<VideoSource> openVideoSource(const CameraConfig& sourceConfig, std::string& error,
                                             MillisecondClock clock) {
    if (sourceConfig.kind == VideoSourceKind::Synthetic)
        return openSyntheticSource(sourceConfig, error, std::move(clock));
    return openCaptureSource(sourceConfig, error, std::move(clock));
}

}  // namespace kelmo
