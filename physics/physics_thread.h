#pragma once
// The physics thread's side of a rendered frame: one step requested at the end of each frame and
// taken up under the world lock (see physics_world.h).
#include <cstdint>

namespace kelmo {

// First call of a rendered frame: polls and resets the step-done event; never blocks.
void beginPhysicsFrame();
// Last call of a rendered frame: asks for one step with at most maxSubSteps fixed sub-steps.
void requestPhysicsStep(int maxSubSteps);
// Microseconds since the previous call; restarts the measurement.
float elapsedMicroseconds();

// Steps made by the physics thread since the process started (resets do not count).
uint64_t physicsStepCount();
// True while a requested step has not been taken up by the physics thread.
bool physicsStepRequestPending();

}  // namespace kelmo
