// Loading documents from files against the real GL driver (under Xvfb): textures through the pool,
// static vertex buffers, and numbered series of documents.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/mqo_loader.h"
#include "tests/model/mqo_gl_window.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

// Material 0 red, material 1 textured with skin.bmp (alpha plane skin_a.tga), material 2 with a
// missing image; one square per object, from (x0, y0) to (x1, y1) in the plane z = 0.
std::string documentText(std::vector<std::vector<float>> squares) {
    const std::string common = " dif(0.800) amb(0.600) emi(0.000) spc(0.000) power(5.00)";
    std::string text =
        "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\nMaterial 3 {\r\n\t\"red\" col(1 0 0 1)" + common +
        "\r\n\t\"skin\" col(1 1 1 1)" + common +
        " tex(\"skin.bmp\") aplane(\"skin_a.tga\")\r\n\t\"gone\" col(1 1 1 1)" + common +
        " tex(\"gone.bmp\")\r\n}\r\n";
    for (const std::vector<float>& s : squares) {
        const std::string x0 = std::to_string(s[0]), y0 = std::to_string(s[1]);
        const std::string x1 = std::to_string(s[2]), y1 = std::to_string(s[3]);
        text += "Object \"o\" {\r\n\tvertex 4 {\r\n\t\t" + x0 + " " + y0 + " 0\r\n\t\t" + x0 + " " + y1 +
                " 0\r\n\t\t" + x1 + " " + y1 + " 0\r\n\t\t" + x1 + " " + y0 +
                " 0\r\n\t}\r\n\tface 1 {\r\n\t\t4 V(0 1 2 3) M(" + std::to_string(static_cast<int>(s[4])) +
                ") UV(0 0 0 1 1 1 1 0)\r\n\t}\r\n}\r\n";
    }
    return text + "Eof\r\n";
}

std::string image(int type, int depth) {  // 4 × 4: BMP when type is 0, else TGA
    std::string bytes(type == 0 ? 54 : 18, '\0');
    const auto put = [&bytes](size_t at, uint32_t value) {
        bytes[at] = static_cast<char>(value), bytes[at + 1] = 0;
    };
    if (type == 0)
        bytes[0] = 'B', bytes[1] = 'M', put(10, 54), put(14, 40), put(18, 4), put(22, 4), put(26, 1),
        put(28, 24);
    else
        put(2, static_cast<uint32_t>(type)), put(12, 4), put(14, 4), put(16, static_cast<uint32_t>(depth));
    return bytes + std::string(4 * 4 * depth / 8, '\x60');
}

std::vector<std::pair<long, long>> progressCalls;
void recordProgress(long done, long total) { progressCalls.emplace_back(done, total); }

class Loader : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kGlWindowSize);
        folder_ = tempPath("loader") + "/";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        resetView();
        progressCalls.clear();
        write("skin.bmp", image(0, 24));
        write("skin_a.tga", image(3, 8));
    }
    void TearDown() override { fs::remove_all(folder_); }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ + name, std::ios::binary) << bytes;
    }
    // Document n of a series has a square reaching x = n.
    void writeSeries(const char* format, std::initializer_list<int> numbers) {
        char name[64];
        for (int n : numbers) {
            std::snprintf(name, sizeof name, format, "s", n);
            write(name, documentText({{0, 0, static_cast<float>(n), 1, 0}}));
        }
    }
    static float maxX(const MqoSequence& sequence, int frame) {
        float corner[3] = {};
        return sequence.boundsMax(frame, corner) ? corner[0] : -1;
    }
    std::string folder_;
};

