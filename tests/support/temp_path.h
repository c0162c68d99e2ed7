#pragma once
// Scratch file names of their own for each test process: ctest runs cases side by side.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace kelmo::testing_support {

inline std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "kelmo_" + std::to_string(getpid()) + "_" + name;
}

}  // namespace kelmo::testing_support
