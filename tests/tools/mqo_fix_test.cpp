// kelmo-mqo --fix on documents written for the test, read back as Kelmo reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "model/image_reader.h"
#include "model/mqo_parser.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_path.h"
#include "tools/polygon_split.h"
#include "tools/texture_convert.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

// A ten-pointed star: every other corner bends inwards.
std::vector<Point3> star(int points) {
    std::vector<Point3> corners;
    for (int i = 0; i < 2 * points; ++i) {
        const double r = i % 2 ? 4 : 10, a = M_PI / 2 + i * M_PI / points;
        corners.push_back({r * std::cos(a), r * std::sin(a), 0});
    }
    return corners;
}

double area(const Point3& a, const Point3& b, const Point3& c) {
    return 0.5 * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
}

// Fan splits of a concave face cover ground outside it (the triangles' areas then add up to more than
// the face's, or some turn the other way); a wrong plane or turning sense flips them all.
TEST(PolygonSplit, ConcaveFacesInAnyPlaneSplitInsideThemselvesKeepingTheirTurn) {
    for (int first = 0; first < 10; ++first) {
        std::vector<Point3> corners = star(5);
        std::rotate(corners.begin(), corners.begin() + first, corners.end());
        double faceArea = 0;
        for (size_t i = 0; i < corners.size(); ++i)
            faceArea += area({0, 0, 0}, corners[i], corners[(i + 1) % 10]);
        // The same star stood upright in the y-z plane, seen from +x.
        std::vector<Point3> upright;
        for (const Point3& p : corners) upright.push_back({0, p[0], p[1]});
        for (const auto& face : {corners, upright}) {
            const std::vector<CornerTriangle> triangles = splitPolygon(face);
            ASSERT_EQ(triangles.size(), 8u);
            double sum = 0;
            for (const CornerTriangle& t : triangles) {
                const double a = area(corners[t[0]], corners[t[1]], corners[t[2]]);
                EXPECT_GT(a, 0) << "triangle turns against its face";
                sum += a;
            }
            EXPECT_NEAR(sum, faceArea, 1e-9) << "triangles leave the face, starting at corner " << first;
        }
    }
    EXPECT_FALSE(quadSplitFallsOutside({{0, 0, 0}, {4, 0, 0}, {1, 1, 0}, {0, 4, 0}}));  // corner 2 bends in
    EXPECT_TRUE(quadSplitFallsOutside({{0, 4, 0}, {0, 0, 0}, {4, 0, 0}, {1, 1, 0}}));   // corner 3 does
}

class MqoFix : public testing::Test {
protected:
    void SetUp() override {
        folder_ = testing_support::tempPath("mqo_fix") + "/";
        fs::create_directories(folder_ + "out");
    }
    void TearDown() override { fs::remove_all(folder_); }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(folder_ + name, std::ios::binary) << text;
    }

    // Standard output; the exit status in status_.
    std::string run(const std::string& arguments) {
        const testing_support::CommandResult ran =
            testing_support::runCommand(std::string(KELMO_BINARY_DIR) + "/kelmo-mqo " + arguments + " 2>&1");
        status_ = ran.status;
        return ran.output;
    }

    // --fix on a document that comes out drawn whole (exit status 0); the console.
    std::string fix(const std::string& in) {
        const std::string console = run("--fix '" + folder_ + in + "' -o '" + folder_ + "out/fixed.mqo'");
        EXPECT_EQ(status_, 0) << console;
        return console;
    }

    // The fixed document as Kelmo reads it, with the document's own axes.
    MqoDocument fixed() {
        MqoDocument document;
        EXPECT_TRUE(parseDocument(folder_ + "out/fixed.mqo", nullptr, 1.0f, document));
        return document;
    }

    std::string folder_;
    int status_ = -1;
    const bool display_ = std::getenv("DISPLAY") != nullptr;
};

std::string header(const std::string& materials) {
    return "Metasequoia Document\r\nFormat Text Ver 1.1\r\n\r\nScene {\r\n\tpos 0.0 0.0 1500.0\r\n}\r\n" +
           materials;
}

