// The brick screen without GL: its layout, the refusals, and the bricks in a real physics world.
#include "movie/movie_screen.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "movie/screen_layout.h"
#include "physics/physics_bodies.h"
#include "physics/physics_world.h"
#include "tests/physics/physics_fixture.h"

namespace kelmo {
namespace {

using testing_support::expectNear;
using testing_support::worldBodyCount;

void expectCorner(const float corner[2], float s, float t) {
    EXPECT_FLOAT_EQ(corner[0], s);
    EXPECT_FLOAT_EQ(corner[1], t);
}

TEST(ScreenLayout, ALandscapePictureGivesTheGridItsSizesPlacesAndPictureCorners) {
    const ScreenLayout layout = layoutScreen(20, 10, 5, 100, 320, 240, 10, 10);
    EXPECT_DOUBLE_EQ(layout.screenWidth, 100);
    EXPECT_DOUBLE_EQ(layout.screenHeight, 75);
    EXPECT_DOUBLE_EQ(layout.pieceWidth, 10);
    EXPECT_DOUBLE_EQ(layout.pieceHeight, 7.5);

    const PieceGeometry bottomLeft = pieceGeometry(layout, 0, 0);
    EXPECT_DOUBLE_EQ(bottomLeft.centre[0], 20 - 45);
    EXPECT_DOUBLE_EQ(bottomLeft.centre[1], 10);
    EXPECT_DOUBLE_EQ(bottomLeft.centre[2], 5 + 3.75);
    EXPECT_DOUBLE_EQ(bottomLeft.boxSize[0], 10);
    EXPECT_DOUBLE_EQ(bottomLeft.boxSize[1], 1.875);
    EXPECT_DOUBLE_EQ(bottomLeft.boxSize[2], 7.5);
    expectCorner(bottomLeft.texCoords[1], 0, 0);  // the picture's bottom-left corner

    const PieceGeometry topRight = pieceGeometry(layout, 9, 9);
    EXPECT_DOUBLE_EQ(topRight.centre[0], 20 + 45);
    EXPECT_DOUBLE_EQ(topRight.centre[2], 5 + 75 - 3.75);
    expectCorner(topRight.texCoords[3], 1, 1);

    // One piece's corners, top-left round to top-right, are its own cell of the picture.
    const PieceGeometry inner = pieceGeometry(layout, 3, 6);
    expectCorner(inner.texCoords[0], 0.3f, 0.7f);
    expectCorner(inner.texCoords[1], 0.3f, 0.6f);
    expectCorner(inner.texCoords[2], 0.4f, 0.6f);
    expectCorner(inner.texCoords[3], 0.4f, 0.7f);
}

TEST(ScreenLayout, APortraitPictureMakesTheHeightTheSizeAndTheWidthProportional) {
    const ScreenLayout layout = layoutScreen(0, 0, 0, 100, 240, 320, 3, 4);
    EXPECT_DOUBLE_EQ(layout.screenWidth, 75);
    EXPECT_DOUBLE_EQ(layout.screenHeight, 100);
    EXPECT_DOUBLE_EQ(layout.pieceWidth, 25);
    EXPECT_DOUBLE_EQ(layout.pieceHeight, 25);
    EXPECT_DOUBLE_EQ(pieceGeometry(layout, 0, 0).centre[0], -25);
    EXPECT_DOUBLE_EQ(pieceGeometry(layout, 2, 3).centre[2], 87.5);
}

TEST(ScreenBrickCount, TruncatesEachDivisionAndGivesNoneBelowOneOrForNonsense) {
    EXPECT_EQ(screenBrickCount(10.9, 10.2), 100);
    EXPECT_EQ(screenBrickCount(0.99, 10), 0);
    EXPECT_EQ(screenBrickCount(10, -3), 0);
    EXPECT_EQ(screenBrickCount(std::nan(""), 10), 0);
    // Far above any limit, without wrapping into a small or negative count.
    EXPECT_EQ(screenBrickCount(1e6, 1e6), INT_MAX);
    EXPECT_EQ(screenBrickCount(std::numeric_limits<double>::infinity(), 2), INT_MAX);
    // Each division alone, as the screen is built from them (an unchecked cast of these is undefined).
    EXPECT_EQ(screenDivision(10.9), 10);
    EXPECT_EQ(screenDivision(-3), 0);
    EXPECT_EQ(screenDivision(std::nan("")), 0);
    EXPECT_EQ(screenDivision(1e12), INT_MAX);
}

class ScreenTest : public testing_support::PhysicsTest {
protected:
    void TearDown() override {
        releaseScreen();
        testing_support::PhysicsTest::TearDown();
    }
};

TEST_F(ScreenTest, DivisionsBelowOneAreRefusedOnceAndBuildNothing) {
    ::testing::internal::CaptureStdout();
    const bool built = buildScreen(0, 10, 0, 100, 150, 320, 240, 0, 10);
    const bool again = buildScreen(0, 10, 0, 100, 150, 320, 240, 0, 10);  // the next frame asks again
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(built);
    EXPECT_FALSE(again);
    EXPECT_FALSE(isScreenBuilt());
    EXPECT_TRUE(screenRefused());
    EXPECT_EQ(console,
              "movie screen not built: SCREEN_DIVIDE_W and SCREEN_DIVIDE_H must be at least 1 (they give 0 x "
              "10 bricks)\n");
    EXPECT_EQ(worldBodyCount(), 1);
}

TEST_F(ScreenTest, TheBricksAreBoxesOfTheGivenMassInTheWorldTopRowFirst) {
    ASSERT_TRUE(buildScreen(20, 10, 5, 100, 150, 320, 240, 10, 10));
    EXPECT_TRUE(isScreenBuilt());
    EXPECT_TRUE(buildScreen(0, 0, 0, 50, 1, 64, 64, 2, 2));  // built once, never again
    PhysicsWorldAccess access;
    const btCollisionObjectArray& objects = access.world()->getCollisionObjectArray();
    ASSERT_EQ(objects.size(), 1 + 100);
    for (int k = 1; k < objects.size(); ++k) {
        const btRigidBody* brick = btRigidBody::upcast(objects[k]);
        ASSERT_NE(brick, nullptr);
        EXPECT_FLOAT_EQ(1 / brick->getInvMass(), 150) << "brick " << k;
        ASSERT_EQ(brick->getCollisionShape()->getShapeType(), BOX_SHAPE_PROXYTYPE);
        const auto* box = static_cast<const btBoxShape*>(brick->getCollisionShape());
        expectNear(box->getHalfExtentsWithMargin() * 2, btVector3(10, 1.875f, 7.5f));
    }
    // The top row's left brick was made first, the bottom row's right brick last.
    expectNear(bodyWorldTransform(btRigidBody::upcast(objects[1])).getOrigin(),
               btVector3(-25, 10, 5 + 75 - 3.75f));
    expectNear(bodyWorldTransform(btRigidBody::upcast(objects[100])).getOrigin(), btVector3(65, 10, 8.75f));
}

TEST_F(ScreenTest, AScreenThatCannotAllGetIntoTheWorldLeavesNoBrickThere) {
    // The default world is sized for 100 bricks.
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(buildScreen(0, 10, 0, 100, 150, 320, 240, 40, 40));
    EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                  "movie screen not built: its 1600 bricks do not fit in the physics world (1 bodies in "
                  "it, room for 1147 more)"),
              std::string::npos);
    EXPECT_TRUE(screenRefused());
    EXPECT_EQ(worldBodyCount(), 1);

