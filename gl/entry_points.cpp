#include "gl/entry_points.h"

#include <GL/freeglut.h>

#include <type_traits>

namespace kelmo {

ExtensionEntryPoints glExt;

namespace {

// Calls visit(family, pointer, name) for every entry point of the table, in one list.
template <typename Table, typename Visit>
void visitEntryPoints(Table& t, Visit&& visit) {
    using F = ExtensionFamily;
    visit(F::vertexBuffers, t.genBuffers, "glGenBuffersARB");
    visit(F::vertexBuffers, t.bindBuffer, "glBindBufferARB");
    visit(F::vertexBuffers, t.bufferData, "glBufferDataARB");
    visit(F::vertexBuffers, t.deleteBuffers, "glDeleteBuffersARB");
    visit(F::framebuffers, t.genFramebuffers, "glGenFramebuffersEXT");
    visit(F::framebuffers, t.bindFramebuffer, "glBindFramebufferEXT");
    visit(F::framebuffers, t.framebufferTexture2D, "glFramebufferTexture2DEXT");
    visit(F::framebuffers, t.bindRenderbuffer, "glBindRenderbufferEXT");
    visit(F::framebuffers, t.deleteFramebuffers, "glDeleteFramebuffersEXT");
    visit(F::framebuffers, t.deleteRenderbuffers, "glDeleteRenderbuffersEXT");
    visit(F::shaders, t.createProgramObject, "glCreateProgramObjectARB");
    visit(F::shaders, t.createShaderObject, "glCreateShaderObjectARB");
    visit(F::shaders, t.deleteObject, "glDeleteObjectARB");
    visit(F::shaders, t.attachObject, "glAttachObjectARB");
    visit(F::shaders, t.shaderSource, "glShaderSourceARB");
    visit(F::shaders, t.compileShader, "glCompileShaderARB");
    visit(F::shaders, t.linkProgram, "glLinkProgramARB");
    visit(F::shaders, t.getInfoLog, "glGetInfoLogARB");
    visit(F::shaders, t.getObjectParameteriv, "glGetObjectParameterivARB");
    visit(F::shaders, t.getUniformLocation, "glGetUniformLocationARB");
    visit(F::shaders, t.uniform1i, "glUniform1iARB");
    visit(F::shaders, t.multTransposeMatrixd, "glMultTransposeMatrixd");
    visit(F::shaders, t.activeTexture, "glActiveTexture");
    visit(F::shaders, t.useProgram, "glUseProgram");
}

EntryPoint glutLookup(const char* name) { return glutGetProcAddress(name); }

}  // namespace

bool ExtensionEntryPoints::complete(ExtensionFamily family) const {
    bool all = true;
    visitEntryPoints(*this, [&](ExtensionFamily f, const auto& proc, const char*) {
        if (f == family && proc == nullptr) all = false;
    });
    return all;
}

bool fetchEntryPoints(ExtensionEntryPoints& table, ExtensionFamily family, ProcLookup lookup) {
    // Every name of the family is asked for, even after one is missing.
    bool all = true;
    visitEntryPoints(table, [&](ExtensionFamily f, auto& proc, const char* name) {
        if (f != family) return;
        using Proc = std::remove_reference_t<decltype(proc)>;
        // The lookup hands out the generic function pointer type, so this cast is its intended use.
        if (proc == nullptr) proc = reinterpret_cast<Proc>(lookup(name));
        all &= proc != nullptr;
    });
    return all;
}

bool fetchEntryPoints(ExtensionFamily family) { return fetchEntryPoints(glExt, family, glutLookup); }

}  // namespace kelmo
