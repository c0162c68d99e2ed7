#include "app/configuration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/ini_file.h"

namespace kelmo {
namespace {

void loadText(const std::string& text) { loadConfigurationFrom(IniFile::parse(text)); }

void expectEveryDefault() {
    for (int i = 0; i < kMotionSetCount; ++i) {
        SCOPED_TRACE(i);
        const MotionConfig* motion = getMotionConfig(i);
        ASSERT_NE(motion, nullptr);
        EXPECT_EQ(motion->scale, 1.0);
        EXPECT_STREQ(motion->seqFile, "");
        EXPECT_STREQ(motion->format, "");
        EXPECT_EQ(motion->start, 0);
        EXPECT_EQ(motion->end, 0);
        EXPECT_EQ(motion->step, 1);
        EXPECT_EQ(motion->moveValue, 10.0);
    }
    const TrackingConfig* tracking = getTrackingConfig();
    EXPECT_STREQ(tracking->cameraConfig, "WDM_camera_flipV.xml");
    EXPECT_STREQ(tracking->cameraParamFile, "camera_para.dat");
    for (const PatternConfig& pattern : tracking->patterns) {
        EXPECT_STREQ(pattern.file, "");
        EXPECT_EQ(pattern.width, 80.0);
    }
    EXPECT_EQ(getPhysicsConfig()->gravity, -98.0);
    EXPECT_EQ(getPhysicsConfig()->modelMass, 100.0);
    EXPECT_EQ(getPhysicsConfig()->screenMass, 150.0);
    const MovieConfig* movie = getMovieConfig();
    EXPECT_STREQ(movie->file, "");
    EXPECT_EQ(movie->screenSize, 100.0);
    EXPECT_EQ(movie->screenPosX, 0.0);
    EXPECT_EQ(movie->screenPosY, 10.0);
    EXPECT_EQ(movie->screenPosZ, 0.0);
    EXPECT_EQ(movie->screenDivideW, 10.0);
    EXPECT_EQ(movie->screenDivideH, 10.0);
}

const char* const kMotionSections[] = {"Metaseq_stay", "Metaseq_walk", "Metaseq_run"};

// Every key with a value of its own, so that a key read into the wrong field shows.
std::string fullFile() {
    std::string text;
    for (int i = 0; i < kMotionSetCount; ++i) {
        const std::string n = std::to_string(i);
        text += std::string("[") + kMotionSections[i] + "]\nSCALE=" + n + ".5\nMQO_SEQ_FILE=seq" + n +
                "\nMQO_FORMAT=fmt" + n + "\nSTART=" + n + "1\nEND=" + n + "2\nSTEP=" + n +
                "3\nMOVE_VAL=" + n + "4\n";
    }
    text += "[ARToolKit]\nCAM_CON=camera.xml\nCAM_PARA=para.dat\n";
    for (int n = 1; n <= kPatternCount; ++n) {
        text += "FILE_PAT" + std::to_string(n) + "=patt" + std::to_string(n) + "\nSIZE_PAT" +
                std::to_string(n) + "=" + std::to_string(n) + ".5\n";
    }
    return text +
           "[BULLET]\nGRAVITY=-9.8\nMODEL_MASS=11\nSCREEN_MASS=12\n"
           "[MOVIE]\nFILE=" +
           std::string(300, 'm') +
           "\nSCREEN_SIZE=21\nSCREEN_POSX=22\nSCREEN_POSY=23\nSCREEN_POSZ=24\n"
           "SCREEN_DIVIDE_W=25\nSCREEN_DIVIDE_H=26\n";
}

TEST(Configuration, EveryKeyReachesItsOwnField) {
    loadConfigurationFrom(IniFile::parse(fullFile()));
    for (int i = 0; i < kMotionSetCount; ++i) {
        SCOPED_TRACE(kMotionSections[i]);
        const MotionConfig& motion = *getMotionConfig(i);
        const std::string n = std::to_string(i);
        EXPECT_EQ(motion.scale, i + 0.5);
        EXPECT_EQ(motion.seqFile, "seq" + n);
        EXPECT_EQ(motion.format, "fmt" + n);
        EXPECT_EQ(motion.start, i * 10 + 1);
        EXPECT_EQ(motion.end, i * 10 + 2);
        EXPECT_EQ(motion.step, i * 10 + 3);
        EXPECT_EQ(motion.moveValue, i * 10 + 4);
    }
    const TrackingConfig& tracking = *getTrackingConfig();
    EXPECT_STREQ(tracking.cameraConfig, "camera.xml");
    EXPECT_STREQ(tracking.cameraParamFile, "para.dat");
    for (int slot = 0; slot < kPatternCount; ++slot) {
        EXPECT_EQ(tracking.patterns[slot].file, "patt" + std::to_string(slot + 1));
        EXPECT_EQ(tracking.patterns[slot].width, slot + 1.5);
    }
    EXPECT_EQ(getPhysicsConfig()->gravity, -9.8);
    EXPECT_EQ(getPhysicsConfig()->modelMass, 11.0);
    EXPECT_EQ(getPhysicsConfig()->screenMass, 12.0);
    const MovieConfig& movie = *getMovieConfig();
    EXPECT_EQ(movie.file, std::string(255, 'm'));  // cut to fit its 256-byte field
    EXPECT_EQ(movie.screenSize, 21.0);
    EXPECT_EQ(movie.screenPosX, 22.0);
    EXPECT_EQ(movie.screenPosY, 23.0);
    EXPECT_EQ(movie.screenPosZ, 24.0);
    EXPECT_EQ(movie.screenDivideW, 25.0);
    EXPECT_EQ(movie.screenDivideH, 26.0);
    EXPECT_EQ(getMotionConfig(-1), nullptr);
    EXPECT_EQ(getMotionConfig(3), nullptr);
}

TEST(Configuration, PatternKeysAreNumberedFromOneToTen) {
    loadText(
        "[ARToolKit]\nSIZE_PAT3=120\nFILE_PAT3=patt.three\nFILE_PAT0=patt.zero\nSIZE_PAT0=1\n"
        "FILE_PAT11=patt.eleven\nSIZE_PAT11=2\n");
    const TrackingConfig& tracking = *getTrackingConfig();
    for (int slot = 0; slot < kPatternCount; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(tracking.patterns[slot].width, slot == 2 ? 120.0 : 80.0);
        EXPECT_STREQ(tracking.patterns[slot].file, slot == 2 ? "patt.three" : "");
    }
}

TEST(Configuration, RealsScanLikeSscanfAndWholeNumbersLikeAtoiClamped) {
    loadText(
        "[Metaseq_stay]\nSCALE=abc\nMOVE_VAL=12abc\nSTART=abc\nEND=12abc\nSTEP=-3\n"
        "[Metaseq_walk]\nSCALE=\nMOVE_VAL=' 2.5e1 "
        "'\nSTART=99999999999\nEND=-99999999999\nSTEP=+2147483647\n");
    const MotionConfig& stay = *getMotionConfig(0);
    EXPECT_EQ(stay.scale, 0.0);
    EXPECT_EQ(stay.moveValue, 12.0);
    EXPECT_EQ(stay.start, 0);
    EXPECT_EQ(stay.end, 12);
    EXPECT_EQ(stay.step, -3);
    const MotionConfig& walk = *getMotionConfig(1);
    EXPECT_EQ(walk.scale, 0.0);
    EXPECT_EQ(walk.moveValue, 25.0);
    EXPECT_EQ(walk.start, INT32_MAX);
    EXPECT_EQ(walk.end, INT32_MIN);
    EXPECT_EQ(walk.step, INT32_MAX);
}

TEST(Configuration, ReloadingStartsFromZeroedRecords) {
    loadText(fullFile());
    const MotionConfig* stay = getMotionConfig(0);
    loadText("[Metaseq_stay]\nSCALE=not a number\n[MOVIE]\nSCREEN_SIZE=?\n");
    EXPECT_EQ(getMotionConfig(0), stay);  // the records never move
    EXPECT_EQ(stay->scale, 0.0);
    EXPECT_STREQ(stay->seqFile, "");
    EXPECT_EQ(getMovieConfig()->screenSize, 0.0);
    EXPECT_STREQ(getMovieConfig()->file, "");
    EXPECT_EQ(getPhysicsConfig()->gravity, -98.0);
}

TEST(Configuration, NumberedSequenceMustStepForward) {
    loadText(
        "[Metaseq_stay]\nMQO_FORMAT=%s%d\nSTART=5\nEND=5\nSTEP=-2\n"
        "[Metaseq_walk]\nMQO_FORMAT=%s%03d.mqo\nEND=10\nSTEP=0\n"
        "[Metaseq_run]\nSTEP=0\n");
    EXPECT_EQ(motionSequenceProblem(0),
              "Kelmo.ini [Metaseq_stay]: STEP=-2 never gets from START=5 to END=5; STEP must be 1 or more");
    EXPECT_EQ(motionSequenceProblem(1),
              "Kelmo.ini [Metaseq_walk]: STEP=0 never gets from START=0 to END=10; STEP must be 1 or more");
    EXPECT_EQ(motionSequenceProblem(2), "");  // a single document has no frame numbers
    EXPECT_EQ(motionSequenceProblem(3), "");

    MotionConfig walk = *getMotionConfig(1);
    walk.step = 1;
    EXPECT_EQ(motionSequenceProblem(walk, "Metaseq_walk"), "");
    walk.step = 0;
    walk.start = 11;  // an empty range ends at once
    EXPECT_EQ(motionSequenceProblem(walk, "Metaseq_walk"), "");
}

// Each case runs in a fresh temporary folder and puts the current directory back afterwards.
class ConfigurationFromCurrentDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        char* saved = getcwd(nullptr, 0);
        ASSERT_NE(saved, nullptr);
        saved_ = saved;
        std::free(saved);
        char pattern[] = "/tmp/kelmo-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        std::error_code error;
        root_ = std::filesystem::canonical(pattern, error).string();
        ASSERT_FALSE(error);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(saved_.c_str()), 0);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    static void writeIni(const std::string& dir, const std::string& text) {
        std::ofstream(dir + "/Kelmo.ini", std::ios::binary) << text;
    }

