// Lines of the APPn, DQT, DHT, SOF0, DRI, SOS and COM segments, and the rough
// summary.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "codec/jpeg_stream_parser.h"
#include "jpeg/jpeg_analyzer.h"
#include "jpeg/jpeg_bytes.h"
#include "jpeg/jpeg_test_support.h"

using namespace jpeg_bytes;
using jpeg_test::Analyse;

namespace {

// Lines of a tree text at depth 0 and 1 only (two spaces of indent at most).
std::string TopTwoLevels(const std::string& text)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.rfind("    ", 0) != 0)
            out += line + "\n";
    return out;
}

Bytes App0(const std::string& id, uint8_t unit, uint8_t tw, uint8_t th, const Bytes& thumbnail = {})
{
    Bytes p;
    PutText(p, id);
    Put(p, {0, 1, 2, unit, 0, 96, 0, 48, tw, th});
    Put(p, thumbnail);
    return Segment(0xE0, p);
}

}  // namespace

TEST(JpegApp0, DepthLineFollowsTheUnit)
{
    const char* lines[] = {"  [0000000d] Depth = 96 : 48 [pixel]\n", "  [0000000d] Depth = 96 : 48 [pixel/inch]\n",
                           "  [0000000d] Depth = 96 : 48 [pixel/cm]\n", ""};
    for (uint8_t unit = 0; unit < 4; ++unit) {
        Bytes f = Soi();
        Put(f, App0("JFIF", unit, 0, 0));
        Put(f, Eoi());
        EXPECT_EQ(Analyse(f).detail, std::string("[00000000] SOI\n"
                                                 "[00000002] APP0\n"
                                                 "  [00000004] Field Length = 16 [byte]\n"
                                                 "  [00000006] File Format = JFIF (Version 1.2)\n") +
                                         lines[unit] +
                                         "  [00000012] Thumbnail Size = 0 x 0 (No Thumbnail)\n"
                                         "[00000014] EOI\n");
    }
}

TEST(JpegApp0, ThumbnailIsSkippedByTheSegmentLength)
{
    Bytes thumbnail(16 * 12 * 3, 0x80);
    thumbnail[100] = 0xFF;   // an EOI pair inside the pixels must not be taken
    thumbnail[101] = 0xD9;
    Bytes f = Soi();
    Put(f, App0("JFIF", 1, 16, 12, thumbnail));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.detail,
              "[00000000] SOI\n"
              "[00000002] APP0\n"
              "  [00000004] Field Length = 592 [byte]\n"
              "  [00000006] File Format = JFIF (Version 1.2)\n"
              "  [0000000d] Depth = 96 : 48 [pixel/inch]\n"
              "  [00000012] Thumbnail Size = 16 x 12\n"
              "[00000254] EOI\n");
}

TEST(JpegApp0, OtherIdentifiersGetTheJfifLayout)
{
    Bytes f = Soi();
    Put(f, App0("AVI1", 7, 0, 3));
    Put(f, Eoi());
    EXPECT_EQ(Analyse(f).detail,
              "[00000000] SOI\n"
              "[00000002] APP0\n"
              "  [00000004] Field Length = 16 [byte]\n"
              "  [00000006] File Format = AVI1 (Version 1.2)\n"
              "  [00000012] Thumbnail Size = 0 x 3 (No Thumbnail)\n"
              "[00000014] EOI\n");
}

TEST(JpegApp1, ExifHeaderLinesAndResumeAtSegmentEnd)
{
    Bytes f = Soi();
    Put(f, App0Jfif());
    Bytes p;
    PutText(p, "Exif");
    Put(p, {0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0xFF, 0xD9, 0, 0});
    Put(f, Segment(0xE1, p));
    Put(f, Eoi());
    const auto r = Analyse(f);
    // The TIFF analyzer's own lines hang below the thumbnail-data line.
    EXPECT_EQ(TopTwoLevels(r.detail.substr(r.detail.find("[00000014] APP1"))),
              "[00000014] APP1\n"
              "  [00000016] Field Length = 22 [byte]\n"
              "  [00000018] File Format = Exif\n"
              "  [0000001c] NULL = 0x00 / Padding = 0x00\n"
              "  [0000001e] Thumbnail Data (TIFF Format) 0x0000001E - 0x0000002B\n"
              "[0000002c] EOI\n");
    EXPECT_NE(r.rough.find("  [00000014] APP1\n  [0000002c] EOI\n"), std::string::npos);
}

