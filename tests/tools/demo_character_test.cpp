// kelmo-demo-character's output read back by the parser: loops numbered as demo/Kelmo.ini expects,
// texture files that exist, closed parts whose faces point outwards, feet on the marker.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "model/mqo_parser.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

struct Loop {
    const char* name;
    int frames;  // END in Kelmo.ini is frames − 1
};
const Loop kLoops[] = {{"stay", 30}, {"walk", 24}, {"run", 20}};

std::string framePath(const std::string& folder, const char* name, int frame) {
    char file[64];
    std::snprintf(file, sizeof file, "%s%03d.mqo", name, frame);
    return folder + "/" + file;
}

class DemoCharacter : public testing::Test {
protected:
    void SetUp() override {
        folder_ = testing_support::tempPath("demo_character");
        fs::remove_all(folder_);
        const std::string command =
            std::string(KELMO_BINARY_DIR) + "/kelmo-demo-character '" + folder_ + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    void TearDown() override { fs::remove_all(folder_); }

    MqoDocument read(const std::string& path, VertexTransform transform = nullptr) {
        MqoDocument document;
        EXPECT_TRUE(parseDocument(path, transform, 1.0f, document)) << path;
        return document;
    }

    std::string folder_;
};

TEST_F(DemoCharacter, WritesEachLoopNumberedFromZero) {
    for (const Loop& loop : kLoops) {
        for (int frame = 0; frame < loop.frames; ++frame)
            EXPECT_TRUE(fs::exists(framePath(folder_, loop.name, frame))) << loop.name << " " << frame;
        EXPECT_FALSE(fs::exists(framePath(folder_, loop.name, loop.frames))) << loop.name;
    }
}

TEST_F(DemoCharacter, DocumentsReadWholeAndNameOnlyTheirOwnImages) {
    for (const Loop& loop : kLoops)
        for (int frame = 0; frame < loop.frames; ++frame) {
            const std::string path = framePath(folder_, loop.name, frame);
            const MqoDocument document = read(path);
            EXPECT_TRUE(document.skipped.empty()) << path << ": " << document.skipped.front();
            EXPECT_GE(document.materials.size(), 3u) << path;
            EXPECT_GE(document.objects.size(), 2u) << path;
            int textured = 0;
            for (const MqoMaterial& m : document.materials) {
                if (!m.useTexture) continue;
                ++textured;
                EXPECT_TRUE(fs::exists(document.directory + m.textureName)) << path << ": " << m.textureName;
                EXPECT_TRUE(m.alphaName[0] != '\0' && fs::exists(document.directory + m.alphaName))
                    << path << ": " << m.alphaName;
            }
            EXPECT_GT(textured, 0) << path;
            for (const MqoObject& object : document.objects)
                for (const MqoFace& face : object.faces) {
                    ASSERT_GE(face.material, 0) << path;
                    ASSERT_LT(face.material, static_cast<int>(document.materials.size())) << path;
                }
        }
}

// Every edge is met once in each direction (closed, consistently wound), and each connected part
// encloses a positive volume when counted with the face normal the drawing uses, (P0 − P1) × (P2 − P1):
// a part wound the wrong way round would be lit from inside.
TEST_F(DemoCharacter, EveryPartIsClosedWithOutwardFaces) {
    for (const Loop& loop : kLoops)
        for (int frame = 0; frame < loop.frames; ++frame) {
            const std::string path = framePath(folder_, loop.name, frame);
            for (const MqoObject& object : read(path).objects) {
                const std::string where = path + " " + object.name;
                std::map<std::pair<int, int>, int> edges;
                std::vector<int> part(object.vertexCount);
                std::iota(part.begin(), part.end(), 0);
                std::function<int(int)> root = [&](int v) {
                    return part[v] == v ? v : part[v] = root(part[v]);
                };
                for (const MqoFace& f : object.faces)
                    for (int k = 0; k < 3; ++k) {
                        ++edges[{f.v[k], f.v[(k + 1) % 3]}];
                        part[root(f.v[k])] = root(f.v[(k + 1) % 3]);
                    }
                for (const auto& [edge, count] : edges) {
                    ASSERT_EQ(count, 1) << where << ": edge " << edge.first << "-" << edge.second;
                    ASSERT_EQ(edges.count({edge.second, edge.first}), 1u)
                        << where << ": open edge " << edge.first << "-" << edge.second;
                }
                std::map<int, double> volume;
                auto at = [&](int v) { return &object.vertices[3 * v]; };
                for (const MqoFace& f : object.faces) {
                    const float *p0 = at(f.v[0]), *p1 = at(f.v[1]), *p2 = at(f.v[2]);
                    const double a[3] = {p0[0] - p1[0], p0[1] - p1[1], p0[2] - p1[2]};
                    const double b[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
                    const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                         a[0] * b[1] - a[1] * b[0]};
                    volume[root(f.v[0])] += (p1[0] * n[0] + p1[1] * n[1] + p1[2] * n[2]) / 6.0;
                }
                for (const auto& [first, v] : volume)
                    EXPECT_GT(v, 0.0) << where << ": part of vertex " << first;
            }
        }
}

// Turned z-up as the program loads it: the lowest sole of each loop touches the marker plane, and
// the figure is about as tall as the 80-unit marker is wide.
TEST_F(DemoCharacter, StandsOnTheMarker) {
    for (const Loop& loop : kLoops) {
        float low = 1e9f, high = -1e9f;
        for (int frame = 0; frame < loop.frames; ++frame)
            for (const MqoObject& object : read(framePath(folder_, loop.name, frame), yUpToZUp).objects)
                for (int v = 0; v < object.vertexCount; ++v) {
                    low = std::min(low, object.vertices[3 * v + 2]);
                    high = std::max(high, object.vertices[3 * v + 2]);
                }
        EXPECT_NEAR(low, 0.0f, 1e-3f) << loop.name;
        EXPECT_GT(high - low, 60.0f) << loop.name;
        EXPECT_LT(high - low, 80.0f) << loop.name;
    }
}

}  // namespace
}  // namespace kelmo
