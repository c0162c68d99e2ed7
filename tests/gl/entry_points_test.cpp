// Filling the entry-point table through a lookup, without a driver.
#include "gl/entry_points.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

using F = ExtensionFamily;

TEST_F(EntryPoints, FullFamiliesAreComplete) {
    ExtensionEntryPoints table;
    EXPECT_FALSE(table.complete(F::framebuffers));
    EXPECT_TRUE(fetchEntryPoints(table, F::framebuffers, lookup));
    EXPECT_TRUE(fetchEntryPoints(table, F::shaders, lookup));
    EXPECT_TRUE(table.complete(F::framebuffers));
    EXPECT_TRUE(table.complete(F::shaders));
    EXPECT_EQ(asked.size(), 6u + 14u);
    // A family asks only for its own names.
    EXPECT_FALSE(table.complete(F::vertexBuffers));
    EXPECT_TRUE(fetchEntryPoints(table, F::vertexBuffers, lookup));
    EXPECT_EQ(asked.size(), 6u + 14u + 4u);
}

TEST_F(EntryPoints, OneMissingEntryPointLeavesTheFamilyIncomplete) {
    // Advertised extensions are not trusted: the family is unsupported rather than called through null.
    for (const char* name : {"glGenFramebuffersEXT", "glDeleteRenderbuffersEXT"}) {
        ExtensionEntryPoints table;
        missing = name;
        EXPECT_FALSE(fetchEntryPoints(table, F::framebuffers, lookup)) << name;
        EXPECT_FALSE(table.complete(F::framebuffers)) << name;
    }
    ExtensionEntryPoints shaders;
    missing = "glUseProgram";
    EXPECT_FALSE(fetchEntryPoints(shaders, F::shaders, lookup));
    EXPECT_FALSE(shaders.complete(F::shaders));
    EXPECT_EQ(shaders.useProgram, nullptr);
    EXPECT_NE(shaders.createProgramObject, nullptr);
}

TEST_F(EntryPoints, PointersAlreadyFetchedAreKept) {
    ExtensionEntryPoints table;
    missing = "glActiveTexture";
    EXPECT_FALSE(fetchEntryPoints(table, F::shaders, lookup));
    asked.clear();
    missing = nullptr;
    EXPECT_TRUE(fetchEntryPoints(table, F::shaders, lookup));
    EXPECT_EQ(asked, std::vector<std::string>{"glActiveTexture"});
    asked.clear();
    EXPECT_TRUE(fetchEntryPoints(table, F::shaders, lookup));
    EXPECT_TRUE(asked.empty());
}

}  // namespace
}  // namespace kelmo
