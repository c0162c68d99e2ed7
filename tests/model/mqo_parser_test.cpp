#include "model/mqo_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

MqoDocument parse(const std::string& text, VertexTransform transform = nullptr, float scale = 1.0f) {
    return parseDocumentText(text.data(), text.size(), "models/a.mqo", transform, scale);
}

std::string object(const std::string& body) { return "Object \"obj\" {\n" + body + "}\n"; }

// The object with vertices 0..3 and the given face lines.
std::string quadObject(const std::string& faces) {
    return object("\tvertex 4 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t1 1 0\n\t\t0 1 0\n\t}\n\tface 9 {\n" + faces +
                  "\t}\n");
}

// The note of the given line that mentions the fragment, or "" when there is none.
std::string noteAbout(const MqoDocument& doc, int line, const std::string& fragment) {
    for (const std::string& note : doc.skipped)
        if (note.rfind("line " + std::to_string(line) + ": ", 0) == 0 &&
            note.find(fragment) != std::string::npos)
            return note;
    return "";
}

void expectVertex(const MqoObject& object, int i, float x, float y, float z) {
    ASSERT_LT(i, object.vertexCount);
    EXPECT_EQ(x, object.vertices[3 * i]);
    EXPECT_EQ(y, object.vertices[3 * i + 1]);
    EXPECT_EQ(z, object.vertices[3 * i + 2]);
}

void expectFace(const MqoFace& face, int material, int a, int b, int c, std::initializer_list<float> uv) {
    EXPECT_EQ(material, face.material);
    EXPECT_EQ(a, face.v[0]);
    EXPECT_EQ(b, face.v[1]);
    EXPECT_EQ(c, face.v[2]);
    EXPECT_TRUE(std::equal(uv.begin(), uv.end(), face.uv)) << face.uv[0] << " " << face.uv[1] << " ...";
}

const char kMaterialLine[] =
    "\t\"m\" shader(3) col(1.000 0.500 0.000 1.000) dif(0.800) amb(0.600) emi(0.000) spc(0.000) power(5.00) "
    "tex(\"a.bmp\")\n";

TEST(MqoParser, MaterialLineGivesColoursPowerAndTextureNames) {
    MqoDocument doc = parse(std::string("Material 4 {\n") + kMaterialLine +
                            "\t\"b\" col(0.5 0.5 0.5 0.5) dif (1) tex(\"b.bmp\") aplane(\"a_alpha.tga\")\n"
                            "\t\"c\" col(1 1 1 1) aplane(\"ignored.tga\")\n"
                            "\t\"d\" col(1 1 1 1) dif(x) amb(0.5) tex(\"\") aplane()\n}\n");
    ASSERT_EQ(4u, doc.materials.size());
    const MqoMaterial& a = doc.materials[0];
    const float col[4] = {1, 0.5f, 0, 1}, dif[4] = {0.8f, 0.4f, 0, 1}, amb[4] = {0.6f, 0.3f, 0, 1},
                zero[4] = {0, 0, 0, 1};
    EXPECT_TRUE(std::equal(col, col + 4, a.col));
    EXPECT_TRUE(std::equal(dif, dif + 4, a.dif));
    EXPECT_TRUE(std::equal(amb, amb + 4, a.amb));
    EXPECT_TRUE(std::equal(zero, zero + 4, a.emi));
    EXPECT_TRUE(std::equal(zero, zero + 4, a.spc));
    EXPECT_EQ(5.0f, a.power);
    EXPECT_TRUE(a.useTexture);
    EXPECT_STREQ("a.bmp", a.textureName);
    EXPECT_STREQ("", a.alphaName);
    EXPECT_EQ(0u, a.texture);
    // "dif (1)" with a blank, and an alpha plane after the texture.
    EXPECT_EQ(0.5f, doc.materials[1].dif[0]);
    EXPECT_STREQ("b.bmp", doc.materials[1].textureName);
    EXPECT_STREQ("a_alpha.tga", doc.materials[1].alphaName);
    // An alpha plane without a texture is ignored.
    EXPECT_FALSE(doc.materials[2].useTexture);
    EXPECT_STREQ("", doc.materials[2].alphaName);
    // A value that does not scan leaves it and every later one unread: amb stays 0 despite its 0.5.
    EXPECT_EQ(0.0f, doc.materials[3].dif[0]);
    EXPECT_EQ(0.0f, doc.materials[3].amb[0]);
    EXPECT_TRUE(doc.materials[3].useTexture);
    EXPECT_STREQ("", doc.materials[3].textureName);
    EXPECT_STREQ("", doc.materials[3].alphaName);
    EXPECT_TRUE(doc.skipped.empty()) << doc.skipped[0];
}

