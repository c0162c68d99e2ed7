#pragma once
// The fuzz targets' checks: a broken promise stops the run at once, so that libFuzzer keeps the input.

inline void check(bool condition) {
    if (!condition) __builtin_trap();
}
