// Box bodies, projectiles and the drag constraint, stepped on the test's thread.
#include "physics/physics_bodies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "physics/physics_world.h"
#include "tests/physics/physics_fixture.h"

namespace kelmo {
namespace {

using namespace testing_support;

btVector3 halfExtents(const btRigidBody* body) {
    EXPECT_EQ(body->getCollisionShape()->getShapeType(), BOX_SHAPE_PROXYTYPE);
    return static_cast<const btBoxShape*>(body->getCollisionShape())->getHalfExtentsWithMargin();
}

TEST_F(PhysicsTest, BoxBodiesTakeFullEdgeLengthsAndRefuseNonFiniteInput) {
    const btQuaternion turned(btVector3(0, 0, 1), 0.25f);
    btRigidBody* proxy = createBoxBody(100, 60, 40, 120, btVector3(1, 2, 60), &turned);
    EXPECT_TRUE(bodyInWorld(proxy));
    expectNear(halfExtents(proxy), btVector3(30, 20, 60));
    EXPECT_NEAR(proxy->getInvMass(), 1.0f / 100, 1e-7);
    expectNear(bodyWorldTransform(proxy).getOrigin(), btVector3(1, 2, 60));
    EXPECT_NEAR(bodyWorldTransform(proxy).getRotation().angleShortestPath(turned), 0, 1e-4);

    btRigidBody* wall = createBoxBody(0, -8, 4, 12, btVector3(0, 10, 6), nullptr);
    EXPECT_TRUE(wall->isStaticObject());
    expectNear(halfExtents(wall), btVector3(4, 2, 6));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(createBoxBody(1, nan, 1, 1, btVector3(0, 0, 0), nullptr), nullptr);
    EXPECT_EQ(createBoxBody(1, 1, 1, 1, btVector3(0, std::numeric_limits<float>::infinity(), 0), nullptr),
              nullptr);
    EXPECT_EQ(createRigidBody(1, btTransform::getIdentity(), nullptr), nullptr);
    EXPECT_EQ(worldBodyCount(), 3);
}

TEST_F(PhysicsTest, ProjectilesLeaveTheLaunchPointAtSpeed200TowardsTheOriginSharingOneShape) {
    setLaunchPoint(0, -300, 400);
    btRigidBody* first = fireProjectile();
    setLaunchPoint(120, 50, 90);
    btRigidBody* second = fireProjectile();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(worldBodyCount(), 3);
    expectNear(bodyWorldTransform(first).getOrigin(), btVector3(0, -300, 400));
    expectNear(first->getLinearVelocity(), btVector3(0, 300, -400) / 500 * 200);
    expectNear(first->getAngularVelocity(), btVector3(0, 0, 0));
    EXPECT_NEAR(first->getInvMass(), 1.0f / 80, 1e-7);
    expectNear(second->getLinearVelocity(), btVector3(-120, -50, -90).normalized() * 200);
    expectNear(halfExtents(first), btVector3(4, 4, 4));

    // Freeing a projectile keeps the shared shape for the others.
    const btCollisionShape* shared = first->getCollisionShape();
    EXPECT_EQ(second->getCollisionShape(), shared);
    destroyBody(first);
    EXPECT_EQ(fireProjectile()->getCollisionShape(), shared);
    stepWorld(3);
    expectNear(halfExtents(second), btVector3(4, 4, 4));
}

TEST_F(PhysicsTest, AProjectileWithoutDirectionIsRefused) {
    ::testing::internal::CaptureStdout();
    const btRigidBody* fromOrigin = fireProjectile();  // the launch point starts at the origin
    setLaunchPoint(5, 5, 5);
    const btRigidBody* onTarget = shootProjectile(btVector3(5, 5, 5));
    const btRigidBody* nanTarget = shootProjectile(btVector3(std::nanf(""), 0, 0));
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(fromOrigin, nullptr);
    EXPECT_EQ(onTarget, nullptr);
    EXPECT_EQ(nanTarget, nullptr);
    EXPECT_EQ(worldBodyCount(), 1);
    EXPECT_NE(console.find("projectile refused: the launch point (0, 0, 0) gives no direction"),
              std::string::npos)
        << console;
}

TEST_F(PhysicsTest, ProjectilesStopAtTheLimitWhileTheScreenAndProxiesStillFit) {
    // The demo's scene: three proxies (one shown), a 10 × 10 screen, then the limit of projectiles.
    std::vector<btRigidBody*> proxies;
    for (int i = 0; i < 3; ++i)
        proxies.push_back(createBoxBody(100, 60, 40, 120, btVector3(0, 0, 60), nullptr));
    removeBody(proxies[1]);
    removeBody(proxies[2]);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            createBoxBody(150, 10, 2.5f, 10, btVector3(c * 10.f - 45, 10, r * 10.f + 5), nullptr);
    setLaunchPoint(0, -300, 200);
    std::vector<btRigidBody*> projectiles;
    for (int i = 0; i < kMaxProjectiles; ++i) projectiles.push_back(fireProjectile());
    for (const btRigidBody* projectile : projectiles) ASSERT_NE(projectile, nullptr);

    ::testing::internal::CaptureStdout();
    const btRigidBody* refused = fireProjectile();
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(refused, nullptr);
    EXPECT_NE(console.find("projectile refused: the physics world is full (1102 bodies, 1000 projectiles)"),
              std::string::npos)
        << console;

    // The hidden proxies still swap in, and clearing projectiles makes room again.
    removeBody(proxies[0]);
    addBody(proxies[1]);
    EXPECT_TRUE(bodyInWorld(proxies[1]));
    destroyBody(projectiles.back());
    EXPECT_NE(fireProjectile(), nullptr);
}

// A 10-unit box resting on the ground.
btRigidBody* restingBox() {
    btRigidBody* box = createBoxBody(100, 10, 10, 10, btVector3(0, 0, 5), nullptr);
    stepWorld(30);
    return box;
}

TEST_F(PhysicsTest, DragPullsTheBoxTowardsItsTargetStepByStep) {
    btRigidBody* box = restingBox();
    btPoint2PointConstraint* drag = nullptr;
    for (int frame = 0; frame < 60; ++frame) {
        btPoint2PointConstraint* next = dragBody(box, drag, 2, 0, 0);
        ASSERT_TRUE(drag == nullptr || next == drag);
        drag = next;
        EXPECT_NEAR(drag->getPivotInB().x(), bodyWorldTransform(box).getOrigin().x() + 2, 1e-3);
        stepWorld(1);
    }
    // 60 frames 2 units ahead: the body follows with the constraint's softness against friction.
    const btVector3 moved = bodyWorldTransform(box).getOrigin();
    EXPECT_GT(moved.x(), 15);
    EXPECT_NEAR(moved.y(), 0, 0.5);
    EXPECT_NEAR(drag->getPivotInA().length(), 0, 1e-4);  // the body's own centre
    EXPECT_FLOAT_EQ(drag->m_setting.m_tau, 0.1f);
}

TEST_F(PhysicsTest, AZeroStepWakesTheBodyAndHoldsItWithoutPinningItAwake) {
    btRigidBody* box = restingBox();
    stepWorld(300);  // long enough to fall asleep
    ASSERT_EQ(box->getActivationState(), ISLAND_SLEEPING);
    const btVector3 before = bodyWorldTransform(box).getOrigin();
    btPoint2PointConstraint* drag = dragBody(box, nullptr, 0, 0, 0);
    EXPECT_EQ(box->getActivationState(), ACTIVE_TAG);
    expectNear(drag->getPivotInB(), before);
    // A shove is pulled back to where the zero step held it.
    box->setLinearVelocity(btVector3(30, 0, 0));
    for (int frame = 0; frame < 120; ++frame) {
        drag = dragBody(box, drag, 0, 0, 0);
        stepWorld(1);
    }
    EXPECT_LT(bodyWorldTransform(box).getOrigin().distance(before), 5.0f);
    EXPECT_NE(box->getActivationState(), DISABLE_DEACTIVATION);

    // The character's proxy stands on the plane and stays there.
    const btQuaternion upright(btVector3(0, 0, 1), 0);
    btRigidBody* proxy = createBoxBody(100, 60, 40, 120, btVector3(100, 0, 60), &upright);
    btPoint2PointConstraint* hold = nullptr;
    for (int frame = 0; frame < 600; ++frame) {
        hold = dragBody(proxy, hold, 0, 0, 0);
        stepWorld(1);
    }
    expectNear(bodyWorldTransform(proxy).getOrigin(), btVector3(100, 0, 60), 0.5f);
    EXPECT_NEAR(bodyWorldTransform(proxy).getRotation().angleShortestPath(upright), 0, 1e-3);
}

TEST_F(PhysicsTest, AfterAMovingStepTheBodyNeverDeactivatesAndReleaseRemovesTheDrag) {
    btRigidBody* box = restingBox();
    btPoint2PointConstraint* drag = dragBody(box, nullptr, 1, 0, 0);
    EXPECT_EQ(box->getActivationState(), DISABLE_DEACTIVATION);
    for (int frame = 0; frame < 400; ++frame) {
        drag = dragBody(box, drag, 0, 0, 0);
        stepWorld(1);
    }
    resetScene();
    EXPECT_EQ(box->getActivationState(), DISABLE_DEACTIVATION);

    // A NaN step is a zero step, never a NaN target.
    drag = dragBody(box, drag, std::nan(""), 1, 0);
    expectNear(drag->getPivotInB(), bodyWorldTransform(box).getOrigin());

    EXPECT_EQ(releaseDrag(drag), nullptr);
    EXPECT_EQ(releaseDrag(nullptr), nullptr);
    {
        PhysicsWorldAccess access;
        EXPECT_EQ(access.world()->getNumConstraints(), 0);
    }
    const btVector3 left = bodyWorldTransform(box).getOrigin();
    stepWorld(60);
    EXPECT_LT(bodyWorldTransform(box).getOrigin().distance(left), 5.0f);
    EXPECT_EQ(dragBody(nullptr, nullptr, 1, 0, 0), nullptr);
}

}  // namespace
}  // namespace kelmo
