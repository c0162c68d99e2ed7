#include "tracking/video_background.h"

#include <GL/gl.h>

namespace kelmo {
namespace {

constexpr int kMeshDivisions = 20;

}  // namespace

std::vector<BackgroundVertex> backgroundMesh(const CameraParam& param, int divisions) {
    std::vector<BackgroundVertex> mesh;
    mesh.reserve(static_cast<size_t>((divisions + 1) * (divisions + 1)));
    for (int j = 0; j <= divisions; ++j) {
        for (int i = 0; i <= divisions; ++i) {
            const double u = static_cast<double>(i) / divisions;
            const double v = static_cast<double>(j) / divisions;
            // Pixel coordinates name pixel centres, so the image edge lies half a pixel outside them.
            double x, y;
            observedToIdeal(param, u * param.xsize - 0.5, v * param.ysize - 0.5, x, y);
            mesh.push_back({u, v, x, y});
        }
    }
    return mesh;
}

VideoBackground::VideoBackground(const CameraParam& param)
    : mesh_(backgroundMesh(param, kMeshDivisions)), divisions_(kMeshDivisions) {}

VideoBackground::~VideoBackground() {
    if (texture_ != 0) glDeleteTextures(1, &texture_);
}

void VideoBackground::draw(const ImageView& image, int windowWidth, int windowHeight) {
    if (image.pixels == nullptr || image.width <= 0 || image.height <= 0) return;

    GLint savedTexture = 0, savedAlignment = 0, savedRowLength = 0, savedEnvMode = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &savedTexture);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &savedAlignment);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &savedRowLength);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &savedEnvMode);
    const GLboolean textureWasOn = glIsEnabled(GL_TEXTURE_2D);
    const GLboolean depthWasOn = glIsEnabled(GL_DEPTH_TEST);

    if (texture_ == 0) glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, image.stride / 3);
    if (image.width != textureWidth_ || image.height != textureHeight_) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, image.width, image.height, 0, GL_BGR, GL_UNSIGNED_BYTE,
                     image.pixels);
        textureWidth_ = image.width;
        textureHeight_ = image.height;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width, image.height, GL_BGR, GL_UNSIGNED_BYTE,
                        image.pixels);
    }

    glViewport(0, 0, windowWidth, windowHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, windowWidth, 0.0, windowHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    // The image is the background: it must not hide what was drawn before nor what comes after.
    glDisable(GL_DEPTH_TEST);
    // Ideal pixel y maps to window row (height - 1 - y), as in the 3D projection.
    const double top = windowHeight - 1.0;
    const int stride = divisions_ + 1;
    for (int j = 0; j < divisions_; ++j) {
        glBegin(GL_QUAD_STRIP);
        for (int i = 0; i <= divisions_; ++i) {
            for (int row : {j, j + 1}) {
                const BackgroundVertex& p = mesh_[static_cast<size_t>(row * stride + i)];
                glTexCoord2d(p.u, p.v);
                glVertex2d(p.x, top - p.y);
            }
        }
        glEnd();
    }

    if (depthWasOn) glEnable(GL_DEPTH_TEST);
    if (!textureWasOn) glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, savedEnvMode);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, savedRowLength);
    glPixelStorei(GL_UNPACK_ALIGNMENT, savedAlignment);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(savedTexture));
}

}  // namespace kelmo
