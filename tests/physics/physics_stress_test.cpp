// The render thread's whole repertoire against a stepping physics thread; run under ThreadSanitizer
// (KELMO_SANITIZE=thread) this is the check that every use of the world is serialised with the step.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "physics/physics_bodies.h"
#include "physics/physics_thread.h"
#include "physics/physics_world.h"
#include "tests/physics/physics_fixture.h"

namespace kelmo {
namespace {

using namespace testing_support;

bool finite(const btTransform& t) {
    const btVector3 o = t.getOrigin();
    const btQuaternion q = t.getRotation();
    return std::isfinite(o.x()) && std::isfinite(o.y()) && std::isfinite(o.z()) && std::isfinite(q.w());
}

TEST_F(PhysicsTest, TheRenderThreadUsesTheWorldWhileTheThreadSteps) {
    std::vector<btRigidBody*> proxies;
    std::vector<btPoint2PointConstraint*> drags(3, nullptr);
    for (int i = 0; i < 3; ++i) {
        proxies.push_back(createBoxBody(100, 60, 40, 100 + 10 * i, btVector3(0, 0, 50 + 5 * i), nullptr));
        if (i > 0) removeBody(proxies.back());
    }
    // A screen of bricks in contact, so that each step has work to do.
    std::vector<btRigidBody*> bricks;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            bricks.push_back(
                createBoxBody(150, 10, 2.5f, 10, btVector3(c * 10.f - 45, 60, r * 10.f + 5), nullptr));
    std::vector<btRigidBody*> projectiles;
    std::vector<btRigidBody*> extras;
    int shown = 0;
    int frame = 0;

    const std::vector<std::function<void()>> actions = {
        // The clear action's three parts, far more often than a person would clear.
        [&] {
            if (frame % 4 != 0) return;
            for (btRigidBody* projectile : projectiles) destroyBody(projectile);
            projectiles.clear();
        },
        [&] {
            if (frame % 4 == 2)
                for (auto& drag : drags) drag = releaseDrag(drag);
        },
        [&] {
            if (frame % 4 == 1) resetScene();
        },
        [&] {
            setLaunchPoint(std::cos(frame * 0.2f) * 300, -300, 200);
            btRigidBody* projectile = fireProjectile();
            if (projectile != nullptr) projectiles.push_back(projectile);
        },
        [&] {  // the motion set changes: swap the proxy, keep the place
            if (frame % 3 != 0) return;
            const int next = (shown + 1) % 3;
            removeBody(proxies[shown]);
            btTransform placed = bodyWorldTransform(proxies[next]);
            placed.setOrigin(bodyWorldTransform(proxies[shown]).getOrigin());
            setBodyWorldTransform(proxies[next], placed);
            addBody(proxies[next]);
            shown = next;
        },
        [&] {  // the character walks
            drags[shown] = dragBody(proxies[shown], drags[shown], std::sin(frame * 0.1) * 5,
                                    -std::cos(frame * 0.1) * 5, 0);
        },
        [&] {  // and turns
            btTransform turned = bodyWorldTransform(proxies[shown]);
            turned.setRotation(btQuaternion(btVector3(0, 0, 1), frame * 0.05f));
            setBodyCenterOfMassTransform(proxies[shown], turned);
        },
        [&] {
            if (extras.size() >= 4) {
                destroyBody(extras.front());
                extras.erase(extras.begin());
            }
            extras.push_back(createBoxBody(10, 5, 5, 5, btVector3(frame % 50 - 25.f, -40, 30), nullptr));
        },
        [&] {  // what drawing reads
            for (const btRigidBody* brick : bricks) ASSERT_TRUE(finite(bodyWorldTransform(brick)));
            for (const btRigidBody* projectile : projectiles)
                ASSERT_TRUE(finite(bodyWorldTransform(projectile)));
            ASSERT_TRUE(finite(bodyWorldTransform(proxies[shown])));
        },
    };

    // Each frame asks for its step and lets the thread take it up before touching the world, so the
    // render thread's calls meet a step in progress instead of the idle gap a real frame leaves; the
    // action that goes first changes from frame to frame.
    const uint64_t stepsBefore = physicsStepCount();
    for (frame = 0; frame < 280; ++frame) {
        requestPhysicsStep(1);
        while (physicsStepRequestPending()) std::this_thread::yield();
        beginPhysicsFrame();
        for (size_t k = 0; k < actions.size(); ++k) actions[(frame + k) % actions.size()]();
    }

    // The thread stepped alongside, and the world still adds up.
    // Every frame's request was taken up on its own, so each made a step.
    ASSERT_TRUE(waitForStepCount(stepsBefore + 280));
    EXPECT_EQ(testing_support::worldBodyCount(),
              static_cast<int>(1 + 1 + bricks.size() + projectiles.size() + extras.size()));
    PhysicsWorldAccess access;
    int constraints = 0;
    for (btPoint2PointConstraint* drag : drags) constraints += drag != nullptr;
    EXPECT_EQ(access.world()->getNumConstraints(), constraints);
}

}  // namespace
}  // namespace kelmo
