#include "synthetic/open_video_source.h"

#include <utility>

#include "synthetic/synthetic_camera.h"
#include "tracking/capture_source.h"

namespace kelmo {

std::unique_ptr<VideoSource> openVideoSource(const CameraConfig& spec, std::string& error,
                                             MillisecondClock clock) {
    if (spec.kind == VideoSourceKind::Synthetic) return openSyntheticSource(spec, error, std::move(clock));
    return openCaptureSource(spec, error, std::move(clock));
}

}  // namespace kelmo
