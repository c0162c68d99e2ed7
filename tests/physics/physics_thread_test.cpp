// The physics thread: one step per request, requests collapsing during a step, idling, the join.
// Step counts, not timings, are what the tests check; sleeps only give a wrong step room to happen.
#include "physics/physics_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "physics/physics_bodies.h"
#include "physics/physics_world.h"
#include "tests/physics/physics_fixture.h"

namespace kelmo {
namespace {

using namespace testing_support;

// Two of the thread's 200 ms request time-outs.
void giveAWrongStepRoom() { std::this_thread::sleep_for(std::chrono::milliseconds(450)); }

TEST_F(PhysicsTest, TheThreadStepsOncePerRequestAndNotWithoutOne) {
    giveAWrongStepRoom();
    EXPECT_EQ(physicsStepCount(), stepsAfterStart_);

    btRigidBody* box = createBoxBody(100, 10, 10, 10, btVector3(0, 0, 100), nullptr);
    for (int frame = 1; frame <= 5; ++frame) {
        beginPhysicsFrame();
        requestPhysicsStep(1);
        ASSERT_TRUE(waitForStepCount(stepsAfterStart_ + frame));
        ASSERT_TRUE(waitUntilRequestTaken());
    }
    giveAWrongStepRoom();
    EXPECT_EQ(physicsStepCount(), stepsAfterStart_ + 5);
    // Each step moved the world: the box has fallen.
    EXPECT_LT(bodyWorldTransform(box).getOrigin().z(), 100.0f);
}

TEST_F(PhysicsTest, RequestsDuringAStepCollapseIntoOneMoreStep) {
    {
        // Holding the world keeps the thread inside the step it has taken up.
        PhysicsWorldAccess access;
        requestPhysicsStep(1);
        ASSERT_TRUE(waitUntilRequestTaken());
        for (int i = 0; i < 4; ++i) requestPhysicsStep(1);
        EXPECT_TRUE(physicsStepRequestPending());
        EXPECT_EQ(physicsStepCount(), stepsAfterStart_);
        beginPhysicsFrame();  // never waits for the step
    }
    ASSERT_TRUE(waitForStepCount(stepsAfterStart_ + 2));
    ASSERT_TRUE(waitUntilRequestTaken());
    giveAWrongStepRoom();
    EXPECT_EQ(physicsStepCount(), stepsAfterStart_ + 2);
}

TEST_F(PhysicsTest, ExitJoinsTheThreadAfterTheStepInProgress) {
    createBoxBody(100, 10, 10, 10, btVector3(0, 0, 100), nullptr);
    // Another thread holds the world, so the step taken up below stays in progress until it lets go,
    // which is after exitPhysics has begun to wait.
    std::atomic<bool> held{false};
    std::thread holder([&held] {
        PhysicsWorldAccess access;
        held.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    while (!held.load()) std::this_thread::yield();
    requestPhysicsStep(1);
    ASSERT_TRUE(waitUntilRequestTaken());

    ::testing::internal::CaptureStdout();
    exitPhysics();
    const std::string console = ::testing::internal::GetCapturedStdout();
    holder.join();
    EXPECT_EQ(console, "bulletThread end\n");
    EXPECT_EQ(physicsStepCount(), stepsAfterStart_ + 1);  // the step ran to its end before the world went
    EXPECT_FALSE(physicsWorldExists());

    // A stopped thread steps nothing, whatever is requested.
    requestPhysicsStep(1);
    giveAWrongStepRoom();
    EXPECT_EQ(physicsStepCount(), stepsAfterStart_ + 1);
}

TEST(PhysicsClock, ElapsedMicrosecondsMeasuresSinceThePreviousCall) {
    elapsedMicroseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GE(elapsedMicroseconds(), 29000.0f);
}

}  // namespace
}  // namespace kelmo