TEST_F(Loader, ModelsGetPoolTexturesAndBuffersAndDrawTheSameWithoutBuffers) {
    write("m.mqo",
          documentText({{-0.5f, -0.5f, 0, 0.5f, 0}, {0, -0.5f, 0.5f, 0.5f, 1}, {-1, -1, -0.5f, 0, 2}}));
    TexturePool pool;
    testing::internal::CaptureStdout();
    auto loader = std::make_unique<MqoLoader>(&pool);
    ASSERT_TRUE(loader->supportsBuffers()) << "Mesa offers GL_ARB_vertex_buffer_object";
    auto buffered = loader->loadModel(folder_ + "m.mqo", nullptr, 1.0f);
    auto plainLoader = std::make_unique<MqoLoader>(&pool, MqoLoader::Buffers::Never);
    EXPECT_FALSE(plainLoader->supportsBuffers());
    const auto plain = plainLoader->loadModel(folder_ + "m.mqo", nullptr, 1.0f);
    loader.reset();  // the pool was not the loaders'
    plainLoader.reset();
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(buffered && plain);
    EXPECT_NE(console.find(folder_ + "gone.bmp"), std::string::npos) << console;

    ASSERT_EQ(pool.entries().size(), 1u);
    EXPECT_EQ(pool.entries()[0].imagePath, folder_ + "skin.bmp");
    EXPECT_EQ(pool.entries()[0].alphaPath, folder_ + "skin_a.tga");
    EXPECT_TRUE(glIsTexture(pool.entries()[0].texture));
    const auto& objects = buffered->frames().at(0).objects;
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[1].batches.at(0).texture, pool.entries()[0].texture);
    EXPECT_EQ(plain->frames()[0].objects[1].batches.at(0).texture, pool.entries()[0].texture);
    EXPECT_EQ(objects[2].batches.at(0).texture, 0u);  // missing image: still textured, with texture 0
    GLint bound = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);

    const auto isBuffer = reinterpret_cast<PFNGLISBUFFERARBPROC>(glutGetProcAddress("glIsBufferARB"));
    std::vector<GLuint> names;
    for (const MeshObject& object : objects) names.push_back(object.batches.at(0).buffer.get());
    for (const MeshObject& object : plain->frames()[0].objects)
        EXPECT_EQ(object.batches.at(0).buffer.get(), 0u);
    for (GLuint name : names) EXPECT_TRUE(isBuffer(name)) << name;

    buffered->drawFrame(0, 255);
    const std::vector<int> fromBuffers = pixels();
    EXPECT_EQ(pixels(24, 32, 1, 1), (std::vector<int>{255, 0, 0}));
    resetView();
    plain->drawFrame(0, 255);
    EXPECT_EQ(pixels(), fromBuffers);
    buffered.reset();
    for (GLuint name : names) EXPECT_FALSE(isBuffer(name)) << name;
}

// A frame that changes hands takes its buffers with it: the one it left deletes nothing, and the
// buffers go once, with the frame.
TEST_F(Loader, AMovedFrameTakesItsBuffersAlong) {
    write("m.mqo", documentText({{-1, 2, 3, 4, 0}}));
    MqoLoader loader;
    if (!loader.supportsBuffers()) GTEST_SKIP() << "no vertex buffers";
    auto sequence = loader.loadModel(folder_ + "m.mqo", yUpToZUp, 1.0f);
    ASSERT_NE(sequence, nullptr);
    const auto isBuffer = reinterpret_cast<PFNGLISBUFFERARBPROC>(glutGetProcAddress("glIsBufferARB"));
    const GLuint name = sequence->frames().at(0).objects.at(0).batches.at(0).buffer.get();
    ASSERT_TRUE(isBuffer(name));
    {
        MqoModel moved = std::move(sequence->frames()[0]);
        sequence.reset();
        EXPECT_TRUE(isBuffer(name));
        EXPECT_EQ(moved.objects.at(0).batches.at(0).buffer.get(), name);
    }
    EXPECT_FALSE(isBuffer(name));
}

TEST_F(Loader, TransformAndScaleReachTheVerticesAndMissingFilesGiveNothing) {
    write("m.mqo", documentText({{-1, 2, 3, 4, 0}}));
    MqoLoader loader;
    const auto sequence = loader.loadModel(folder_ + "m.mqo", yUpToZUp, 2.0f);
    ASSERT_NE(sequence, nullptr);
    float low[3], high[3];
    ASSERT_TRUE(sequence->boundsMin(-1, low) && sequence->boundsMax(-1, high));
    EXPECT_EQ(std::vector<float>(low, low + 3), (std::vector<float>{-2, 0, 4}));  // (x, y, 0) -> 2·(x, 0, y)
    EXPECT_EQ(std::vector<float>(high, high + 3), (std::vector<float>{6, 0, 8}));
    EXPECT_EQ(loader.loadModel(folder_ + "absent.mqo", nullptr, 1.0f), nullptr);
}

