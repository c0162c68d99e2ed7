// The shadow program on the real driver (Mesa under Xvfb): the generated text compiles and links,
// failures print the driver's logs as they are, and what createShadowProgram refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gl/entry_points.h"
#include "render/shadow_program.h"
#include "tests/render/expected_shader_text.h"
#include "tests/render/render_gl_window.h"

namespace kelmo {
namespace {

using namespace testing_support;

const char* const kFragment = "#version 120\nvoid main (void)\n{\ngl_FragColor = gl_Color;\n}\n";
const char* const kVertex = "#version 120\nvoid main(void)\n{\ngl_Position = ftransform();\n}\n";

class ShadowPrograms : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kRenderWindowSize);
        if (!shaderManager().supported()) GTEST_SKIP() << "no shader extensions";
        light_ = std::make_unique<SceneLight>(GL_LIGHT0, 100.0f, -200.0f, 200.0f, 0.8f, 0.8f, 0.8f);
    }

    std::unique_ptr<ShadowProgram> make(const GLenum* units, unsigned count,
                                        const FramebufferManager* framebuffers) {
        return shaderManager().createShadowProgram(framebuffers, light_.get(), units, count, GL_TEXTURE1,
                                                   2048, 2048, 0.4f, 0.5, false);
    }

    std::unique_ptr<SceneLight> light_;
};

TEST_F(ShadowPrograms, GeneratedProgramsCompileAndLink) {
    const GLenum startup[1] = {GL_TEXTURE0};
    auto program = make(startup, 1, &framebufferManager());
    ASSERT_TRUE(program);
    EXPECT_TRUE(program->compiled()) << program->vertexLog() << program->fragmentLog() << program->linkLog();
    EXPECT_NE(program->program(), 0u);
    EXPECT_STREQ(program->linkLog(), "");
    EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), 0);
    EXPECT_EQ(program->buildVertexShaderSource(0.4f, 0.5), kStartupVertexText);
    EXPECT_EQ(program->buildFragmentShaderSource(0.4f, 0.5), kStartupFragmentText);
    ASSERT_TRUE(program->framebuffer());
    EXPECT_EQ(program->framebuffer()->width(), 2048);

    // No colour unit, and two: the blocks that texnum guards still compile.
    const GLenum two[2] = {GL_TEXTURE0, GL_TEXTURE2};
    for (unsigned count : {0u, 2u}) {
        auto other = make(two, count, &framebufferManager());
        ASSERT_TRUE(other);
        EXPECT_TRUE(other->compiled())
            << count << other->vertexLog() << other->fragmentLog() << other->linkLog();
    }
    EXPECT_NE(
        make(two, 2, nullptr)->buildFragmentShaderSource(0.4f, 0.5).find("uniform sampler2D texUnit2;\n"),
        std::string::npos);
}

TEST_F(ShadowPrograms, FailuresPrintTheLogsVerbatimAndLeaveItUncompiled) {
    const GLenum units[1] = {GL_TEXTURE0};
    auto program = make(units, 1, nullptr);
    ASSERT_TRUE(program && program->compiled());

    testing::internal::CaptureStdout();
    EXPECT_FALSE(program->compileFromSources("#version 120\nvoid main(void)\n{\ngl_Position = nowhere;\n}\n",
                                             kFragment));
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(program->compiled());
    EXPECT_EQ(program->program(), 0u);
    EXPECT_NE(std::string(program->vertexLog()).find("nowhere"), std::string::npos) << program->vertexLog();
    EXPECT_STREQ(program->fragmentLog(), "");
    EXPECT_EQ(printed, program->vertexLog());

    // Each shader compiles, but the fragment shader reads a varying that nothing writes.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(program->compileFromSources(
        kVertex, "#version 120\nvarying vec4 lost;\nvoid main (void)\n{\ngl_FragColor = lost;\n}\n"));
    printed = testing::internal::GetCapturedStdout();
    EXPECT_STREQ(program->vertexLog(), "");
    EXPECT_NE(std::string(program->linkLog()), "");
    EXPECT_EQ(printed, program->linkLog());
    EXPECT_EQ(program->program(), 0u);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(program->compileFromSources(kVertex, kFragment));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(program->program(), 0u);
}

TEST_F(ShadowPrograms, InfoLogThatDoesNotFitIsNotFetched) {
    const ExtensionEntryPoints& gl = glExt;
    const GLhandleARB shader = gl.createShaderObject(GL_FRAGMENT_SHADER_ARB);
    const GLcharARB* text = "#version 120\nvoid main (void) { gl_FragColor = broken; }\n";
    gl.shaderSource(shader, 1, &text, nullptr);
    gl.compileShader(shader);
    char buffer[ShadowProgram::kLogCapacity];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ShadowProgram::fetchInfoLog(shader, 8, buffer), -1);
    EXPECT_EQ(buffer[0], 'x');
    const int length = ShadowProgram::fetchInfoLog(shader, sizeof buffer, buffer);
    EXPECT_GT(length, 0);
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(buffer));
    gl.deleteObject(shader);
}

TEST_F(ShadowPrograms, RefusesWhatTheTextHasNoRoomFor) {
    const GLenum three[3] = {GL_TEXTURE0, GL_TEXTURE2, GL_TEXTURE3};
    EXPECT_FALSE(make(three, 3, &framebufferManager()));
    EXPECT_FALSE(make(nullptr, 1, &framebufferManager()));
    EXPECT_FALSE(shaderManager().createShadowProgram(&framebufferManager(), nullptr, three, 1, GL_TEXTURE1,
                                                     64, 64, 0.4f, 0.5, false));
}

// Without a shadow map, or without a compiled program, the passes leave every state alone.
TEST_F(ShadowPrograms, PassesDoNothingWithoutMapOrProgram) {
    const GLenum units[1] = {GL_TEXTURE0};
    auto noMap = make(units, 1, nullptr);
    ASSERT_TRUE(noMap && noMap->compiled());
    EXPECT_FALSE(noMap->framebuffer());
    auto broken = make(units, 1, &framebufferManager());
    testing::internal::CaptureStdout();
    broken->compileFromSources("#version 120\nvoid main(void) { nothing }\n", kFragment);
    testing::internal::GetCapturedStdout();

    glViewport(1, 2, 30, 40);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(1, 2, 3);
    glDisable(GL_DEPTH_TEST);
    for (ShadowProgram* p : {noMap.get(), broken.get()}) {
        p->beginShadowPass(0, 0, 0, 55, 10, 0, 0, 1);
        EXPECT_EQ(integerState(GL_FRAMEBUFFER_BINDING_EXT), 0);
        EXPECT_EQ(viewportState(), (std::vector<GLint>{1, 2, 30, 40}));
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_EQ(matrixState(GL_MODELVIEW_MATRIX)[14], 3.0);
        p->endShadowPass();
        p->beginShadowedDraw();
        EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), 0);
        p->endShadowedDraw();
    }
    glLoadIdentity();
}

}  // namespace
}  // namespace kelmo
