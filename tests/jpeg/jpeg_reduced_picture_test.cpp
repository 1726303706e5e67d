// Baseline JPEG pictures drawn in part: reduced beyond the picture budget, and
// the regions a shell asks for, compared with the program's own full-size
// decoding of the same file.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <random>
#include <string>

#include "codec/jpeg_mcu_painter.h"
#include "core/analyze.h"
#include "support/libjpeg_fixture.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

struct SamplingCase {
    const char* name;
    int components;
    int h0;
    int v0;
    int restartInterval;
    // Decoded through coefficient planes, painted as baseline frames are.
    bool progressive = false;
    bool rgb = false;
};

const SamplingCase kSamplings[] = {
    {"grey", 1, 1, 1, 0},
    {"444", 3, 1, 1, 0},
    {"420", 3, 2, 2, 0},
    {"422", 3, 2, 1, 0},
    {"440", 3, 1, 2, 0},
    {"420 restarts", 3, 2, 2, 5},
    {"grey progressive", 1, 1, 1, 0, true},
    {"444 progressive", 3, 1, 1, 0, true},
    {"420 progressive", 3, 2, 2, 0, true},
    {"422 progressive", 3, 2, 1, 3, true},
    {"rgb", 3, 1, 1, 0, false, true},
    {"rgb progressive", 3, 1, 1, 0, true, true},
};

// Odd sides, so that the last MCUs and the reduced sides are cut short.
constexpr int kWidth = 203;
constexpr int kHeight = 149;

// A colour for each MCU of the sampling, all of its pixels: each block codes
// its DC term alone, and each chroma block is one colour, so a block's mean
// is every one of its pixels.
Bytes FlatMcus(const SamplingCase& s, uint32_t seed)
{
    std::mt19937 random(seed);
    const int tileWidth = 8 * s.h0, tileHeight = 8 * s.v0;
    const int across = (kWidth + tileWidth - 1) / tileWidth;
    std::vector<uint8_t> colours(size_t(across) * ((kHeight + tileHeight - 1) / tileHeight) * 3);
    for (uint8_t& c : colours)
        c = static_cast<uint8_t>(random() & 0xFF);
    const int n = s.components;
    Bytes picture(size_t(kWidth) * kHeight * n);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < n; ++c)
                picture[(size_t(y) * kWidth + x) * n + c] =
                    colours[((y / tileHeight) * across + x / tileWidth) * 3 + c];
    return picture;
}

std::string WriteJpeg(TempDir& dir, const SamplingCase& s, const Bytes& picture, const std::string& name)
{
    jpeg_fixture::EncodeOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.components = s.components;
    o.h0 = s.h0;
    o.v0 = s.v0;
    o.restartInterval = s.restartInterval;
    o.progressive = s.progressive;
    o.rgb = s.rgb;
    o.quality = 85;
    const Bytes file = jpeg_fixture::Encode(picture, o);
    EXPECT_FALSE(file.empty());
    return dir.Write(name, file);
}

// The number of image pixels whose value is not the full picture's at
// (x0 + (ix << shift), y0 + (iy << shift)).
int WrongPixels(const CImageBuffer& image, const CImageBuffer& full, uint32_t x0, uint32_t y0, uint32_t shift)
{
    int wrong = 0;
    for (int32_t iy = 0; iy < image.PictureHeight(); ++iy)
        for (int32_t ix = 0; ix < image.PictureWidth(); ++ix) {
            const int64_t x = x0 + (int64_t{ix} << shift), y = y0 + (int64_t{iy} << shift);
            if (x >= full.PictureWidth() || y >= full.PictureHeight())
                return -1;
            wrong += std::memcmp(image.PixelAt(ix, iy), full.PixelAt(int32_t(x), int32_t(y)), 3) != 0;
        }
    return wrong;
}

// Every line's text, one a line.
std::string LinesOf(const AnalysisResult& result)
{
    std::string text;
    for (LineId line = 1; line <= result.lines.Count(); ++line)
        text.append(result.lines.Text(line)).push_back('\n');
    return text;
}

std::unique_ptr<AnalysisResult> AnalyseWithBudget(const std::string& path, uint64_t budget)
{
    AnalysisOptions options = AllFormatOptions();
    options.pictureBudget = budget;
    return Analyze(path.c_str(), AnalysisMode::Detailed, options);
}

