#include "render/shader_manager.h"

#include "gl/entry_points.h"

namespace kelmo {

ShaderManager::ShaderManager()
    : ExtensionSupport(ExtensionFamily::shaders, {"GL_ARB_fragment_shader", "GL_ARB_vertex_shader",
                                                  "GL_ARB_shader_objects", "GL_ARB_shading_language_100"}) {}

std::unique_ptr<ShadowProgram> ShaderManager::createShadowProgram(const FramebufferManager* framebuffers,
                                                                  SceneLight* light, const GLenum* units,
                                                                  unsigned unitCount, GLenum shadowUnit,
                                                                  int width, int height, float shadowFactor,
                                                                  double minShadowAlpha,
                                                                  bool withColour) const {
    if (!supported() || light == nullptr) return nullptr;
    // The generated text has room for two colour units; dropping one silently would hide a texture.
    if (unitCount > ShadowShaderSettings::kMaxColourUnits || (unitCount > 0 && units == nullptr))
        return nullptr;
    return std::unique_ptr<ShadowProgram>(new ShadowProgram(framebuffers, light, units, unitCount, shadowUnit,
                                                            width, height, shadowFactor, minShadowAlpha,
                                                            withColour));
}

}  // namespace kelmo
