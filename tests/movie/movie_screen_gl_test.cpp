// The brick screen drawn and read back: one marker unit is one pixel, looking along +y at the
// screen's face, lighting off.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "movie/movie_screen.h"
#include "physics/physics_world.h"
#include "tests/physics/physics_fixture.h"
#include "tests/support/gl_window.h"

namespace kelmo {
namespace {

constexpr int kSize = 128;  // also the window size of movie_player_gl_test: one window per binary
constexpr int kAlpha = 127;
const uint8_t kBackground[3] = {40, 80, 200};  // the camera image's stand-in

// The movie picture: 4 × 4 texels, each its own colour, rows bottom-up as the movie hands them over.
// Each brick of the 2 × 2 test screen carries 2 × 2 of them, so a brick's picture turned over shows.
constexpr int kTexels = 4;
struct Texel {
    uint8_t rgb[3];
};
Texel texel(int column, int row) {
    return Texel{{static_cast<uint8_t>(column * 85), static_cast<uint8_t>(row * 85), 128}};
}

GLuint makePicture() {
    uint8_t rgba[kTexels][kTexels][4];
    for (int row = 0; row < kTexels; ++row)
        for (int column = 0; column < kTexels; ++column) {
            for (int c = 0; c < 3; ++c) rgba[row][column][c] = texel(column, row).rgb[c];
            rgba[row][column][3] = kAlpha;
        }
    return testing_support::nearestTexture(kTexels, kTexels, &rgba[0][0][0]);
}

// The pixel of marker point (x, z) on the screen's plane.
void expectPixel(double x, double z, const uint8_t expected[3], const char* what) {
    const std::vector<uint8_t> rgb = testing_support::backBufferRgb(
        kSize / 2 + static_cast<int>(std::floor(x)), kSize / 2 + static_cast<int>(std::floor(z)), 1, 1);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(rgb[c], expected[c], 3) << what << " at " << x << ", " << z;
}

// A texel at alpha 127 over the background.
void expectBlended(double x, double z, const Texel& texel) {
    uint8_t blended[3];
    for (int c = 0; c < 3; ++c)
        blended[c] = static_cast<uint8_t>(
            std::lround((texel.rgb[c] * kAlpha + kBackground[c] * (255 - kAlpha)) / 255.0));
    expectPixel(x, z, blended, "picture");
}

class ScreenDrawingTest : public testing_support::PhysicsTest {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kSize);
        testing_support::PhysicsTest::SetUp();
        picture_ = makePicture();
        glViewport(0, 0, kSize, kSize);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glClearColor(0, 0, 0, 0);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // The camera image: a full-window quad drawn first.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor3ub(kBackground[0], kBackground[1], kBackground[2]);
        glRectf(-1, -1, 1, 1);
        // Marker x to the right, z up, y into the window.
        glMatrixMode(GL_PROJECTION);
        glOrtho(-kSize / 2, kSize / 2, -kSize / 2, kSize / 2, -1000, 1000);
        glMatrixMode(GL_MODELVIEW);
        glRotated(-90, 1, 0, 0);
    }
    void TearDown() override {
        if (picture_ != 0) glDeleteTextures(1, &picture_);
        releaseScreen();
        testing_support::PhysicsTest::TearDown();
    }

    // 100 × 100, from x = -50 to 50 and z = -50 to 50, in 2 × 2 bricks of 50 × 50; texel (column,
    // row) is the square of 25 from (-50 + 25 column, -50 + 25 row).
    void buildTestScreen() { ASSERT_TRUE(buildScreen(0, 10, -50, 100, 150, 4, 4, 2, 2)); }

    GLuint picture_ = 0;
};

TEST_F(ScreenDrawingTest, DrawingBeforeBuildingDrawsNothing) {
    drawScreen(picture_);
    expectPixel(0, 0, kBackground, "background");
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

// Drawn over the camera image with another texture bound and its own material set: the picture shows
// half see-through, and what the caller had is back afterwards.
TEST_F(ScreenDrawingTest, EachBrickShowsItsPartOfThePictureAndTheStateIsPutBack) {
    buildTestScreen();
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    glBlendFunc(GL_ONE, GL_ONE);  // blending stays off
    const GLenum materials[4] = {GL_DIFFUSE, GL_AMBIENT, GL_SPECULAR, GL_EMISSION};
    const GLfloat values[4][4] = {
        {0.2f, 0.3f, 0.4f, 1}, {0.1f, 0, 0, 0.5f}, {0.5f, 0.6f, 0.7f, 1}, {0, 0, 0.25f, 1}};
    for (int m = 0; m < 4; ++m) glMaterialfv(GL_FRONT_AND_BACK, materials[m], values[m]);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 12);

    drawScreen(picture_);

    for (int row = 0; row < kTexels; ++row)
        for (int column = 0; column < kTexels; ++column)
            expectBlended(-37.5 + 25 * column, -37.5 + 25 * row, texel(column, row));
    expectPixel(0, 55, kBackground, "above the screen");
    expectPixel(-60, 0, kBackground, "left of the screen");

    GLint bound = 0, source = 0, destination = 0, environment = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &environment);
    EXPECT_EQ(bound, static_cast<GLint>(other));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(source, GL_ONE);
    EXPECT_EQ(destination, GL_ONE);
    EXPECT_EQ(environment, GL_MODULATE);
    for (GLenum face : {GL_FRONT, GL_BACK}) {
        for (int m = 0; m < 4; ++m) {
            GLfloat value[4] = {};
            glGetMaterialfv(face, materials[m], value);
            for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(value[c], values[m][c]) << "material " << m;
        }
        GLfloat shininess = 0;
        glGetMaterialfv(face, GL_SHININESS, &shininess);
        EXPECT_FLOAT_EQ(shininess, 12);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &other);
}

TEST_F(ScreenDrawingTest, ABrickIsDrawnWhereItsBodyIsNow) {
    buildTestScreen();
    // The top-left brick was made first. Knocked 50 to the left, its right half is still in view.
    btRigidBody* topLeft = nullptr;
    {
        PhysicsWorldAccess access;
        topLeft = btRigidBody::upcast(access.world()->getCollisionObjectArray()[1]);
    }
    btTransform moved = bodyWorldTransform(topLeft);
    moved.setOrigin(moved.getOrigin() - btVector3(50, 0, 0));
    setBodyWorldTransform(topLeft, moved);
    drawScreen(picture_);
    expectPixel(-12.5, 12.5, kBackground, "where the brick was");
    expectBlended(-60, 37.5, texel(1, 3));
    expectBlended(12.5, 37.5, texel(2, 3));  // its neighbour stayed
}

}  // namespace
}  // namespace kelmo
