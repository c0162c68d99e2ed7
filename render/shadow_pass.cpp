// The four brackets of a shadowed frame: depth from the light into the shadow map, then the camera's
// drawing with the generated program comparing each fragment against that map.
#include <GL/glu.h>

#include <cmath>
#include <string>

#include "gl/entry_points.h"
#include "gl/gl_state.h"
#include "render/shadow_program.h"

namespace kelmo {

// The fragment text counts a colour unit as textured when its texel is not (0, 0, 0, 0), but an
// unbound unit (texture 0, no image) samples as (0, 0, 0, 1) on conforming drivers: untextured surfaces
// would come out black and the invisible floor would swallow its shadow. So while the program is
// installed texture 0 holds one transparent black texel on each colour unit; afterwards it is empty
// again.
void ShadowProgram::setDefaultTextureBlank(bool blank) const {
    static const GLubyte kTransparent[4] = {0, 0, 0, 0};
    GLint activeUnit = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    for (unsigned i = 0; i < unitCount_; ++i) {
        glExt.activeTexture(units_[i]);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glBindTexture(GL_TEXTURE_2D, 0);
        const int size = blank ? 1 : 0;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     blank ? kTransparent : nullptr);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    }
    glPopClientAttrib();
    glExt.activeTexture(static_cast<GLenum>(activeUnit));
}

void ShadowProgram::beginShadowPass(double targetX, double targetY, double targetZ, double fovy, double zNear,
                                    double upX, double upY, double upZ) {
    if (!ready()) return;
    const int w = framebuffer_->width(), h = framebuffer_->height();
    framebuffer_->bind();
    lightSnapshot_.copyFrom(*light_);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glGetIntegerv(GL_VIEWPORT, viewport_);
    glGetDoublev(GL_PROJECTION_MATRIX, cameraProjection_);
    glGetDoublev(GL_MODELVIEW_MATRIX, cameraModelview_);

    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The light's camera lives wholly in the modelview matrix; the projection stays identity.
    const float* p = light_->position();
    const double d = std::sqrt((p[0] - targetX) * (p[0] - targetX) + (p[1] - targetY) * (p[1] - targetY) +
                               (p[2] - targetZ) * (p[2] - targetZ));
    gluPerspective(fovy, static_cast<double>(w) / h, zNear, 3.0 * d);
    gluLookAt(p[0], p[1], p[2], targetX, targetY, targetZ, upX, upY, upZ);
    glGetDoublev(GL_MODELVIEW_MATRIX, lightMatrix_);

    glGetBooleanv(GL_COLOR_WRITEMASK, colourMask_);
    const GLboolean colour = depthOnly_ ? GL_FALSE : GL_TRUE;
    glColorMask(colour, colour, colour, colour);
    cullEnabled_ = glIsEnabled(GL_CULL_FACE) == GL_TRUE;
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour_);
    glGetIntegerv(GL_CULL_FACE_MODE, &cullFaceMode_);
    if (depthOnly_) {
        light_->disable();
    } else {
        glClearColor(0.25f, 0.5f, 0.5f, 1.0f);
        light_->enable();
    }
    glDisable(GL_CULL_FACE);

    depthTestEnabled_ = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc_);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    polygonOffsetEnabled_ = glIsEnabled(GL_POLYGON_OFFSET_FILL) == GL_TRUE;
    glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &polygonOffsetFactor_);
    glGetFloatv(GL_POLYGON_OFFSET_UNITS, &polygonOffsetUnits_);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.1f, 4.0f);
}

void ShadowProgram::endShadowPass() {
    if (!ready()) return;
    Framebuffer::unbind();
    glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glLoadMatrixd(cameraProjection_);
    glColorMask(colourMask_[0], colourMask_[1], colourMask_[2], colourMask_[3]);
    glClearColor(clearColour_[0], clearColour_[1], clearColour_[2], clearColour_[3]);
    glCullFace(static_cast<GLenum>(cullFaceMode_));
    setEnabled(GL_CULL_FACE, cullEnabled_);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLoadMatrixd(cameraModelview_);
}

void ShadowProgram::beginShadowedDraw() {
    if (!ready()) return;
    const ExtensionEntryPoints& gl = glExt;
    GLint activeUnit = GL_TEXTURE0, boundTexture = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);

    gl.activeTexture(shadowUnit_);
    glBindTexture(GL_TEXTURE_2D, framebuffer_->depthTexture());
    // bias × light projection-view × (camera view)⁻¹, the camera view being a rotation and a
    // translation: its inverse is the transposed rotation after the negated translation.
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glTranslated(0.5, 0.5, 0.5);
    glScaled(0.5, 0.5, 0.5);
    glMultMatrixd(lightMatrix_);
    double rotation[16];
    for (int i = 0; i < 16; ++i) rotation[i] = cameraModelview_[i];
    for (int i : {3, 7, 11, 12, 13, 14}) rotation[i] = 0.0;
    gl.multTransposeMatrixd(rotation);
    glTranslated(-cameraModelview_[12], -cameraModelview_[13], -cameraModelview_[14]);

    glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glLoadMatrixd(cameraProjection_);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(cameraModelview_);

    gl.activeTexture(static_cast<GLenum>(activeUnit));
    // Re-binding on the shadow unit itself would take the shadow map away.
    if (static_cast<GLenum>(activeUnit) != shadowUnit_)
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));

    gl.useProgram(program_);
    gl.uniform1i(gl.getUniformLocation(program_, "shadowmap"), static_cast<GLint>(shadowUnit_) - GL_TEXTURE0);
    for (unsigned i = 0; i < unitCount_; ++i) {
        const int unit = static_cast<int>(units_[i]) - GL_TEXTURE0;
        const std::string name = "texUnit" + std::to_string(unit);
        gl.uniform1i(gl.getUniformLocation(program_, name.c_str()), unit);
    }
    setDefaultTextureBlank(true);
    glDisable(GL_CULL_FACE);
    light_->enable();
}

void ShadowProgram::endShadowedDraw() {
    if (!ready()) return;
    glPolygonOffset(polygonOffsetFactor_, polygonOffsetUnits_);
    if (!polygonOffsetEnabled_) glDisable(GL_POLYGON_OFFSET_FILL);
    setEnabled(GL_CULL_FACE, cullEnabled_);
    light_->copyFrom(lightSnapshot_);
    glExt.useProgram(0);
    setDefaultTextureBlank(false);
    if (depthTestEnabled_)
        glDepthFunc(static_cast<GLenum>(depthFunc_));
    else
        glDisable(GL_DEPTH_TEST);
}

}  // namespace kelmo
