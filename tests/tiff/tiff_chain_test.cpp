// The image file header, the IFD chain and the rough summary.
#include <gtest/gtest.h>

#include "core/file_text.h"
#include "tiff/tiff_analyzer.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;
using testing_support::ExpectGolden;

namespace {

std::vector<Field> SmallImage(const TiffBuilder& t, uint32_t width, uint32_t length, uint32_t compression)
{
    return {t.Short(256, {width}), t.Short(257, {length}), t.Short(259, {compression})};
}

}  // namespace

TEST(TiffChain, ThreeIfdsInBothByteOrders)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        TiffBuilder t(le);
        const Bytes file = t.Build({SmallImage(t, 640, 480, 1), SmallImage(t, 320, 240, 5),
                                    {t.Long(256, {100}), t.Long(257, {50}), t.Short(259, {32773})}});
        const Analysis a = Analyse(file);
        ExpectGolden(le ? "tiff/three_ifds_le_rough.txt" : "tiff/three_ifds_be_rough.txt", a.bar);
        EXPECT_EQ(a.result,
                  "【IFD #0000 [画像サイズ]   640 x   480 [圧縮形式] 非圧縮 】"
                  "【IFD #0001 [画像サイズ]   320 x   240 [圧縮形式] LZW 】"
                  "【IFD #0002 [画像サイズ]   100 x    50 [圧縮形式] PackBits圧縮 】");
        ExpectGolden(le ? "tiff/three_ifds_le_detail.txt" : "tiff/three_ifds_be_detail.txt", a.detail);
    }
}

TEST(TiffChain, HeaderLinesNameTheByteOrder)
{
    TiffBuilder le(true), be(false);
    const Analysis l = Analyse(le.Build({SmallImage(le, 1, 1, 1)}));
    EXPECT_TRUE(Contains(l.bar, "  [00000000] ImageFileHeader(0x4949:Little Endian)\n"));
    EXPECT_TRUE(Contains(l.detail, "[00000000] ImageFileHeader\n  [00000000] Byte Order = 0x4949 : Little Endian\n"
                                   "  [00000002] TIFF ID = 0x002a\n  [00000004] Offset to 0th IFD = 0x00000008\n"));
    const Analysis b = Analyse(be.Build({SmallImage(be, 1, 1, 1)}));
    EXPECT_TRUE(Contains(b.bar, "  [00000000] ImageFileHeader(0x4D4D:Big Endian)\n"));
    EXPECT_TRUE(Contains(b.detail, "  [00000000] Byte Order = 0x4d4d : Big Endian\n"));

    // Any other byte order is read as big-endian; the TIFF ID is not checked.
    Bytes odd = be.Build({SmallImage(be, 7, 9, 1)});
    odd[0] = 'X';
    odd[1] = 'Y';
    odd[3] = 0x2B;
    const std::string detail = AnalyseDirectly(odd, 0, 0);
    EXPECT_TRUE(Contains(detail, "  [00000000] Byte Order = 0x5859 : Big Endian\n"));
    EXPECT_TRUE(Contains(detail, "  [00000002] TIFF ID = 0x002b\n"));
    EXPECT_TRUE(Contains(detail, "      Horizontal Size = 7\n"));
}

TEST(TiffChain, SummaryTakesBigEndianShortFromTheHighHalf)
{
    TiffBuilder t(false);
    EXPECT_EQ(Analyse(t.Build({{t.Short(256, {640}), t.Short(257, {480}), t.Short(259, {6})}})).result,
              "【IFD #0000 [画像サイズ]   640 x   480 [圧縮形式] JPEG 】");
    EXPECT_EQ(Analyse(t.Build({{t.Long(256, {640}), t.Long(257, {70000}), t.Short(259, {4})}})).result,
              "【IFD #0000 [画像サイズ]   640 x 70000 [圧縮形式] T6-エンコード 】");
}

