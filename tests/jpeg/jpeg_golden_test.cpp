// Whole outputs of vantrel-dump for the sample JPEG files, against golden
// text files.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

using namespace testing_support;

namespace {

const std::string kDir = std::string(VANTREL_TEST_DATA) + "/jpeg/";

std::string WithoutDir(std::string text)
{
    for (size_t at; (at = text.find(kDir)) != std::string::npos;)
        text.erase(at, kDir.size());
    return text;
}

}  // namespace

TEST(JpegGolden, RoughAnalysisOfTheSamples)
{
    const DumpResult r = Dump({kDir + "colour_420_restart.jpg", kDir + "gray_odd.jpg"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectGolden("jpeg/samples_rough.txt", WithoutDir(r.out));
}

TEST(JpegGolden, DetailedAnalysisOfTheSamples)
{
    for (const char* name : {"colour_420_restart", "gray_odd"}) {
        const DumpResult r = Dump({"-d", kDir + name + ".jpg"});
        EXPECT_EQ(r.status, 0) << r.err;
        ExpectGolden(std::string("jpeg/") + name + "_detailed.txt", WithoutDir(r.out));
    }
}

TEST(JpegGolden, SamplePicturesAreWritten)
{
    TempDir dir;
    const DumpResult r = Dump({"-d", "--images", dir.Path(), kDir + "colour_420_restart.jpg", kDir + "gray_odd.jpg"});
    EXPECT_EQ(r.status, 0) << r.err;
    // 24-bit BMP: 54 header bytes, rows padded to four bytes.
    EXPECT_EQ(ReadFile(dir.Path() + "/colour_420_restart.jpg.1.bmp").size(), 54u + 48 * 3 * 32);
    EXPECT_EQ(ReadFile(dir.Path() + "/gray_odd.jpg.1.bmp").size(), 54u + 112 * 21);
}