TEST_F(Loader, SequencesFollowTheNumbersInSteps) {
    writeSeries("walk%s%03d.mqo", {1, 3});  // 002 is missing
    writeSeries("run%s%03d.mqo", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    MqoLoader loader;
    const auto walk =
        loader.loadSequence(folder_ + "walks", "%s%03d.mqo", 1, 3, 1, nullptr, 1, recordProgress);
    ASSERT_NE(walk, nullptr);
    ASSERT_EQ(walk->frameCount(), 2u);
    EXPECT_EQ(maxX(*walk, 0), 1.0f);
    EXPECT_EQ(maxX(*walk, 1), 3.0f);
    EXPECT_EQ(progressCalls, (std::vector<std::pair<long, long>>{{1, 3}, {2, 3}, {3, 3}}));
    const auto run = loader.loadSequence(folder_ + "runs", "%s%03d.mqo", 0, 10, 5, nullptr, 1);
    ASSERT_NE(run, nullptr);
    ASSERT_EQ(run->frameCount(), 3u);
    EXPECT_EQ(maxX(*run, 1), 5.0f);
    EXPECT_EQ(maxX(*run, 2), 10.0f);
    EXPECT_EQ(maxX(*run, -1), 10.0f);
}

TEST_F(Loader, EmptyRangesBadStepsRefusedFormatsAndLongPathsGiveNothing) {
    writeSeries("walk%s%03d.mqo", {0, 1, 4, 5});
    MqoLoader loader;
    const std::string base = folder_ + "walks";
    EXPECT_EQ(loader.loadSequence(base, "%s%03d.mqo", 5, 4, 1, nullptr, 1, recordProgress), nullptr);
    EXPECT_EQ(loader.loadSequence(base, "%s%03d.mqo", 0, 5, 0, nullptr, 1, recordProgress), nullptr);
    EXPECT_EQ(loader.loadSequence(base, "%s%03d.mqo", 4, 4, -2, nullptr, 1, recordProgress), nullptr);
    EXPECT_TRUE(progressCalls.empty());
    for (const char* format : {"%d%s", "%s%03d%s"})
        EXPECT_EQ(loader.loadSequence(base, format, 0, 1, 1, nullptr, 1), nullptr) << format;
    // A cut path could name another document: the number is skipped.
    EXPECT_EQ(loader.loadSequence(folder_ + std::string(260, 'w'), "%s%03d.mqo", 0, 1, 1, nullptr, 1),
              nullptr);
    const auto accepted = loader.loadSequence(base, "%s%03d.mqo", 0, 1, 1, nullptr, 1);
    ASSERT_NE(accepted, nullptr);
    EXPECT_EQ(accepted->frameCount(), 2u);
}

TEST_F(Loader, NumbersAtTheTopOfTheIntRangeEndTheLoop) {
    writeSeries("top%s%d", {0, INT_MAX - 1, INT_MAX});
    MqoLoader loader;
    const std::string base = folder_ + "tops";
    const auto last = loader.loadSequence(base, "%s%d", INT_MAX - 1, INT_MAX, 5, nullptr, 1, recordProgress);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->frameCount(), 1u);
    EXPECT_EQ(progressCalls, (std::vector<std::pair<long, long>>{{1, 1}}));
    const auto ends = loader.loadSequence(base, "%s%d", 0, INT_MAX, INT_MAX, nullptr, 1);
    ASSERT_NE(ends, nullptr);
    ASSERT_EQ(ends->frameCount(), 2u);
    EXPECT_EQ(maxX(*ends, 1), static_cast<float>(INT_MAX));
}

}  // namespace
}  // namespace kelmo