// Metasequoia 4 writes vcol(1) before col( and amb_col( after it; keywords count only where a word starts.
TEST(MqoParser, MaterialKeywordsAreFoundOnlyAtTheStartOfAWord) {
    MqoDocument doc = parse(
        "Material 1 {\n\t\"v\" shader(3) vcol(1) dbls(1) col(0.200 0.400 0.600 1.000) dif(0.500) amb(1.000) "
        "emi(0.000) spc(0.000) power(5.00) amb_col(0.1 0.1 0.1) vtex(\"no.bmp\") tex(\"a.bmp\") "
        "xaplane(\"no.tga\") aplane(\"a.tga\")\n}\n");
    ASSERT_EQ(1u, doc.materials.size());
    const MqoMaterial& m = doc.materials[0];
    EXPECT_EQ(0.2f, m.col[0]);
    EXPECT_EQ(0.6f, m.col[2]);
    EXPECT_EQ(1.0f, m.col[3]);
    EXPECT_EQ(0.1f, m.dif[0]);
    EXPECT_EQ(5.0f, m.power);
    EXPECT_STREQ("a.bmp", m.textureName);
    EXPECT_STREQ("a.tga", m.alphaName);
}

TEST(MqoParser, MalformedMaterialLinesAndTablesAreBoundedAndNoted) {
    const std::string longName(70, 'n');
    MqoDocument doc = parse(
        "Material 3 {\n"
        "\t\"no colour\" tex(\"t.bmp\")\n"
        "\t\"cut\" col(1 1 1 1) tex(\"" +
        longName +
        "\") aplane(\"open\n"
        "\t\"x\" col(1 1 1 1)\n"
        "\t\"extra\" col(1 1 1 1)\n"
        "}\n"
        "MaterialEx2 {\n\tmaterial 0 {\n\t\tObject \"not an object\"\n\t}\n}\n");
    ASSERT_EQ(3u, doc.materials.size());
    EXPECT_EQ(0.0f, doc.materials[0].col[3]);
    EXPECT_STREQ("t.bmp", doc.materials[0].textureName);
    EXPECT_EQ(63u, std::strlen(doc.materials[1].textureName));
    EXPECT_STREQ("", doc.materials[1].alphaName);
    EXPECT_NE("", noteAbout(doc, 2, "no col("));
    EXPECT_NE("", noteAbout(doc, 3, "longer than 63"));
    EXPECT_NE("", noteAbout(doc, 3, "no closing )"));
    EXPECT_NE("", noteAbout(doc, 5, "more material lines"));
    // The second table is passed over whole, so the line inside it does not start an object.
    EXPECT_NE("", noteAbout(doc, 7, "second Material chunk"));
    EXPECT_TRUE(doc.objects.empty());

    EXPECT_EQ(0u, parse("Metasequoia Document\nEof\n").materials.size());
    EXPECT_EQ(0u, parse("Material -2 {\n\"a\" col(1 1 1 1)\n}\n").materials.size());
    MqoDocument shortTable = parse("Material 2147483647 {\n\"a\" col(1 1 1 1)\n}\n");
    EXPECT_EQ(1u, shortTable.materials.size());
    EXPECT_NE("", noteAbout(shortTable, 1, "declares 2147483647 materials but holds 1"));
    MqoDocument unclosed = parse("Material 2 {\n\"a\" col(1 1 1 1)\n");
    EXPECT_EQ(1u, unclosed.materials.size());
    EXPECT_NE("", noteAbout(unclosed, 1, "no closing }"));
}

