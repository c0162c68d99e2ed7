// Loading the three motion sets without a window: which sets are refused, and the one line that says why.
#include "app/motion_sets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

// One triangle; `material` is its face's M( part, `visible` the object's.
std::string triangleDocument(const std::string& material, int visible = 15) {
    return "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"t\" {\n\tvisible " + std::to_string(visible) +
           "\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2)" + material +
           "\n\t}\n}\nEof\n";
}

class MotionSets : public testing::Test {
protected:
    void TearDown() override {
        for (const std::string& path : files_) std::remove(path.c_str());
    }

    std::string write(const std::string& name, const std::string& text) {
        files_.push_back(testing_support::tempPath(name));
        std::ofstream(files_.back()) << text;
        return files_.back();
    }

    // One-document sets; the problems of the load.
    std::vector<std::string> load(const std::string& stay, const std::string& walk, const std::string& run) {
        const std::string paths[kMotionSetCount] = {stay, walk, run};
        for (int i = 0; i < kMotionSetCount; ++i) {
            configs_[i] = MotionConfig{};
            configs_[i].scale = 1.0;
            std::strncpy(configs_[i].seqFile, paths[i].c_str(), sizeof configs_[i].seqFile - 1);
        }
        const MotionConfig* const pointers[kMotionSetCount] = {&configs_[0], &configs_[1], &configs_[2]};
        std::vector<std::string> problems;
        loaded_ = loadMotionSets(loader_, pointers, motions_, problems);
        return problems;
    }

    MqoLoader loader_;  // no GLUT: client arrays, and no textures are needed
    MotionConfig configs_[kMotionSetCount];
    std::vector<MotionRecord> motions_;
    bool loaded_ = false;
    std::vector<std::string> files_;
};

// Today both would start: an empty document and an invisible character on a box of no size.
TEST_F(MotionSets, AnUnreadableDocumentOrNoTriangleToDrawIsRefusedInOneLinePerSet) {
    const std::string good = write("good.mqo", triangleDocument(" M(0)"));
    EXPECT_TRUE(load(good, good, good).empty());
    EXPECT_TRUE(loaded_);

    const std::string huge = write("huge.mqo", "");
    std::filesystem::resize_file(huge, (std::uintmax_t{256} << 20) + 1);  // sparse: no disk used
    const std::string noMaterial = write("nomaterial.mqo", triangleDocument(""));
    const std::string hidden = write("hidden.mqo", triangleDocument(" M(0)", 0));
    const std::vector<std::string> problems = load(huge, noMaterial, hidden);
    EXPECT_FALSE(loaded_);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], "Kelmo.ini [Metaseq_stay]: cannot read the document " + huge + ": larger than 256 MiB");
    EXPECT_EQ(problems[1], "Kelmo.ini [Metaseq_walk]: the documents of MQO_SEQ_FILE \"" + noMaterial +
                               "\" hold no triangle to draw (no face with a material in a visible object)");
    EXPECT_EQ(problems[2].rfind("Kelmo.ini [Metaseq_run]: the documents of MQO_SEQ_FILE \"" + hidden, 0), 0u);
}

// A frame of a numbered sequence that is there but unreadable is not skipped like a missing one.
TEST_F(MotionSets, AnUnreadableFrameOfASequenceRefusesTheSet) {
    const std::string good = write("good.mqo", triangleDocument(" M(0)"));
    write("seq1.mqo", triangleDocument(" M(0)"));
    std::filesystem::create_directory(testing_support::tempPath("seq2.mqo"));
    files_.push_back(testing_support::tempPath("seq2.mqo"));
    load(good, good, good);
    std::strcpy(configs_[1].seqFile, testing_support::tempPath("seq").c_str());
    std::strcpy(configs_[1].format, "%s%d.mqo");
    configs_[1].start = 1, configs_[1].end = 3, configs_[1].step = 1;  // 3 is missing
    const MotionConfig* const pointers[kMotionSetCount] = {&configs_[0], &configs_[1], &configs_[2]};
    std::vector<std::string> problems;
    EXPECT_FALSE(loadMotionSets(loader_, pointers, motions_, problems));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "Kelmo.ini [Metaseq_walk]: cannot read the document " +
                               testing_support::tempPath("seq2.mqo") + ": Is a directory");
}

}  // namespace
}  // namespace kelmo
