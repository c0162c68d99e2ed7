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
#include <memory>
#include <string>
#include <vector>

#include "model/mqo_loader.h"
#include "model/mqo_parser.h"
#include "render/frame_renderer.h"
#include "tests/support/gl_window.h"

namespace kelmo {
namespace {

constexpr int kWidth = 640, kHeight = 480;

struct Scene {
    RenderingObjects rendering;
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
        if (!testing_support::glWindowReady(kWidth, kHeight)) {
            made.error = "needs an X display (run under xvfb-run)";
            return made;
        }
        made.rendering = createRenderingObjects();
        made.loader = std::make_unique<MqoLoader>();
        made.character = made.loader->loadSequence(std::string(KELMO_SOURCE_DIR) + "/demo/stay", "%s%03d.mqo",
                                                   0, 29, 1, yUpToZUp, 1.0f);
        if (!made.character) made.error = "cannot load demo/stay000.mqo …";
        if (!made.rendering.shadow || !made.rendering.shadow->compiled()) made.error = "no shadow program";

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

// The camera image's stand-in.
void drawPicture(GLuint texture) {
    testing_support::beginFullWindow();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor4f(1, 1, 1, 1);
    testing_support::texturedSquare();
    glBindTexture(GL_TEXTURE_2D, 0);
    testing_support::endFullWindow();
}

// The background picture and the floor with the character on it.
class DemoScene : public FrameScene {
public:
    explicit DemoScene(const Scene& s) : s_(s) {}
    void drawBackground() override { drawPicture(s_.background); }
    void drawScene(bool) override {
        drawFloor(kFloorHalfSize, 0.0f);
        s_.character->drawFrame(s_.frame, 255);
    }

private:
    const Scene& s_;
};

// The program's own frame path under a fixed perspective camera.
void drawFrame(Scene& s, bool shadows) {
    const double eye[3] = {60.0, -260.0, 220.0}, centre[3] = {0.0, 0.0, 40.0};
    testing_support::perspectiveCamera(kWidth, kHeight, 40.0, 10.0, 5000.0, eye, centre);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    setUpFrameState();
    DemoScene scene(s);
    if (shadows)
        drawShadowedFrame(*s.rendering.shadow, scene);
    else
        drawLitFrame(s.rendering.light.get(), scene);
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
