// Framebuffers and their manager against the real driver (under Xvfb).
#include <GL/freeglut.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <memory>

#include "gl/entry_points.h"
#include "render/framebuffer.h"
#include "tests/render/render_gl_window.h"

namespace kelmo {
namespace {

using namespace testing_support;

class Framebuffers : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kRenderWindowSize);
        if (!framebufferManager().supported()) GTEST_SKIP() << "no GL_EXT_framebuffer_object";
    }
    void TearDown() override { Framebuffer::unbind(); }
};

int generated = 0;
PFNGLGENFRAMEBUFFERSEXTPROC realGenFramebuffers = nullptr;
void APIENTRY countingGenFramebuffers(GLsizei n, GLuint* names) {
    ++generated;
    realGenFramebuffers(n, names);
}

TEST_F(Framebuffers, SecondManagerKeepsTheFetchedEntryPoints) {
    const ExtensionEntryPoints before = glExt;
    realGenFramebuffers = before.genFramebuffers;
    glExt.genFramebuffers = countingGenFramebuffers;
    FramebufferManager second;
    EXPECT_TRUE(second.supported());
    EXPECT_EQ(glExt.genFramebuffers, &countingGenFramebuffers);
    EXPECT_EQ(glExt.bindFramebuffer, before.bindFramebuffer);
    generated = 0;
    second.createFramebuffer(8, 8, false);
    EXPECT_EQ(generated, 1);
    glExt = before;
}

TEST_F(Framebuffers, BuildLeavesTheWindowBoundAndTheTexturesReady) {
    auto other = framebufferManager().createFramebuffer(16, 16, false);
    other->bind();
    glEnable(GL_TEXTURE_2D);
    for (bool depthOnly : {true, false}) {
        auto fb = framebufferManager().createFramebuffer(64, 32, depthOnly);
        ASSERT_TRUE(fb);
        EXPECT_EQ(integerState(GL_FRAMEBUFFER_BINDING_EXT), 0) << "the earlier binding is not restored";
        EXPECT_NE(fb->framebuffer(), 0u);
        EXPECT_NE(fb->colourTexture(), 0u) << "made even when only depth is drawn";
        EXPECT_NE(fb->depthTexture(), 0u);
        EXPECT_EQ(fb->width(), 64);
        EXPECT_EQ(fb->height(), 32);
        EXPECT_EQ(integerState(GL_PACK_ALIGNMENT), 1);
        EXPECT_EQ(integerState(GL_UNPACK_ALIGNMENT), 1);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

        fb->bind();
        EXPECT_EQ(integerState(GL_FRAMEBUFFER_BINDING_EXT), static_cast<GLint>(fb->framebuffer()));
        const auto checkStatus = reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC>(
            glutGetProcAddress("glCheckFramebufferStatusEXT"));
        EXPECT_EQ(checkStatus(GL_FRAMEBUFFER_EXT), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_EXT));
        EXPECT_EQ(integerState(GL_DRAW_BUFFER), depthOnly ? GL_NONE : GL_COLOR_ATTACHMENT0_EXT);
        glBindTexture(GL_TEXTURE_2D, fb->depthTexture());
        GLint compare = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, &compare);
        EXPECT_EQ(compare, GL_COMPARE_R_TO_TEXTURE_ARB);
        glBindTexture(GL_TEXTURE_2D, 0);
        Framebuffer::unbind();
        glEnable(GL_TEXTURE_2D);
    }
    glDisable(GL_TEXTURE_2D);
}

TEST_F(Framebuffers, WithoutEntryPointsNothingIsBuiltOrBound) {
    auto other = framebufferManager().createFramebuffer(16, 16, false);
    const PFNGLGENFRAMEBUFFERSEXTPROC gen = glExt.genFramebuffers;
    glExt.genFramebuffers = nullptr;
    auto empty = std::make_unique<Framebuffer>(16, 16, false);
    glExt.genFramebuffers = gen;
    EXPECT_EQ(empty->framebuffer(), 0u);
    EXPECT_EQ(empty->colourTexture(), 0u);

    other->bind();
    empty->bind();
    EXPECT_EQ(integerState(GL_FRAMEBUFFER_BINDING_EXT), static_cast<GLint>(other->framebuffer()));
}

TEST_F(Framebuffers, DestructionDeletesTheTexturesAndBindsZero) {
    auto fb = framebufferManager().createFramebuffer(32, 32, false);
    const GLuint colour = fb->colourTexture(), depth = fb->depthTexture();
    const auto genRenderbuffers =
        reinterpret_cast<PFNGLGENRENDERBUFFERSEXTPROC>(glutGetProcAddress("glGenRenderbuffersEXT"));
    GLuint renderbuffer = 0;
    genRenderbuffers(1, &renderbuffer);
    glExt.bindRenderbuffer(GL_RENDERBUFFER_EXT, renderbuffer);
    auto other = framebufferManager().createFramebuffer(16, 16, false);
    other->bind();

    fb.reset();
    EXPECT_EQ(integerState(GL_FRAMEBUFFER_BINDING_EXT), 0);
    EXPECT_EQ(integerState(GL_RENDERBUFFER_BINDING_EXT), 0);
    EXPECT_FALSE(glIsTexture(colour));
    EXPECT_FALSE(glIsTexture(depth));
    glExt.deleteRenderbuffers(1, &renderbuffer);
}

// The off-screen view: drawn into the colour texture, then shown on a quad in the window.
TEST_F(Framebuffers, ColourTextureCarriesWhatWasDrawnIntoIt) {
    auto target = framebufferManager().createFramebuffer(32, 32, false);
    target->bind();
    glViewport(0, 0, 32, 32);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.1f, 0.1f, 0.1f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1, 0, 0);
    glRectd(-0.5, -0.5, 0.5, 0.5);  // the middle half of the picture
    Framebuffer::unbind();

    glViewport(0, 0, kRenderWindowSize, kRenderWindowSize);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, target->colourTexture());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    texturedSquare();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    const std::vector<uint8_t> rgb = windowPixels();
    const auto at = [&rgb](int x, int y) {
        return &rgb[(static_cast<size_t>(y) * kRenderWindowSize + x) * 3];
    };
    const int mid = kRenderWindowSize / 2, corner = 4;
    EXPECT_EQ(at(mid, mid)[0], 255);
    EXPECT_EQ(at(mid, mid)[2], 0);
    EXPECT_NEAR(at(corner, corner)[0], 26, 1);
    EXPECT_NEAR(at(corner, corner)[2], 26, 1);
}

}  // namespace
}  // namespace kelmo
