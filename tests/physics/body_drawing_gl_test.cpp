// Bodies drawn as boxes, read back pixel by pixel: one world unit is one pixel, looking down the z
// axis, lighting off so the colours come out as given.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "physics/body_drawing.h"
#include "physics/physics_bodies.h"
#include "physics/physics_world.h"
#include "tests/physics/physics_fixture.h"
#include "tests/support/gl_window.h"

namespace kelmo {
namespace {

constexpr int kSize = 64;

// The colour at world (x, y).
void expectPixel(int x, int y, int r, int g, int b) {
    const std::vector<uint8_t> rgb = testing_support::backBufferRgb(kSize / 2 + x, kSize / 2 + y, 1, 1);
    EXPECT_NEAR(rgb[0], r, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(rgb[1], g, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(rgb[2], b, 2) << "at " << x << ", " << y;
}

class BodyDrawingTest : public testing_support::PhysicsTest {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kSize);
        testing_support::PhysicsTest::SetUp();
        testing_support::orthoView(kSize, kSize / 2, 100);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glFrontFace(GL_CCW);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
};

// Static, so the idle thread's world keeps it where it is made.
void boxAt(float x, float y, int activationState) {
    createBoxBody(0, 10, 10, 10, btVector3(x, y, 0), nullptr)->forceActivationState(activationState);
}

TEST_F(BodyDrawingTest, EveryBoxOfTheWorldIsDrawnInItsIndexAndStateColour) {
    boxAt(-15, 0, ACTIVE_TAG);          // index 1, odd
    boxAt(15, 0, ACTIVE_TAG);           // index 2, even
    boxAt(0, 15, ISLAND_SLEEPING);      // index 3, odd
    boxAt(0, -15, ISLAND_SLEEPING);     // index 4, even
    boxAt(0, 0, DISABLE_DEACTIVATION);  // index 5, odd
    glMatrixMode(GL_TEXTURE);           // drawing must neither depend on nor change the matrix mode
    drawAllBodies();
    GLint mode = 0, front = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_FRONT_FACE, &front);
    EXPECT_EQ(mode, GL_TEXTURE);
    EXPECT_EQ(front, GL_CCW);
    glMatrixMode(GL_MODELVIEW);

    expectPixel(-15, 0, 255, 0, 255);
    expectPixel(15, 0, 255, 255, 128);
    expectPixel(0, 15, 0, 255, 255);
    expectPixel(0, -15, 255, 255, 128);
    expectPixel(0, 0, 0, 0, 255);
    // 10 units wide; the ground plane draws nothing.
    expectPixel(-15 + 4, 0, 255, 0, 255);
    expectPixel(-15 + 6, 0, 0, 0, 0);
    expectPixel(-28, -28, 0, 0, 0);
}

TEST_F(BodyDrawingTest, DrawBodyUsesTheEvenColoursAtTheBodysPlace) {
    setLaunchPoint(10, 10, 50);
    drawBody(fireProjectile());
    drawBody(nullptr);
    expectPixel(10, 10, 255, 255, 128);
    expectPixel(10 + 3, 10 - 3, 255, 255, 128);  // an 8-unit cube
    expectPixel(10 + 5, 10, 0, 0, 0);
}

TEST_F(BodyDrawingTest, DrawShapeRestoresFrontFaceAndMatrixAndLeavesTheMaterialSet) {
    glTranslatef(1, 2, 3);
    GLfloat before[16], after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    btBoxShape box(btVector3(5, 5, 5));
    float identity[16];
    btTransform::getIdentity().getOpenGLMatrix(identity);
    for (GLenum front : {GL_CCW, GL_CW}) {
        glFrontFace(front);
        drawShape(identity, &box, btVector3(0.25f, 0.5f, 0.75f));
        GLint restored = 0;
        glGetIntegerv(GL_FRONT_FACE, &restored);
        EXPECT_EQ(restored, static_cast<GLint>(front));
    }
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(after[i], before[i]);
    GLfloat diffuse[4] = {}, emission[4] = {}, shininess = 0;
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, diffuse);
    glGetMaterialfv(GL_FRONT, GL_EMISSION, emission);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_FLOAT_EQ(diffuse[1], 0.5f);
    EXPECT_FLOAT_EQ(diffuse[3], 1.0f);
    EXPECT_FLOAT_EQ(emission[2], 0.75f);
    EXPECT_NEAR(shininess, 0.1f, 1e-6);
    expectPixel(1, 2, 64, 128, 191);

    glClear(GL_COLOR_BUFFER_BIT);
    btStaticPlaneShape plane(btVector3(0, 0, 1), 0);
    drawShape(identity, &plane, btVector3(1, 1, 1));
    expectPixel(1, 2, 0, 0, 0);
}

}  // namespace
}  // namespace kelmo
