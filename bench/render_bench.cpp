// Frame time of the demo scene on this machine's GL driver (Mesa's software renderer under Xvfb),
// drawn plainly and with the shadow map: a 640 × 480 window, a background picture, the invisible
// floor and the demo character's stay motion under a perspective camera. Each benchmark reports the
// median frame in ms; the shadowed one also its ratio to the plain one.
#include <GL/freeglut.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "model/mqo_loader.h"
#include "model/mqo_parser.h"
#include "render/framebuffer.h"
#include "render/scene_light.h"
#include "render/shader_manager.h"
#include "render/shadow_program.h"

namespace kelmo {
namespace {

constexpr int kWidth = 640, kHeight = 480;

struct Scene {
    std::unique_ptr<SceneLight> light;
    std::unique_ptr<FramebufferManager> framebuffers;
    std::unique_ptr<ShaderManager> shaders;
    std::unique_ptr<ShadowProgram> shadow;
    std::unique_ptr<MqoLoader> loader;
    std::unique_ptr<MqoSequence> character;
    GLuint background = 0;
    uint32_t frame = 0;
    std::string error;
};

// Built once: the window, the start-up objects, the character and a camera-sized picture.
Scene& scene() {
    static Scene s = [] {
        Scene made;
        if (std::getenv("DISPLAY") == nullptr) {
            made.error = "needs an X display (run under xvfb-run)";
            return made;
        }
        int argc = 1;
        char name[] = "render_bench";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(kWidth, kHeight);
        glutCreateWindow("render_bench");
        made.light = std::make_unique<SceneLight>(GL_LIGHT0, 100.0f, -200.0f, 200.0f, 0.8f, 0.8f, 0.8f);
        made.framebuffers = std::make_unique<FramebufferManager>();
        made.shaders = std::make_unique<ShaderManager>();
        const GLenum units[1] = {GL_TEXTURE0};
        made.shadow = made.shaders->createShadowProgram(made.framebuffers.get(), made.light.get(), units, 1,
                                                        GL_TEXTURE1, 2048, 2048, 0.4f, 0.5, false);
        made.loader = std::make_unique<MqoLoader>();
        made.character = made.loader->loadSequence(std::string(KELMO_SOURCE_DIR) + "/demo/stay", "%s%03d.mqo",
                                                   0, 29, 1, yUpToZUp, 1.0f);
        if (!made.character) made.error = "cannot load demo/stay000.mqo …";
        if (!made.shadow || !made.shadow->compiled()) made.error = "no shadow program";

        std::vector<uint8_t> picture(static_cast<size_t>(kWidth) * kHeight * 3);
        for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>((i * 7 / 3) % 251);
        glGenTextures(1, &made.background);
        glBindTexture(GL_TEXTURE_2D, made.background);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kWidth, kHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, picture.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return made;
    }();
    return s;
}

void drawBackground(GLuint texture) {
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2d(0, 0), glVertex2d(-1, -1);
    glTexCoord2d(1, 0), glVertex2d(1, -1);
    glTexCoord2d(1, 1), glVertex2d(1, 1);
    glTexCoord2d(0, 1), glVertex2d(-1, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopAttrib();
}

void drawScene(const Scene& s) {
    const double f = 400.0;
    const float diffuse[4] = {0.5f, 0.5f, 0.5f, 0.0f}, ambient[4] = {0.0f, 0.2f, 0.0f, 0.0f};
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(0.5f, 0.5f, 0.5f, 0.0f);
    glNormal3f(0, 0, 1);
    glBegin(GL_QUADS);
    glVertex3d(-f, -f, 0), glVertex3d(-f, f, 0), glVertex3d(f, f, 0), glVertex3d(f, -f, 0);
    glEnd();
    glDisable(GL_COLOR_MATERIAL);
    s.character->drawFrame(s.frame, 255);
}

void drawFrame(Scene& s, bool shadows) {
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, static_cast<double>(kWidth) / kHeight, 10.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(60.0, -260.0, 220.0, 0.0, 0.0, 40.0, 0.0, 0.0, 1.0);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (shadows) {
        s.shadow->beginShadowPass(0, 0, 0, 55.0, 10.0, 0, 0, 1);
        drawScene(s);
        s.shadow->endShadowPass();
        drawBackground(s.background);
        s.shadow->beginShadowedDraw();
        drawScene(s);
        s.shadow->endShadowedDraw();
    } else {
        s.light->enable();
        drawBackground(s.background);
        drawScene(s);
    }
    glutSwapBuffers();
    glFinish();
    s.frame = (s.frame + 1) % s.character->frameCount();
}

double plainMedianMs = 0.0;

void BM_DemoFrame(benchmark::State& state) {
    Scene& s = scene();
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    const bool shadows = state.range(0) != 0;
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        drawFrame(s, shadows);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
    const double median = ms[ms.size() / 2];
    state.counters["median_ms"] = median;
    if (!shadows) plainMedianMs = median;
    if (shadows && plainMedianMs > 0.0) state.counters["ratio_to_plain"] = median / plainMedianMs;
    state.SetLabel(shadows ? "shadows" : "plain");
}
BENCHMARK(BM_DemoFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
}  // namespace kelmo
