// One damaged file per fault the analysis reports, made from a sound base
// file byte by byte: each gives exactly its anomalies, at their bytes, in
// the detailed analysis that --check runs.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "gif_fixtures.h"
#include "support/test_support.h"

namespace {

using gif_fixtures::Bytes;
using namespace gif_fixtures;
using testing_support::Headless;
using testing_support::TempDir;

std::string AnomaliesOf(const Bytes& gif)
{
    TempDir dir;
    const std::string path = dir.Write("t.gif", gif);
    Headless h;
    return testing_support::AnomalyList(h.Detailed(path));
}

Bytes WithImage(const std::function<void(gif_test::ImageBlock&)>& change, const Bytes& palette = FourColours())
{
    gif_test::ImageBlock image = BaseImage();
    change(image);
    return gif_test::BuildGif(8, 8, palette, {image});
}

// Clear (4), a literal, then 7 where the next free entry is 6.
Bytes OutOfRangeCodes()
{
    gif_test::CodePacker packer;
    for (uint32_t code : {4u, 0u, 7u, 5u})
        packer.Put(code, 3);
    return packer.Finish();
}

struct Case {
    const char* name;
    std::function<Bytes()> make;
    const char* anomalies;
};

const Case kCases[] = {
    {"sound", [] { return BaseGif(); }, ""},
    {"no trailer", [] { Bytes g = BaseGif(); g.pop_back(); return g; }, "0000003d エラー gif.no-trailer\n"},
    {"code out of range", [] { return WithImage([](auto& i) { i.data = OutOfRangeCodes(); }); },
     "0000002d エラー gif.lzw-code-out-of-range\n"},
    {"frame outside the screen", [] { return WithImage([](auto& i) { i.left = 4; }); },
     "00000022 警告 gif.frame-outside-screen\n"},
    {"data sub-block past the end",
     [] { Bytes g = BaseGif(); g.resize(g.size() - 3); return g; },
     "0000002b エラー gif.block-past-end\n0000002c エラー gif.image-data-short\n"},
    {"descriptor past the end",
     [] { Bytes g = BaseGif(); g.resize(kDescriptorAt + 4); return g; }, "00000021 エラー gif.block-past-end\n"},
    {"global table past the end", [] { Bytes g = BaseGif(); g.resize(20); return g; },
     "0000000d エラー gif.block-past-end\n"},
    {"unknown block", [] { Bytes g = BaseGif(); return Insert(g, g.size() - 1, {0x99}); },
     "0000003d エラー gif.unknown-block\n"},
    {"index beyond the table", [] { return WithImage([](auto&) {}, {1, 2, 3, 4, 5, 6}); },
     "00000026 警告 gif.index-beyond-table\n"},
    {"data after the trailer", [] { Bytes g = BaseGif(); return Insert(g, g.size(), Text("junk")); },
     "0000003e 警告 gif.data-after-trailer\n"},
    {"code size above 8", [] { return WithImage([](auto& i) { i.minCodeSize = 9; }); },
     "0000002b エラー gif.bad-code-size\n"},
    {"data ends before the last pixel",
     [] { return WithImage([](auto& i) { i.data = gif_test::EncodeLzw(StripeIndices(8, 4, 4), 2); }); },
     "0000002c エラー gif.image-data-short\n"},
    {"no colour table", [] { return WithImage([](auto&) {}, {}); }, "00000015 警告 gif.no-colour-table\n"},
    {"graphic control block size",
     [] { Bytes g = BaseGif(); g[kControlAt + 2] = 5; return Insert(g, kControlAt + 7, {0}); },
     "0000001b エラー gif.bad-block-size\n"},
    {"unknown extension", [] { return Insert(BaseGif(), kControlAt, Extension(0x42, Text("x"))); },
     "0000001a 警告 gif.unknown-extension\n"},
    {"XMP without its trailer",
     [] {
         Bytes xmp = Extension(0xFF, Text("<x/>"));
         const Bytes id = Text("\x0bXMP DataXMP");
         xmp.insert(xmp.begin() + 2, id.begin(), id.end());
         return Insert(BaseGif(), kControlAt, xmp);
     },
     "00000027 エラー gif.xmp-no-trailer\n"},
    {"extension past the end", [] { Bytes g = BaseGif(); g.resize(kControlAt + 5); return g; },
     "00000019 エラー gif.block-past-end\n"},
};

TEST(GifAnomalies, EachDamageGivesItsAnomalies)
{
    for (const Case& c : kCases)
        EXPECT_EQ(AnomaliesOf(c.make()), c.anomalies) << c.name;
}

// The check's text names the fault in the words of the other formats.
TEST(GifAnomalies, CheckNamesTheMissingTrailer)
{
    TempDir dir;
    Bytes gif = BaseGif();
    gif.pop_back();
    const std::string path = dir.Write("cut.gif", gif);
    const auto r = testing_support::Dump({"--check", path});
    EXPECT_NE(r.out.find("gif.no-trailer"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("トレーラ(0x3B)がありません"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 1);
}

}  // namespace