TEST(MqoParser, ObjectPartsDefaultsAndKeywordsWithTheirBlanks) {
    MqoDocument doc =
        parse(object("\tvisible 0\n\tshading 0\n\tfacet 30.5\n") + "Object body {\n}\n" +
              object("\tfacet 10\n3 V(0 1 2)\n\tvertex_ 1\n\tvertex  2 {\n1 2 3\n4 5 6\n\t}\n"));
    ASSERT_EQ(3u, doc.objects.size());
    EXPECT_STREQ("\"obj\"", doc.objects[0].name);
    EXPECT_EQ(0, doc.objects[0].visible);
    EXPECT_EQ(0, doc.objects[0].shading);
    EXPECT_EQ(30.5f, doc.objects[0].facet);
    EXPECT_STREQ("body", doc.objects[1].name);
    EXPECT_EQ(15, doc.objects[1].visible);
    EXPECT_EQ(1, doc.objects[1].shading);
    EXPECT_EQ(59.5f, doc.objects[1].facet);
    // Keywords are substrings, not tokens: "Objectx" starts an object, and scans "x" as its name.
    MqoDocument glued = parse("Objectx\n}\n");
    ASSERT_EQ(1u, glued.objects.size());
    EXPECT_STREQ("x", glued.objects[0].name);
    // "facet " does not start the face reader, and "vertex_" is not "vertex ".
    EXPECT_TRUE(doc.objects[2].faces.empty());
    EXPECT_EQ(2, doc.objects[2].vertexCount);

    // Sub-chunks of newer documents end at their own "}", nested ones included: the faces after them
    // still belong to the object, and the next object is one of its own.
    MqoDocument newer = parse(
        "Object \"o\" {\n\tvertex 3 {\n0 0 0\n1 0 0\n1 1 0\n\t}\n\tvertexattr {\n\t\tuid {\n1\n2\n3\n"
        "\t\t}\n\t}\n\tface 1 {\n3 V(0 1 2) M(0)\n\t}\n\tfacet 30\n}\nObject \"p\" {\n}\n");
    ASSERT_EQ(2u, newer.objects.size());
    ASSERT_EQ(1u, newer.objects[0].faces.size());
    EXPECT_EQ(30.0f, newer.objects[0].facet);
    EXPECT_STREQ("\"p\"", newer.objects[1].name);
    MqoDocument unclosed = parse("Object \"o\" {\n\tvertex 1 {\n1 1 1\n");
    ASSERT_EQ(1u, unclosed.objects.size());
    expectVertex(unclosed.objects[0], 0, 1, 1, 1);
    EXPECT_NE("", noteAbout(unclosed, 1, "Object chunk has no closing }"));
    EXPECT_NE("", noteAbout(unclosed, 2, "vertex block has no closing }"));
}

TEST(MqoParser, VerticesAreTransformedScaledAndKeptWithinWhatWasRead) {
    const std::string vertices = object("\tvertex 3 {\n\t\t1 2 3\n\t\t4 5\n\n\t}\n");
    MqoDocument doc = parse(vertices, yUpToZUp, 2.0f);
    ASSERT_EQ(3, doc.objects[0].vertexCount);
    expectVertex(doc.objects[0], 0, 2, -6, 4);
    expectVertex(doc.objects[0], 1, 8, 0, 10);  // z unread: 0
    expectVertex(doc.objects[0], 2, 0, 0, 0);   // an empty line is a vertex too
    expectVertex(parse(vertices).objects[0], 0, 1, 2, 3);

    MqoDocument odd =
        parse(object("\tvertex 2147483647 {\n1 1 1\n}\n") + object("vertex 1 {\n1 1 1\n2 2 2\n}\n") +
              object("vertex -1 {\n1 1 1\n}\n") + object("vertex 4294967297 {\n1 1 1\n}\n") +
              object("vertex 3 {\nnan 1 -inf\n1e39 0 0\ninfinity 2 3\n}\n"));
    ASSERT_EQ(5u, odd.objects.size());
    EXPECT_EQ(1, odd.objects[0].vertexCount);
    EXPECT_EQ(3u, odd.objects[0].vertices.size());
    EXPECT_NE("", noteAbout(odd, 2, "declares 2147483647 vertices but holds 1"));
    EXPECT_EQ(1, odd.objects[1].vertexCount);
    EXPECT_NE("", noteAbout(odd, 7, "more vertices than its count"));
    EXPECT_EQ(0, odd.objects[2].vertexCount);
    EXPECT_NE("", noteAbout(odd, 13, "negative"));
    EXPECT_EQ(1, odd.objects[3].vertexCount);  // %d keeps the low 32 bits, as sscanf does
    expectVertex(odd.objects[4], 0, 0, 1, 0);
    expectVertex(odd.objects[4], 1, 0, 0, 0);
    expectVertex(odd.objects[4], 2, 0, 2, 3);
    EXPECT_NE("", noteAbout(odd, 24, "4 vertex coordinates from here on are not finite"));

    MqoDocument twice = parse(object("vertex 1 {\n1 1 1\n}\nvertex 1 {\n2 2 2\n}\n"));
    expectVertex(twice.objects[0], 0, 2, 2, 2);
    EXPECT_NE("", noteAbout(twice, 5, "replaces the first"));
}

float fromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

std::string littleEndian(std::initializer_list<float> values) {
    std::string bytes;
    for (float value : values) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>(bits >> (8 * i));
    }
    return bytes;
}

TEST(MqoParser, BinaryVerticesAreLittleEndianAndOnlyWholeVectorsPresentAreUsed) {
    // The raw bytes hold '}' (0x7D) and '\n' (0x0A) bytes: neither ends a line nor the block.
    const float a = fromBits(0x3F80007D), b = fromBits(0x3F80000A);
    const std::string raw = littleEndian({1, 2, 3, a, 10, b});
    MqoDocument doc = parse(object("\tBVertex 2 {\n\t\tVector 2 [24]\n" + raw + "\n\t}\n\tvertex_ 1\n") +
                                "Object \"next\" {\n}\n",
                            yUpToZUp, 2.0f);
    ASSERT_EQ(2u, doc.objects.size());
    ASSERT_EQ(2, doc.objects[0].vertexCount);
    expectVertex(doc.objects[0], 0, 2, -6, 4);
    expectVertex(doc.objects[0], 1, 2 * a, -2 * b, 20);

    const std::string vector = littleEndian({7, 8, 9});
    auto binary = [&](const std::string& count, const std::string& header, const std::string& bytes) {
        return parse(object("BVertex " + count + " {\n" + header + bytes + "\n}\n") +
                     "Object \"after\" {\n}\n");
    };
    MqoDocument notTwelve = binary("2", "Vector 2 [20]\n", vector + vector);
    EXPECT_EQ(1, notTwelve.objects[0].vertexCount);
    EXPECT_NE("", noteAbout(notTwelve, 3, "2 vectors do not take 20 bytes"));
    EXPECT_EQ(1, binary("1", "Vector 2 [24]\n", vector + vector).objects[0].vertexCount);
    EXPECT_EQ(0, binary("2", "Vector 2 [-24]\n", vector + vector).objects[0].vertexCount);
    MqoDocument noVector = binary("2", "no vector line\n", "");
    EXPECT_EQ(2u, noVector.objects.size());
    EXPECT_NE("", noteAbout(noVector, 3, "no Vector line"));
    MqoDocument past = parse("Object \"o\" {\nBVertex 9 {\nVector 9 [108]\n" + vector + vector.substr(0, 5));
    EXPECT_EQ(1, past.objects[0].vertexCount);
    EXPECT_NE("", noteAbout(past, 3, "ends 91 bytes short"));
}

