#include "app/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kelmo {
namespace {

const char* const kMissing = "<missing>";

struct Lookup {
    const char* section;
    const char* key;
    std::string expected;  // kMissing: the fallback comes back
};

// Each look-up in the parsed text gives what it expects.
void expectLookups(const std::string& text, const std::vector<Lookup>& lookups) {
    const IniFile ini = IniFile::parse(text);
    for (const Lookup& lookup : lookups)
        EXPECT_EQ(ini.get(lookup.section, lookup.key, kMissing), lookup.expected)
            << "[" << lookup.section << "] " << lookup.key << " in:\n"
            << text;
}

TEST(IniFile, NamesMatchIgnoringCaseAndSurroundingBlanks) {
    expectLookups(
        "[  Bullet\t]\n  gravity\t=  -9.8 \nMODEL_MASS=5\n",
        {{"BULLET", "GRAVITY", "-9.8"}, {" bullet ", " Gravity ", "-9.8"}, {"bUlLeT", "model_mass", "5"}});
}

TEST(IniFile, OnePairOfMatchingQuotesIsRemoved) {
    expectLookups(
        "[S]\ndouble=\"a b\"\nsingle='c'\nmixed=\"d'\nempty=\"\"\nlone=\"\n"
        "padded=  \" e \"  \ninner=\"f\"g\"\ntwice=\"\"h\"\"\n",
        {{"S", "double", "a b"},
         {"S", "single", "c"},
         {"S", "mixed", "\"d'"},
         {"S", "empty", ""},
         {"S", "lone", "\""},
         {"S", "padded", " e "},
         {"S", "inner", "f\"g"},
         {"S", "twice", "\"h\""}});
}

TEST(IniFile, SemicolonStartsACommentOnlyAtTheStartOfALine) {
    expectLookups(
        "; [S]\n[S]\n;first=commented\n   ; second=commented\nfirst=a;b\nthird = 1 ; not a comment\n",
        {{"S", "first", "a;b"}, {"S", "second", kMissing}, {"S", "third", "1 ; not a comment"}});
}

TEST(IniFile, FirstSectionAndFirstKeyWin) {
    expectLookups(
        "[S]\nkey=first\nKEY=second\n[other]\nkey=other\n[s]\nkey=repeated section\nonlyInRepeat=x\n",
        {{"S", "key", "first"}, {"S", "onlyInRepeat", kMissing}, {"other", "key", "other"}});
}

TEST(IniFile, MissingAndMalformedEntriesYieldTheFallback) {
    // A key that is present with nothing after '=' is an empty value, not a missing one.
    const std::string text =
        "beforeAnySection=1\n[S]\nno equals sign\nemptyValue=\n"
        "[unclosed\nafterUnclosed=2\n[a]b]\ninBracketed=3\n";
    expectLookups(text, {{"", "beforeAnySection", kMissing},
                         {"S", "no equals sign", kMissing},
                         {"S", "emptyValue", ""},
                         {"S", "afterUnclosed", "2"},
                         {"a]b", "inBracketed", "3"}});
    const IniFile ini = IniFile::parse(text);
    EXPECT_EQ(ini.get("T", "key", "fallback"), "fallback");
    EXPECT_EQ(ini.get("S", "absent", ""), "");
    EXPECT_EQ(IniFile::parse("").get("S", "key", kMissing), kMissing);
}

TEST(IniFile, LineEndsAndByteOrderMark) {
    expectLookups("[S]\r\nkey=value\r\nlast=end", {{"S", "key", "value"}, {"S", "last", "end"}});
    expectLookups("\xEF\xBB\xBF[S]\r\nkey=value\r\n", {{"S", "key", "value"}});
    // Only at the very start is it a byte-order mark; elsewhere the bytes belong to the text.
    expectLookups("[S]\nkey=\xEF\xBB\xBFvalue\n", {{"S", "key", "\xEF\xBB\xBFvalue"}});
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
