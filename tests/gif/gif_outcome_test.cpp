// How each frame's decoding is recorded, and what the limits leave undrawn:
// a frame whose data ends early or breaks off is drawn as far as it goes, a
// code size the decoder refuses draws nothing, a screen too large to compose
// gets no pictures, and frames past the picture limit are checked but not
// drawn.
#include <gtest/gtest.h>

#include <string>

#include "gif/gif_analyzer.h"
#include "gif_fixtures.h"
#include "support/test_support.h"

namespace {

using namespace gif_fixtures;
using testing_support::Headless;
using testing_support::TempDir;

struct Outcome {
    size_t pictures = 0;
    std::string decodes;   // one "outcome reason" line per record
};

Outcome OutcomeOf(const Bytes& gif)
{
    TempDir dir;
    const std::string path = dir.Write("t.gif", gif);
    Headless h;
    const AnalysisResult& result = h.Detailed(path);
    Outcome o;
    o.pictures = result.pictures.size();
    for (const DecodeRecord& d : result.decodes)
        o.decodes += std::to_string(static_cast<int>(d.outcome)) + " " + d.reason + "\n";
    return o;
}

Bytes WithImage(void (*change)(gif_test::ImageBlock&), uint16_t screen = 8)
{
    gif_test::ImageBlock image = BaseImage();
    change(image);
    return gif_test::BuildGif(screen, screen, FourColours(), {image});
}

TEST(GifOutcomes, EachFrameRecordsHowItsDecodingWent)
{
    const struct {
        const char* name;
        Bytes gif;
        size_t pictures;
        const char* decodes;
    } cases[] = {
        {"complete", BaseGif(), 1, "0 \n"},
        {"data ends early",
         WithImage([](auto& i) { i.data = gif_test::EncodeLzw(StripeIndices(8, 3, 4), 2); }), 1,
         "1 画素が揃う前に終了符号があります\n"},
        {"code size refused", WithImage([](auto& i) { i.minCodeSize = 9; }), 1, "2 LZWの最小符号長が範囲外です\n"},
        {"screen too large", WithImage([](auto&) {}, 0xFFFF), 0, "2 論理画面が大きすぎます\n"},
        {"empty screen", WithImage([](auto&) {}, 0), 0, "2 論理画面の大きさが 0\n"},
    };
    for (const auto& c : cases) {
        const Outcome o = OutcomeOf(c.gif);
        EXPECT_EQ(o.pictures, c.pictures) << c.name;
        EXPECT_EQ(o.decodes, c.decodes) << c.name;
    }
}

TEST(GifOutcomes, FramesPastThePictureLimitAreCheckedButNotDrawn)
{
    std::vector<gif_test::ImageBlock> images(CGifAnalyzer::kMaxPictures + 1, BaseImage());
    // The last frame's data breaks off: it is still checked.
    gif_test::CodePacker packer;
    for (uint32_t code : {4u, 0u, 7u, 5u})
        packer.Put(code, 3);
    images.back().data = packer.Finish();
    TempDir dir;
    const std::string path = dir.Write("many.gif", gif_test::BuildGif(8, 8, FourColours(), images));
    Headless h;
    const AnalysisResult& result = h.Detailed(path);
    ASSERT_EQ(result.pictures.size(), CGifAnalyzer::kMaxPictures);
    EXPECT_EQ(result.pictures.back().label, "Frame " + std::to_string(CGifAnalyzer::kMaxPictures));
    ASSERT_EQ(result.decodes.size(), CGifAnalyzer::kMaxPictures + 1);
    EXPECT_EQ(result.decodes.back().outcome, DecodeOutcome::NotSupported);
    EXPECT_EQ(result.decodes.back().reason, "フレームが多すぎる");
    ASSERT_EQ(result.anomalies.size(), 1u);
    EXPECT_EQ(result.anomalies[0].kind, "gif.lzw-code-out-of-range");
}

// Comment text is file text: code page 932 is shown as such.
TEST(GifOutcomes, CommentsAreShownAsFileText)
{
    const Bytes gif = Insert(BaseGif(), kControlAt, Extension(0xFE, Text("\x93\xfa\x96\x7b\n\xe6\x97\xa5")));
    TempDir dir;
    const std::string path = dir.Write("c.gif", gif);
    Headless h;
    const std::string text = TreeText(h.Detailed(path).lines);
    EXPECT_NE(text.find("[0000001c] Comment = 日本\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[00000021] Comment = 日\n"), std::string::npos) << text;
}

}  // namespace