TEST(MqoParser, FaceLinesGiveTrianglesWithMaterialAndUv) {
    MqoDocument doc = parse("Material 2 {\n\"a\" col(1 1 1 1)\n\"b\" col(1 1 1 1)\n}\n" +
                            quadObject("\t\t4 V(0 1 2 3) M(1) UV(0 0 1 0 1 1 0 1)\n"
                                       "\t\t3 V(2 1 0)\n"
                                       "\t\t2 V(0 1)\n"
                                       "\t\t3 V(0 1 2) M() UV(0.5 0.25)\n"
                                       "\t\t3 UV(0 1 2 3 4 5)\n"));
    const auto& faces = doc.objects[0].faces;
    ASSERT_EQ(5u, faces.size());
    expectFace(faces[0], 1, 0, 1, 2, {0, 0, 1, 0, 1, 1});
    expectFace(faces[1], 1, 0, 2, 3, {0, 0, 1, 1, 0, 1});
    expectFace(faces[2], -1, 2, 1, 0, {0, 0, 0, 0, 0, 0});
    expectFace(faces[3], 0, 0, 1, 2, {0.5f, 0.25f, 0, 0, 0, 0});
    // "V(" is found inside "UV(", as a substring search does.
    expectFace(faces[4], -1, 0, 1, 2, {0, 1, 2, 3, 4, 5});
    EXPECT_TRUE(doc.skipped.empty()) << doc.skipped[0];
}

TEST(MqoParser, FacesPointingOutsideWhatWasReadAreDroppedWhole) {
    // Faces before the vertex block count: indices are checked when the document is complete.
    MqoDocument doc = parse(
        "Material 1 {\n\"a\" col(1 1 1 1)\n}\nObject \"o\" {\n\tface 9 {\n"
        "3 V(0 1 2) M(-1)\n"
        "4 V(0 1 2 4) M(0)\n"
        "3 V(0 -1 2)\n"
        "3 V(0 1 2) M(1)\n"
        "3 V(0 1 2) M(-2)\n"
        "3 V(0 1)\n"
        "3 M(0)\n"
        "5 V(0 1 2 3 0)\n"
        "\n"
        "3 V(3 2 1) M(0)\n"
        "\t}\n\tvertex 4 {\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n\t}\n}\n");
    const auto& faces = doc.objects[0].faces;
    ASSERT_EQ(2u, faces.size());
    EXPECT_EQ(-1, faces[0].material);
    EXPECT_EQ(3, faces[1].v[0]);
    EXPECT_NE("", noteAbout(doc, 7, "vertex index 4 is outside the object's 4 vertices"));
    EXPECT_NE("", noteAbout(doc, 8, "vertex index -1"));
    EXPECT_NE("", noteAbout(doc, 9, "material index 1 is outside the 1 materials"));
    EXPECT_NE("", noteAbout(doc, 10, "material index -2"));
    EXPECT_NE("", noteAbout(doc, 11, "without its 3 V( indices"));
    EXPECT_NE("", noteAbout(doc, 12, "without its 3 V( indices"));
    EXPECT_NE("", noteAbout(doc, 13, "5 corners"));
    EXPECT_NE("", noteAbout(doc, 14, "without a corner count"));
    // Without a Material chunk only 0 and -1 are material indices (the model draws 0 in white).
    MqoDocument noTable = parse(quadObject("3 V(0 1 2) M(0)\n3 V(0 1 2) M(1)\n"));
    ASSERT_EQ(1u, noTable.objects[0].faces.size());
    EXPECT_EQ(0, noTable.objects[0].faces[0].material);
    EXPECT_NE("", noteAbout(noTable, 10, "material index 1 is neither 0 nor -1"));
}

