#pragma once
// The vertex-buffer entry points of GL_ARB_vertex_buffer_object, shared by every loader and sequence
// of the process. GL thread only.
#include <GL/gl.h>
#include <GL/glext.h>

namespace kelmo {

struct BufferEntryPoints {
    PFNGLGENBUFFERSARBPROC genBuffers = nullptr;
    PFNGLBINDBUFFERARBPROC bindBuffer = nullptr;
    PFNGLBUFFERDATAARBPROC bufferData = nullptr;
    PFNGLDELETEBUFFERSARBPROC deleteBuffers = nullptr;

    bool complete() const {
        return genBuffers != nullptr && bindBuffer != nullptr && bufferData != nullptr &&
               deleteBuffers != nullptr;
    }
};

// Null until fetchBufferEntryPoints finds them.
extern BufferEntryPoints glBuffers;

// Fetches each entry point that is still null through GLUT, so a second loader fetches nothing. True
// when all four are present. Needs GLUT initialised.
bool fetchBufferEntryPoints();

}  // namespace kelmo
