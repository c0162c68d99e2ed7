#include "app/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace kelmo {
namespace {

const char* const kMissing = "<missing>";

TEST(IniFile, NamesMatchIgnoringCaseAndSurroundingBlanks) {
    IniFile ini = IniFile::parse("[  Bullet\t]\n  gravity\t=  -9.8 \nMODEL_MASS=5\n");
    EXPECT_EQ(ini.get("BULLET", "GRAVITY", kMissing), "-9.8");
    EXPECT_EQ(ini.get(" bullet ", " Gravity ", kMissing), "-9.8");
    EXPECT_EQ(ini.get("bUlLeT", "model_mass", kMissing), "5");
}

TEST(IniFile, OnePairOfMatchingQuotesIsRemoved) {
    IniFile ini = IniFile::parse(
        "[S]\n"
        "double=\"a b\"\n"
        "single='c'\n"
        "mixed=\"d'\n"
        "empty=\"\"\n"
        "lone=\"\n"
        "padded=  \" e \"  \n"
        "inner=\"f\"g\"\n"
        "twice=\"\"h\"\"\n");
    EXPECT_EQ(ini.get("S", "double", kMissing), "a b");
    EXPECT_EQ(ini.get("S", "single", kMissing), "c");
    EXPECT_EQ(ini.get("S", "mixed", kMissing), "\"d'");
    EXPECT_EQ(ini.get("S", "empty", kMissing), "");
    EXPECT_EQ(ini.get("S", "lone", kMissing), "\"");
    EXPECT_EQ(ini.get("S", "padded", kMissing), " e ");
    EXPECT_EQ(ini.get("S", "inner", kMissing), "f\"g");
    EXPECT_EQ(ini.get("S", "twice", kMissing), "\"h\"");
}

TEST(IniFile, SemicolonStartsACommentOnlyAtTheStartOfALine) {
    IniFile ini = IniFile::parse(
        "; [S]\n"
        "[S]\n"
        ";first=commented\n"
        "   ; second=commented\n"
        "first=a;b\n"
        "third = 1 ; not a comment\n");
    EXPECT_EQ(ini.get("S", "first", kMissing), "a;b");
    EXPECT_EQ(ini.get("S", "second", kMissing), kMissing);
    EXPECT_EQ(ini.get("S", "third", kMissing), "1 ; not a comment");
}

TEST(IniFile, FirstSectionAndFirstKeyWin) {
    IniFile ini = IniFile::parse(
        "[S]\n"
        "key=first\n"
        "KEY=second\n"
        "[other]\n"
        "key=other\n"
        "[s]\n"
        "key=repeated section\n"
        "onlyInRepeat=x\n");
    EXPECT_EQ(ini.get("S", "key", kMissing), "first");
    EXPECT_EQ(ini.get("S", "onlyInRepeat", kMissing), kMissing);
    EXPECT_EQ(ini.get("other", "key", kMissing), "other");
}

TEST(IniFile, MissingAndMalformedEntriesYieldTheFallback) {
    IniFile ini = IniFile::parse(
        "beforeAnySection=1\n"
        "[S]\n"
        "no equals sign\n"
        "emptyValue=\n"
        "[unclosed\n"
        "afterUnclosed=2\n"
        "[a]b]\n"
        "inBracketed=3\n");
    EXPECT_EQ(ini.get("", "beforeAnySection", kMissing), kMissing);
    EXPECT_EQ(ini.get("S", "no equals sign", kMissing), kMissing);
    // A key that is present with nothing after '=' is an empty value, not a missing one.
    EXPECT_EQ(ini.get("S", "emptyValue", kMissing), "");
    EXPECT_EQ(ini.get("S", "afterUnclosed", kMissing), "2");
    EXPECT_EQ(ini.get("a]b", "inBracketed", kMissing), "3");
    EXPECT_EQ(ini.get("T", "key", "fallback"), "fallback");
    EXPECT_EQ(ini.get("S", "absent", ""), "");
    EXPECT_EQ(IniFile::parse("").get("S", "key", kMissing), kMissing);
}

TEST(IniFile, LineEndsAndByteOrderMark) {
    IniFile crlf = IniFile::parse("[S]\r\nkey=value\r\nlast=end");
    EXPECT_EQ(crlf.get("S", "key", kMissing), "value");
    EXPECT_EQ(crlf.get("S", "last", kMissing), "end");

    IniFile bom = IniFile::parse("\xEF\xBB\xBF[S]\r\nkey=value\r\n");
    EXPECT_EQ(bom.get("S", "key", kMissing), "value");
    // Only at the very start is it a byte-order mark; elsewhere the bytes belong to the text.
    IniFile inner = IniFile::parse("[S]\nkey=\xEF\xBB\xBFvalue\n");
    EXPECT_EQ(inner.get("S", "key", kMissing), "\xEF\xBB\xBFvalue");
}

TEST(IniFile, ValuesAreCutTo255CharactersAfterTheQuotesGo) {
    const std::string longText(300, 'x');
    const std::string quoted = "\"" + std::string(254, 'a') + "bc" + std::string(50, 'd') + "\"";
    IniFile ini = IniFile::parse("[S]\nplain=" + longText + "\nquoted=" + quoted +
                                 "\nexact=" + std::string(255, 'e') + "\n");
    EXPECT_EQ(ini.get("S", "plain", kMissing), std::string(255, 'x'));
    EXPECT_EQ(ini.get("S", "quoted", kMissing), std::string(254, 'a') + "b");
    EXPECT_EQ(ini.get("S", "exact", kMissing), std::string(255, 'e'));
}

class IniFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelmo-ini-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string dir_;
};