TEST(MqoParser, LinesArePiecesOfAtMost255Characters) {
    // 254 characters and '\n' fit one piece; 255 and '\n' leave an empty piece, itself a vertex line.
    const std::string fits = "1 2 3" + std::string(249, ' ') + "\n";
    const std::string over = "4 5 6" + std::string(250, ' ') + "\n";
    MqoDocument doc = parse(object("vertex 9 {\n" + fits + over + "7 8 9\n}\n"));
    ASSERT_EQ(4, doc.objects[0].vertexCount);
    expectVertex(doc.objects[0], 1, 4, 5, 6);
    expectVertex(doc.objects[0], 2, 0, 0, 0);
    expectVertex(doc.objects[0], 3, 7, 8, 9);
    EXPECT_NE("", noteAbout(doc, 4, "over 255 characters"));
    EXPECT_NE("", noteAbout(doc, 2, "declares 9 vertices but holds 4"));  // line numbers count real lines

    // A keyword cut by the piece boundary is not found, and the rest is a line of its own.
    MqoDocument cut = parse("Material 9 {\n\"m\"" + std::string(249, ' ') + "col(1 1 1 1) col(2 2 2 2)\n}\n");
    ASSERT_EQ(2u, cut.materials.size());
    EXPECT_EQ(0.0f, cut.materials[0].col[0]);
    EXPECT_EQ(2.0f, cut.materials[1].col[0]);

    // Each piece of a long face line is a face of its own, kept or dropped on its own.
    MqoDocument pieces = parse(quadObject("3 V(0 1 2)" + std::string(245, ' ') + "3 V(0 1 9)\n"));
    ASSERT_EQ(1u, pieces.objects[0].faces.size());

    // A NUL ends what the line shows, as it ends fgets' C string; CR LF line ends read as LF.
    const std::string nul = std::string("3 V(0 1 2)") + '\0' + " M(0)\r\n";
    EXPECT_EQ(-1, parse(quadObject(nul)).objects[0].faces[0].material);
    MqoDocument crlf =
        parse("Material 1 {\r\n\"a\" col(1 1 1 1) tex(\"t.bmp\")\r\n}\r\n" + quadObject("3 V(0 1 2)\r\n"));
    EXPECT_STREQ("t.bmp", crlf.materials[0].textureName);
    EXPECT_EQ(1u, crlf.objects[0].faces.size());
}

TEST(MqoParser, DirectoryIsThePathUpToItsLaterSeparator) {
    auto directory = [](const std::string& path) {
        return parseDocumentText("", 0, path, nullptr, 1).directory;
    };
    EXPECT_EQ("", directory("a.mqo"));
    EXPECT_EQ("models/a\\", directory("models/a\\b.mqo"));
    EXPECT_EQ("c:\\m/", directory("c:\\m/b.mqo"));
    EXPECT_EQ("/", directory("/b.mqo"));
}

TEST(MqoParser, RecordsAndNotesStayWithinAMultipleOfTheTextSize) {
    std::string empties(400000, '\n');
    MqoDocument doc = parse("Material 2147483647 {\n" + empties + "}\n");
    EXPECT_LE(doc.materials.size() * sizeof(MqoMaterial), 16 * (empties.size() + 100) + (1 << 20));
    EXPECT_GT(doc.materials.size(), 1000u);
    EXPECT_NE("", noteAbout(doc, 2, "no col(")) << "the first lines are still read";
    // At most 100 notes, the budget's own, and a count of the rest.
    ASSERT_EQ(102u, doc.skipped.size());
    EXPECT_NE(std::string::npos, doc.skipped[100].find("more records than its size allows"));
    EXPECT_NE(std::string::npos, doc.skipped[101].find("further notes left out"));

    std::string objects;
    while (objects.size() < 400000) objects += "Object\n";
    EXPECT_LE(parse(objects).objects.size() * sizeof(MqoObject), 16 * objects.size() + (1 << 20));
}

TEST(MqoParser, DocumentFilesAreReadWhole) {
    const std::string path = testing_support::tempPath("doc.mqo");
    std::ofstream(path, std::ios::binary) << "Material 1 {\n"
                                          << kMaterialLine << "}\n"
                                          << quadObject("3 V(0 1 2) M(0)\n");
    MqoDocument doc;
    ASSERT_TRUE(parseDocument(path, nullptr, 1.0f, doc));
    EXPECT_EQ(1u, doc.materials.size());
    EXPECT_EQ(1u, doc.objects[0].faces.size());
    EXPECT_EQ(path.substr(0, path.rfind('/') + 1), doc.directory);

    // Too large, or a folder: there but unreadable, told apart from missing.
    std::filesystem::resize_file(path, (size_t{256} << 20) + 1);  // sparse: no disk used
    std::string why;
    EXPECT_FALSE(parseDocument(path, nullptr, 1.0f, doc, &why));
    EXPECT_EQ("larger than 256 MiB", why);
    EXPECT_FALSE(parseDocument(::testing::TempDir(), nullptr, 1.0f, doc, &why));
    EXPECT_EQ("Is a directory", why);
    std::filesystem::remove(path);
    EXPECT_FALSE(parseDocument(path, nullptr, 1.0f, doc, &why));
    EXPECT_EQ("", why);
}

}  // namespace
}  // namespace kelmo
