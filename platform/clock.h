#pragma once
#include <cstdint>

namespace kelmo {

// Milliseconds on a clock that never jumps with the wall time; the origin is arbitrary.
uint64_t steadyMilliseconds();
void sleepMilliseconds(uint32_t ms);

}  // namespace kelmo
