// The scene light against the real driver: what it sends, and whose enable state copyFrom applies.
#include <gtest/gtest.h>

#include "render/scene_light.h"
#include "tests/render/render_gl_window.h"

namespace kelmo {
namespace {

using namespace testing_support;

class SceneLights : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kRenderWindowSize);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glDisable(GL_LIGHT2);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(SceneLights, PositionIsAPointUnderTheCurrentModelview) {
    SceneLight light(GL_LIGHT2, 100.0f, -200.0f, 200.0f, 0.8f, 0.6f, 0.4f);
    EXPECT_EQ(light.lightNumber(), 2);
    glTranslated(10.0, 20.0, 30.0);
    light.enable();
    float position[4], diffuse[4], ambient[4];
    glGetLightfv(GL_LIGHT2, GL_POSITION, position);
    glGetLightfv(GL_LIGHT2, GL_DIFFUSE, diffuse);
    glGetLightfv(GL_LIGHT2, GL_AMBIENT, ambient);
    // w = 1: the translation moves it (a direction, w = 0, would ignore it).
    EXPECT_FLOAT_EQ(position[0], 110.0f);
    EXPECT_FLOAT_EQ(position[1], -180.0f);
    EXPECT_FLOAT_EQ(position[2], 230.0f);
    EXPECT_FLOAT_EQ(position[3], 1.0f);
    EXPECT_FLOAT_EQ(diffuse[1], 0.6f);
    EXPECT_FLOAT_EQ(diffuse[3], 1.0f);
    EXPECT_FLOAT_EQ(ambient[0], 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT2));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    light.disable();
    EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(SceneLights, CopyFromAppliesTheStateRecordedAtConstruction) {
    const SceneLight madeDark(GL_LIGHT0, 1.0f, 2.0f, 3.0f, 0.2f, 0.2f, 0.2f);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const SceneLight madeLit(GL_LIGHT0);  // captures 0.2 diffuse and the position (1, 2, 3)
    EXPECT_FLOAT_EQ(madeLit.position()[2], 3.0f);
    EXPECT_FLOAT_EQ(madeLit.diffuse()[0], 0.2f);

    SceneLight scene(GL_LIGHT0, 100.0f, -200.0f, 200.0f, 0.8f, 0.8f, 0.8f);
    scene.copyFrom(madeDark);  // lighting is on now, but was off when madeDark was made
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    EXPECT_FLOAT_EQ(scene.position()[0], 1.0f);
    float diffuse[4];
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[0], 0.8f) << "copyFrom sends nothing";

    scene.copyFrom(madeLit);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    // scene kept its own flags (made while lit) through copying from madeDark.
    SceneLight other(GL_LIGHT0);
    glDisable(GL_LIGHTING);
    other.copyFrom(scene);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
}

}  // namespace
}  // namespace kelmo
