// Frames of one motion: the sequence's box, and drawing one frame with the caller's GL state saved
// before and restored after.
#include "model/mqo_sequence.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gl/entry_points.h"
#include "gl/gl_state.h"

namespace kelmo {
namespace {

// The state drawFrame changes, as the caller left it.
struct SavedState {
    GLboolean depthTest, alphaTest, texture2d, blend;
    GLint frontFace, shadeModel, textureBinding, blendSrc, blendDst;
    GLfloat colour[4], normal[3], texcoord[4];
    SavedMaterial front, back;
};

void save(SavedState& s) {
    s.depthTest = glIsEnabled(GL_DEPTH_TEST);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    s.texture2d = glIsEnabled(GL_TEXTURE_2D);
    s.blend = glIsEnabled(GL_BLEND);
    glGetIntegerv(GL_FRONT_FACE, &s.frontFace);
    glGetIntegerv(GL_SHADE_MODEL, &s.shadeModel);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.textureBinding);
    glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
    glGetIntegerv(GL_BLEND_DST, &s.blendDst);
    // Drawing from arrays leaves the current colour, normal and texture coordinate undefined.
    glGetFloatv(GL_CURRENT_COLOR, s.colour);
    glGetFloatv(GL_CURRENT_NORMAL, s.normal);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, s.texcoord);
    s.front = saveMaterial(GL_FRONT);
    s.back = saveMaterial(GL_BACK);
}

void restore(const SavedState& s) {
    glShadeModel(static_cast<GLenum>(s.shadeModel));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(s.textureBinding));
    glBlendFunc(static_cast<GLenum>(s.blendSrc), static_cast<GLenum>(s.blendDst));
    // Both ways: a plain batch switches texturing off even when the caller had it on.
    setEnabled(GL_BLEND, s.blend);
    setEnabled(GL_TEXTURE_2D, s.texture2d);
    glFrontFace(static_cast<GLenum>(s.frontFace));
    setEnabled(GL_DEPTH_TEST, s.depthTest);
    setEnabled(GL_ALPHA_TEST, s.alphaTest);
    // Colour before material: with GL_COLOR_MATERIAL on, glColor would overwrite the material again.
    glColor4fv(s.colour);
    glNormal3fv(s.normal);
    glTexCoord4fv(s.texcoord);
    restoreMaterial(GL_FRONT, s.front);
    restoreMaterial(GL_BACK, s.back);
}

void setMaterial(const MaterialBatch& batch, float opacity) {
    const struct {
        GLenum name;
        const float* value;
    } colours[] = {{GL_DIFFUSE, batch.diffuse},
                   {GL_AMBIENT, batch.ambient},
                   {GL_SPECULAR, batch.specular},
                   {GL_EMISSION, batch.emission}};
    for (const auto& colour : colours) {
        const GLfloat scaled[4] = {colour.value[0], colour.value[1], colour.value[2],
                                   colour.value[3] * opacity};
        glMaterialfv(GL_FRONT_AND_BACK, colour.name, scaled);
    }
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, batch.shininess);
}

// A byte offset into the bound buffer when base is null, an address in base otherwise.
const GLvoid* at(const void* base, uintptr_t offset) {
    if (base == nullptr) return reinterpret_cast<const GLvoid*>(offset);
    return static_cast<const char*>(base) + offset;
}

void drawBatch(const MaterialBatch& batch, float opacity) {
    if (batch.hasMaterial) setMaterial(batch, opacity);

    const bool textured = batch.hasTexture;
    const size_t stored = textured ? batch.texturedVertices.size() : batch.plainVertices.size();
    const GLsizei count =
        static_cast<GLsizei>(std::min(stored, static_cast<size_t>(std::max(batch.vertexCount, 0))));
    if (count == 0) return;
    const bool useBuffer = batch.buffer.get() != 0 && glExt.bindBuffer != nullptr;
    const void* base = nullptr;
    if (useBuffer)
        glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, batch.buffer.get());
    else
        base = textured ? static_cast<const void*>(batch.texturedVertices.data())
                        : static_cast<const void*>(batch.plainVertices.data());
    const GLsizei stride = textured ? sizeof(VertexPNT) : sizeof(VertexPN);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    if (textured) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (textured) glBindTexture(GL_TEXTURE_2D, batch.texture);

    glVertexPointer(3, GL_FLOAT, stride, at(base, offsetof(VertexPNT, position)));
    if (textured) glTexCoordPointer(2, GL_FLOAT, stride, at(base, offsetof(VertexPNT, texcoord)));
    glNormalPointer(GL_FLOAT, stride, at(base, offsetof(VertexPNT, normal)));
    glColor4fv(batch.colour);  // not scaled by the opacity
    glDrawArrays(GL_TRIANGLES, 0, count);

    if (useBuffer) glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    if (textured) {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

MqoSequence::~MqoSequence() = default;

void MqoSequence::append(MqoModel frame) {
    for (int i = 0; i < 3; ++i) {
        if (frames_.empty()) {
            boxMin_[i] = frame.boxMin[i];
            boxMax_[i] = frame.boxMax[i];
        } else {
            boxMin_[i] = std::min(boxMin_[i], frame.boxMin[i]);
            boxMax_[i] = std::max(boxMax_[i], frame.boxMax[i]);
        }
    }
    frames_.push_back(std::move(frame));
}

bool MqoSequence::boundsMin(int frame, float out[3]) const {
    if (frame >= 0 && static_cast<size_t>(frame) >= frames_.size()) return false;
    std::memcpy(out, frame < 0 ? boxMin_ : frames_[static_cast<size_t>(frame)].boxMin, 3 * sizeof(float));
    return true;
}

bool MqoSequence::boundsMax(int frame, float out[3]) const {
    if (frame >= 0 && static_cast<size_t>(frame) >= frames_.size()) return false;
    std::memcpy(out, frame < 0 ? boxMax_ : frames_[static_cast<size_t>(frame)].boxMax, 3 * sizeof(float));
    return true;
}

uint32_t MqoSequence::drawFrame(uint32_t frame, uint32_t alpha) const {
    if (frame >= frameCount()) return frameCount();

    SavedState saved;
    save(saved);
    // Array enables, pointers and the array buffer binding come back with the pop.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    // A caller's bound buffer would turn the client addresses of unbuffered batches into offsets.
    if (glExt.bindBuffer != nullptr) glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    {
        const PushedModelview pushed;
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_ALPHA_TEST);
        glFrontFace(GL_CW);
        const float opacity = static_cast<float>((alpha & 255u) / 255.0);

        for (const MeshObject& object : frames_[frame].objects) {
            if (!object.visible) continue;
            glShadeModel(object.flat ? GL_FLAT : GL_SMOOTH);
            for (const MaterialBatch& batch : object.batches) drawBatch(batch, opacity);
        }
        restore(saved);
    }
    glPopClientAttrib();
    return frameCount();
}

}  // namespace kelmo
