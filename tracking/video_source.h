#pragma once
// Where camera images come from: a live camera, a video file played like one, still images.
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

}  // namespace kelmo
