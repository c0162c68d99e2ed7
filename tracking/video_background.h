#pragma once
// Draws the camera image behind the 3D view, undistorted through the lens model so that it lines up
// with the pinhole projection of the 3D view.
#include <vector>

#include "tracking/camera_param.h"
#include "tracking/image_view.h"

namespace kelmo {

// One corner of the background mesh: where the image is sampled (texture coordinates, 0..1) and
// where it is drawn (ideal pixel coordinates, row 0 at the top).
struct BackgroundVertex {
    double u, v;
    double x, y;
};

// (divisions + 1)² vertices, row by row from the image's top, sampling the image edge to edge.
std::vector<BackgroundVertex> backgroundMesh(const CameraParam& param, int divisions);

// Owns the texture that holds the camera image; make, use and destroy it on the GL thread.
class VideoBackground {
public:
    explicit VideoBackground(const CameraParam& param);
    ~VideoBackground();
    VideoBackground(const VideoBackground&) = delete;
    VideoBackground& operator=(const VideoBackground&) = delete;

    // Fills the window's image area (top-left, image size) with the image. Leaves an identity
    // modelview and a window-sized orthographic projection behind, like any 2D drawing mode.
    void draw(const ImageView& image, int windowWidth, int windowHeight);

private:
    std::vector<BackgroundVertex> mesh_;
    int divisions_;
    unsigned texture_ = 0;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
};

}  // namespace kelmo