TEST(JpegApp1, XmpIsLaidOutAndOtherContentNamedByItsIdentifier)
{
    struct Case {
        std::string payload;
        const char* line;
    };
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta/>";
    const Case cases[] = {
        {xmp, "  [00000006] File Format = Adobe XMP metadata packet\n"
              "  [00000023] XMP Packet 0x00000023 - 0x0000002E (12 [byte])\n"
              "    [00000023] <x:xmpmeta/>\n"},
        {std::string("http://ns.adobe.com/xap/1.0/") + "x<x:xmpmeta/>", "  識別子がありません\n"},
        {std::string("EXIF") + '\0' + '\0' + "II*", "  [00000006] Identifier = EXIF\n"},
        {"Ex", "  識別子がありません\n"},
    };
    for (const Case& c : cases) {
        Bytes f = Soi();
        Bytes p;
        PutText(p, c.payload);
        Put(f, Segment(0xE1, p));
        Put(f, Eoi());
        char expected[512];
        std::snprintf(expected, sizeof expected,
                      "[00000000] SOI\n[00000002] APP1\n  [00000004] Field Length = %zu [byte]\n%s[%08zx] EOI\n",
                      c.payload.size() + 2, c.line, c.payload.size() + 6);
        EXPECT_EQ(Analyse(f).detail, expected) << c.payload;
    }
}

TEST(JpegApp2, IccChunkLinesAndAProfileTooShortToLayOut)
{
    Bytes p;
    PutText(p, "ICC_PROFILE");
    Put(p, {0, 1, 1, 0xFF, 0xD9});
    Bytes f = Soi();
    Put(f, Segment(0xE2, p));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.detail, "[00000000] SOI\n"
                        "[00000002] APP2\n"
                        "  [00000004] Field Length = 18 [byte]\n"
                        "  [00000006] File Format = ICC_PROFILE\n"
                        "  [00000012] Chunk = 1 / 1\n"
                        "  [00000014] Profile Data 0x00000014 - 0x00000015 (2 [byte])\n"
                        "    ICCプロファイルがヘッダより短いため、プロファイルは解析しません\n"
                        "[00000016] EOI\n");
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] APP2\n  [00000016] EOI\n");
}

TEST(JpegDqt, FourTablesInOneSegmentOfWhichOneHasSixteenBitValues)
{
    // The selector's high nibble is the precision: 0x11 is table 1 with
    // 16-bit values, 128 bytes of them.
    Bytes p;
    for (uint8_t sel : {0x00, 0x01, 0x11, 0x03}) {
        p.push_back(sel);
        p.insert(p.end(), sel == 0x11 ? 128 : 64, sel + 1);
    }
    Bytes f = Soi();
    Put(f, Segment(0xDB, p));
    Put(f, Eoi());
    EXPECT_EQ(Analyse(f).detail,
              "[00000000] SOI\n"
              "[00000002] DQT\n"
              "  [00000004] Field Length = 326 [byte]\n"
              "  [00000006] Quantization Table\n"
              "    Quantization Table #0 (0x00000006 - 0x00000046)\n"
              "    Quantization Table #1 (0x00000047 - 0x00000087)\n"
              "    Quantization Table #17 (0x00000088 - 0x00000108)\n"
              "    Quantization Table #3 (0x00000109 - 0x00000149)\n"
              "[0000014a] EOI\n");
}

