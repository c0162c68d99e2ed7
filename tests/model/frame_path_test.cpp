// Which print formats may name the frames of a sequence, and the paths they make.
#include "model/frame_path.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace kelmo {
namespace {

TEST(FramePathFormat, OnlyOneTextThenOneIntegerIsAccepted) {
    for (const char* format : {"%s%03d.mqo", "%s%d", "%s_%i", "%%%s%d%%", "%-5s%+4d", "%.10s% d", "%s%-03d"})
        EXPECT_TRUE(isFramePathFormat(format)) << format;
    for (const char* format : {"",      "%s",    "%d",    "%d%s",  "%s%s",     "%s%d%d", "%s%ld",
                               "%s%hd", "%ls%d", "%s%*d", "%*s%d", "%s%.*d",   "%s%n",   "%s%x",
                               "%s%f",  "%s%#d", "%0s%d", "%+s%d", "%s%1000d", "%s%d%",  "%1$s%2$d"})
        EXPECT_FALSE(isFramePathFormat(format)) << format;
    EXPECT_FALSE(isFramePathFormat(std::string("%s\0%d%d", 7)));
}

TEST(FramePathFormat, PathsThatDoNotFitAreRefused) {
    std::string path;
    ASSERT_TRUE(formatFramePath("%s%03d.mqo", "data/walk", 1, path));
    EXPECT_EQ(path, "data/walk001.mqo");
    ASSERT_TRUE(formatFramePath("%s%d", "n", INT_MAX, path));
    EXPECT_EQ(path, "n2147483647");
    ASSERT_TRUE(formatFramePath("%s%04d", std::string(251, 'x'), 7, path));
    EXPECT_EQ(path.size(), 255u);
    EXPECT_FALSE(formatFramePath("%s%05d", std::string(251, 'x'), 7, path));
    EXPECT_FALSE(formatFramePath("%d%s", "a", 1, path));
}

}  // namespace
}  // namespace kelmo
