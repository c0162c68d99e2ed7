// The shadow-map pass on the real driver: the light's camera, the texture matrix that carries eye
// coordinates into the shadow map, and the state put back afterwards.
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "gl/entry_points.h"
#include "render/frame_renderer.h"
#include "tests/render/render_gl_window.h"

namespace kelmo {
namespace {

using namespace testing_support;

constexpr int kMap = 2048;

// m (column-major) × (x, y, z, 1).
std::vector<double> transform(const std::vector<double>& m, const double p[3]) {
    std::vector<double> out(4);
    for (int row = 0; row < 4; ++row)
        out[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
    return out;
}

class ShadowPass : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kRenderWindowSize);
        if (!shaderManager().supported() || !framebufferManager().supported()) GTEST_SKIP() << "no shaders";
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        light_ = createStartUpLight();
        program_ = createStartUpShadow(shaderManager(), &framebufferManager(), light_.get());
        ASSERT_TRUE(program_ && program_->compiled());
        // A camera turned and moved away from the marker's origin.
        const double eye[3] = {250.0, -300.0, 350.0}, centre[3] = {20.0, 10.0, 0.0};
        perspectiveCamera(kRenderWindowSize, kRenderWindowSize, 50.0, 1.0, 3000.0, eye, centre);
    }
    void TearDown() override {
        program_.reset();
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_POLYGON_OFFSET_FILL);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glLoadIdentity();
    }

    std::unique_ptr<SceneLight> light_;
    std::unique_ptr<ShadowProgram> program_;
};

TEST_F(ShadowPass, TextureMatrixFindsTheTexelEachPointWasRenderedTo) {
    const double points[3][3] = {{30.0, -20.0, 15.0}, {-60.0, 45.0, 0.0}, {10.0, 70.0, 80.0}};
    beginLightPass(*program_);
    glPointSize(1.0f);
    glBegin(GL_POINTS);
    for (const auto& p : points) glVertex3dv(p);
    glEnd();
    program_->endShadowPass();

    std::vector<float> depth(static_cast<size_t>(kMap) * kMap);
    glBindTexture(GL_TEXTURE_2D, program_->framebuffer()->depthTexture());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    glBindTexture(GL_TEXTURE_2D, 0);

    program_->beginShadowedDraw();
    const std::vector<double> modelview = matrixState(GL_MODELVIEW_MATRIX);
    glExt.activeTexture(GL_TEXTURE1);
    const std::vector<double> texture = matrixState(GL_TEXTURE_MATRIX);
    glLoadIdentity();
    glExt.activeTexture(GL_TEXTURE0);
    program_->endShadowedDraw();

    int rendered = 0;
    for (size_t i = 0; i < depth.size(); ++i) rendered += depth[i] < 1.0f;
    EXPECT_EQ(rendered, 3);
    for (const auto& p : points) {
        // As the vertex shader does: texture matrix × modelview × vertex, then divided by q.
        const std::vector<double> eye = transform(modelview, p);
        const std::vector<double> c = transform(texture, eye.data());
        const double s = c[0] / c[3] * kMap, t = c[1] / c[3] * kMap, r = c[2] / c[3];
        ASSERT_TRUE(s >= 0 && s < kMap && t >= 0 && t < kMap) << s << ", " << t;
        const int x = static_cast<int>(s), y = static_cast<int>(t);
        EXPECT_LT(depth[static_cast<size_t>(y) * kMap + x], 1.0f)
            << "nothing rendered at texel " << x << ", " << y;
        EXPECT_NEAR(depth[static_cast<size_t>(y) * kMap + x], r, 1e-5);
    }
}