TEST(JpegDqt, ValuesAreStoredInZigzagCells)
{
    Bytes p{0x00};
    for (int k = 0; k < 64; ++k)
        p.push_back(static_cast<uint8_t>(k));
    Bytes earlier(65, 9);
    earlier[0] = 0x00;
    Bytes f = Soi();
    Put(f, Segment(0xDB, earlier));
    Put(f, Segment(0xDB, p));   // selector 0 again: the later table replaces the earlier
    Put(f, Eoi());
    CJpegStreamParser parser;
    size_t scanStart = 0;
    parser.Read(f.data(), f.size(), &scanStart);
    ASSERT_TRUE(parser.Tables().quantPresent[0]);
    const QuantTable* q = &parser.Tables().quant[0];
    // ITU-T T.81 Figure 5: the zigzag walk over [column][row].
    EXPECT_EQ(q->value[0][0], 0u);
    EXPECT_EQ(q->value[1][0], 1u);
    EXPECT_EQ(q->value[0][1], 2u);
    EXPECT_EQ(q->value[0][2], 3u);
    EXPECT_EQ(q->value[1][1], 4u);
    EXPECT_EQ(q->value[2][0], 5u);
    EXPECT_EQ(q->value[7][6], 61u);
    EXPECT_EQ(q->value[6][7], 62u);
    EXPECT_EQ(q->value[7][7], 63u);
    // Every cell once: the table is a permutation.
    uint64_t seen = 0;
    for (int c = 0; c < 8; ++c)
        for (int r = 0; r < 8; ++r)
            seen |= uint64_t{1} << q->value[c][r];
    EXPECT_EQ(seen, ~uint64_t{0});
}

TEST(JpegDqt, LengthPastTheFileEndIsLaidOutAsFarAsTheFileGoes)
{
    Bytes f = Soi();
    Put(f, {0xFF, 0xDB, 0xFF, 0xFF, 0x00});
    Put(f, Bytes(64, 1));
    const auto r = Analyse(f);
    EXPECT_EQ(r.detail,
              "[00000000] SOI\n"
              "[00000002] DQT\n"
              "  [00000004] Field Length = 65535 [byte]\n"
              "  [00000006] Quantization Table\n"
              "    Quantization Table #0 (0x00000006 - 0x00000046)\n"
              "[00000047] EOIの前にデータが終わっています\n");
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] 不正なマーカ(0xFFDB)\n  [00000047] EOIの前にデータが終わっています\n");
}

TEST(JpegDht, ClassAndDestinationNameTheTable)
{
    Bytes p = HuffmanBody(0x10, LumaDcCounts(), LumaDcSymbols());
    Put(p, HuffmanBody(0x01, LumaDcCounts(), LumaDcSymbols()));
    Put(p, HuffmanBody(0x23, LumaDcCounts(), LumaDcSymbols()));
    Bytes f = Soi();
    Put(f, Segment(0xC4, p));
    Put(f, Eoi());
    EXPECT_EQ(Analyse(f).detail,
              "[00000000] SOI\n"
              "[00000002] DHT\n"
              "  [00000004] Field Length = 89 [byte]\n"
              "  [00000006] Define Huffman Table\n"
              "    Huffman Table (AC) #0 (0x00000006 - 0x00000022)\n"
              "    Huffman Table (DC) #1 (0x00000023 - 0x0000003F)\n"
              "    Huffman Table (AC) #3 (0x00000040 - 0x0000005C)\n"
              "[0000005d] EOI\n");
}

TEST(JpegDht, StandardLuminanceDcCodes)
{
    Bytes f = Soi();
    Put(f, DhtStandardLuma());
    Put(f, Eoi());
    CJpegStreamParser parser;
    size_t scanStart = 0;
    parser.Read(f.data(), f.size(), &scanStart);
    const JpegTables& tables = parser.Tables();
    ASSERT_TRUE(tables.dcPresent[0] && tables.acPresent[0]);
    const HuffmanTable* dc = &tables.dc[0];
    EXPECT_EQ(dc->classDestination, 0x00u);
    std::string codes;
    for (const HuffmanCode& c : dc->codes) {
        for (uint32_t bit = c.length; bit-- > 0;)
            codes += ((c.code >> bit) & 1) ? '1' : '0';
        codes += '=';
        codes += std::to_string(c.symbol);
        codes += ' ';
    }
    EXPECT_EQ(codes,
              "00=0 010=1 011=2 100=3 101=4 110=5 1110=6 11110=7 111110=8 1111110=9 11111110=10 111111110=11 ");
    EXPECT_EQ(tables.ac[0].classDestination, 0x10u);
    EXPECT_EQ(tables.ac[0].codes.size(), 162u);
}

