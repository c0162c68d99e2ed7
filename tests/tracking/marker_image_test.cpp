#include "tracking/marker_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "tests/support/temp_path.h"
#include "tracking/camera_param.h"
#include "tracking/pattern_matcher.h"

namespace kelmo {
namespace {

const std::string kSamples = std::string(KELMO_FIXTURES_DIR) + "/artoolkit/";
const std::string kDemo = std::string(KELMO_SOURCE_DIR) + "/demo/";

PatternData loadPattern(const std::string& path) {
    PatternData pattern;
    std::string error;
    EXPECT_TRUE(loadPatternFile(path, pattern, error)) << path << ": " << error;
    return pattern;
}

std::string readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Direction 0 of a pattern drawn as an interior design, `scale` pixels a cell.
BgrImage render(const PatternData& pattern, int scale) {
    BgrImage image(kPatternSide * scale, kPatternSide * scale);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c)
                image.at(x, y)[c] = pattern.raw[0][patternIndex(c, y / scale, x / scale)];
    return image;
}

// The design inside a black border a quarter of the marker wide, no margin.
BgrImage framed(const BgrImage& interior) {
    BgrImage marker(interior.width * 2, interior.height * 2, 0);
    for (int y = 0; y < interior.height; ++y)
        std::memcpy(marker.at(interior.width / 2, interior.height / 2 + y), interior.at(0, y),
                    interior.width * 3u);
    return marker;
}

// Every direction of `made` finds the same direction of `reference`, with at least minCf.
void expectSamePattern(const PatternData& reference, const PatternData& made, double minCf) {
    PatternMatcher matcher;
    matcher.add(reference);
    for (int d = 0; d < 4; ++d) {
        const PatternMatch m = matcher.match(made.raw[d]);
        EXPECT_EQ(m.dir, d);
        EXPECT_GT(m.cf, minCf) << "direction " << d;
    }
}

TEST(MarkerImage, CellsAverageTheAreaTheyCover) {
    double cells[kPatternSide][kPatternSide][3];
    for (int side : {32, 24, 8}) {
        BgrImage image(side, side, 100);  // blue = x, green = y
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                image.at(x, y)[0] = static_cast<uint8_t>(x);
                image.at(x, y)[1] = static_cast<uint8_t>(y);
            }
        averageCells(image, cells);
        if (side == 32) {  // two pixels a cell
            EXPECT_DOUBLE_EQ(cells[3][5][0], 10.5);
            EXPECT_DOUBLE_EQ(cells[3][5][1], 6.5);
            EXPECT_DOUBLE_EQ(cells[3][5][2], 100.0);
        } else if (side == 24) {  // cell 1 is half of pixel 1 and all of pixel 2
            EXPECT_NEAR(cells[0][0][0], 1.0 / 3.0, 1e-12);
            EXPECT_NEAR(cells[0][1][0], 5.0 / 3.0, 1e-12);
            EXPECT_NEAR(cells[15][0][1], (22 * 0.5 + 23) / 1.5, 1e-12);
        } else {  // enlarging: each cell lies inside one pixel
            EXPECT_DOUBLE_EQ(cells[9][7][0], 3.0);
            EXPECT_DOUBLE_EQ(cells[9][7][1], 4.0);
        }
    }
}

TEST(MarkerImage, BorderIsFoundOnlyWhenDarkAllRound) {
    const BgrImage design = render(loadPattern(kSamples + "patt.hiro"), 10);
    bool whole = true;
    EXPECT_EQ(markerInterior(design, &whole).pixels, design.pixels);
    EXPECT_FALSE(whole);
    EXPECT_EQ(markerInterior(framed(design), &whole).pixels, design.pixels);
    EXPECT_TRUE(whole);
    const BgrImage inside = markerInterior(composePrintable(design, 400), &whole);  // white margin skipped
    EXPECT_TRUE(whole);
    EXPECT_EQ(inside.width, 200);
    EXPECT_EQ(inside.height, 200);

    BgrImage open = framed(design);  // three dark sides only
    for (int y = 0; y < open.height; ++y) std::memset(open.at(open.width - 40, y), 255, 40 * 3);
    EXPECT_FALSE(hasMarkerBorder(open));
    BgrImage thin(100, 100, 0);  // a frame 15 % thick
    for (int y = 15; y < 85; ++y) std::memset(thin.at(15, y), 255, 70 * 3);
    EXPECT_FALSE(hasMarkerBorder(thin));
    BgrImage block(60, 40, 255);  // a solid dark block on paper is a design, not a marker
    for (int y = 5; y < 25; ++y) std::memset(block.at(5, y), 0, 10 * 3);
    EXPECT_EQ(markerInterior(block, &whole).width, 60);
    EXPECT_FALSE(whole);
}

TEST(MarkerImage, PatternOfADesignDrawnFromHiroIsHiro) {
    const PatternData hiro = loadPattern(kSamples + "patt.hiro");
    const BgrImage design = render(hiro, 10);
    PatternData made;
    std::string error;
    ASSERT_TRUE(patternFromDesign(design, made, error)) << error;
    expectSamePattern(hiro, made, 0.999);
    const auto [low, high] = std::minmax_element(made.raw[0], made.raw[0] + kPatternValues);
    EXPECT_GE(*low, 30);  // looks captured: ink and paper as a camera sees them
    EXPECT_LE(*high, 240);

    ASSERT_TRUE(patternFromDesign(markerInterior(framed(design)), made, error)) << error;
    expectSamePattern(hiro, made, 0.999);
    ASSERT_TRUE(patternFromDesign(markerInterior(composePrintable(design, 1000)), made, error)) << error;
    expectSamePattern(hiro, made, 0.99);

    EXPECT_FALSE(patternFromDesign(BgrImage(50, 50, 200), made, error));
    EXPECT_NE(error.find("flat"), std::string::npos) << error;
    EXPECT_FALSE(patternFromDesign(BgrImage(), made, error));
}

