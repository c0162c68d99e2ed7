#pragma once
// The tracker the frame loop talks to: the camera, its parameters, the pattern slots with their
// latest poses, the window and the camera image as background. Main thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tracking/camera_config.h"
#include "tracking/camera_param.h"
#include "tracking/frame_pacer.h"
#include "tracking/marker_info.h"
#include "tracking/tracking_config.h"
#include "tracking/video_source.h"

namespace kelmo {

struct TrackedPattern {
    int32_t id = -1;              // pattern id; -1 = slot unused
    double width = 0.0;           // marker width, set only for a loaded pattern
    bool visible = false;         // found at least once since start-up
    double transform[3][4] = {};  // last marker-to-camera transform; zeros until first found
};

using CleanupCallback = void (*)();
using MouseCallback = void (*)(int button, int state, int x, int y);
using KeyboardCallback = void (*)(unsigned char key, int x, int y);
using FrameCallback = void (*)();

// Opens a video source for a parsed camera configuration (the program passes openVideoSource).
using VideoSourceOpener = std::unique_ptr<VideoSource> (*)(const CameraConfig& config, std::string& error,
                                                           MillisecondClock clock);

// Opens the camera through open, loads the camera parameters and the patterns, opens the window. Prints
// the image size and the camera parameters; on failure prints one line naming what failed and returns
// false.
bool initTracking(const TrackingConfig& tracking, VideoSourceOpener open);
// The same with a source that is already open (the camera edge of the tests).
bool initTrackingWithSource(const TrackingConfig& tracking, std::unique_ptr<VideoSource> source);

// Takes the next camera image and finds the patterns in it. True when some pattern has a pose, now or
// from an earlier frame; otherwise the bare camera image has been drawn (or nothing, when no image
// was ready). A failed detection runs the clean-up callback and ends the process with status 1.
bool captureAndDetect();
// The slot's pose as a column-major OpenGL modelview matrix that puts the marker's coordinate system
// (marker plane z = 0, units of the configured width) into the camera view. Writes nothing and
// returns false for an index outside 0..9, an unused slot, or a slot never found.
bool getPatternMatrix(double out[16], int index);
// The camera's position in the slot's marker coordinates; same guards.
bool getCameraPosition(double out[3], int index);
bool patternHasPose(int index);
// The markers of the last processed image.
const std::vector<MarkerInfo>& detectedMarkers();

// Hands the image back to the camera and shows the frame.
void finishFrame();
void drawVideoBackground();
// Camera projection and viewport for drawing in the camera frame; modelview identity.
void setDrawMode3D();
// Runs the window's event loop with the given callbacks; does not return.
void startMainLoop(CleanupCallback cleanup, MouseCallback mouse, KeyboardCallback keyboard,
                   FrameCallback frame);
// Prints the frame rate, stops and closes the camera. Safe to call more than once.
void cleanupTracking();

const TrackedPattern* trackedPatterns();  // kPatternCount slots
const CameraParam& cameraParam();         // scaled to the image size
int trackedFrameCount();

}  // namespace kelmo