    // A folder under root_ whose absolute path has exactly length characters.
    std::string makeDirectoryOfLength(std::size_t length) {
        std::string path = root_;
        while (path.size() < length) {
            std::size_t room = length - path.size() - 1;
            path += "/" + std::string(room > 200 ? 100 : room, 'd');
        }
        std::error_code error;
        std::filesystem::create_directories(path, error);
        EXPECT_FALSE(error) << path;
        return path;
    }

    std::string saved_;
    std::string root_;
};

TEST_F(ConfigurationFromCurrentDirectory, NoFileGivesEveryDefault) {
    loadText(fullFile());
    ASSERT_EQ(chdir(root_.c_str()), 0);
    std::string error;
    ASSERT_TRUE(loadConfiguration(error)) << error;
    expectEveryDefault();
}

// A Kelmo.ini that cannot be read (a folder here: tests run as root, so permissions do not stop them)
// gives the defaults as a missing one does, and one line that says so.
TEST_F(ConfigurationFromCurrentDirectory, AFileThatCannotBeReadGivesOneLineAndEveryDefault) {
    ASSERT_EQ(chdir(root_.c_str()), 0);
    std::string error, warning = "stale";
    ASSERT_TRUE(loadConfiguration(error, &warning)) << error;
    EXPECT_EQ(warning, "");
    ASSERT_EQ(mkdir((root_ + "/Kelmo.ini").c_str(), 0700), 0);
    loadText(fullFile());
    ASSERT_TRUE(loadConfiguration(error, &warning)) << error;
    EXPECT_EQ(warning,
              "cannot read " + root_ + "/Kelmo.ini (Is a directory): every setting takes its default");
    expectEveryDefault();
}

