#pragma once
// Detects the ARB shader extensions, loads their entry points and makes the shadow program.
// GL thread only.
#include <GL/gl.h>

#include <memory>

#include "gl/extension_support.h"
#include "render/framebuffer.h"
#include "render/scene_light.h"
#include "render/shadow_program.h"

namespace kelmo {

// Supported when the fragment shader, vertex shader, shader objects and shading language extensions
// are advertised and the entry points are found.
class ShaderManager : public ExtensionSupport {
public:
    ShaderManager();  // needs the GLUT window

    // The shadow program; null when not supported, when light is null, or when more than
    // ShadowShaderSettings::kMaxColourUnits colour units are given. framebuffers may be null (the
    // program then has no shadow map and its passes do nothing). The caller owns the result and keeps
    // light alive for its lifetime.
    std::unique_ptr<ShadowProgram> createShadowProgram(const FramebufferManager* framebuffers,
                                                       SceneLight* light, const GLenum* units,
                                                       unsigned unitCount, GLenum shadowUnit, int width,
                                                       int height, float shadowFactor, double minShadowAlpha,
                                                       bool withColour) const;
};

}  // namespace kelmo
