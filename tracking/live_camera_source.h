#pragma once
// A live camera as a video source that always hands out its newest image.
//
// The driver keeps a queue of images (V4L2: several buffers). Read one at a time by a frame loop
// slower than the camera, the queue fills up and every image handed out is several periods old; the
// first one after a long start-up is as old as the start-up. A grabber thread empties the queue as
// images arrive and keeps only the newest, so the frame loop never gets an image older than one
// camera period.
#include <memory>
#include <string>

#include "tracking/marker_image.h"
#include "tracking/video_source.h"

namespace kelmo {

// The driver's side of a live camera. grab and retrieve are called from the grabber thread only.
class CameraDevice {
public:
    virtual ~CameraDevice() = default;
    // Waits for the oldest image in the driver's queue. False when the camera stopped delivering.
    virtual bool grab() = 0;
    // Decodes the grabbed image into packed BGR at the size fixed at opening, reusing image's buffer.
    // False when this image cannot be used; the camera goes on.
    virtual bool retrieve(BgrImage& image) = 0;
    // Called from another thread at shutdown: a grab that waits should return soon. A device whose
    // grab returns within a camera period needs nothing here.
    virtual void cancel() {}
};

// The grabber thread starts at once and keeps the queue empty while the program loads; images are
// decoded only between start() and stop(), so the first one handed out was captured at most one
// period before start(). name says which camera in messages ("camera 0"). width and height are the
// size retrieve delivers.
std::unique_ptr<VideoSource> openLiveCameraSource(std::unique_ptr<CameraDevice> device, int width, int height,
                                                  const std::string& name);

}  // namespace kelmo
