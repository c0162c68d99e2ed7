#pragma once
// The generated shadow program, its shadow-map framebuffer and the render state kept around the two
// passes of a shadowed frame:
//   beginShadowPass → draw the scene (depth from the light) → endShadowPass →
//   draw the background → beginShadowedDraw → draw the scene → endShadowedDraw.
// Every pass does nothing unless the program compiled and the framebuffer exists. GL thread only.
#include <GL/gl.h>
#include <GL/glext.h>

#include <memory>
#include <string>

#include "render/framebuffer.h"
#include "render/scene_light.h"
#include "render/shader_source.h"

namespace kelmo {

class ShadowProgram {
public:
    static constexpr int kLogCapacity = 1024;

    virtual ~ShadowProgram();
    ShadowProgram(const ShadowProgram&) = delete;
    ShadowProgram& operator=(const ShadowProgram&) = delete;

    // Renders depth from the scene light, placed at its position and aimed at the target, into the
    // shadow map; the far plane is three times the light-to-target distance. Angles in degrees.
    void beginShadowPass(double targetX, double targetY, double targetZ, double fovy, double zNear,
                         double upX, double upY, double upZ);
    void endShadowPass();
    // Installs the program with the shadow map on the shadow unit, under the camera's view.
    void beginShadowedDraw();
    void endShadowedDraw();

    bool compiled() const { return compiled_; }
    GLhandleARB program() const { return program_; }
    const Framebuffer* framebuffer() const { return framebuffer_.get(); }
    const char* vertexLog() const { return vertexLog_; }
    const char* fragmentLog() const { return fragmentLog_; }
    const char* linkLog() const { return linkLog_; }
    // The light's projection × view of the last shadow pass, column-major.
    const double* lightMatrix() const { return lightMatrix_; }

    std::string buildVertexShaderSource(float shadowFactor, double minShadowAlpha) const;
    std::string buildFragmentShaderSource(float shadowFactor, double minShadowAlpha) const;

    // Replaces the program by one built from the given texts, printing the logs on failure as
    // construction does. For checking hand-edited shader text.
    bool compileFromSources(const std::string& vertexSource, const std::string& fragmentSource);

    // The object's info log into buffer (capacity bytes with the NUL); its length, or −1 when it does
    // not fit (the buffer is then untouched).
    static int fetchInfoLog(GLhandleARB object, int capacity, char* buffer);

private:
    friend class ShaderManager;
    ShadowProgram(const FramebufferManager* framebuffers, SceneLight* light, const GLenum* units,
                  unsigned unitCount, GLenum shadowUnit, int width, int height, float shadowFactor,
                  double minShadowAlpha, bool withColour);

    ShadowShaderSettings settings(float shadowFactor, double minShadowAlpha) const;
    bool compileAndLink(float shadowFactor, double minShadowAlpha);
    bool compileAndLinkSources(const std::string& vertexSource, const std::string& fragmentSource);
    void printLogs() const;
    void deleteProgram();
    void setDefaultTextureBlank(bool blank) const;
    bool ready() const { return compiled_ && framebuffer_ && framebuffer_->framebuffer() != 0; }

    std::unique_ptr<Framebuffer> framebuffer_;  // the shadow map; null without framebuffer objects
    SceneLight* light_;                         // not owned
    GLenum units_[ShadowShaderSettings::kMaxColourUnits] = {};
    unsigned unitCount_ = 0;
    GLenum shadowUnit_;
    GLhandleARB program_ = 0;
    bool depthOnly_;
    bool compiled_ = false;
    char linkLog_[kLogCapacity] = {};
    char vertexLog_[kLogCapacity] = {};
    char fragmentLog_[kLogCapacity] = {};
    SceneLight lightSnapshot_;  // enable state of the light and of lighting when the program was made

    // Kept from beginShadowPass to the end of the frame.
    GLint viewport_[4] = {};
    double cameraModelview_[16] = {};
    double cameraProjection_[16] = {};
    GLboolean colourMask_[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    bool cullEnabled_ = false;
    GLint cullFaceMode_ = GL_BACK;
    float clearColour_[4] = {};
    bool depthTestEnabled_ = false;
    GLint depthFunc_ = GL_LESS;
    bool polygonOffsetEnabled_ = false;
    float polygonOffsetFactor_ = 0.0f, polygonOffsetUnits_ = 0.0f;
    double lightMatrix_[16] = {};
};

}  // namespace kelmo
