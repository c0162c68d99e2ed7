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

// A case with a scratch folder of its own, named after its test suite: empty when the case starts,
// gone when it ends.
class ScratchFolderTest : public ::testing::Test {
protected:
    ScratchFolderTest()
        : folder_(emptyFolder(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name())) {}
    ~ScratchFolderTest() override { std::filesystem::remove_all(folder_); }

    std::string folder_;  // without a trailing slash
};

}  // namespace kelmo::testing_support
