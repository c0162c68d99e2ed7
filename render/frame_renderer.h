#pragma once
// The one path a frame takes through the renderer, for the program, the render benchmark and the
// pixel tests alike: the start-up light and shadow map, the frame's GL state, then the scene either
// lit or with the shadow map. GL thread only.
#include <memory>

#include "render/framebuffer.h"
#include "render/scene_light.h"
#include "render/shader_manager.h"
#include "render/shadow_program.h"

namespace kelmo {

// The invisible floor that takes the shadow reaches this far (marker units) each way from the origin.
constexpr double kFloorHalfSize = 400.0;

// The start-up light: GL_LIGHT0, above and in front of the marker.
std::unique_ptr<SceneLight> createStartUpLight();
// The start-up shadow program on unit 1 for a scene textured on unit 0, with a 2048 × 2048 map; null
// when shaders are not supported. light must outlive the program.
std::unique_ptr<ShadowProgram> createStartUpShadow(const ShaderManager& shaders,
                                                   const FramebufferManager* framebuffers, SceneLight* light);

// The rendering objects of the start-up order. Members go in reverse order: the program first.
struct RenderingObjects {
    std::unique_ptr<SceneLight> light;
    std::unique_ptr<FramebufferManager> framebuffers;
    std::unique_ptr<ShaderManager> shaders;
    std::unique_ptr<ShadowProgram> shadow;  // null without shaders
};
// Needs the GLUT window.
RenderingObjects createRenderingObjects();

// What a frame draws; the frame path decides when and under which state.
class FrameScene {
public:
    virtual ~FrameScene() = default;
    // The camera image over the whole window, behind everything; may change the matrices.
    virtual void drawBackground() = 0;
    // The scene in the current modelview. lightPass: seen from the light, for the shadow map.
    virtual void drawScene(bool lightPass) = 0;
};

// A square of halfSize around the marker's origin on the plane z = 0. Alpha 0 draws nothing visible
// but still writes depth, so the floor can take shadows.
void drawFloor(double halfSize, float alpha);

// The frame's state: depth cleared, depth test (less or equal), alpha test, alpha blending and
// textures modulating the colour.
void setUpFrameState();
// The background, then the scene lit by light (when given), both under the camera modelview current
// at the call.
void drawLitFrame(const SceneLight* light, FrameScene& scene);
// The shadow map from the light aimed at the marker's origin, the background, then the scene drawn
// with the shadow program, under the camera modelview current at the call.
void drawShadowedFrame(ShadowProgram& shadow, FrameScene& scene);
// The light pass of drawShadowedFrame alone: the light aimed at the marker's origin.
void beginLightPass(ShadowProgram& shadow);

}  // namespace kelmo