TEST_F(ShadowPass, FarPlaneIsThreeTimesTheLightToTargetDistance) {
    beginLightPass(*program_);
    program_->endShadowPass();
    const std::vector<double> light(program_->lightMatrix(), program_->lightMatrix() + 16);
    // Along the line from the light (100, −200, 200) to the target, 300 long.
    const auto ndcDepthAt = [&light](double distance) {
        const double p[3] = {100.0 - 100.0 * distance / 300.0, -200.0 + 200.0 * distance / 300.0,
                             200.0 - 200.0 * distance / 300.0};
        const std::vector<double> clip = transform(light, p);
        return clip[2] / clip[3];
    };
    EXPECT_NEAR(ndcDepthAt(10.0), -1.0, 1e-5);
    EXPECT_NEAR(ndcDepthAt(900.0), 1.0, 1e-5);
}

TEST_F(ShadowPass, RenderStateIsPutBack) {
    struct Before {
        bool depthTest;
        GLboolean mask[4];
        bool cull;
        bool offset;
    };
    for (const Before& before : {Before{false, {GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE}, true, false},
                                 Before{true, {GL_FALSE, GL_TRUE, GL_TRUE, GL_FALSE}, false, true}}) {
        if (before.depthTest)
            glEnable(GL_DEPTH_TEST);
        else
            glDisable(GL_DEPTH_TEST);
        glDepthFunc(GL_GREATER);
        glColorMask(before.mask[0], before.mask[1], before.mask[2], before.mask[3]);
        if (before.cull)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
        glCullFace(GL_FRONT);
        if (before.offset)
            glEnable(GL_POLYGON_OFFSET_FILL);
        else
            glDisable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(2.0f, 3.0f);
        glViewport(3, 4, 100, 90);
        const std::vector<double> projection = matrixState(GL_PROJECTION_MATRIX);
        const std::vector<double> camera = matrixState(GL_MODELVIEW_MATRIX);

        beginLightPass(*program_);
        GLboolean mask[4];
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        EXPECT_FALSE(mask[0] || mask[1] || mask[2] || mask[3]) << "depth only";
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_EQ(integerState(GL_DEPTH_FUNC), GL_LEQUAL);
        EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
        EXPECT_TRUE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
        EXPECT_EQ(viewportState(), (std::vector<GLint>{0, 0, kMap, kMap}));
        EXPECT_NE(integerState(GL_FRAMEBUFFER_BINDING_EXT), 0);
        program_->endShadowPass();

        EXPECT_EQ(integerState(GL_FRAMEBUFFER_BINDING_EXT), 0);
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(mask[i], before.mask[i]);
        EXPECT_EQ(glIsEnabled(GL_CULL_FACE), before.cull);
        EXPECT_EQ(integerState(GL_CULL_FACE_MODE), GL_FRONT);
        EXPECT_EQ(integerState(GL_DEPTH_FUNC), GL_LEQUAL) << "kept until the shadowed drawing ends";

        program_->beginShadowedDraw();
        EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), static_cast<GLint>(program_->program()));
        EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
        program_->endShadowedDraw();

        EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), 0);
        EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), before.depthTest);
        if (before.depthTest) {
            EXPECT_EQ(integerState(GL_DEPTH_FUNC), GL_GREATER);
        }
        EXPECT_EQ(glIsEnabled(GL_CULL_FACE), before.cull);
        EXPECT_EQ(glIsEnabled(GL_POLYGON_OFFSET_FILL), before.offset);
        float offset[2];
        glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &offset[0]);
        glGetFloatv(GL_POLYGON_OFFSET_UNITS, &offset[1]);
        EXPECT_EQ(offset[0], 2.0f);
        EXPECT_EQ(offset[1], 3.0f);
        EXPECT_EQ(viewportState(), (std::vector<GLint>{3, 4, 100, 90}));
        EXPECT_EQ(matrixState(GL_PROJECTION_MATRIX), projection);
        EXPECT_EQ(matrixState(GL_MODELVIEW_MATRIX), camera);
        // Lighting and the light as they were when the program was made (both off).
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    }
}

}  // namespace
}  // namespace kelmo
