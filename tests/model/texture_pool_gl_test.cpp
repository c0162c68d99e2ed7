// The texture pool against the real GL driver (under Xvfb): sharing, names, upload and clean-up.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "model/image_reader.h"
#include "model/texture_pool.h"
#include "tests/model/image_files.h"
#include "tests/model/mqo_gl_window.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

using namespace testing_support;

GLint integer(GLenum name) {
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

class TexturePoolGl : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kGlWindowSize);
        ASSERT_TRUE(writeFile(colour, tgaFile({2, 24, 4, 4}, 1)));
        ASSERT_TRUE(writeFile(alpha, tgaFile({3, 8, 4, 4}, 2)));
        ASSERT_TRUE(writeFile(odd, bmpFile({3, 3}, 3)));  // padded rows in the file, none in the texture
        ASSERT_TRUE(writeFile(face, bmpFile({2, 2}, 4)));
    }
    void TearDown() override {
        for (const std::string& path : {colour, alpha, odd, face}) std::remove(path.c_str());
    }
    // With copies of the paths, as the model loader passes buffers of its own.
    uint32_t request(std::string image, std::string alphaPlane = "") {
        testing::internal::CaptureStdout();
        const uint32_t texture = pool->getTexture(image, alphaPlane);
        console += testing::internal::GetCapturedStdout();
        return texture;
    }

    const std::string colour = tempPath("colour.tga"), alpha = tempPath("alpha.tga"),
                      odd = tempPath("odd.bmp"), face = tempPath("face.bmp");
    std::unique_ptr<TexturePool> pool = std::make_unique<TexturePool>();
    std::string console;
};

TEST_F(TexturePoolGl, EachPairIsLoadedOnceAndAnAbsentPathMatchesAnyStoredOne) {
    const uint32_t merged = request(colour, alpha);
    ASSERT_NE(merged, 0u) << console;
    EXPECT_EQ(request(colour, alpha), merged);
    EXPECT_EQ(request(colour), merged);
    EXPECT_EQ(request("", alpha), merged);
    ASSERT_EQ(pool->entries().size(), 1u);
    const TextureEntry& entry = pool->entries()[0];
    EXPECT_EQ(entry.texture, merged);
    EXPECT_EQ(entry.size, 4);
    EXPECT_EQ(entry.imagePath, colour);
    EXPECT_EQ(entry.alphaPath, alpha);

    // face.BMP is read as face.bmp and stored so: asking for face.BMP again loads it again.
    std::string upper = tempPath("face.BMP"), none;
    const uint32_t first = pool->getTexture(upper, none);
    EXPECT_EQ(upper, face);
    const uint32_t second = request(tempPath("face.BMP"));
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_EQ(request(face), first);
    EXPECT_EQ(pool->entries().size(), 3u);
    EXPECT_EQ(pool->entries()[1].imagePath, face);
    EXPECT_EQ(console, "");
}

TEST_F(TexturePoolGl, UploadsLinearRgba8ThatReadsBackAsTheImageAndRestoresTheBinding) {
    GLuint mine = 0;
    glGenTextures(1, &mine);
    glBindTexture(GL_TEXTURE_2D, mine);
    const uint32_t textures[] = {request(odd), request(colour, alpha)};
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), GLint(mine));
    EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 1);
    EXPECT_EQ(integer(GL_PACK_ALIGNMENT), 1);
    const std::string images[][2] = {{odd, ""}, {colour, alpha}};
    for (int k = 0; k < 2; ++k) {
        std::string image = images[k][0], alphaPlane = images[k][1];
        RgbaImage expected;
        ASSERT_TRUE(readImage(image, alphaPlane, expected));
        glBindTexture(GL_TEXTURE_2D, textures[k]);
        GLint width = 0, height = 0, format = 0, magFilter = 0, minFilter = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        EXPECT_EQ(width, expected.size);
        EXPECT_EQ(height, expected.size);
        EXPECT_EQ(format, GL_RGBA8);
        EXPECT_EQ(magFilter, GL_LINEAR);
        EXPECT_EQ(minFilter, GL_LINEAR);
        Bytes pixels(expected.pixels.size(), 0xCD);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        EXPECT_EQ(pixels, expected.pixels) << image;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_NE(request(face), 0u);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);
    glDeleteTextures(1, &mine);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TexturePoolGl, FailedReadsAddNothingAndTheDestructorDeletesEveryTexture) {
    const std::string missing = tempPath("missing.tga");
    EXPECT_EQ(request(missing), 0u);
    EXPECT_EQ(console, "texturePool:テクスチャ読み込みエラー[" + missing + "]\n");
    EXPECT_EQ(request("", alpha), 0u);  // an alpha plane alone makes no texture
    EXPECT_TRUE(pool->entries().empty());

    const uint32_t a = request(colour, alpha), b = request(odd);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_TRUE(glIsTexture(a) && glIsTexture(b));
    pool.reset();
    EXPECT_FALSE(glIsTexture(a));
    EXPECT_FALSE(glIsTexture(b));
}

// A driver whose limit is below the image: the upload would fail and leave the material black.
TEST_F(TexturePoolGl, AnImageLargerThanTheDriverTakesIsAReadError) {
    pool = std::make_unique<TexturePool>(2);
    EXPECT_NE(request(face), 0u);  // 2 x 2: at the limit
    EXPECT_EQ(console, "");
    EXPECT_EQ(request(colour), 0u);  // 4 x 4
    EXPECT_EQ(console, "texturePool:テクスチャ読み込みエラー[" + colour + "]\n");
    EXPECT_EQ(pool->entries().size(), 1u);
}

}  // namespace
}  // namespace kelmo
