#pragma once
// Where camera images come from: a live camera, a video file played like one, still images.
#include <memory>
#include <string>

#include "tracking/frame_pacer.h"
#include "tracking/image_view.h"

namespace kelmo {

class VideoSource {
public:
    virtual ~VideoSource() = default;

    // Image size in pixels; fixed from opening on (later images of another size are scaled to it).
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    // The newest image not delivered yet, or null when none is ready; never one older than a camera
    // period. It stays valid until releaseImage(); until then no further image is delivered.
    virtual const ImageView* getImage() = 0;
    virtual void releaseImage() = 0;
};

enum class VideoSourceKind { CameraIndex, CameraDevice, VideoFile, ImageFile, ImageSequence, Synthetic };

struct VideoSourceSpec {
    VideoSourceKind kind = VideoSourceKind::CameraIndex;
    int cameraIndex = 0;  // CameraIndex
    std::string path;     // device path, file or numbered file pattern
    int width = 0;        // requested camera size; 0 leaves the driver's choice
    int height = 0;
    std::string options;          // Synthetic: the text after the word "synthetic"
    std::string cameraParamFile;  // the camera parameter file (CAM_PARA), for sources that render
};

// Reads the camera configuration string (CAM_CON). False, with the reason, for text it cannot use.
bool parseCameraConfig(const std::string& text, VideoSourceSpec& spec, std::string& error);

// Opens the source and reads its first image to learn the size (a synthetic camera knows it from its
// parameters). Null, with the reason, on failure. Files, image series and the synthetic camera are
// paced by the clock (empty: the steady clock); a live camera delivers when it has a new image.
std::unique_ptr<VideoSource> openVideoSource(const VideoSourceSpec& spec, std::string& error,
                                             MillisecondClock clock = {});

}  // namespace kelmo
