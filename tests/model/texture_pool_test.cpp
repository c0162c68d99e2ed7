// The texture image reader without GL: formats, the two passes, messages and malformed files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

#include "model/image_reader.h"
#include "tests/model/image_files.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

using namespace testing_support;

std::string readError(const std::string& path) {
    return "texturePool:テクスチャ読み込みエラー[" + path + "]\n";
}
std::string badFormat(const std::string& path) {
    return "このテクスチャは対応できないフォーマット→" + path + "\n";
}
std::string badAlpha(const std::string& path) { return "アルファのファイルに対応できない→" + path + "\n"; }

struct Decoded {
    bool ok = false;
    RgbaImage image;
    std::string console;
};

// Null bytes: the file could not be opened. An empty path skips the pass.
Decoded decode(const std::string& colourPath, const Bytes* colour, const std::string& alphaPath = "",
               const Bytes* alpha = nullptr) {
    const auto file = [](const std::string& path, const Bytes* bytes) {
        return ImageFile{path, bytes != nullptr, bytes ? bytes->data() : nullptr, bytes ? bytes->size() : 0};
    };
    Decoded d;
    testing::internal::CaptureStdout();
    d.ok = decodeImage(file(colourPath, colour), file(alphaPath, alpha), d.image);
    d.console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(d.ok, d.image.size > 0);
    EXPECT_EQ(d.image.pixels.size(), size_t(d.image.size) * d.image.size * 4);
    return d;
}

// Files of 2 × 2 pixels (B, G, R[, A]) bottom-up, and the image they give: rows reversed, RGBA.
const Bytes kBgr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const Bytes kBgra = {1, 2, 3, 40, 4, 5, 6, 50, 7, 8, 9, 60, 10, 11, 12, 70};
const Bytes kRgbOpaque = {9, 8, 7, 255, 12, 11, 10, 255, 3, 2, 1, 255, 6, 5, 4, 255};
const Bytes kRgbAlpha = {9, 8, 7, 60, 12, 11, 10, 70, 3, 2, 1, 40, 6, 5, 4, 50};

TEST(ImageFormat, TgaPngJpgAreRecognisedInAnyCaseAndEveryOtherExtensionBecomesBmp) {
    const char* const cases[][2] = {
        {"t/face.tga", "t/face.tga"}, {"f.TgA", "f.TgA"},       {"f.PNG", "f.PNG"},   {"f.jpg", "f.jpg"},
        {"f.BMP", "f.bmp"},           {"face.dds", "face.bmp"}, {"f.jpeg", "f.jbmp"}, {"ab", "ab"}};
    for (const auto& c : cases) {
        std::string path = c[0];
        const ImageFormat format = imageFormatOf(path);
        EXPECT_EQ(rewriteImageExtension(path), format);
        EXPECT_EQ(path, c[1]);
    }
    EXPECT_EQ(imageFormatOf("f.TgA"), ImageFormat::Tga);
    EXPECT_EQ(imageFormatOf("f.PNG"), ImageFormat::Png);
    EXPECT_EQ(imageFormatOf("f.jpg"), ImageFormat::Jpg);
}

TEST(ColourImage, TgaRowsAreReversedWithAlpha255Or32BitAlphaAndTheIdFieldSkipped) {
    const Bytes tga24 = tgaFile({2, 24}, kBgr), tga32 = tgaFile({2, 32, 2, 2, 255}, kBgra);
    Decoded d = decode("c.tga", &tga24);
    EXPECT_EQ(d.image.pixels, kRgbOpaque);
    EXPECT_EQ(d.console, "");
    EXPECT_EQ(decode("c.tga", &tga32).image.pixels, kRgbAlpha);
}

TEST(ColourImage, BmpRowsPaddedToFourBytesAreFoundThroughTheDataOffset) {
    for (int size = 1; size <= 5; ++size) {
        const Bytes rows = patternBytes(size_t(size) * size * 3);
        Bytes file = bmpFile({size, size}, rows);
        file.resize(file.size() - (4 - size * 3 % 4) % 4);  // the last row's padding is optional
        const Decoded d = decode("c.bmp", &file);
        ASSERT_TRUE(d.ok) << size;
        for (int j = 0; j < size; ++j)
            for (int i = 0; i < size; ++i) {
                const uint8_t* in = &rows[(size_t(j) * size + i) * 3];
                const uint8_t* out = &d.image.pixels[(size_t(size - 1 - j) * size + i) * 4];
                EXPECT_EQ(Bytes(out, out + 4), Bytes({in[2], in[1], in[0], 255}))
                    << size << " " << i << "," << j;
            }
    }
    Bmp v5, gap;
    v5.infoBytes = 124;  // pixels at 138, not 54
    gap.dataOffset = 70;
    for (const Bmp& spec : {v5, gap}) {
        const Bytes file = bmpFile(spec, kBgr);
        EXPECT_EQ(decode("c.bmp", &file).image.pixels, kRgbOpaque);
    }
}