TEST(TiffChain, SummaryCompressionTexts)
{
    const std::pair<uint32_t, const char*> cases[] = {
        {1, "[圧縮形式] 非圧縮 】"},
        {2, "[圧縮形式] CCITT Group 3 1-Dimensional Modified Huffmanランレングスエンコード 】"},
        {3, "[圧縮形式] T4-エンコード 】"},
        {4, "[圧縮形式] T6-エンコード 】"},
        {5, "[圧縮形式] LZW 】"},
        {6, "[圧縮形式] JPEG 】"},
        {7, "[圧縮形式] JPEG 】"},
        {8, "[圧縮形式] Deflate 】"},
        {9, "[圧縮形式] 非対応の形式 】"},
        {32773, "[圧縮形式] PackBits圧縮 】"},
        {32946, "[圧縮形式] Deflate 】"},
    };
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        for (auto [compression, text] : cases)
            EXPECT_EQ(Analyse(t.Build({SmallImage(t, 8, 8, compression)})).result,
                      std::string("【IFD #0000 [画像サイズ]     8 x     8 ") + text)
                << compression;
    }
}

TEST(TiffChain, SummaryOfAnIfdWithoutImageFields)
{
    // No size gives 0 x 0; no Compression means uncompressed.
    TiffBuilder t(true);
    EXPECT_EQ(Analyse(t.Build({{t.Ascii(305, "x")}})).result,
              "【IFD #0000 [画像サイズ]     0 x     0 [圧縮形式] 非圧縮 】");
}

TEST(TiffChain, LastIfdSaysThereIsNoNext)
{
    TiffBuilder t(true);
    const Analysis a = Analyse(t.Build({SmallImage(t, 1, 1, 1), SmallImage(t, 1, 1, 1)}));
    EXPECT_TRUE(Contains(a.detail, "  [0000002e] Offset to Next IFD = 0x00000032\n"));
    EXPECT_TRUE(Contains(a.detail, "  [00000058] Offset to Next IFD = 0x00000000 (Next IFD is nothing)\n"));
}

TEST(TiffChain, RowOfManyPagesEndsWithTheLastWholePage)
{
    // Each summary is 66 bytes in code page 932: seven fit beside the tail,
    // nine do not fit at all; seven alone fit whole without it.
    TiffBuilder t(true);
    const std::string one = "【IFD #0000 [画像サイズ]    16 x    16 [圧縮形式] PackBits圧縮 】";
    for (size_t pages : {7u, 9u, 30u}) {
        SCOPED_TRACE(pages);
        std::vector<std::vector<Field>> ifds(pages, SmallImage(t, 16, 16, 32773));
        const std::string result = Analyse(t.Build(ifds)).result;
        EXPECT_LE(Cp932Length(result.data(), result.size()), 511u);
        EXPECT_EQ(result.substr(0, one.size()), one);
        const std::string tail = "】… 全" + std::to_string(pages) + " IFD";
        if (pages == 7) {
            EXPECT_EQ(result.substr(result.size() - 3), "】") << result;
            continue;
        }
        ASSERT_GE(result.size(), tail.size());
        EXPECT_EQ(result.substr(result.size() - tail.size()), tail) << result;
        // Only whole pages precede the tail.
        EXPECT_NE(result.find("【IFD #0006 "), std::string::npos);
        EXPECT_EQ(result.find("【IFD #0007 "), std::string::npos);
    }
}

TEST(TiffChain, ChainThatPointsBackEndsAtTheRepeatedIfd)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        Bytes file = t.Build({SmallImage(t, 4, 4, 1), SmallImage(t, 5, 5, 1)});
        // IFD 1 (at 0x32) points back to IFD 0.
        Set32(file, 0x32 + 2 + 3 * 12, 8, le);
        const Analysis a = Analyse(file);
        EXPECT_EQ(a.result, "【IFD #0000 [画像サイズ]     4 x     4 [圧縮形式] 非圧縮 】"
                            "【IFD #0001 [画像サイズ]     5 x     5 [圧縮形式] 非圧縮 】");
        EXPECT_TRUE(Contains(a.detail, "Offset to Next IFD = 0x00000008\n"));
        EXPECT_FALSE(Contains(a.bar, "IFD #0002"));

        // An IFD that names itself as its successor.
        Set32(file, 8 + 2 + 3 * 12, 8, le);
        EXPECT_EQ(Analyse(file).result, "【IFD #0000 [画像サイズ]     4 x     4 [圧縮形式] 非圧縮 】");
    }
}