TEST(JpegSof, DetailedComponentsAndRoughSummary)
{
    Bytes f = Soi();
    Put(f, Sof0(1024, 768, {{1, 0x22, 0}, {2, 0x11, 1}, {3, 0x11, 1}}));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.detail,
              "[00000000] SOI\n"
              "[00000002] SOF\n"
              "  [00000002] Baseline DCT, Huffman coding\n"
              "  [00000004] Field Length = 17 [byte]\n"
              "  [00000006] Bit Accuracy = 8 [bits/pixel]\n"
              "  [00000007] Vertical Size = 768 [lines]\n"
              "  [00000009] Horizontal Size = 1024 [pixels]\n"
              "  [0000000b] Component Number = 3\n"
              "    [0000000c] Number of Component = 1\n"
              "      Ratio = 0x22\n"
              "      Quantization Table Selection = 0\n"
              "    [0000000f] Number of Component = 2\n"
              "      Ratio = 0x11\n"
              "      Quantization Table Selection = 1\n"
              "    [00000012] Number of Component = 3\n"
              "      Ratio = 0x11\n"
              "      Quantization Table Selection = 1\n"
              "[00000015] EOI\n");
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] SOF\n  [00000015] EOI\n");
    EXPECT_EQ(r.result, "[画像サイズ] 1024 x   768 [クロマフォーマット]4:2:0 ");
}

TEST(JpegSof, ChromaTextNamesTheRatioOfLumaToChromaOrShowsEveryFactor)
{
    struct Case {
        uint8_t first;
        uint8_t second;   // 0: a one-component frame
        int components;   // three: the third is sampled 0x11
        const char* chroma;
        int adobe = -1;   // the Adobe segment's transform, -1 for none
        int adobeAgain = -1;   // a second Adobe segment's, which does not count
    };
    const Case cases[] = {
        {0x11, 0x11, 3, "[クロマフォーマット]4:4:4 "}, {0x21, 0x11, 3, "[クロマフォーマット]4:2:2 "},
        {0x22, 0x11, 3, "[クロマフォーマット]4:2:0 "}, {0x12, 0x11, 3, "[クロマフォーマット]4:4:0 "},
        {0x41, 0x11, 3, "[クロマフォーマット]4:1:1 "}, {0x22, 0x22, 3, "[クロマフォーマット]2x2,2x2,1x1 "},
        {0x42, 0x21, 3, "[クロマフォーマット]4x2,2x1,1x1 "}, {0x31, 0x11, 3, "[クロマフォーマット]3x1,1x1,1x1 "},
        {0x21, 0x22, 3, "[クロマフォーマット]2x1,2x2,1x1 "}, {0x22, 0x00, 3, "[クロマフォーマット]2x2,0x0,1x1 "},
        {0x42, 0x11, 3, "[クロマフォーマット]4x2,1x1,1x1 "}, {0x12, 0x22, 3, "[クロマフォーマット]1x2,2x2,1x1 "},
        {0x22, 0x00, 1, "[クロマフォーマット]モノクロ "}, {0x11, 0x11, 2, "[クロマフォーマット]4:4:4 "},
        {0x11, 0x11, 4, "[クロマフォーマット]CMYK 1x1,1x1,1x1,1x1 "},
        {0x22, 0x11, 4, "[クロマフォーマット]CMYK 2x2,1x1,1x1,2x2 ", 0},
        {0x22, 0x11, 4, "[クロマフォーマット]YCCK 2x2,1x1,1x1,2x2 ", 2},
        {0x22, 0x11, 4, "[クロマフォーマット]YCCK 2x2,1x1,1x1,2x2 ", 2, 0},
        {0x22, 0x11, 4, "[クロマフォーマット]CMYK 2x2,1x1,1x1,2x2 ", 0, 2},
    };
    for (const Case& c : cases) {
        Bytes f = Soi();
        for (const int transform : {c.adobe, c.adobeAgain}) {
            if (transform < 0)
                continue;
            Bytes adobe;
            PutText(adobe, "Adobe");
            Put(adobe, {0, 100, 0, 0, 0, 0, uint8_t(transform)});
            Put(f, Segment(0xEE, adobe));
        }
        if (c.components == 1)
            Put(f, Sof0(16, 8, {{1, c.first, 0}}));
        else if (c.components == 2)
            Put(f, Sof0(16, 8, {{1, c.first, 0}, {2, c.second, 0}}));
        else if (c.components == 3)
            Put(f, Sof0(16, 8, {{1, c.first, 0}, {2, c.second, 0}, {3, 0x11, 0}}));
        else
            Put(f, Sof0(16, 8, {{1, c.first, 0}, {2, c.second, 0}, {3, 0x11, 0}, {4, c.first, 0}}));
        Put(f, Eoi());
        EXPECT_EQ(Analyse(f).result, std::string("[画像サイズ]   16 x     8 ") + c.chroma)
            << int(c.first) << "/" << int(c.second);
    }
}

