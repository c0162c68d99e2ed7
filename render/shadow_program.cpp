#include "render/shadow_program.h"

#include <cstdio>

#include "gl/entry_points.h"

namespace kelmo {

ShadowProgram::ShadowProgram(const FramebufferManager* framebuffers, SceneLight* light, const GLenum* units,
                             unsigned unitCount, GLenum shadowUnit, int width, int height, float shadowFactor,
                             double minShadowAlpha, bool withColour)
    : light_(light), shadowUnit_(shadowUnit), depthOnly_(!withColour), lightSnapshot_(light->light()) {
    if (framebuffers != nullptr) framebuffer_ = framebuffers->createFramebuffer(width, height, depthOnly_);
    unitCount_ = unitCount;
    for (unsigned i = 0; i < unitCount; ++i) units_[i] = units[i];
    compiled_ = compileAndLink(shadowFactor, minShadowAlpha);
    if (!compiled_) printLogs();
}

ShadowProgram::~ShadowProgram() {
    framebuffer_.reset();
    deleteProgram();
}

ShadowShaderSettings ShadowProgram::settings(float shadowFactor, double minShadowAlpha) const {
    ShadowShaderSettings s;
    s.lightNumber = light_->lightNumber();
    s.colourUnitCount = unitCount_;
    for (unsigned i = 0; i < unitCount_; ++i) s.colourUnits[i] = static_cast<int>(units_[i]) - GL_TEXTURE0;
    s.shadowUnit = static_cast<int>(shadowUnit_) - GL_TEXTURE0;
    s.shadowFactor = shadowFactor;
    s.minShadowAlpha = minShadowAlpha;
    return s;
}

std::string ShadowProgram::buildVertexShaderSource(float shadowFactor, double minShadowAlpha) const {
    return shadowVertexSource(settings(shadowFactor, minShadowAlpha));
}

std::string ShadowProgram::buildFragmentShaderSource(float shadowFactor, double minShadowAlpha) const {
    return shadowFragmentSource(settings(shadowFactor, minShadowAlpha));
}

bool ShadowProgram::compileAndLink(float shadowFactor, double minShadowAlpha) {
    return compileAndLinkSources(buildVertexShaderSource(shadowFactor, minShadowAlpha),
                                 buildFragmentShaderSource(shadowFactor, minShadowAlpha));
}

bool ShadowProgram::compileFromSources(const std::string& vertexSource, const std::string& fragmentSource) {
    compiled_ = compileAndLinkSources(vertexSource, fragmentSource);
    if (!compiled_) printLogs();
    return compiled_;
}

void ShadowProgram::deleteProgram() {
    if (program_ != 0) glExt.deleteObject(program_);
    program_ = 0;
}

bool ShadowProgram::compileAndLinkSources(const std::string& vertexSource,
                                          const std::string& fragmentSource) {
    const ExtensionEntryPoints& gl = glExt;
    deleteProgram();
    vertexLog_[0] = fragmentLog_[0] = linkLog_[0] = '\0';

    const auto compile = [&gl](GLenum kind, const std::string& source, char* log) {
        const GLhandleARB shader = gl.createShaderObject(kind);
        const GLcharARB* text = source.c_str();
        const GLint length = static_cast<GLint>(source.size());
        gl.shaderSource(shader, 1, &text, &length);
        gl.compileShader(shader);
        GLint status = 0;
        gl.getObjectParameteriv(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
        if (status != 1) fetchInfoLog(shader, kLogCapacity, log);
        return shader;
    };
    const GLhandleARB vertex = compile(GL_VERTEX_SHADER_ARB, vertexSource, vertexLog_);
    const GLhandleARB fragment = compile(GL_FRAGMENT_SHADER_ARB, fragmentSource, fragmentLog_);
    // A failed compile is known by its log; one whose log did not fit fails at the link instead.
    if (vertexLog_[0] != '\0' || fragmentLog_[0] != '\0') {
        gl.deleteObject(vertex);
        gl.deleteObject(fragment);
        return false;
    }

    program_ = gl.createProgramObject();
    gl.attachObject(program_, vertex);
    gl.attachObject(program_, fragment);
    // Marked for deletion only: they live on while attached.
    gl.deleteObject(vertex);
    gl.deleteObject(fragment);
    gl.linkProgram(program_);
    GLint linked = 0;
    gl.getObjectParameteriv(program_, GL_OBJECT_LINK_STATUS_ARB, &linked);
    if (linked != 0) {
        gl.useProgram(0);
        return true;
    }
    fetchInfoLog(program_, kLogCapacity, linkLog_);
    deleteProgram();
    return false;
}

int ShadowProgram::fetchInfoLog(GLhandleARB object, int capacity, char* buffer) {
    GLint needed = 0;
    glExt.getObjectParameteriv(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &needed);
    if (buffer == nullptr || capacity <= 0 || needed > capacity) return -1;
    GLsizei length = 0;
    glExt.getInfoLog(object, capacity, &length, buffer);
    return length;
}

void ShadowProgram::printLogs() const {
    std::fputs(vertexLog_, stdout);
    std::fputs(fragmentLog_, stdout);
    std::fputs(linkLog_, stdout);
    std::fflush(stdout);
}

}  // namespace kelmo
