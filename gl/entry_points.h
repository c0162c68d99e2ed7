#pragma once
// The extension entry points Kelmo calls, in one process-wide table. Every pointer is null until a
// family is fetched, and a fetch asks only for the pointers still null, so a second user keeps the
// first one's. Written during start-up on the GL thread, read-only after.
#include <GL/gl.h>
#include <GL/glext.h>

namespace kelmo {

using EntryPoint = void (*)();
// Finds an entry point by name (glutGetProcAddress); null when there is none.
using ProcLookup = EntryPoint (*)(const char* name);

// Mesa's headers declare no pointer type for this GL 1.3 call.
using MultTransposeMatrixdProc = void(APIENTRYP)(const GLdouble* m);

enum class ExtensionFamily {
    vertexBuffers,  // GL_ARB_vertex_buffer_object: the model's static vertex buffers
    framebuffers,   // GL_EXT_framebuffer_object: the off-screen targets
    shaders,        // the ARB shader objects and the few core calls the shadow program makes
};

struct ExtensionEntryPoints {
    PFNGLGENBUFFERSARBPROC genBuffers = nullptr;
    PFNGLBINDBUFFERARBPROC bindBuffer = nullptr;
    PFNGLBUFFERDATAARBPROC bufferData = nullptr;
    PFNGLDELETEBUFFERSARBPROC deleteBuffers = nullptr;

    PFNGLGENFRAMEBUFFERSEXTPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC framebufferTexture2D = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC bindRenderbuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC deleteFramebuffers = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC deleteRenderbuffers = nullptr;

    PFNGLCREATEPROGRAMOBJECTARBPROC createProgramObject = nullptr;
    PFNGLCREATESHADEROBJECTARBPROC createShaderObject = nullptr;
    PFNGLDELETEOBJECTARBPROC deleteObject = nullptr;
    PFNGLATTACHOBJECTARBPROC attachObject = nullptr;
    PFNGLSHADERSOURCEARBPROC shaderSource = nullptr;
    PFNGLCOMPILESHADERARBPROC compileShader = nullptr;
    PFNGLLINKPROGRAMARBPROC linkProgram = nullptr;
    PFNGLGETINFOLOGARBPROC getInfoLog = nullptr;
    PFNGLGETOBJECTPARAMETERIVARBPROC getObjectParameteriv = nullptr;
    PFNGLGETUNIFORMLOCATIONARBPROC getUniformLocation = nullptr;
    PFNGLUNIFORM1IARBPROC uniform1i = nullptr;
    MultTransposeMatrixdProc multTransposeMatrixd = nullptr;
    PFNGLACTIVETEXTUREPROC activeTexture = nullptr;
    PFNGLUSEPROGRAMPROC useProgram = nullptr;

    // Every pointer of the family is set.
    bool complete(ExtensionFamily family) const;
};

extern ExtensionEntryPoints glExt;

// Fetches the family's pointers that are still null; true when every one is set afterwards. A family
// with a missing entry point must be treated as unsupported: its calls are never made.
bool fetchEntryPoints(ExtensionEntryPoints& table, ExtensionFamily family, ProcLookup lookup);
// The same into glExt through GLUT; needs GLUT initialised.
bool fetchEntryPoints(ExtensionFamily family);

}  // namespace kelmo
