// Filling the entry-point tables through a lookup, without a driver.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/gl_entry_points.h"

namespace kelmo {
namespace {

std::vector<std::string> asked;
const char* missing = nullptr;

void standIn() {}

EntryPoint lookup(const char* name) {
    asked.emplace_back(name);
    return missing != nullptr && std::strcmp(name, missing) == 0 ? nullptr : &standIn;
}

class EntryPoints : public testing::Test {
protected:
    void SetUp() override {
        asked.clear();
        missing = nullptr;
    }
};

TEST_F(EntryPoints, FullFamiliesAreComplete) {
    FramebufferEntryPoints framebuffers;
    ShaderEntryPoints shaders;
    EXPECT_FALSE(framebuffers.complete());
    EXPECT_TRUE(fetchEntryPoints(framebuffers, lookup));
    EXPECT_TRUE(fetchEntryPoints(shaders, lookup));
    EXPECT_TRUE(framebuffers.complete());
    EXPECT_TRUE(shaders.complete());
    EXPECT_EQ(asked.size(), 6u + 14u);
}

TEST_F(EntryPoints, OneMissingEntryPointLeavesTheFamilyIncomplete) {
    // Advertised extensions are not trusted: the family is unsupported rather than called through null.
    for (const char* name : {"glGenFramebuffersEXT", "glDeleteRenderbuffersEXT"}) {
        FramebufferEntryPoints table;
        missing = name;
        EXPECT_FALSE(fetchEntryPoints(table, lookup)) << name;
        EXPECT_FALSE(table.complete()) << name;
    }
    ShaderEntryPoints shaders;
    missing = "glUseProgram";
    EXPECT_FALSE(fetchEntryPoints(shaders, lookup));
    EXPECT_FALSE(shaders.complete());
    EXPECT_EQ(shaders.useProgram, nullptr);
    EXPECT_NE(shaders.createProgramObject, nullptr);
}

TEST_F(EntryPoints, PointersAlreadyFetchedAreKept) {
    ShaderEntryPoints table;
    missing = "glActiveTexture";
    EXPECT_FALSE(fetchEntryPoints(table, lookup));
    asked.clear();
    missing = nullptr;
    EXPECT_TRUE(fetchEntryPoints(table, lookup));
    EXPECT_EQ(asked, std::vector<std::string>{"glActiveTexture"});
    asked.clear();
    EXPECT_TRUE(fetchEntryPoints(table, lookup));
    EXPECT_TRUE(asked.empty());
}

}  // namespace
}  // namespace kelmo
