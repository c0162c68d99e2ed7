#include "gl/gl_state.h"

namespace kelmo {

void setEnabled(GLenum capability, bool on) {
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

SavedMaterial saveMaterial(GLenum face) {
    SavedMaterial m;
    glGetMaterialfv(face, GL_DIFFUSE, m.diffuse);
    glGetMaterialfv(face, GL_AMBIENT, m.ambient);
    glGetMaterialfv(face, GL_SPECULAR, m.specular);
    glGetMaterialfv(face, GL_EMISSION, m.emission);
    glGetMaterialfv(face, GL_SHININESS, &m.shininess);
    return m;
}

void restoreMaterial(GLenum face, const SavedMaterial& m) {
    glMaterialfv(face, GL_DIFFUSE, m.diffuse);
    glMaterialfv(face, GL_AMBIENT, m.ambient);
    glMaterialfv(face, GL_SPECULAR, m.specular);
    glMaterialfv(face, GL_EMISSION, m.emission);
    glMaterialf(face, GL_SHININESS, m.shininess);
}

PushedModelview::PushedModelview() {
    glGetIntegerv(GL_MATRIX_MODE, &mode_);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

PushedModelview::~PushedModelview() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(mode_));
}

}  // namespace kelmo