    // Bricks too large for single precision: refused at the first, none left behind.
    releaseScreen();
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(buildScreen(0, 10, 0, 1e300, 150, 320, 240, 2, 2));
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("which the physics world does not take"),
              std::string::npos);
    EXPECT_EQ(worldBodyCount(), 1);
}

TEST_F(ScreenTest, AFortyByFortyScreenIsWhollyInAWorldSizedForItAndProjectilesStillFly) {
    exitPhysics();
    initPhysics(testing_support::kTestGravity, screenBrickCount(40, 40));
    ASSERT_TRUE(buildScreen(0, 10, 0, 100, 150, 320, 240, 40, 40));
    EXPECT_EQ(worldBodyCount(), 1 + 1600);
    // Launched apart from each other, so that the step stays cheap.
    for (int i = 0; i < kMaxProjectiles; ++i) {
        setLaunchPoint(12.f * i - 6000, -300, 200);
        ASSERT_NE(fireProjectile(), nullptr) << "projectile " << i;
    }
    EXPECT_EQ(worldBodyCount(), 1 + 1600 + kMaxProjectiles);
    testing_support::stepWorld(1);
}

// A wall of thin bricks that the solver would topple by itself within seconds: it stands until a
// projectile hits it, and stands again after a reset.
TEST_F(ScreenTest, TheWallStandsUntilHitAndAgainAfterAReset) {
    ASSERT_TRUE(buildScreen(0, 60, 0, 100, 150, 320, 240, 10, 10));
    const auto topBrickHeight = [] {
        PhysicsWorldAccess access;
        const btCollisionObjectArray& objects = access.world()->getCollisionObjectArray();
        return objects[1]->getWorldTransform().getOrigin().z();
    };
    testing_support::stepWorld(600);
    EXPECT_NEAR(topBrickHeight(), 75 - 3.75, 0.01) << "ten seconds untouched";

    setLaunchPoint(0, -300, 70);
    ASSERT_NE(shootProjectile(btVector3(0, 60, 70)), nullptr);
    testing_support::stepWorld(600);
    EXPECT_LT(topBrickHeight(), 60) << "knocked down";

    resetScene();
    testing_support::stepWorld(600);
    EXPECT_NEAR(topBrickHeight(), 75 - 3.75, 0.01) << "standing again after the reset";
}

}  // namespace
}  // namespace kelmo
