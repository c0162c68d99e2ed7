// The world's life: what init builds, the scene reset, freeing, the broadphase size and limit.
#include "physics/physics_world.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "physics/physics_bodies.h"
#include "physics/physics_thread.h"
#include "tests/physics/physics_fixture.h"

namespace kelmo {
namespace {

using namespace testing_support;

TEST_F(PhysicsTest, InitBuildsOnlyTheStaticGroundPlaneUnderZGravity) {
    initPhysics(-5.0);  // a second call changes nothing
    PhysicsWorldAccess access;
    btDiscreteDynamicsWorld* world = access.world();
    ASSERT_EQ(world->getNumCollisionObjects(), 1);
    expectNear(world->getGravity(), btVector3(0, 0, btScalar(testing_support::kTestGravity)));
    const btCollisionObject* ground = world->getCollisionObjectArray()[0];
    EXPECT_TRUE(ground->isStaticObject());
    ASSERT_EQ(ground->getCollisionShape()->getShapeType(), STATIC_PLANE_PROXYTYPE);
    const auto* plane = static_cast<const btStaticPlaneShape*>(ground->getCollisionShape());
    expectNear(plane->getPlaneNormal(), btVector3(0, 0, 1));
    EXPECT_EQ(plane->getPlaneConstant(), 0);
}

TEST_F(PhysicsTest, ResetSceneRestoresBodiesInTheWorldAndLeavesOthersAlone) {
    const btQuaternion turned(btVector3(0, 0, 1), 0.5f);
    btRigidBody* proxy = createBoxBody(100, 60, 40, 120, btVector3(0, 0, 60), &turned);
    btRigidBody* brick = createBoxBody(150, 16, 4, 12, btVector3(30, 10, 40), nullptr);
    btRigidBody* outside = createBoxBody(100, 10, 10, 10, btVector3(-50, 0, 5), nullptr);
    removeBody(outside);
    btTransform moved = bodyWorldTransform(outside);
    moved.setOrigin(btVector3(-80, 20, 5));
    setBodyWorldTransform(outside, moved);

    // The brick falls, the proxy is shoved and spun.
    proxy->setLinearVelocity(btVector3(50, 0, 0));
    proxy->setAngularVelocity(btVector3(0, 0, 3));
    stepWorld(30);
    ASSERT_GT(bodyWorldTransform(brick).getOrigin().distance(btVector3(30, 10, 40)), 1.0f);
    resetScene();

    for (btRigidBody* body : {proxy, brick}) {
        const auto* motion = static_cast<const btDefaultMotionState*>(body->getMotionState());
        const btTransform& start = motion->m_startWorldTrans;
        expectNear(bodyWorldTransform(body).getOrigin(), start.getOrigin());
        EXPECT_NEAR(bodyWorldTransform(body).getRotation().angleShortestPath(start.getRotation()), 0, 1e-4);
        expectNear(motion->m_graphicsWorldTrans.getOrigin(), start.getOrigin());
        expectNear(body->getLinearVelocity(), btVector3(0, 0, 0));
        expectNear(body->getAngularVelocity(), btVector3(0, 0, 0));
    }
    expectNear(bodyWorldTransform(outside).getOrigin(), btVector3(-80, 20, 5));
    EXPECT_FALSE(bodyInWorld(outside));
}

TEST_F(PhysicsTest, DestroyBodyFreesItWithItsDragAndIgnoresPointersNotOurs) {
    btRigidBody* body = createBoxBody(100, 10, 10, 10, btVector3(0, 0, 5), nullptr);
    btRigidBody* kept = createBoxBody(100, 10, 10, 10, btVector3(40, 0, 5), nullptr);
    btPoint2PointConstraint* drag = dragBody(body, nullptr, 1, 0, 0);
    btPoint2PointConstraint* keptDrag = dragBody(kept, nullptr, 1, 0, 0);
    destroyBody(body);
    {
        PhysicsWorldAccess access;
        ASSERT_EQ(access.world()->getNumConstraints(), 1);
        EXPECT_EQ(access.world()->getConstraint(0), keptDrag);
    }
    // The handle went with the body: releasing it, or destroying again, does nothing.
    EXPECT_EQ(releaseDrag(drag), nullptr);
    destroyBody(body);
    btBoxShape shape(btVector3(1, 1, 1));
    btRigidBody foreign(0, nullptr, &shape);
    destroyBody(&foreign);
    stepWorld(5);
    EXPECT_EQ(worldBodyCount(), 2);
}

TEST_F(PhysicsTest, ExitFreesBodiesInAndOutOfTheWorldAndInitCanRunAgain) {
    btRigidBody* shown = createBoxBody(100, 60, 40, 120, btVector3(0, 0, 60), nullptr);
    btRigidBody* hidden = createBoxBody(100, 60, 40, 110, btVector3(0, 0, 55), nullptr);
    removeBody(hidden);
    dragBody(shown, nullptr, 2, 0, 0);
    dragBody(hidden, nullptr, 0, 0, 0);  // a drag left on a body out of the world
    setLaunchPoint(0, -300, 200);
    removeBody(fireProjectile());
    fireProjectile();

    exitPhysics();  // LeakSanitizer checks the rest in the address build
    EXPECT_FALSE(physicsWorldExists());
    exitPhysics();
    // Without a world every call is harmless.
    EXPECT_EQ(createBoxBody(1, 1, 1, 1, btVector3(0, 0, 0), nullptr), nullptr);
    EXPECT_EQ(fireProjectile(), nullptr);
    resetScene();
    requestPhysicsStep(1);

    initPhysics(testing_support::kTestGravity);
    EXPECT_EQ(worldBodyCount(), 1);
    setLaunchPoint(0, -100, 0);  // the launch point starts again at the origin
    ASSERT_NE(fireProjectile(), nullptr);
}

TEST_F(PhysicsTest, AFullBroadphaseRefusesFurtherBodiesWithAConsoleLine) {
    // Static bricks apart from each other: no pairs, cheap steps.
    std::vector<btRigidBody*> bricks;
    while (worldBodyCount() < worldBodyLimit()) {
        const int n = static_cast<int>(bricks.size());
        bricks.push_back(createBoxBody(0, 2, 2, 2, btVector3(n % 40 * 10.f, n / 40 * 10.f, 50), nullptr));
    }
    ::testing::internal::CaptureStdout();
    btRigidBody* extra = createBoxBody(0, 2, 2, 2, btVector3(-100, -100, 50), nullptr);
    setLaunchPoint(0, -300, 200);
    const btRigidBody* projectile = fireProjectile();
    removeBody(bricks[0]);
    addBody(extra);
    addBody(bricks[0]);
    const std::string console = ::testing::internal::GetCapturedStdout();
    ASSERT_NE(extra, nullptr);
    EXPECT_TRUE(bodyInWorld(extra));
    EXPECT_FALSE(bodyInWorld(bricks[0]));
    EXPECT_EQ(projectile, nullptr);
    EXPECT_NE(console.find("body not added: the physics world is full (1148 bodies)"), std::string::npos)
        << console;
    EXPECT_NE(console.find("projectile refused: the physics world is full"), std::string::npos) << console;
    stepWorld(2);
    EXPECT_EQ(worldBodyCount(), worldBodyLimit());
}

TEST_F(PhysicsTest, TheBroadphaseIsSizedForTheScreenAndHoldsItsWholeLimit) {
    // The default screen of 100 bricks keeps the classic 1149 handles.
    EXPECT_EQ(worldBodyLimit(), 1148);
    exitPhysics();
    EXPECT_EQ(worldBodyLimit(), 0);
    initPhysics(testing_support::kTestGravity, -5);
    EXPECT_EQ(worldBodyLimit(), 1048);
    exitPhysics();
    initPhysics(testing_support::kTestGravity, 1000000);  // clamped rather than wrapped to 16 bits
    const int largest = worldBodyLimit();
    EXPECT_EQ(largest, 1048 + kMaxScreenBodies);
    exitPhysics();

    // The largest world really takes that many bodies: a broadphase smaller than the limit would
    // run out of handles. Static boxes along the diagonal are cheap to insert and make no pairs.
    initPhysics(testing_support::kTestGravity, kMaxScreenBodies);
    std::vector<btRigidBody*> boxes;
    while (worldBodyCount() < largest) {
        const float at = -9000.f + 1.5f * static_cast<float>(boxes.size());
        boxes.push_back(createBoxBody(0, 1, 1, 1, btVector3(at, at, at), nullptr));
    }
    ::testing::internal::CaptureStdout();
    btRigidBody* extra = createBoxBody(0, 1, 1, 1, btVector3(9000, 9000, 9000), nullptr);
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(bodyInWorld(extra));
    EXPECT_NE(console.find("the physics world is full"), std::string::npos) << console;
    EXPECT_TRUE(bodyInWorld(boxes.back()));
    stepWorld(2);
    EXPECT_EQ(worldBodyCount(), largest);
}

}  // namespace
}  // namespace kelmo
