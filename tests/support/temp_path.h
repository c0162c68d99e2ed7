#pragma once
// Scratch file names of their own for each test process: ctest runs cases side by side.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace kelmo::testing_support {

inline std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "kelmo_" + std::to_string(getpid()) + "_" + name;
}

// tempPath(name) as an empty folder: whatever an earlier run left there is gone.
inline std::string emptyFolder(const std::string& name) {
    const std::string path = tempPath(name);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

}  // namespace kelmo::testing_support