TEST(MarkerImage, PrintableHasMarginBorderAndDesignInPlace) {
    BgrImage design(40, 40, 255);
    design.at(0, 0)[0] = 7;
    const BgrImage p = composePrintable(design, 1000);
    ASSERT_EQ(p.width, 1250);
    ASSERT_EQ(p.height, 1250);
    // Margin to 124, border 125..374, interior 375..874, border again from 875.
    const int x[] = {124, 125, 374, 375, 874, 875}, expected[] = {255, 0, 0, 255, 255, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.at(x[i], 624)[1], expected[i]) << x[i];
    EXPECT_EQ(p.at(386, 386)[0], 7);  // enlarged with sharp edges
    EXPECT_EQ(p.at(388, 388)[0], 255);
}

TEST(MarkerImage, FilesRoundTripAndBadOnesAreRefused) {
    const BgrImage design = render(loadPattern(kSamples + "patt.hiro"), 3);
    const std::string dir = testing_support::tempPath("");
    std::string error;
    ASSERT_TRUE(savePng(dir + "design.png", design, 12500, error)) << error;
    BgrImage back;
    ASSERT_TRUE(loadImage(dir + "design.png", back, error)) << error;
    EXPECT_EQ(back.width, design.width);
    EXPECT_EQ(back.pixels, design.pixels);
    const std::string bytes = readBytes(dir + "design.png");
    EXPECT_EQ(bytes.substr(37, 13), std::string("pHYs\0\0\x30\xd4\0\0\x30\xd4\x01", 13));  // 12500 px/m

    cv::Mat clear(4, 4, CV_8UC4, cv::Scalar(0, 0, 0, 0));  // transparent parts are paper
    clear.at<cv::Vec4b>(1, 1) = cv::Vec4b(10, 20, 30, 255);
    ASSERT_TRUE(cv::imwrite(dir + "clear.png", clear));
    ASSERT_TRUE(loadImage(dir + "clear.png", back, error)) << error;
    EXPECT_EQ(back.at(0, 0)[0], 255);
    EXPECT_EQ(back.at(1, 1)[2], 30);

    std::ofstream(dir + "words.png") << "not an image";
    for (const std::string& path : {dir + "no-such.png", dir + "words.png"}) {
        error.clear();
        EXPECT_FALSE(loadImage(path, back, error)) << path;
        EXPECT_FALSE(error.empty());
    }
    error.clear();
    EXPECT_FALSE(savePng(dir + "no-such-folder/x.png", design, 0, error));
    EXPECT_FALSE(error.empty());
}

TEST(DemoAssets, CameraParametersAreATypicalWebcamAndEncodeBackToTheirBytes) {
    for (const std::string& path : {kSamples + "camera_para.dat", kDemo + "camera_para.dat"}) {
        const std::string bytes = readBytes(path);
        CameraParam param;
        std::string error;
        ASSERT_TRUE(
            decodeCameraParam(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), param, error))
            << path << ": " << error;
        uint8_t encoded[kCameraParamRecordSize];
        encodeCameraParam(param, encoded);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(encoded), sizeof encoded), bytes) << path;
    }
    CameraParam demo;
    std::string error;
    ASSERT_TRUE(loadCameraParam(kDemo + "camera_para.dat", demo, error)) << error;
    EXPECT_EQ(demo.xsize, 640);
    EXPECT_EQ(demo.ysize, 480);
    EXPECT_NEAR(demo.mat[0][0], 620.0, 10.0);
    EXPECT_NEAR(demo.mat[1][1], 620.0, 10.0);
    double ox, oy;  // barrel: the image corner is seen a little towards the centre
    idealToObserved(demo, 0.0, 0.0, ox, oy);
    EXPECT_GT(ox, 5.0);
    EXPECT_LT(ox, 30.0);
}

TEST(DemoAssets, MarkerPatternComesFromItsDesignAndStandsApart) {
    const PatternData marker = loadPattern(kDemo + "marker.patt");
    BgrImage image;
    PatternData made;
    std::string error;
    ASSERT_TRUE(loadImage(kDemo + "marker.png", image, error)) << error;
    ASSERT_TRUE(patternFromDesign(markerInterior(image), made, error)) << error;
    EXPECT_EQ(formatPatternText(made), formatPatternText(marker));
    ASSERT_TRUE(loadImage(kDemo + "marker_print.png", image, error)) << error;
    ASSERT_TRUE(patternFromDesign(markerInterior(image), made, error)) << error;
    expectSamePattern(marker, made, 0.99);

    for (int d = 0; d < 4; ++d) {  // no quarter turn of the design passes for another
        PatternData one;
        for (auto& direction : one.raw) std::memcpy(direction, marker.raw[d], kPatternValues);
        PatternMatcher matcher;
        matcher.add(one);
        for (int e = 0; e < 4; ++e) {
            if (e == d) continue;
            EXPECT_LT(matcher.match(marker.raw[e]).cf, 0.3) << d << " vs " << e;
        }
    }
    PatternMatcher samples, ours;  // nor for a sample marker, either way round
    ours.add(marker);
    for (const char* name : {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"}) {
        const PatternData sample = loadPattern(kSamples + name);
        samples.add(sample);
        for (int d = 0; d < 4; ++d) EXPECT_LT(ours.match(sample.raw[d]).cf, 0.5) << name;
    }
    for (int d = 0; d < 4; ++d) EXPECT_LT(samples.match(marker.raw[d]).cf, 0.5);
}

}  // namespace
}  // namespace kelmo
