#include "render/frame_renderer.h"

#include <GL/gl.h>

namespace kelmo {
namespace {

// GL_LIGHT0 at this point (marker units), grey at this level.
constexpr float kLightPosition[3] = {100.0f, -200.0f, 200.0f};
constexpr float kLightColour = 0.8f;
// The map's edge (texels), the shadow's darkness and the least alpha of shadowed fragments.
constexpr int kShadowMapSize = 2048;
constexpr float kShadowFactor = 0.4f;
constexpr double kMinShadowAlpha = 0.5;
// The light's view for the map: field of view (degrees) and near plane (marker units).
constexpr double kLightFovy = 55.0;
constexpr double kLightNear = 10.0;

}  // namespace

std::unique_ptr<SceneLight> createStartUpLight() {
    return std::make_unique<SceneLight>(GL_LIGHT0, kLightPosition[0], kLightPosition[1], kLightPosition[2],
                                        kLightColour, kLightColour, kLightColour);
}

std::unique_ptr<ShadowProgram> createStartUpShadow(const ShaderManager& shaders,
                                                   const FramebufferManager* framebuffers,
                                                   SceneLight* light) {
    const GLenum colourUnits[1] = {GL_TEXTURE0};
    return shaders.createShadowProgram(framebuffers, light, colourUnits, 1, GL_TEXTURE1, kShadowMapSize,
                                       kShadowMapSize, kShadowFactor, kMinShadowAlpha, false);
}

RenderingObjects createRenderingObjects() {
    RenderingObjects made;
    made.light = createStartUpLight();
    made.framebuffers = std::make_unique<FramebufferManager>();
    made.shaders = std::make_unique<ShaderManager>();
    made.shadow = createStartUpShadow(*made.shaders, made.framebuffers.get(), made.light.get());
    return made;
}

void drawFloor(double halfSize, float alpha) {
    const GLfloat diffuse[4] = {0.5f, 0.5f, 0.5f, alpha};
    const GLfloat ambient[4] = {0.0f, 0.2f, 0.0f, alpha};
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(0.5f, 0.5f, 0.5f, alpha);
    glNormal3f(0.0f, 0.0f, 1.0f);
    const double s = halfSize;
    glBegin(GL_QUADS);
    glVertex3d(-s, -s, 0.0);
    glVertex3d(-s, s, 0.0);
    glVertex3d(s, s, 0.0);
    glVertex3d(s, -s, 0.0);
    glEnd();
    glDisable(GL_COLOR_MATERIAL);
}

void setUpFrameState() {
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void drawLitFrame(const SceneLight* light, FrameScene& scene) {
    double camera[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, camera);
    if (light) light->enable();
    scene.drawBackground();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(camera);
    scene.drawScene(false);
}

void beginLightPass(ShadowProgram& shadow) {
    shadow.beginShadowPass(0.0, 0.0, 0.0, kLightFovy, kLightNear, 0.0, 0.0, 1.0);
}

void drawShadowedFrame(ShadowProgram& shadow, FrameScene& scene) {
    // The passes keep the camera's matrices from the light pass to the shadowed draw.
    beginLightPass(shadow);
    scene.drawScene(true);
    shadow.endShadowPass();
    scene.drawBackground();
    shadow.beginShadowedDraw();
    scene.drawScene(false);
    shadow.endShadowedDraw();
}

}  // namespace kelmo