TEST(ColourImage, PngJpgOrMissingGiveNoImageEvenWithAnAlphaPlane) {
    const Bytes png = {0x89, 'P', 'N', 'G'}, alpha = tgaFile({3, 8});
    const std::pair<std::string, const Bytes*> cases[] = {
        {"c.png", &png}, {"c.JPG", &png}, {"gone.tga", nullptr}, {"gone.bmp", nullptr}};
    for (const auto& [path, bytes] : cases) {
        const std::string message = bytes ? badFormat(path) : readError(path);
        EXPECT_EQ(decode(path, bytes).console, message);
        const Decoded d = decode(path, bytes, "a.tga", &alpha);
        EXPECT_FALSE(d.ok) << path;
        EXPECT_EQ(d.console, message);
    }
    EXPECT_FALSE(decode("", nullptr, "a.tga", &alpha).ok);
}

TEST(AlphaPlane, Grey8Or32BitTgaGoesIntoAlphaLeavingTheColour) {
    Bytes bgra99 = kBgra;
    for (size_t k = 3; k < bgra99.size(); k += 4) bgra99[k] = 99;
    const Bytes colour24 = tgaFile({2, 24}, kBgr), colour32 = tgaFile({2, 32}, bgra99);
    const Bytes grey = tgaFile({3, 8}, {40, 50, 60, 70});
    const Bytes tga32 = tgaFile({2, 32, 2, 2, 3}, {0, 0, 0, 40, 0, 0, 0, 50, 0, 0, 0, 60, 0, 0, 0, 70});
    for (const Bytes* colour : {&colour24, &colour32})
        for (const Bytes* alpha : {&grey, &tga32}) {
            const Decoded d = decode("c.tga", colour, "a.TGA", alpha);
            EXPECT_EQ(d.image.pixels, kRgbAlpha);
            EXPECT_EQ(d.console, "");
        }
}

TEST(AlphaPlane, OtherKindsAreSkippedAndOtherSizesFailTheRead) {
    const Bytes colour = bmpFile({4, 4}), plain = decode("c.bmp", &colour).image.pixels;
    const Bytes runLength = tgaFile({11, 8, 4, 4}, {0x8F, 7}), tga24 = tgaFile({2, 24, 4, 4}),
                grey16 = tgaFile({3, 16, 4, 4}), png = {0x89, 'P'};
    const std::tuple<std::string, const Bytes*, std::string> skipped[] = {
        {"a.tga", &runLength, ""},
        {"a.tga", &tga24, ""},
        {"a.tga", &grey16, ""},
        {"a.png", &png, badFormat("a.png")},
        {"a.bmp", &tga24, badAlpha("a.bmp")},
        {"a.jpg", &png, badAlpha("a.jpg")},
        {"gone.tga", nullptr, readError("gone.tga")}};
    for (const auto& [path, bytes, message] : skipped) {
        const Decoded d = decode("c.bmp", &colour, path, bytes);
        EXPECT_EQ(d.image.pixels, plain) << path;
        EXPECT_EQ(d.console, message);
    }
    const Bytes big = bmpFile({64, 64}), grey32 = tgaFile({3, 8, 32, 32}),
                tga24Of32 = tgaFile({2, 24, 32, 32}), grey65 = tgaFile({3, 8, 65, 65});
    for (const Bytes* alpha : {&grey32, &tga24Of32, &grey65}) {
        const Decoded d = decode("c.bmp", &big, "a.tga", alpha);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.console, "");
    }
}

Bytes cut(Bytes bytes, size_t count) {
    bytes.resize(bytes.size() - count);
    return bytes;
}

