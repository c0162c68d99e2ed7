// The physics world of the demo: the ground, the character's proxy, a 10 × 10 brick screen and 0, 100
// or 1000 projectiles.
//   BM_Step: one fixed 1/60 s step (what the physics thread does per frame), median over repetitions.
//   BM_FrameLoopWait: the render thread's frame pattern against the running physics thread; the
//   counters give how long the frame waited for the world lock (the step in progress).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "physics/physics_bodies.h"
#include "physics/physics_thread.h"
#include "physics/physics_world.h"

namespace kelmo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr btScalar kStep = btScalar(1.0) / btScalar(60.0);

struct Scene {
    btRigidBody* proxy = nullptr;
    std::vector<btRigidBody*> bodies;  // every body but the ground
};

Scene buildScene(int projectiles) {
    const uint64_t before = physicsStepCount();
    initPhysics(-98.0);
    while (physicsStepCount() == before) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Scene scene;
    const btQuaternion upright(btVector3(0, 0, 1), 0);
    scene.proxy = createBoxBody(100, 60, 40, 120, btVector3(0, 0, 60), &upright);
    scene.bodies.push_back(scene.proxy);
    // A screen of 16 × 4 × 12 bricks standing on the ground behind the character.
    for (int r = 9; r >= 0; --r)
        for (int c = 0; c < 10; ++c)
            scene.bodies.push_back(
                createBoxBody(150, 16, 4, 12, btVector3(c * 16.f - 72, 60, r * 12.f + 6), nullptr));
    // Projectiles from a grid of launch points 10 apart (they are 8 wide), all towards the origin.
    for (int k = 0; k < projectiles; ++k) {
        setLaunchPoint((k % 40) * 10.f - 200, -300 - (k / 40) * 10.f, 200);
        if (btRigidBody* projectile = fireProjectile()) scene.bodies.push_back(projectile);
    }
    return scene;
}

void BM_Step(benchmark::State& state) {
    const Scene scene = buildScene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        PhysicsWorldAccess access;
        access.world()->stepSimulation(kStep, 1, kStep);
    }
    state.counters["bodies"] = static_cast<double>(scene.bodies.size() + 1);
    exitPhysics();
}
BENCHMARK(BM_Step)
    ->Arg(0)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(300)  // five seconds of simulation: projectiles fly, hit and pile up
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

double microsecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// range(0): projectiles; range(1): the idle gap after the step request in ms (capture and detection in
// the real loop, about a camera frame; 2 is shorter than a step with 1000 projectiles; 0 starts the
// next frame at once, so it meets the step it has just asked for).
void BM_FrameLoopWait(benchmark::State& state) {
    Scene scene = buildScene(static_cast<int>(state.range(0)));
    const auto gap = std::chrono::milliseconds(state.range(1));
    btPoint2PointConstraint* drag = nullptr;
    std::vector<double> waits;
    int frame = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        beginPhysicsFrame();
        { PhysicsWorldAccess firstUse; }  // the frame's first touch of the world waits here if at all
        waits.push_back(microsecondsSince(start));

        // The character update, then what drawing reads.
        btTransform turned = bodyWorldTransform(scene.proxy);
        turned.setRotation(btQuaternion(btVector3(0, 0, 1), frame * 0.02f));
        setBodyCenterOfMassTransform(scene.proxy, turned);
        drag = dragBody(scene.proxy, drag, std::sin(frame * 0.05) * 10, -std::cos(frame * 0.05) * 10, 0);
        float sum = 0;
        for (const btRigidBody* body : scene.bodies) sum += bodyWorldTransform(body).getOrigin().z();
        benchmark::DoNotOptimize(sum);
        requestPhysicsStep(1);
        ++frame;
        if (gap.count() > 0) std::this_thread::sleep_for(gap);
    }
    std::sort(waits.begin(), waits.end());
    double total = 0;
    for (double wait : waits) total += wait;
    state.counters["wait_mean_us"] = total / static_cast<double>(waits.size());
    state.counters["wait_median_us"] = waits[waits.size() / 2];
    state.counters["wait_p95_us"] = waits[waits.size() * 95 / 100];
    state.counters["wait_max_us"] = waits.back();
    exitPhysics();
}
BENCHMARK(BM_FrameLoopWait)
    ->ArgNames({"projectiles", "gap_ms"})
    ->Args({0, 16})
    ->Args({100, 16})
    ->Args({1000, 16})
    ->Args({100, 2})
    ->Args({1000, 2})
    ->Args({0, 0})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Iterations(180)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace kelmo
