// kelmo-glsl as a person runs it.
#include <gtest/gtest.h>

#include <string>

#include "tests/render/expected_shader_text.h"
#include "tests/support/run_command.h"

namespace kelmo {
namespace {

using ToolRun = testing_support::CommandResult;

ToolRun glsl(const std::string& arguments) {
    return testing_support::runCommand(std::string(KELMO_BINARY_DIR) + "/kelmo-glsl " + arguments +
                                       " 2>/dev/null");
}

TEST(GlslTool, DefaultsPrintTheStartupProgram) {
    const ToolRun run = glsl("");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, std::string(testing_support::kStartupVertexText) + "---\n" +
                              testing_support::kStartupFragmentText);
}

TEST(GlslTool, OptionsReachTheText) {
    const ToolRun run = glsl("--light 2 --units 3,1 --shadow-unit 4 --factor 1.5 --min-alpha -2");
    ASSERT_EQ(run.status, 0);
    const size_t split = run.output.find("---\n");
    ASSERT_NE(split, std::string::npos);
    const std::string vertex = run.output.substr(0, split), fragment = run.output.substr(split + 4);
    EXPECT_NE(vertex.find("gl_LightSource[2].ambient"), std::string::npos);
    EXPECT_NE(vertex.find("gl_TexCoord[3] = gl_MultiTexCoord3 ;\ngl_TexCoord[1] = gl_MultiTexCoord1 ;\n"
                          "gl_TexCoord[4] = gl_TextureMatrix[4]"),
              std::string::npos);
    EXPECT_NE(vertex.find("gl_FrontColor*1.000000;"), std::string::npos);
    EXPECT_NE(vertex.find("shadow.w < 0.000000 ) shadow.w = 0.000000 ;"), std::string::npos);
    EXPECT_NE(fragment.find("uniform sampler2D texUnit3;\nuniform sampler2D texUnit1;\n"), std::string::npos);

    const ToolRun none = glsl("--units ''");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.output.find("sampler2D "), std::string::npos);
}

TEST(GlslTool, RefusesWhatTheProgramCannotTake) {
    for (const char* arguments :
         {"--units 0,1,2", "--units 0,,1", "--units -1", "--light 8", "--light x", "--shadow-unit 32",
          "--factor nan", "--min-alpha 0.5x", "--factor", "--colour"}) {
        const ToolRun run = glsl(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_TRUE(run.output.empty()) << arguments;
    }
}

}  // namespace
}  // namespace kelmo