TEST(MalformedFile, IsRefusedWithTheReadErrorAndNoImage) {
    Bmp header12, offsetInHeader, topDown, rle, depth32;
    header12.infoBytes = 12;
    offsetInHeader.dataOffset = 50;
    topDown.height = -2;
    rle.compression = 1;
    depth32.bitCount = 32;
    Bytes notBm = bmpFile({}), offsetPastEnd = bmpFile({});
    notBm[0] = 'X';
    putLe(offsetPastEnd, 10, 0xFFFFFFF0u, 4);
    const std::pair<const char*, Bytes> colourTgas[] = {
        {"empty", {}},
        {"short header", Bytes(17, 0)},
        {"one byte short", cut(tgaFile({2, 32, 3, 3}), 1)},
        {"id field not counted", cut(tgaFile({2, 24, 2, 2, 200}), 1)},
        {"higher than wide", tgaFile({2, 24, 2, 3})},
        {"zero size", tgaFile({2, 24, 0, 0})},
        {"larger than 8192", tgaFile({2, 32, 8193, 8193}, Bytes(64, 0))},
        {"run-length", tgaFile({10, 24})},
        {"16 bits", tgaFile({2, 16})},
        {"grey", tgaFile({3, 8})},
        {"colour map", tgaFile({2, 24, 2, 2, 0, 1})},
    };
    const std::pair<const char*, Bytes> bmps[] = {
        {"short header", Bytes(53, 0)},
        {"last row short", cut(bmpFile({3, 3}), 4)},
        {"not BM", notBm},
        {"12-byte header", bmpFile(header12)},
        {"offset in header", bmpFile(offsetInHeader)},
        {"offset past end", offsetPastEnd},
        {"higher than wide", bmpFile({2, 3})},
        {"top-down", bmpFile(topDown)},
        {"zero size", bmpFile({0, 0})},
        {"larger than 8192", bmpFile({8193, 8193}, Bytes{})},
        {"negative", bmpFile({-0x7FFFFFFF, -0x7FFFFFFF}, Bytes{})},
        {"compressed", bmpFile(rle)},
        {"32 bits", bmpFile(depth32)},
    };
    const std::pair<const char*, Bytes> alphaTgas[] = {
        {"short header", Bytes(17, 0)},
        {"one byte short", cut(tgaFile({3, 8}), 1)},
        {"32 bits one byte short", cut(tgaFile({2, 32}), 1)},
        {"wider than high", tgaFile({3, 8, 2, 1})},
        {"larger than 8192", tgaFile({3, 8, 9000, 9000}, Bytes(4, 0))},
        {"colour map", tgaFile({3, 8, 2, 2, 0, 1})},
    };
    const Bytes goodTga = tgaFile({}), goodBmp = bmpFile({});
    for (const auto& [what, bytes] : colourTgas) {
        const Decoded d = decode("bad.tga", &bytes, "a.tga", &goodTga);
        EXPECT_FALSE(d.ok) << what;
        EXPECT_EQ(d.console, readError("bad.tga")) << what;  // the alpha pass does not run
    }
    for (const auto& [what, bytes] : bmps) {
        const Decoded d = decode("bad.bmp", &bytes);
        EXPECT_FALSE(d.ok) << what;
        EXPECT_EQ(d.console, readError("bad.bmp")) << what;
    }
    for (const auto& [what, bytes] : alphaTgas) {
        const Decoded d = decode("c.bmp", &goodBmp, "bad.tga", &bytes);
        EXPECT_FALSE(d.ok) << what;
        EXPECT_EQ(d.console, readError("bad.tga")) << what;
    }
}

TEST(ReadImage, RewritesThePathsInPlaceAndReportsFilesUnderTheRewrittenName) {
    const std::string face = tempPath("face.bmp"), alpha = tempPath("a.tga"), folder = tempPath("dir.bmp");
    ASSERT_TRUE(writeFile(face, bmpFile({}, kBgr)));
    ASSERT_TRUE(writeFile(alpha, tgaFile({3, 8}, {40, 50, 60, 70})));
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    for (const char* name : {"face.BMP", "face.dds", "face.bmp"}) {
        std::string imagePath = tempPath(name), alphaPath = alpha;
        RgbaImage image;
        EXPECT_TRUE(readImage(imagePath, alphaPath, image)) << name;
        EXPECT_EQ(imagePath, face);
        EXPECT_EQ(image.pixels, kRgbAlpha);
    }
    // A folder opens but holds no bytes.
    std::string missing = tempPath("missing.DDS"), missingAlpha = tempPath("gone.tga"), dir = folder, none;
    RgbaImage image;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(readImage(missing, missingAlpha, image));
    EXPECT_FALSE(readImage(dir, none, image));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              readError(tempPath("missing.bmp")) + readError(missingAlpha) + readError(folder));
    for (const std::string& path : {face, alpha, folder}) std::filesystem::remove(path);
}

}  // namespace
}  // namespace kelmo
