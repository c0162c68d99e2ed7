// kelmo-check on a copy of the demo folder: the demo passes, and a copy with a lost texture and a lost
// pattern fails naming both.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/run_command.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

const std::string kBin = std::string(KELMO_BINARY_DIR) + "/";

using testing_support::CommandResult;

CommandResult run(const std::string& command) {
    return testing_support::runCommand(command + " 2>/dev/null");
}

// The first output line that mentions what, or "".
std::string lineWith(const std::string& output, const std::string& what) {
    const size_t at = output.find(what);
    if (at == std::string::npos) return "";
    const size_t begin = output.rfind('\n', at);
    const size_t start = begin == std::string::npos ? 0 : begin + 1;
    return output.substr(start, output.find('\n', at) - start);
}

class Check : public testing::Test {
protected:
    // One copy of the demo, with its movie, for the whole suite.
    static void SetUpTestSuite() {
        demo_ = testing_support::tempPath("check_demo");
        fs::remove_all(demo_);
        fs::copy(std::string(KELMO_SOURCE_DIR) + "/demo", demo_, fs::copy_options::recursive);
        fs::remove(demo_ + "/screenshot.png");
        if (!fs::exists(demo_ + "/movie.avi"))
            run("cd '" + demo_ + "' && " + kBin + "kelmo-demo-movie movie.avi");
    }
    static void TearDownTestSuite() { fs::remove_all(demo_); }

    static CommandResult check(const std::string& environment = "") {
        return run(environment + kBin + "kelmo-check '" + demo_ + "/Kelmo.ini'");
    }

    static std::string demo_;
};
std::string Check::demo_;

// Catches items that fail or go unchecked on a configuration Kelmo runs whole, and a check that
// needs an X display (GLUT would end the process) or says textures were uploaded without one.
TEST_F(Check, DemoPassesWithAndWithoutDisplay) {
    ASSERT_TRUE(fs::exists(demo_ + "/movie.avi"));
    const CommandResult shown = check();
    EXPECT_EQ(shown.status, 0) << shown.output;
    EXPECT_EQ(shown.output.find("FAIL"), std::string::npos) << shown.output;
    for (const char* item : {"camera:", "camera file:", "pattern 1:", "[Metaseq_stay]", "[Metaseq_walk]",
                             "[Metaseq_run]", "texture \"character.tga\"", "movie: \"movie.avi\": 320x240"})
        EXPECT_EQ(lineWith(shown.output, item).rfind("ok", 0), 0u) << item << "\n" << shown.output;
    EXPECT_NE(lineWith(shown.output, "texture").find("uploaded"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("Kelmo would start and draw everything"), std::string::npos);

    const CommandResult headless = check("env -u DISPLAY ");
    EXPECT_EQ(headless.status, 0) << headless.output;
    EXPECT_NE(lineWith(headless.output, "texture").find("not uploaded (no X display)"), std::string::npos)
        << headless.output;
    EXPECT_NE(headless.output.find("[Metaseq_run]"), std::string::npos) << headless.output;
}

// Catches a check that passes what Kelmo would leave out, or fails without naming the file.
TEST_F(Check, MissingTextureAndPatternFailNamingBoth) {
    fs::rename(demo_ + "/character.tga", demo_ + "/character.tga.away");
    fs::rename(demo_ + "/marker.patt", demo_ + "/marker.patt.away");
    const CommandResult result = check();
    fs::rename(demo_ + "/character.tga.away", demo_ + "/character.tga");
    fs::rename(demo_ + "/marker.patt.away", demo_ + "/marker.patt");

    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(lineWith(result.output, "marker.patt").rfind("FAIL", 0), 0u) << result.output;
    EXPECT_EQ(lineWith(result.output, "character.tga").rfind("FAIL", 0), 0u) << result.output;
    EXPECT_NE(lineWith(result.output, "character.tga").find("missing"), std::string::npos) << result.output;
    // The character itself still loads: the failure is the texture's, not the motion's.
    EXPECT_EQ(lineWith(result.output, "[Metaseq_stay]").rfind("ok", 0), 0u) << result.output;
    EXPECT_NE(result.output.find("2 failed"), std::string::npos) << result.output;
}

}  // namespace
}  // namespace kelmo
