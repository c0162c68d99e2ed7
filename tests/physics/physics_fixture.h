#pragma once
// A fresh world per test with the thread started and idle: the thread's first step (both events
// start signalled) has been made, and nothing requests another, so tests step the world themselves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "physics/physics_thread.h"
#include "physics/physics_world.h"

namespace kelmo::testing_support {

constexpr double kTestGravity = -98.0;
constexpr btScalar kStep = btScalar(1.0) / btScalar(60.0);

// Polls: true once the thread has made `count` steps in all; generous for slow sanitizer builds.
inline bool waitForStepCount(uint64_t count, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (physicsStepCount() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline bool waitUntilRequestTaken(int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (physicsStepRequestPending()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Fixed 1/60 s steps on the test's thread, as the physics thread would make them.
inline void stepWorld(int steps) {
    PhysicsWorldAccess access;
    for (int i = 0; i < steps; ++i) access.world()->stepSimulation(kStep, 1, kStep);
}

inline void expectNear(const btVector3& actual, const btVector3& expected, float tolerance = 1e-3f) {
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.z(), expected.z(), tolerance);
}

inline int worldBodyCount() {
    PhysicsWorldAccess access;
    return access.world() != nullptr ? access.world()->getNumCollisionObjects() : 0;
}

class PhysicsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const uint64_t before = physicsStepCount();
        initPhysics(kTestGravity);
        ASSERT_TRUE(waitForStepCount(before + 1)) << "the thread's first step";
        ASSERT_TRUE(waitUntilRequestTaken());
        stepsAfterStart_ = physicsStepCount();
    }
    void TearDown() override { exitPhysics(); }

    uint64_t stepsAfterStart_ = 0;
};

}  // namespace kelmo::testing_support
