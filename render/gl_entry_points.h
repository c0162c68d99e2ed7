#pragma once
// The extension entry points the renderer calls, one process-wide table per extension family. Every
// pointer is null until a manager fetches it, and a manager fetches only the pointers still null, so
// a second manager keeps the first one's. Written during start-up on the GL thread, read-only after.
#include <GL/gl.h>
#include <GL/glext.h>

namespace kelmo {

using EntryPoint = void (*)();
// Finds an entry point by name (glutGetProcAddress); null when there is none.
using ProcLookup = EntryPoint (*)(const char* name);

// GL_EXT_framebuffer_object: the calls the framebuffers make.
struct FramebufferEntryPoints {
    PFNGLGENFRAMEBUFFERSEXTPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC framebufferTexture2D = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC bindRenderbuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC deleteFramebuffers = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC deleteRenderbuffers = nullptr;

    bool complete() const;
};

// Mesa's headers declare no pointer type for this GL 1.3 call.
using MultTransposeMatrixdProc = void(APIENTRYP)(const GLdouble* m);

// The ARB shader objects and the few core calls the shadow program makes.
struct ShaderEntryPoints {
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

    bool complete() const;
};

extern FramebufferEntryPoints glFramebuffers;
extern ShaderEntryPoints glShaders;

// Fetches the pointers of the table that are still null; true when every pointer is set afterwards.
// A family with a missing entry point must be treated as unsupported: its calls are never made.
bool fetchEntryPoints(FramebufferEntryPoints& table, ProcLookup lookup);
bool fetchEntryPoints(ShaderEntryPoints& table, ProcLookup lookup);

}  // namespace kelmo