TEST_F(MqoFix, StarAndConcaveQuadBecomeTrianglesThatKelmoDrawsInsideTheFace) {
    std::string doc =
        header("Material 1 {\r\n\t\"m\" col(1 1 1 1) dif(0.8) amb(0.6) emi(0) spc(0) power(5)\r\n}\r\n");
    doc += "Object \"star\" {\r\n\tvisible 15\r\n\tvertex 14 {\r\n";
    char line[96];
    for (const Point3& p : star(5)) {
        std::snprintf(line, sizeof line, "\t\t%.4f %.4f 0.0000\r\n", p[0], p[1]);
        doc += line;
    }
    doc +=
        "\t\t20 0 0\r\n\t\t24 0 0\r\n\t\t21 1 0\r\n\t\t20 4 0\r\n\t}\r\n\tface 2 {\r\n\t\t10 V(0 1 2 3 4 5 6 "
        "7 8 9) M(0) "
        "UV(0 0 1 0 2 0 3 0 4 0 5 0 6 0 7 0 8 0 9 0) CRS(0 0 0 0 0 0 0 0 0 0)\r\n"
        "\t\t4 V(13 10 11 12) M(0) UV(13 0 10 0 11 0 12 0)\r\n\t}\r\n}\r\nEof\r\n";
    write("star.mqo", doc);
    const std::string console = fix("star.mqo");
    EXPECT_NE(console.find("object \"star\": 1 face(s) of more than four corners split into 8 triangles"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("object \"star\": 1 concave quadrilateral(s) turned"), std::string::npos)
        << console;

    const MqoDocument document = fixed();
    EXPECT_TRUE(document.skipped.empty()) << document.skipped[0];
    ASSERT_EQ(document.objects.size(), 1u);
    const MqoObject& object = document.objects[0];
    ASSERT_EQ(object.faces.size(), 10u);
    double starArea = 0, quadArea = 0;
    const auto at = [&](int v) {
        return Point3{object.vertices[3 * v], object.vertices[3 * v + 1], object.vertices[3 * v + 2]};
    };
    for (const MqoFace& face : object.faces) {
        const double a = area(at(face.v[0]), at(face.v[1]), at(face.v[2]));
        EXPECT_GT(a, 0);
        (face.v[0] < 10 ? starArea : quadArea) += a;
        EXPECT_EQ(face.material, 0);
        // Each corner keeps its own UV: u is the vertex's index.
        for (int k = 0; k < 3; ++k) EXPECT_EQ(face.uv[2 * k], static_cast<float>(face.v[k]));
    }
    double expected = 0;
    const std::vector<Point3> corners = star(5);
    for (size_t i = 0; i < 10; ++i) expected += area({0, 0, 0}, corners[i], corners[(i + 1) % 10]);
    EXPECT_NEAR(starArea, expected, 1e-3);
    EXPECT_NEAR(quadArea, 4.0, 1e-5) << "the quadrilateral's triangles leave it";
}

// The right half of a box corner: a top facing up and a wall facing +x; vertex 0 lies 0.05 off the
// mirror plane, vertex 3 on it.
TEST_F(MqoFix, MirroredHalfBecomesBothHalvesJoinedAtTheSeamAndFacingOutwards) {
    write("half.mqo",
          header("") +
              "Object \"half\" {\r\n\tvisible 15\r\n\tmirror 2\r\n\tmirror_axis 1\r\n\tmirror_dis 0.100\r\n"
              "\tvertex 6 {\r\n\t\t0.0500 0.0000 0.0000\r\n\t\t5.0000 0.0000 0.0000\r\n\t\t5.0000 5.0000 "
              "0.0000\r\n\t\t0.0000 5.0000 0.0000\r\n\t\t5.0000 0.0000 -5.0000\r\n\t\t5.0000 5.0000 "
              "-5.0000\r\n\t}\r\n\tface 2 {\r\n\t\t4 V(0 1 2 3) UV(0 0 1 0 1 1 0 1)\r\n"
              "\t\t4 V(1 4 5 2) UV(0 0 1 0 1 1 0 1)\r\n\t}\r\n}\r\nEof\r\n");
    const std::string console = fix("half.mqo");
    EXPECT_NE(
        console.find("object \"half\": mirrored across x (halves joined, 2 vertices within 0.1 of the plane "
                     "moved onto it and shared): 4 vertices and 2 faces added"),
        std::string::npos)
        << console;
    std::ifstream written(folder_ + "out/fixed.mqo", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("mirror"), std::string::npos) << "a reader that mirrors would double the copy";

    const MqoDocument document = fixed();
    ASSERT_EQ(document.objects.size(), 1u);
    const MqoObject& object = document.objects[0];
    ASSERT_EQ(object.vertexCount, 10);
    ASSERT_EQ(object.faces.size(), 8u);
    for (int v = 0; v < object.vertexCount; ++v) {
        const float x = std::fabs(object.vertices[3 * v]);
        EXPECT_TRUE(x == 0 || x == 5) << "vertex " << v << " at x = " << object.vertices[3 * v];
    }
    for (const MqoFace& face : object.faces) {
        Point3 p[3];
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c) p[k][c] = object.vertices[3 * face.v[k] + c];
        const Point3 e1 = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const Point3 e2 = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const double nx = e1[1] * e2[2] - e1[2] * e2[1], nz = e1[0] * e2[1] - e1[1] * e2[0];
        if (std::fabs(nz) > std::fabs(nx))
            EXPECT_GT(nz, 0) << "the top faces down";
        else
            EXPECT_GT(nx * (p[0][0] + p[1][0] + p[2][0]), 0) << "a wall faces inwards";
    }

    // The document itself is never the output.
    const std::string half = folder_ + "half.mqo";
    const auto size = fs::file_size(half);
    const std::string refused = run("--fix '" + half + "' -o '" + folder_ + "./half.mqo'");
    EXPECT_EQ(status_, 2) << refused;
    EXPECT_EQ(fs::file_size(half), size);
}

