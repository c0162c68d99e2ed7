// kelmo-mqo as a person runs it, on a document written for the test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/run_command.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

// A plain material, one with a readable texture, one whose files are missing; a quadrilateral, a
// textured triangle, one without material, an edge and a bad vertex index (line 24); a hidden object
// whose only face names a material past the table (line 37).
const char* const kDocument =
    "Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial 3 {\n"
    "\t\"red\" col(1 0 0 1) dif(0.8) amb(0.6) emi(0) spc(0) power(5)\n"
    "\t\"skin\" col(1 1 1 0.5) dif(0.8) amb(0.6) emi(0) spc(0) power(5) tex(\"skin.bmp\")\n"
    "\t\"gone\" col(1 1 1 1) dif(0.8) amb(0.6) emi(0) spc(0) power(5) tex(\"gone.bmp\") "
    "aplane(\"gone_a.tga\")\n"
    "}\nObject \"body\" {\n\tvisible 15\n\tshading 1\n\tfacet 59.5\n\tvertex 4 {\n"
    "\t\t0 0 0\n\t\t0 10 0\n\t\t10 10 0\n\t\t10 0 5\n\t}\n\tface 5 {\n"
    "\t\t4 V(0 1 2 3) M(0) UV(0 0 0 1 1 1 1 0)\n\t\t3 V(0 1 2) M(1) UV(0 0 0 1 1 1)\n"
    "\t\t3 V(0 1 2)\n\t\t2 V(0 1)\n\t\t3 V(0 1 9) M(0)\n\t}\n}\n"
    "Object \"hidden\" {\n\tvisible 0\n\tshading 0\n\tfacet 30.0\n\tvertex 3 {\n"
    "\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2) M(7)\n\t}\n}\nEof\n";

class MqoTool : public testing::Test {
protected:
    void SetUp() override {
        folder_ = testing_support::tempPath("mqo_tool") + "/";
        fs::create_directories(folder_);
        std::ofstream(folder_ + "doc.mqo", std::ios::binary) << kDocument;
        std::string bmp(54, '\0');  // 4 × 4, 24 bits
        bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 54, bmp[14] = 40, bmp[18] = 4, bmp[22] = 4, bmp[26] = 1,
        bmp[28] = 24;
        std::ofstream(folder_ + "skin.bmp", std::ios::binary) << bmp + std::string(48, '\x40');
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Standard output as lines; standard error in errors_.
    std::vector<std::string> run(const std::string& arguments) {
        const testing_support::CommandResult ran = testing_support::runCommand(
            std::string(KELMO_BINARY_DIR) + "/kelmo-mqo " + arguments + " 2>'" + folder_ + "stderr'");
        status_ = ran.status;
        std::ifstream errors(folder_ + "stderr");
        errors_.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
        return testing_support::splitLines(ran.output);
    }

    std::string folder_, errors_;
    int status_ = -1;
    const bool display_ = std::getenv("DISPLAY") != nullptr;
};

TEST_F(MqoTool, JsonHasMaterialsObjectsTotalsBoxAndSkippedPartsOnOneLine) {
    const std::vector<std::string> lines =
        run("--json '" + folder_ + "doc.mqo' '" + folder_ + "absent.mqo' --bench");
    EXPECT_EQ(status_, 1) << errors_;
    ASSERT_EQ(lines.size(), 2u) << "texture messages stay off standard output";
    const std::string& json = lines[0];
    const std::string expected[] = {
        "{\"file\":\"" + folder_ +
            "doc.mqo\",\"materials\":[{\"colour\":[1,0,0,1],\"texture\":null,\"alpha\":null,"
            "\"loaded\":null},{\"colour\":[1,1,1,0.5],\"texture\":\"" +
            folder_ + "skin.bmp\",\"alpha\":null,\"loaded\":" + (display_ ? "true" : "null") + "},",
        "\"texture\":\"" + folder_ + "gone.bmp\",\"alpha\":\"" + folder_ +
            "gone_a.tga\",\"loaded\":" + (display_ ? "false" : "null") + "}],",
        "\"objects\":[{\"name\":\"\\\"body\\\"\",\"vertices\":4,\"triangles\":4,\"drawnTriangles\":3,"
        "\"batches\":2,"
        "\"visible\":true,\"shading\":\"smooth\",\"facet\":59.5},{\"name\":\"\\\"hidden\\\"\",\"vertices\":3,"
        "\"triangles\":0,\"drawnTriangles\":0,\"batches\":0,\"visible\":false,\"shading\":\"flat\",\"facet\":"
        "30}],",
        "\"triangles\":4,\"bbox\":{\"min\":[0,-5,0],\"max\":[10,0,10]},\"skipped\":[\"line 24:",
        "\",\"line 37:",
        "\",\"object \\\"body\\\": 1 triangle(s) without a material"};
    for (const std::string& part : expected)
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    EXPECT_NE(json.find(",\"benchMBps\":"), std::string::npos) << json;
    EXPECT_EQ(json.back(), '}');
    EXPECT_EQ(lines[1], "{\"file\":\"" + folder_ + "absent.mqo\",\"error\":\"cannot read the file\"}");
}

// Read with the loader's bound: a huge file is refused, not read into memory.
TEST_F(MqoTool, ADocumentOverTheLoadersSizeIsRefusedUnread) {
    const std::string huge = folder_ + "huge.mqo";
    std::ofstream(huge).close();
    fs::resize_file(huge, (std::uintmax_t{256} << 20) + 1);  // sparse: no disk used
    const std::vector<std::string> lines = run("'" + huge + "'");
    EXPECT_EQ(status_, 1) << errors_;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], huge + ": cannot read the file: larger than 256 MiB");
}

}  // namespace
}  // namespace kelmo
