#pragma once
// The scene's one light, kept on the program side so that it can be sent again each time it is
// switched on: its position then follows the modelview matrix current at that call. GL thread only.
#include <GL/gl.h>

namespace kelmo {

class SceneLight {
public:
    // A point light at (x, y, z) with diffuse (r, g, b, 1), specular 0.5, ambient 1; sends them.
    SceneLight(GLenum light, float x, float y, float z, float r, float g, float b);
    // Captures the light's current parameters from GL.
    explicit SceneLight(GLenum light);
    virtual ~SceneLight();

    // Switches the light and lighting on and sends the parameters, the position as (x, y, z, 1).
    void enable() const;
    void disable() const;
    // Takes other's light and parameters (sending nothing), then switches the light and lighting on
    // or off as they were when other was constructed.
    void copyFrom(const SceneLight& other);

    int lightNumber() const { return static_cast<int>(light_) - GL_LIGHT0; }
    GLenum light() const { return light_; }
    const float* position() const { return position_; }  // x, y, z
    const float* diffuse() const { return diffuse_; }    // r, g, b, a

private:
    void recordEnableState();
    void send() const;

    GLenum light_;
    float position_[3] = {};
    float diffuse_[4] = {};
    float specular_[4] = {};
    float ambient_[4] = {};
    // As they were at construction; never copied.
    bool lightingWasEnabled_ = false;
    bool lightWasEnabled_ = false;
};

}  // namespace kelmo