// The picture of a region decode of path.
CImageBuffer RegionOf(const std::string& path, const PictureRegion& region)
{
    AnalysisOptions options = AllFormatOptions();
    options.hasRegion = true;
    options.region = region;
    CImageBuffer image;
    size_t handed = 0;
    DecodePictures(path.c_str(), options, {0}, [&](size_t, ResultPicture& picture) {
        ++handed;
        image = std::move(picture.image);
    });
    EXPECT_EQ(handed, 1u);
    return image;
}

}  // namespace

// The reduced pictures take a block's DC term through the same arithmetic as
// the full transform, so that a block of nothing else comes out alike.
TEST(JpegReducedPicture, DcSampleIsTheTransformOfADcAloneBlock)
{
    std::vector<int32_t> values = {0, 1, -1, 2, -2, 3, 7, -7, 8, -8, 255, -256, 1024, -1024, 2047 * 255, -2048 * 255,
                                   INT32_MAX, INT32_MIN, INT32_MAX / 46341, INT32_MIN / 46341, 1 << 20, -(1 << 24)};
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i)
        values.push_back(static_cast<int32_t>(random()));
    for (int32_t dc = -3000; dc <= 3000; ++dc)
        values.push_back(dc);
    int wrong = 0;
    for (const int32_t dc : values) {
        int32_t block[64] = {dc};
        int32_t out[64];
        JpegInverseDct(block, 1, out);
        for (const int32_t sample : out)
            wrong += sample != JpegDcSample(dc);
    }
    EXPECT_EQ(wrong, 0);
}

class JpegReducedSampling : public ::testing::TestWithParam<SamplingCase> {};

// Beyond the budget the picture is drawn at the least reduction that fits a
// quarter of it; below 1/8 every 2^shift-th pixel of the full decoding, from
// 1/8 on the blocks' means, which for blocks of one colour are their pixels.
// The lines, anomalies and decode record stay those of the full-size
// analysis.
TEST_P(JpegReducedSampling, ReducedPictureIsTheFullDecodingSampled)
{
    const SamplingCase& s = GetParam();
    TempDir dir;
    struct Reduction {
        const char* picture;
        uint64_t budget;
        uint32_t shift;
    };
    const Reduction reductions[] = {
        {"textured", 50000, 2},
        {"flat", 50000, 2},
        {"flat", 20000, 3},
        {"flat", 4000, 4},
    };
    const std::string textured = WriteJpeg(dir, s, jpeg_fixture::MakePicture(kWidth, kHeight, s.components), "t.jpg");
    const std::string flat = WriteJpeg(dir, s, FlatMcus(s, 11), "f.jpg");
    for (const Reduction& r : reductions) {
        SCOPED_TRACE(testing::Message() << r.picture << " budget " << r.budget);
        const std::string& path = std::strcmp(r.picture, "flat") == 0 ? flat : textured;
        const auto full = AnalyseWithBudget(path, AnalysisOptions().pictureBudget);
        const auto reduced = AnalyseWithBudget(path, r.budget);
        ASSERT_EQ(full->pictures.size(), 1u);
        ASSERT_EQ(reduced->pictures.size(), 1u);
        const ResultPicture& whole = full->pictures[0];
        const ResultPicture& part = reduced->pictures[0];
        EXPECT_EQ(whole.shift, 0u);
        EXPECT_EQ(part.shift, r.shift);
        EXPECT_TRUE(part.drawn);
        EXPECT_EQ(part.width, kWidth);
        EXPECT_EQ(part.height, kHeight);
        const uint32_t step = 1u << r.shift;
        ASSERT_NE(part.image.Pixels(), nullptr);
        EXPECT_EQ(part.image.PictureWidth(), int32_t((kWidth + step - 1) >> r.shift));
        EXPECT_EQ(part.image.PictureHeight(), int32_t((kHeight + step - 1) >> r.shift));
        EXPECT_EQ(WrongPixels(part.image, whole.image, 0, 0, r.shift), 0);
        EXPECT_EQ(LinesOf(*reduced), LinesOf(*full));
        EXPECT_EQ(reduced->anomalies.size(), full->anomalies.size());
        ASSERT_EQ(reduced->decodes.size(), 1u);
        EXPECT_EQ(reduced->decodes[0].outcome, DecodeOutcome::Complete);
        EXPECT_EQ(reduced->decodes[0].reason, "");
    }
}