TEST(JpegSos, DetailedLines)
{
    Bytes p{2, 1, 0x00, 2, 0x11, 0, 63, 0x21};
    Bytes f = Soi();
    Put(f, Segment(0xDA, p));
    Put(f, Eoi());
    // Without the tables and the frame the scan is not accepted...
    EXPECT_EQ(Analyse(f).detail, "[00000000] SOI\n[0000000e] EOI\n");
    // ...with them it is.
    Bytes g = Soi();
    Put(g, Dqt());
    Put(g, Sof0(8, 8, {{1, 0x11, 0}, {2, 0x11, 0}}));
    Put(g, DhtStandardLuma());
    Bytes second = HuffmanBody(0x01, LumaDcCounts(), LumaDcSymbols());
    Put(second, HuffmanBody(0x11, LumaAcCounts(), LumaAcSymbols()));
    Put(g, Segment(0xC4, second));
    const size_t at = g.size();
    Put(g, Segment(0xDA, p));
    Put(g, Eoi());
    const std::string detail = Analyse(g).detail;
    char expected[1024];
    std::snprintf(expected, sizeof expected,
                  "[%08zx] SOS\n"
                  "  [%08zx] Field Length = 10 [byte]\n"
                  "  [%08zx] Component Number = 2\n"
                  "    [%08zx] Component Selector = 1\n"
                  "      Huffman Table Selection (DC, AC) = (#0, #0)\n"
                  "    [%08zx] Component Selector = 2\n"
                  "      Huffman Table Selection (DC, AC) = (#1, #1)\n"
                  "  [%08zx] Scan Start Position = 0\n"
                  "  [%08zx] Scan End Position = 63\n"
                  "  [%08zx] Successive Approximation = 33\n"
                  "    Ah = 2 / Al = 1\n"
                  "  未対応の形式\n"
                  "[%08zx] Image Data\n",
                  at, at + 2, at + 4, at + 5, at + 7, at + 9, at + 10, at + 11, at + 12);
    EXPECT_NE(detail.find(expected), std::string::npos) << detail;
}

TEST(JpegDri, DetailedSegmentIsLaidOut)
{
    Bytes f = Soi();
    Put(f, Dri(300));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.detail,
              "[00000000] SOI\n"
              "[00000002] DRI\n"
              "  [00000004] Field Length = 4 [byte]\n"
              "  [00000006] Restart Interval = 300 [MCU]\n"
              "[00000008] EOI\n");
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] DRI\n  [00000008] EOI\n");
}