// Red over blue, 709 × 299, and an alpha plane of another size: clear on the left, solid on the right.
// The second material's line is too long for the reader and names the alpha plane too.
TEST_F(MqoFix, JpegTextureAndAlphaPlaneBecomeSquareTgaFilesThatKelmoLoads) {
    cv::Mat photo(299, 709, CV_8UC3, cv::Scalar(255, 0, 0));
    photo.rowRange(0, 150).setTo(cv::Scalar(0, 0, 255));
    ASSERT_TRUE(cv::imwrite(folder_ + "photo.jpg", photo));
    cv::Mat plane(100, 100, CV_8UC1, cv::Scalar(255));
    plane.colRange(0, 50).setTo(cv::Scalar(0));
    ASSERT_TRUE(cv::imwrite(folder_ + "photo_a.png", plane));
    write(
        "tex.mqo",
        header("Material 2 {\r\n\t\"photo\" shader(3) col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) "
               "emi(0.000) "
               "spc(0.000) power(5.00) tex(\"photo.jpg\")\r\n"
               "\t\"cutout\" shader(3) vcol(1) dbls(1) col(1.000 0.500 0.000 1.000) dif(0.800) amb(0.600) "
               "emi(0.000) spc(0.000) power(5.00) amb_col(0.600 0.600 0.600) emi_col(0.000 0.000 0.000) "
               "spc_col(0.000 0.000 0.000) reflect(0.000) refract(1.000) tex(\"photo.jpg\") "
               "aplane(\"photo_a.png\") "
               "bump(\"bump.png\") proj_type(1) proj_pos(0.000 0.000 0.000) proj_scale(1.000 1.000 1.000) "
               "proj_angle(0.000 0.000 0.000)\r\n}\r\n") +
            "Object \"card\" {\r\n\tvertex 4 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t1 1 0\r\n\t\t0 1 0\r\n\t}\r\n"
            "\tface 2 {\r\n\t\t3 V(0 1 2) M(0) UV(0 1 1 1 1 0)\r\n\t\t3 V(0 2 3) M(1) UV(0 1 1 0 0 "
            "0)\r\n\t}\r\n}\r\n"
            "Eof\r\n");
    const std::string console = fix("tex.mqo");
    for (const char* line : {"material 0 \"photo\": texture photo.jpg (709 x 299) -> photo.tga (512 x 512)\n",
                             "material 1 \"cutout\": texture photo.jpg and alpha plane photo_a.png (709 x "
                             "299) -> photo_1.tga (512 x "
                             "512, with alpha)\n",
                             "material 1 \"cutout\": dropped bump(\"bump.png\") proj_type(1) proj_pos("})
        EXPECT_NE(console.find(line), std::string::npos) << line << " not in\n" << console;

    const MqoDocument document = fixed();
    EXPECT_TRUE(document.skipped.empty()) << document.skipped[0];
    ASSERT_EQ(document.materials.size(), 2u);
    EXPECT_STREQ(document.materials[0].textureName, "photo.tga");
    EXPECT_STREQ(document.materials[1].textureName, "photo_1.tga");
    EXPECT_STREQ(document.materials[1].alphaName, "");
    EXPECT_EQ(document.materials[1].dif[1], 0.4f);  // what Kelmo reads of the shortened line stays
    EXPECT_EQ(document.materials[1].power, 5.0f);

    // Kelmo's own reader: top of the picture at t = 0, alpha from the plane.
    for (const char* name : {"photo.tga", "photo_1.tga"}) {
        std::string path = folder_ + "out/" + name, none;
        RgbaImage image;
        ASSERT_TRUE(readImage(path, none, image)) << name;
        ASSERT_EQ(image.size, 512);
        const uint8_t* top = &image.pixels[4 * 500];
        const uint8_t* bottom = &image.pixels[(511 * 512 + 500) * 4];
        EXPECT_GT(top[0], 200);
        EXPECT_LT(top[2], 60);
        EXPECT_GT(bottom[2], 200);
        EXPECT_LT(bottom[0], 60);
        const bool cut = std::string(name) == "photo_1.tga";
        EXPECT_EQ(image.pixels[3], cut ? 0 : 255) << name;
        EXPECT_EQ(top[3], 255) << name;
        EXPECT_GT(image.pixels[4 * 3], 150) << "colour kept under the clear part";
    }

    if (!display_) GTEST_SKIP() << "no X display: texture loading not checked";
    const std::string json = run("--json '" + folder_ + "out/fixed.mqo'");
    EXPECT_NE(json.find("\"loaded\":true},{"), std::string::npos) << json;
    EXPECT_EQ(json.find("\"loaded\":false"), std::string::npos) << json;
    EXPECT_NE(json.find("\"drawnTriangles\":2,"), std::string::npos) << json;
}

// A run-length coded, top-down, 3 × 2 TGA: red red green over blue blue blue.
TEST_F(MqoFix, RunLengthTopDownTgaSourcesConvertTheRightWayUp) {
    const std::string tga = std::string("\0\0\x0a", 3) + std::string(9, '\0') +
                            std::string("\x03\0\x02\0\x18\x20", 6) +
                            std::string("\x81\0\0\xff\x00\0\xff\0\x82\xff\0\0", 12);
    write("rle.tga", tga);
    ConvertedTexture converted;
    std::string why;
    ASSERT_TRUE(convertTexture(folder_ + "rle.tga", "", folder_ + "square.tga", converted, why)) << why;
    EXPECT_EQ(converted.edge, 4);
    std::string path = folder_ + "square.tga", none;
    RgbaImage image;
    ASSERT_TRUE(readImage(path, none, image));
    EXPECT_EQ(image.pixels[0], 255);  // top left red
    EXPECT_EQ(image.pixels[2], 0);
    EXPECT_EQ(image.pixels[4 * 3 + 1], 255);   // top right green
    EXPECT_EQ(image.pixels[4 * 15 + 2], 255);  // bottom right blue
}

}  // namespace
}  // namespace kelmo
