// Pictures written by libjpeg, decoded by the analyzer and compared with
// libjpeg's own decoding of the same file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "jpeg/libjpeg_fixture.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

struct Difference {
    double mean = 0;       // mean absolute difference over every channel value
    int max = 0;
    double bias[3] = {};   // mean signed difference of red, green, blue
};

// Decodes path in a detailed analysis and compares its first image window
// with libjpeg's decoding of the same bytes.
Difference CompareWithLibjpeg(const std::string& path, const Bytes& file)
{
    Headless h;
    h.app.OpenFiles({path});
    h.app.RunDetailedAnalysis(path.c_str());
    const HeadlessDocument* doc = h.shell.FindDocument(path);
    Difference d;
    d.max = 1000;
    if (!doc || doc->images.empty() || !doc->images[0]->image.Pixels()) {
        ADD_FAILURE() << "no decoded picture";
        return d;
    }
    const CImageBuffer& image = doc->images[0]->image;
    int width = 0, height = 0;
    const Bytes reference = jpeg_fixture::Decode(file, &width, &height);
    EXPECT_EQ(image.PictureWidth(), width);
    EXPECT_EQ(image.PictureHeight(), height);
    if (reference.empty() || image.PictureWidth() != width || image.PictureHeight() != height)
        return d;
    uint64_t sum = 0;
    int64_t signedSum[3] = {0, 0, 0};
    d.max = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* bgr = image.PixelAt(x, y);
            const uint8_t* rgb = &reference[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(int(bgr[2 - c]) - int(rgb[c]));
                sum += static_cast<uint64_t>(diff);
                signedSum[c] += int(bgr[2 - c]) - int(rgb[c]);
                d.max = std::max(d.max, diff);
            }
        }
    }
    d.mean = static_cast<double>(sum) / (double(width) * height * 3);
    for (int c = 0; c < 3; ++c)
        d.bias[c] = static_cast<double>(signedSum[c]) / (double(width) * height);
    return d;
}

struct PictureCase {
    const char* name;
    jpeg_fixture::EncodeOptions options;
};

class JpegPictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(JpegPictureTest, MatchesLibjpegDecoding)
{
    const jpeg_fixture::EncodeOptions& o = GetParam().options;
    const Bytes picture = jpeg_fixture::MakePicture(o.width, o.height, o.components);
    const Bytes file = jpeg_fixture::Encode(picture, o);
    ASSERT_FALSE(file.empty());
    TempDir dir;
    const std::string path = dir.Write(std::string(GetParam().name) + ".jpg", file);
    const Difference d = CompareWithLibjpeg(path, file);
    // The fixed-point transform and the colour equations truncate at every
    // step: luma comes out about one level darker than libjpeg's, and red and
    // blue, which add 1.4 and 1.8 times the chroma, about three. A misplaced
    // block or a lost restart shows as differences of tens of levels.
    EXPECT_LE(d.mean, o.components == 1 ? 2.0 : 3.0) << GetParam().name;
    EXPECT_LE(d.max, 20) << GetParam().name;
    for (int c = 0; c < 3; ++c) {
        EXPECT_LE(d.bias[c], 0.5) << GetParam().name << " channel " << c;
        EXPECT_GE(d.bias[c], -5.0) << GetParam().name << " channel " << c;
    }
}

jpeg_fixture::EncodeOptions Options(int w, int h, int comps, int h0, int v0, int restart = 0, int quality = 90)
{
    jpeg_fixture::EncodeOptions o;
    o.width = w;
    o.height = h;
    o.components = comps;
    o.h0 = h0;
    o.v0 = v0;
    o.restartInterval = restart;
    o.quality = quality;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, JpegPictureTest,
    ::testing::Values(PictureCase{"yuv444", Options(96, 64, 3, 1, 1)},
                      PictureCase{"yuv422", Options(96, 64, 3, 2, 1)},
                      PictureCase{"yuv440", Options(96, 64, 3, 1, 2)},
                      PictureCase{"yuv420", Options(96, 64, 3, 2, 2)},
                      PictureCase{"gray", Options(96, 64, 1, 1, 1)},
                      PictureCase{"odd420", Options(333, 211, 3, 2, 2)},
                      PictureCase{"odd444", Options(333, 211, 3, 1, 1)},
                      PictureCase{"oddgray", Options(333, 211, 1, 1, 1)},
                      PictureCase{"restart420", Options(333, 211, 3, 2, 2, 5)},
                      PictureCase{"restart1", Options(100, 40, 3, 2, 1, 1)},
                      PictureCase{"restartgray", Options(333, 211, 1, 1, 1, 7)},
                      PictureCase{"quality100", Options(120, 72, 3, 2, 2, 0, 100)},
                      PictureCase{"quality20", Options(120, 72, 3, 2, 2, 0, 20)}),
    [](const ::testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

}  // namespace