TEST(JpegCom, EveryLineOfTheCommentIsShownAndTheWalkGoesOnAtTheSegmentEnd)
{
    Bytes f = Soi();
    Bytes p;
    PutText(p, "abc\r\ndef");
    Put(p, {0xFF, 0xD9, 'x'});
    Put(f, Segment(0xFE, p));
    Put(f, Eoi());
    const auto r = Analyse(f);
    // The EOI pair after "def" lies inside the segment and is not a marker;
    // the line shows its bytes as code page 932 does.
    EXPECT_EQ(r.detail,
              "[00000000] SOI\n"
              "[00000002] COM\n"
              "  [00000004] Field Length = 13 [byte]\n"
              "  [00000006] Comment : abc\n"
              "  [0000000b] Comment : def\xEF\xBF\xBD\xEF\xBE\x99x\n"
              "[00000011] EOI\n");
}

TEST(JpegCom, LongCommentGoesOnInTheNextLine)
{
    Bytes p(600, 'a');
    p[495] = 0xFF;
    p[496] = 0xD9;
    Bytes f = Soi();
    Put(f, Segment(0xFE, p));
    Put(f, Eoi());
    const auto r = Analyse(f);
    const std::string line = "  [00000006] Comment : " + std::string(490, 'a') + "\n";
    EXPECT_EQ(r.detail, "[00000000] SOI\n[00000002] COM\n  [00000004] Field Length = 602 [byte]\n" + line +
                            "  [000001f0] Comment : aaaaa\xEF\xBF\xBD\xEF\xBE\x99" + std::string(103, 'a') +
                            "\n[0000025e] EOI\n");
    EXPECT_EQ(line.size() - 3, 511u);
}

TEST(JpegCom, CutNeverSplitsACharacter)
{
    Bytes p{'x'};
    for (int i = 0; i < 300; ++i)
        Put(p, {0xC3, 0xA9});   // é
    Bytes f = Soi();
    Put(f, Segment(0xFE, p));
    Put(f, Eoi());
    const auto r = Analyse(f);
    std::string text = "x";
    for (int i = 0; i < 244; ++i)
        text += "é";
    EXPECT_NE(r.detail.find("  [00000006] Comment : " + text + "\n"), std::string::npos);
    EXPECT_NE(r.detail.find("[0000025f] EOI"), std::string::npos);
}

TEST(JpegCom, ShiftJisTextIsShownAsUtf8AndCutByItsBytesInTheFile)
{
    struct Case {
        std::string bytes;
        std::string shown;
    };
    std::string longText = "x", longShown = "x";
    for (int i = 0; i < 300; ++i) {
        longText += "\x82\xa0";
        // 490 bytes are left for the text: "x" and 244 characters.
        longShown += i < 244 ? "あ" : "";
    }
    const Case cases[] = {
        {"\x93\xfa\x96\x7b\x8c\xea\x83\x52\x83\x81\x83\x93\x83\x67 \xb6\xc0\xb6\xc5", "日本語コメント ｶﾀｶﾅ"},
        {"\xef\xbb\xbf\xe6\x97\xa5\xe6\x9c\xac", "\xef\xbb\xbf日本"},
        {longText, longShown},
    };
    for (const Case& c : cases) {
        Bytes p;
        PutText(p, c.bytes);
        p.push_back('\0');
        Bytes f = Soi();
        Put(f, Segment(0xFE, p));
        Put(f, Eoi());
        EXPECT_NE(Analyse(f).detail.find("  [00000006] Comment : " + c.shown + "\n"), std::string::npos) << c.shown;
    }
}

TEST(JpegCom, EmptyCommentHasOnlyItsLength)
{
    Bytes f = Soi();
    Put(f, {0xFF, 0xFE, 0, 2});
    Put(f, Eoi());
    EXPECT_EQ(Analyse(f).detail, "[00000000] SOI\n[00000002] COM\n  [00000004] Field Length = 2 [byte]\n[00000006] EOI\n");
}