TEST_F(ConfigurationFromCurrentDirectory, FileIsFoundThroughTheCurrentDirectory) {
    const std::string withFile = root_ + "/with";
    const std::string without = root_ + "/without";
    ASSERT_EQ(mkdir(withFile.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(without.c_str(), 0700), 0);
    writeIni(withFile, "\xEF\xBB\xBF[bullet]\r\ngravity = \"-9.8\"\r\n");
    writeIni(root_, "[BULLET]\nGRAVITY=-1\n");

    std::string error;
    ASSERT_EQ(chdir(withFile.c_str()), 0);
    ASSERT_TRUE(loadConfiguration(error)) << error;
    EXPECT_EQ(getPhysicsConfig()->gravity, -9.8);
    EXPECT_EQ(getPhysicsConfig()->modelMass, 100.0);

    ASSERT_EQ(chdir(without.c_str()), 0);
    ASSERT_TRUE(loadConfiguration(error)) << error;
    EXPECT_EQ(getPhysicsConfig()->gravity, -98.0);
}

// 256 characters hold the directory, '/', "Kelmo.ini" and the terminating zero: 245 + 1 + 9 + 1.
TEST_F(ConfigurationFromCurrentDirectory, DirectoryLongerThan245CharactersIsRefused) {
    const std::string longest = makeDirectoryOfLength(245);
    writeIni(longest, "[BULLET]\nGRAVITY=-1\n");
    std::string error;
    ASSERT_EQ(chdir(longest.c_str()), 0);
    ASSERT_TRUE(loadConfiguration(error)) << error;
    EXPECT_EQ(getPhysicsConfig()->gravity, -1.0);

    const std::string tooLong = makeDirectoryOfLength(246);
    writeIni(tooLong, "[BULLET]\nGRAVITY=-2\n");
    ASSERT_EQ(chdir(tooLong.c_str()), 0);
    EXPECT_FALSE(loadConfiguration(error));
    EXPECT_NE(error.find("Kelmo.ini"), std::string::npos) << error;
    EXPECT_NE(error.find(" 246 characters"), std::string::npos) << error;
    EXPECT_NE(error.find(" 245 "), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

TEST_F(ConfigurationFromCurrentDirectory, VanishedCurrentDirectoryIsRefused) {
    const std::string gone = root_ + "/gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
    ASSERT_EQ(chdir(gone.c_str()), 0);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    std::string error;
    EXPECT_FALSE(loadConfiguration(error));
    EXPECT_NE(error.find("current directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace kelmo
