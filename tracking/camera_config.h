#pragma once
// The camera configuration (CAM_CON): which video source to open, and how.
#include <string>

namespace kelmo {

enum class VideoSourceKind { CameraIndex, CameraDevice, VideoFile, ImageFile, ImageSequence, Synthetic };

struct CameraConfig {
    VideoSourceKind kind = VideoSourceKind::CameraIndex;
    int cameraIndex = 0;  // CameraIndex
    std::string path;     // device path, file or numbered file pattern
    int width = 0;        // requested camera size; 0 leaves the driver's choice
    int height = 0;
    std::string options;          // Synthetic: the text after the word "synthetic"
    std::string cameraParamFile;  // the camera parameter file (CAM_PARA), for sources that render
};

// Reads the camera configuration string (CAM_CON). False, with the reason, for text it cannot use.
bool parseCameraConfig(const std::string& text, CameraConfig& sourceConfig, std::string& error);

// The source in words for messages, such as: video file "desk.avi".
std::string describeSource(const CameraConfig& sourceConfig);

}  // namespace kelmo