// Missing is silent; there but unreadable says why. /dev/zero must neither grow memory nor read forever.
TEST_F(IniFileOnDisk, UnreadablePathsAreEmptyAndThoseThatAreThereSayWhy) {
    std::string problem = "stale";
    EXPECT_EQ(IniFile::load(dir_ + "/absent.ini", &problem).get("S", "key", kMissing), kMissing);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(IniFile::load(dir_, &problem).get("S", "key", kMissing), kMissing);
    EXPECT_EQ(problem, "Is a directory");
    const std::string zero = dir_ + "/zero.ini";
    std::filesystem::create_symlink("/dev/zero", zero);
    EXPECT_EQ(IniFile::load(zero, &problem).get("S", "key", kMissing), kMissing);
    EXPECT_EQ(problem, "larger than 1 MiB");
}

// The file is read in 64 KiB pieces; lines of many lengths make several of them straddle a piece
// boundary, including a CRLF split between its two bytes.
TEST_F(IniFileOnDisk, LoadAgreesWithParseAcrossReadBoundaries) {
    std::string text = "\xEF\xBB\xBF[Big]\r\n";
    int keys = 0;
    auto addKeys = [&](std::size_t upTo) {
        while (text.size() < upTo) {
            text += "key" + std::to_string(keys) + " = " + std::string(keys % 997, 'v') +
                    std::to_string(keys) + "\r\n";
            ++keys;
        }
    };
    addKeys(60 * 1024);
    // A comment line long enough to put the '\r' of the next line last in the first piece.
    const std::string split = "split=yes\r\n";
    const std::size_t crAt = 64 * 1024 - 1;
    text += ";" + std::string(crAt - (split.size() - 2) - text.size() - 2, '-') + "\n" + split;
    ASSERT_EQ(text.substr(crAt, 2), "\r\n");
    addKeys(300 * 1024);
    text += "tail=no line end";
    IniFile fromDisk = IniFile::load(write("big.ini", text));
    IniFile fromMemory = IniFile::parse(text);
    for (int i = 0; i < keys; ++i) {
        std::string key = "KEY" + std::to_string(i);
        std::string expected = std::string(i % 997, 'v') + std::to_string(i);
        if (expected.size() > IniFile::kMaxValueLength) expected.resize(IniFile::kMaxValueLength);
        ASSERT_EQ(fromDisk.get("big", key, kMissing), expected) << key;
        ASSERT_EQ(fromMemory.get("big", key, kMissing), expected) << key;
    }
    EXPECT_EQ(fromDisk.get("big", "split", kMissing), "yes");
    EXPECT_EQ(fromDisk.get("big", "tail", kMissing), "no line end");
}

}  // namespace
}  // namespace kelmo