// A region asked for is the crop of the full decoding, at its reduction,
// starting on the pixel of the reduction at or before it and cut at the
// picture's edges.
TEST_P(JpegReducedSampling, RegionIsTheCropOfTheFullDecoding)
{
    const SamplingCase& s = GetParam();
    TempDir dir;
    struct RegionCase {
        bool flat;
        PictureRegion region;
    };
    const RegionCase regions[] = {
        {false, {0, 0, kWidth, kHeight, 0}},  {false, {37, 21, 61, 50, 0}}, {false, {16, 32, 1, 1, 0}},
        {false, {9, 13, 120, 90, 1}},         {false, {190, 140, 40, 40, 1}}, {false, {0, 0, kWidth, kHeight, 1}},
        {false, {5, 3, 180, 140, 2}},         {true, {40, 24, 150, 100, 3}},  {true, {3, 70, 500, 500, 4}},
    };
    const std::string textured = WriteJpeg(dir, s, jpeg_fixture::MakePicture(kWidth, kHeight, s.components), "t.jpg");
    const std::string flat = WriteJpeg(dir, s, FlatMcus(s, 5), "f.jpg");
    const auto fullTextured = AnalyseWithBudget(textured, AnalysisOptions().pictureBudget);
    const auto fullFlat = AnalyseWithBudget(flat, AnalysisOptions().pictureBudget);
    ASSERT_EQ(fullTextured->pictures.size(), 1u);
    ASSERT_EQ(fullFlat->pictures.size(), 1u);
    for (const RegionCase& c : regions) {
        const PictureRegion& r = c.region;
        SCOPED_TRACE(testing::Message() << (c.flat ? "flat " : "textured ") << r.x << "," << r.y << " " << r.width
                                        << " x " << r.height << " shift " << r.shift);
        const CImageBuffer image = RegionOf(c.flat ? flat : textured, r);
        const uint32_t step = 1u << r.shift;
        const uint32_t x0 = r.x & ~(step - 1), y0 = r.y & ~(step - 1);
        const uint32_t x1 = std::min<uint32_t>(r.x + r.width, kWidth), y1 = std::min<uint32_t>(r.y + r.height, kHeight);
        ASSERT_NE(image.Pixels(), nullptr);
        EXPECT_EQ(image.PictureWidth(), int32_t((x1 - x0 + step - 1) >> r.shift));
        EXPECT_EQ(image.PictureHeight(), int32_t((y1 - y0 + step - 1) >> r.shift));
        EXPECT_EQ(WrongPixels(image, (c.flat ? fullFlat : fullTextured)->pictures[0].image, x0, y0, r.shift), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Samplings, JpegReducedSampling, ::testing::ValuesIn(kSamplings),
                         [](const testing::TestParamInfo<SamplingCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == ' ')
                                     c = '_';
                             return name;
                         });

// A picture whose bitmap would pass the default budget, which was once left
// undrawn, is drawn reduced.
TEST(JpegReducedPicture, PictureBeyondTheDefaultBudgetIsDrawnReduced)
{
    const auto started = std::chrono::steady_clock::now();
    const int width = 10000, height = 9000;
    Bytes picture(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        std::memset(&picture[size_t(y) * width], (y / 64) * 37 & 0xFF, size_t(width));
    jpeg_fixture::EncodeOptions o;
    o.width = width;
    o.height = height;
    o.components = 1;
    o.quality = 10;
    TempDir dir;
    const std::string path = dir.Write("huge.jpg", jpeg_fixture::Encode(picture, o));
    picture = Bytes();
    const auto result = Analyze(path.c_str(), AnalysisMode::Detailed, AllFormatOptions());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(result->pictures.size(), 1u);
    const ResultPicture& p = result->pictures[0];
    EXPECT_TRUE(p.drawn);
    EXPECT_EQ(p.shift, 2u);
    ASSERT_NE(p.image.Pixels(), nullptr);
    EXPECT_EQ(p.image.PictureWidth(), width / 4);
    EXPECT_EQ(p.image.PictureHeight(), height / 4);
    // Rows of one grey level 64 rows high.
    for (const int32_t y : {0, 100, 1000, 2249}) {
        const uint8_t level = static_cast<uint8_t>((y * 4 / 64) * 37 & 0xFF);
        EXPECT_NEAR(p.image.PixelAt(1234, y)[0], level, 8) << y;
    }
    ASSERT_EQ(result->decodes.size(), 1u);
    EXPECT_EQ(result->decodes[0].outcome, DecodeOutcome::Complete);
    EXPECT_EQ(LinesOf(*result).find("画像が大きすぎる"), std::string::npos);
    RecordProperty("seconds", std::to_string(seconds));
}
