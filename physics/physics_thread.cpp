// The physics thread: one step per request, under the world lock.
#include "physics/physics_thread.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "physics/physics_state.h"
#include "physics/physics_world.h"
#include "platform/manual_reset_event.h"

namespace kelmo {
namespace {

constexpr uint32_t kRequestTimeoutMs = 200;
constexpr btScalar kFixedTimeStep = btScalar(1.0) / btScalar(60.0);

struct ThreadState {
    // Both start signalled, so the thread steps once as soon as it runs.
    ManualResetEvent stepRequestEvent{true};
    ManualResetEvent stepDoneEvent{true};
    std::atomic<bool> physicsRunning{false};
    std::atomic<int> requestedSubSteps{1};
    std::atomic<uint64_t> stepCount{0};
    std::thread physicsThread;  // render thread only

    // btClock is not thread-safe; the thread reads it, and so may anybody through elapsedMicroseconds.
    std::mutex clockMutex;
    btClock stepClock;
};

// Never destroyed: a process that exits without exitPhysics must not pull the events from under a
// running thread, nor terminate on a joinable std::thread.
ThreadState& threads() {
    static ThreadState* const instance = new ThreadState;
    return *instance;
}

void physicsThreadProc(btDiscreteDynamicsWorld* world) {
    ThreadState& t = threads();
    while (t.physicsRunning.load()) {
        if (!t.stepRequestEvent.wait(kRequestTimeoutMs)) continue;
        t.stepRequestEvent.reset();
        if (!t.physicsRunning.load()) break;
        {
            std::lock_guard<std::recursive_mutex> lock(physics_detail::state().worldMutex);
            const float dt = elapsedMicroseconds() / 1000000.0f;
            world->stepSimulation(dt, t.requestedSubSteps.load(), kFixedTimeStep);
            t.stepCount.fetch_add(1);
        }
        t.stepDoneEvent.set();
    }
    std::fputs("bulletThread end\n", stdout);
    std::fflush(stdout);
}

}  // namespace

namespace physics_detail {

void startPhysicsThread(btDiscreteDynamicsWorld* world) {
    ThreadState& t = threads();
    if (t.physicsThread.joinable()) return;
    t.stepRequestEvent.set();
    t.stepDoneEvent.set();
    t.physicsRunning.store(true);
    t.physicsThread = std::thread(physicsThreadProc, world);
}

void stopPhysicsThread() {
    ThreadState& t = threads();
    if (!t.physicsThread.joinable()) return;
    t.physicsRunning.store(false);
    t.stepRequestEvent.set();  // wakes it now instead of after its time-out
    t.physicsThread.join();
}

}  // namespace physics_detail

void beginPhysicsFrame() {
    ThreadState& t = threads();
    t.stepDoneEvent.wait(0);
    t.stepDoneEvent.reset();
}

void requestPhysicsStep(int maxSubSteps) {
    ThreadState& t = threads();
    t.requestedSubSteps.store(maxSubSteps);
    t.stepRequestEvent.set();
}

float elapsedMicroseconds() {
    ThreadState& t = threads();
    std::lock_guard<std::mutex> lock(t.clockMutex);
    const unsigned long long micros = t.stepClock.getTimeMicroseconds();
    t.stepClock.reset();
    return static_cast<float>(micros);
}

uint64_t physicsStepCount() { return threads().stepCount.load(); }

bool physicsStepRequestPending() { return threads().stepRequestEvent.isSet(); }

}  // namespace kelmo
