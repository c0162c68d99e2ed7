#include "render/scene_light.h"

#include <algorithm>

#include "gl/gl_state.h"

namespace kelmo {

SceneLight::SceneLight(GLenum light, float x, float y, float z, float r, float g, float b)
    : light_(light),
      position_{x, y, z},
      diffuse_{r, g, b, 1.0f},
      specular_{0.5f, 0.5f, 0.5f, 1.0f},
      ambient_{1.0f, 1.0f, 1.0f, 1.0f} {
    recordEnableState();
    send();
}

SceneLight::SceneLight(GLenum light) : light_(light) {
    recordEnableState();
    glGetLightfv(light_, GL_DIFFUSE, diffuse_);
    glGetLightfv(light_, GL_SPECULAR, specular_);
    glGetLightfv(light_, GL_AMBIENT, ambient_);
    float position[4] = {};
    glGetLightfv(light_, GL_POSITION, position);
    std::copy(position, position + 3, position_);
}

SceneLight::~SceneLight() = default;

void SceneLight::recordEnableState() {
    lightingWasEnabled_ = glIsEnabled(GL_LIGHTING) == GL_TRUE;
    lightWasEnabled_ = glIsEnabled(light_) == GL_TRUE;
}

void SceneLight::send() const {
    const float position[4] = {position_[0], position_[1], position_[2], 1.0f};
    glLightfv(light_, GL_DIFFUSE, diffuse_);
    glLightfv(light_, GL_SPECULAR, specular_);
    glLightfv(light_, GL_AMBIENT, ambient_);
    glLightfv(light_, GL_POSITION, position);
}

void SceneLight::enable() const {
    glEnable(light_);
    send();
    glEnable(GL_LIGHTING);
}

void SceneLight::disable() const {
    glDisable(light_);
    glDisable(GL_LIGHTING);
}

void SceneLight::copyFrom(const SceneLight& other) {
    light_ = other.light_;
    std::copy(other.position_, other.position_ + 3, position_);
    std::copy(other.diffuse_, other.diffuse_ + 4, diffuse_);
    std::copy(other.specular_, other.specular_ + 4, specular_);
    std::copy(other.ambient_, other.ambient_ + 4, ambient_);
    setEnabled(light_, other.lightWasEnabled_);
    setEnabled(GL_LIGHTING, other.lightingWasEnabled_);
}

}  // namespace kelmo
