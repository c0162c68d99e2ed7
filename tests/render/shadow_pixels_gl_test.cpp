// A shadowed frame drawn by the program's frame path against the real driver: a box above an invisible floor,
// lit by the start-up light, over a background picture. Shadows darken the floor where the box
// hides the light and leave every other background pixel as it was.
#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "render/frame_renderer.h"
#include "tests/render/render_gl_window.h"

namespace kelmo {
namespace {

using namespace testing_support;

constexpr int kSize = kRenderWindowSize;
constexpr double kBoxEdge = 30.0, kBoxCentreZ = 45.0;

void drawBox() {
    glPushMatrix();
    glTranslated(0, 0, kBoxCentreZ);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(0.8f, 0.3f, 0.2f, 1.0f);
    glutSolidCube(kBoxEdge);
    glDisable(GL_COLOR_MATERIAL);
    glPopMatrix();
}

// The camera image: a colour ramp over the whole window, unlit, behind everything.
void drawRamp() {
    beginFullWindow();
    glBegin(GL_QUADS);
    glColor4f(0.9f, 0.7f, 0.5f, 1.0f);
    glVertex2d(-1, -1);
    glColor4f(0.6f, 0.8f, 0.6f, 1.0f);
    glVertex2d(1, -1);
    glColor4f(0.7f, 0.6f, 0.9f, 1.0f);
    glVertex2d(1, 1);
    glColor4f(0.8f, 0.8f, 0.7f, 1.0f);
    glVertex2d(-1, 1);
    glEnd();
    endFullWindow();
}

// The box on the invisible floor over the background.
class BoxScene : public FrameScene {
public:
    void drawBackground() override { drawRamp(); }
    void drawScene(bool) override {
        drawFloor(kFloorHalfSize, 0.0f);
        drawBox();
    }
};

class ShadowPixels : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kRenderWindowSize);
        if (!shaderManager().supported() || !framebufferManager().supported()) GTEST_SKIP() << "no shaders";
        light_ = createStartUpLight();
        program_ = createStartUpShadow(shaderManager(), &framebufferManager(), light_.get());
        ASSERT_TRUE(program_ && program_->compiled());
    }
    void TearDown() override {
        program_.reset();
        light_.reset();
        glDisable(GL_LIGHT0);
        glDisable(GL_LIGHTING);
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
    }

    // The frame's GL state, the camera, then the scene with or without shadows.
    void drawFrame(bool shadows, bool scene = true) {
        const double eye[3] = {40.0, -120.0, 500.0}, centre[3] = {0.0, 20.0, 0.0};
        perspectiveCamera(kSize, kSize, 40.0, 10.0, 5000.0, eye, centre);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        setUpFrameState();
        BoxScene box;
        if (!scene)
            box.drawBackground();
        else if (!shadows)
            drawLitFrame(light_.get(), box);
        else
            drawShadowedFrame(*program_, box);
        glFinish();
    }

    // The floor point seen at pixel (x, y), from the depth buffer of the last frame.
    bool floorPointAt(int x, int y, double out[3]) {
        float depth = 1.0f;
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        if (depth >= 1.0f) return false;
        GLdouble model[16], projection[16];
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        return gluUnProject(x + 0.5, y + 0.5, depth, model, projection, viewport, &out[0], &out[1],
                            &out[2]) == GL_TRUE;
    }

    std::unique_ptr<SceneLight> light_;
    std::unique_ptr<ShadowProgram> program_;
};

TEST_F(ShadowPixels, DarkenTheFloorUnderTheBoxOnly) {
    drawFrame(false, false);
    const std::vector<uint8_t> background = windowPixels();
    drawFrame(false);
    const std::vector<uint8_t> plain = windowPixels();
    drawFrame(true);
    const std::vector<uint8_t> shadowed = windowPixels();

    // Where the box's outline, cast from the light onto z = 0, can fall.
    double low[2] = {1e9, 1e9}, high[2] = {-1e9, -1e9};
    const float* light = light_->position();
    for (int corner = 0; corner < 8; ++corner) {
        const double c[3] = {(corner & 1 ? 0.5 : -0.5) * kBoxEdge, (corner & 2 ? 0.5 : -0.5) * kBoxEdge,
                             kBoxCentreZ + (corner & 4 ? 0.5 : -0.5) * kBoxEdge};
        const double t = light[2] / (light[2] - c[2]);
        for (int axis = 0; axis < 2; ++axis) {
            const double v = light[axis] + t * (c[axis] - light[axis]);
            low[axis] = std::min(low[axis], v - 6.0);
            high[axis] = std::max(high[axis], v + 6.0);
        }
    }

    int darkened = 0, box = 0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const size_t i = (static_cast<size_t>(y) * kSize + x) * 3;
            bool isBackground = true, same = true, darker = true;
            for (int c = 0; c < 3; ++c) {
                isBackground &= std::abs(plain[i + c] - background[i + c]) <= 1;
                same &= std::abs(shadowed[i + c] - plain[i + c]) <= 2;
                darker &= shadowed[i + c] + 10 < plain[i + c];
            }
            if (!isBackground) {
                // Untextured surfaces keep their lit colour under the program instead of turning black.
                EXPECT_GT(shadowed[i] + shadowed[i + 1] + shadowed[i + 2], 60)
                    << "box pixel " << x << ", " << y;
                ++box;
                continue;
            }
            if (same) continue;
            ASSERT_TRUE(darker) << "pixel " << x << ", " << y << " changed without darkening";
            double p[3];
            ASSERT_TRUE(floorPointAt(x, y, p)) << "pixel " << x << ", " << y;
            EXPECT_NEAR(p[2], 0.0, 1.0);
            EXPECT_TRUE(p[0] >= low[0] && p[0] <= high[0] && p[1] >= low[1] && p[1] <= high[1])
                << "darkened floor at " << p[0] << ", " << p[1] << " outside the shadow's reach";
            ++darkened;
        }
    }
    EXPECT_GT(box, 50);
    EXPECT_GT(darkened, 100);
}

}  // namespace
}  // namespace kelmo
