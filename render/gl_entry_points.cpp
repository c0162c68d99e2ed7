#include "render/gl_entry_points.h"

namespace kelmo {

FramebufferEntryPoints glFramebuffers;
ShaderEntryPoints glShaders;

namespace {

template <typename Proc>
bool fetch(Proc& proc, const char* name, ProcLookup lookup) {
    // The lookup hands out the generic function pointer type, so this cast is its intended use.
    if (proc == nullptr) proc = reinterpret_cast<Proc>(lookup(name));
    return proc != nullptr;
}

}  // namespace

bool FramebufferEntryPoints::complete() const {
    return genFramebuffers && bindFramebuffer && framebufferTexture2D && bindRenderbuffer &&
           deleteFramebuffers && deleteRenderbuffers;
}

bool ShaderEntryPoints::complete() const {
    return createProgramObject && createShaderObject && deleteObject && attachObject && shaderSource &&
           compileShader && linkProgram && getInfoLog && getObjectParameteriv && getUniformLocation &&
           uniform1i && multTransposeMatrixd && activeTexture && useProgram;
}

bool fetchEntryPoints(FramebufferEntryPoints& t, ProcLookup lookup) {
    // & rather than &&: every name is asked for even after one is missing.
    bool all = fetch(t.genFramebuffers, "glGenFramebuffersEXT", lookup);
    all &= fetch(t.bindFramebuffer, "glBindFramebufferEXT", lookup);
    all &= fetch(t.framebufferTexture2D, "glFramebufferTexture2DEXT", lookup);
    all &= fetch(t.bindRenderbuffer, "glBindRenderbufferEXT", lookup);
    all &= fetch(t.deleteFramebuffers, "glDeleteFramebuffersEXT", lookup);
    all &= fetch(t.deleteRenderbuffers, "glDeleteRenderbuffersEXT", lookup);
    return all;
}

bool fetchEntryPoints(ShaderEntryPoints& t, ProcLookup lookup) {
    bool all = fetch(t.createProgramObject, "glCreateProgramObjectARB", lookup);
    all &= fetch(t.createShaderObject, "glCreateShaderObjectARB", lookup);
    all &= fetch(t.deleteObject, "glDeleteObjectARB", lookup);
    all &= fetch(t.attachObject, "glAttachObjectARB", lookup);
    all &= fetch(t.shaderSource, "glShaderSourceARB", lookup);
    all &= fetch(t.compileShader, "glCompileShaderARB", lookup);
    all &= fetch(t.linkProgram, "glLinkProgramARB", lookup);
    all &= fetch(t.getInfoLog, "glGetInfoLogARB", lookup);
    all &= fetch(t.getObjectParameteriv, "glGetObjectParameterivARB", lookup);
    all &= fetch(t.getUniformLocation, "glGetUniformLocationARB", lookup);
    all &= fetch(t.uniform1i, "glUniform1iARB", lookup);
    all &= fetch(t.multTransposeMatrixd, "glMultTransposeMatrixd", lookup);
    all &= fetch(t.activeTexture, "glActiveTexture", lookup);
    all &= fetch(t.useProgram, "glUseProgram", lookup);
    return all;
}

}  // namespace kelmo