TEST(TiffChain, LongChainStopsAtTheIfdLimit)
{
    // More empty IFDs than the limit, each pointing to the next.
    constexpr uint32_t kChain = CTiffAnalyzer::kMaxIfds + 76;
    TiffBuilder t(true);
    Bytes file = t.Build({});
    Set32(file, 4, 8, true);
    for (uint32_t i = 0; i < kChain; ++i) {
        const size_t at = file.size();
        Put16(file, 0, true);
        Put32(file, i + 1 < kChain ? uint32_t(at + 6) : 0, true);
    }
    testing_support::TempDir dir;
    const std::string path = dir.Write("chain.tif", file);
    testing_support::Headless h;
    h.app.OpenFiles({path});
    size_t ifdLines = 0;
    for (const AnalysisEntry* e = h.app.Entries().GetEntryListHead(); e; e = e->next)
        ifdLines += std::string(e->text).find("/* --- IFD #") != std::string::npos;
    EXPECT_EQ(ifdLines, CTiffAnalyzer::kMaxIfds);
}

TEST(TiffChain, OffsetsOutsideTheFileEndTheWalk)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        // The first IFD lies beyond the end: only the header is shown.
        Bytes file = t.Build({SmallImage(t, 4, 4, 1)});
        Set32(file, 4, 0x7FFFFFF0, le);
        Analysis a = Analyse(file);
        EXPECT_EQ(a.result, "");
        EXPECT_TRUE(Contains(a.detail, "Offset to 0th IFD = 0x7ffffff0\n"));
        EXPECT_FALSE(Contains(a.detail, "ImageFileDirectory"));

        // A next-IFD offset beyond the end is shown, and not followed.
        file = t.Build({SmallImage(t, 4, 4, 1)});
        Set32(file, 8 + 2 + 3 * 12, 0xFFFFFFF0, le);
        a = Analyse(file);
        EXPECT_TRUE(Contains(a.detail, "Offset to Next IFD = 0xfffffff0\n"));
        EXPECT_EQ(a.result, "【IFD #0000 [画像サイズ]     4 x     4 [圧縮形式] 非圧縮 】");
    }
}

TEST(TiffChain, EntryCountBeyondTheFileReadsOnlyWholeEntries)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        Bytes file = t.Build({SmallImage(t, 4, 4, 1)});
        file[8] = file[9] = 0xFF;   // 65535 entries claimed, 3 present
        file.pop_back();   // the next-IFD offset is cut short
        file.pop_back();
        const Analysis a = Analyse(file);
        EXPECT_TRUE(Contains(a.detail, "Number of Directory Entry = 65535\n"));
        EXPECT_TRUE(Contains(a.detail, "Tag = 0x0103 ... Compression\n"));
        EXPECT_FALSE(Contains(a.detail, "Offset to Next IFD"));
        EXPECT_EQ(a.result, "【IFD #0000 [画像サイズ]     4 x     4 [圧縮形式] 非圧縮 】");
    }
}

TEST(TiffChain, TruncatedHeaderShowsWhatCouldBeRead)
{
    const Analysis a = Analyse(Bytes{'I', 'I', 0x2A});
    EXPECT_TRUE(Contains(a.bar, "[00000000] ImageFileHeader(0x4949:Little Endian)"));
    EXPECT_EQ(a.result, "");
    EXPECT_FALSE(Contains(a.detail, "ImageFileDirectory"));
}
