#pragma once
// Saving and putting back the GL state a drawing call changes, so that it leaves the caller's state
// as it found it. GL thread only.
#include <GL/gl.h>

namespace kelmo {

// Puts a GL capability into an on/off state, such as one saved with glIsEnabled.
void setEnabled(GLenum capability, bool on);

// One face's material.
struct SavedMaterial {
    GLfloat diffuse[4], ambient[4], specular[4], emission[4];
    GLfloat shininess;
};

// face: GL_FRONT or GL_BACK.
SavedMaterial saveMaterial(GLenum face);
// face: GL_FRONT, GL_BACK or GL_FRONT_AND_BACK.
void restoreMaterial(GLenum face, const SavedMaterial& material);

// Pushes the modelview matrix; the destructor pops it and puts back the caller's matrix mode.
class PushedModelview {
public:
    PushedModelview();
    ~PushedModelview();
    PushedModelview(const PushedModelview&) = delete;
    PushedModelview& operator=(const PushedModelview&) = delete;

private:
    GLint mode_ = GL_MODELVIEW;
};

}  // namespace kelmo
