// The marker walk: which markers are accepted where, and the lines of SOI,
// EOI, restart and invalid markers, the end of the data and what follows EOI
// in both modes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "jpeg/jpeg_bit_reader.h"
#include "jpeg/jpeg_bytes.h"
#include "jpeg/jpeg_test_support.h"

using namespace jpeg_bytes;
using jpeg_test::Analyse;

TEST(JpegWalk, SoiAndEoiOnly)
{
    const auto r = Analyse({0xFF, 0xD8, 0xFF, 0xD9});
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] EOI\n");
    EXPECT_EQ(r.detail, "[00000000] SOI\n[00000002] EOI\n");
    EXPECT_EQ(r.result, "");
    EXPECT_EQ(r.images, 0u);
}

TEST(JpegWalk, CommentBeforeSoiLocksOutEverythingButCommentAndEoi)
{
    Bytes f{0xFF, 0xFE, 0x00, 0x04, 'a', 'b'};
    Put(f, Soi());
    Put(f, Dqt());
    Put(f, Segment(0xFE, {'x', 'y', 'z'}));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.rough,
              "  [00000000] COM\n"
              "  [00000006] 不正なマーカ(0xFFD8)\n"
              "  [00000008] 不正なマーカ(0xFFDB)\n"
              "  [0000004d] COM\n"
              "  [00000054] EOI\n");
    EXPECT_EQ(r.detail,
              "[00000000] COM\n"
              "  [00000002] Field Length = 4 [byte]\n"
              "  [00000004] Comment : ab\n"
              "[0000004d] COM\n"
              "  [0000004f] Field Length = 5 [byte]\n"
              "  [00000051] Comment : xyz\n"
              "[00000054] EOI\n");
}

TEST(JpegWalk, ApplicationSegmentsInAnyNumberAreAcceptedAndPassedOverByTheirLength)
{
    Bytes f = Soi();
    Put(f, App0Jfif());
    // A JFXX extension whose payload holds an EOI pair, a second APP1 and
    // APP3 to APP15: each is passed over by its length.
    Bytes jfxx;
    PutText(jfxx, "JFXX");
    Put(jfxx, {0, 0x10, 0xFF, 0xD9});
    Put(f, Segment(0xE0, jfxx));
    for (uint8_t m = 0xE1; m <= 0xEF; ++m)
        Put(f, Segment(m, {0xFF, 0xD9}));
    Put(f, Segment(0xE1, {0xFF, 0xD9}));
    Put(f, Eoi());
    const auto r = Analyse(f);
    std::string expected = "  [00000000] SOI\n  [00000002] APP0\n  [00000014] APP0\n";
    char line[64];
    size_t at = 0x20;
    for (int n = 1; n <= 15; ++n, at += 6) {
        std::snprintf(line, sizeof line, "  [%08zx] APP%d\n", at, n);
        expected += line;
    }
    std::snprintf(line, sizeof line, "  [%08zx] APP1\n  [%08zx] EOI\n", at, at + 6);
    expected += line;
    EXPECT_EQ(r.rough, expected);
    EXPECT_NE(r.detail.find("[00000014] APP0\n  [00000016] Field Length = 10 [byte]\n"), std::string::npos) << r.detail;
}

TEST(JpegWalk, EveryFrameKindIsAcceptedWithItsScan)
{
    for (uint8_t frame : {0xC0, 0xC1, 0xC2, 0xC3, 0xC9, 0xCA, 0xCB}) {
        Bytes f = Soi();
        Put(f, Dqt());
        Put(f, Sof0(8, 8, {{1, 0x11, 0}}, frame));
        Put(f, DhtStandardLuma());
        Put(f, Sos({{1, 0x00}}));
        Put(f, FlatGrayBlocks(1));
        Put(f, Eoi());
        const auto r = Analyse(f);
        const std::string name = frame == 0xC0 ? "SOF" : "SOF" + std::to_string(frame - 0xC0);
        EXPECT_EQ(r.rough,
                  "  [00000000] SOI\n"
                  "  [00000002] DQT\n"
                  "  [00000047] " + name + "\n"
                  "  [00000054] DHT\n"
                  "  [00000128] SOS\n"
                  "  [00000133] EOI\n");
        EXPECT_EQ(r.result, "[画像サイズ]    8 x     8 [クロマフォーマット]モノクロ ");
        EXPECT_NE(r.detail.find("Image Data"), std::string::npos);
    }
}

TEST(JpegWalk, ScanNeedsItsFrameAndTheHuffmanTablesItNames)
{
    const Bytes dqt = Dqt(), sof = Sof0(8, 8, {{1, 0x11, 0}}), dht = DhtStandardLuma();
    Bytes dcOnly = Segment(0xC4, HuffmanBody(0x00, LumaDcCounts(), LumaDcSymbols()));
    struct Case {
        std::vector<Bytes> parts;
        bool accepted;
    };
    const Case cases[] = {
        {{dqt, sof, dht}, true},
        {{dht, sof, dqt}, true},
        {{sof, dht}, true},
        {{dqt, dht}, false},
        {{dqt, sof}, false},
        {{dqt, sof, dcOnly}, false},
        {{dht, dqt, sof}, true},
    };
    for (const Case& c : cases) {
        Bytes f = Soi();
        for (const Bytes& part : c.parts)
            Put(f, part);
        Put(f, Sos({{1, 0x00}}));
        Put(f, FlatGrayBlocks(1));
        Put(f, Eoi());
        const auto r = Analyse(f);
        EXPECT_EQ(r.rough.find("] SOS\n") != std::string::npos, c.accepted) << r.rough;
        EXPECT_EQ(r.rough.find("(0xFFDA)") != std::string::npos, !c.accepted) << r.rough;
        EXPECT_EQ(r.images, c.accepted ? 1u : 0u);
    }
    // A scan that names a component its frame does not have.
    Bytes f = Soi();
    Put(f, Dqt());
    Put(f, Sof0(8, 8, {{1, 0x11, 0}}));
    Put(f, DhtStandardLuma());
    Put(f, Sos({{2, 0x00}}));
    Put(f, Eoi());
    EXPECT_NE(Analyse(f).rough.find("不正なマーカ(0xFFDA)"), std::string::npos);
}

TEST(JpegWalk, BetweenScansTablesAndScansAreAcceptedButNoSecondFrame)
{
    Bytes f = FlatGrayFile(8, 8);
    f.erase(f.end() - 2, f.end());
    const size_t after = f.size();
    Put(f, Dqt());
    Put(f, DhtStandardLuma());
    Put(f, Sof0(8, 8, {{1, 0x11, 0}}));
    Put(f, Dri(4));
    Put(f, Sos({{1, 0x00}}));
    Put(f, App0Jfif());
    Put(f, Segment(0xE2, {1, 2, 3}));
    Put(f, Segment(0xFE, {'h', 'i', '!'}));
    Put(f, {0xFF, 0xD8});
    Put(f, Eoi());
    const auto r = Analyse(f);
    const std::string tail = r.rough.substr(r.rough.find("] SOS\n") + 6);
    char expected[1024];
    std::snprintf(expected, sizeof expected,
                  "  [%08zx] DQT\n"
                  "  [%08zx] DHT\n"
                  "  [%08zx] 不正なマーカ(0xFFC0)\n"
                  "  [%08zx] DRI\n"
                  "  [%08zx] SOS\n"
                  "  [%08zx] APP0\n"
                  "  [%08zx] APP2\n"
                  "  [%08zx] COM\n"
                  "  [%08zx] 不正なマーカ(0xFFD8)\n"
                  "  [%08zx] EOI\n",
                  after, after + 69, after + 69 + 212, after + 69 + 212 + 13, after + 69 + 212 + 13 + 6,
                  after + 69 + 212 + 13 + 6 + 10, after + 69 + 212 + 13 + 6 + 10 + 18,
                  after + 69 + 212 + 13 + 6 + 10 + 18 + 7, after + 69 + 212 + 13 + 6 + 10 + 18 + 7 + 7,
                  after + 69 + 212 + 13 + 6 + 10 + 18 + 7 + 9);
    EXPECT_EQ(tail, expected);
}

TEST(JpegWalk, DnlAfterTheFirstScanGivesTheLines)
{
    Bytes f = Soi();
    Put(f, Dqt());
    Put(f, Sof0(8, 0, {{1, 0x11, 0}}));
    Put(f, DhtStandardLuma());
    Put(f, Sos({{1, 0x00}}));
    Put(f, FlatGrayBlocks(1));
    const size_t dnl = f.size();
    Put(f, Segment(0xDC, {0, 8}));
    Put(f, Eoi());
    const auto r = Analyse(f);
    char line[64];
    std::snprintf(line, sizeof line, "  [%08zx] DNL\n", dnl);
    EXPECT_NE(r.rough.find(line), std::string::npos) << r.rough;
    EXPECT_EQ(r.rough.find("不正なマーカ"), std::string::npos);
    std::snprintf(line, sizeof line, "  [%08zx] Number of Lines = 8\n", dnl + 4);
    EXPECT_NE(r.detail.find(line), std::string::npos) << r.detail;
    // The number of lines comes after the scan it is needed for: the
    // picture is not drawn, and says so.
    EXPECT_NE(r.detail.find("  未対応の形式\n"), std::string::npos);
    EXPECT_EQ(r.images, 0u);
    // Before any scan DNL has no place.
    Bytes g = Soi();
    Put(g, Segment(0xDC, {0, 8}));
    Put(g, Eoi());
    EXPECT_NE(Analyse(g).rough.find("不正なマーカ(0xFFDC)"), std::string::npos);
}

TEST(JpegWalk, HierarchicalFramesFollowDhpAndExpStandsBetweenThem)
{
    Bytes f = Soi();
    Put(f, Segment(0xDE, {8, 0, 16, 0, 16, 1, 1, 0x11, 0}));
    Put(f, Sof0(8, 8, {{1, 0x11, 0}}));
    Put(f, Segment(0xDF, {0x11}));
    Put(f, Sof0(16, 16, {{1, 0x11, 0}}, 0xC5));
    Put(f, Sof0(16, 16, {{1, 0x11, 0}}, 0xC5));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.rough,
              "  [00000000] SOI\n"
              "  [00000002] DHP\n"
              "  [0000000f] SOF\n"
              "  [0000001c] EXP\n"
              "  [00000021] SOF5\n"
              "  [0000002e] SOF5\n"
              "  [0000003b] EOI\n");
    EXPECT_EQ(r.result, "[画像サイズ]   16 x    16 [クロマフォーマット]モノクロ ");
    EXPECT_NE(r.detail.find("  [00000021] Differential sequential DCT, Huffman coding\n"), std::string::npos);
    EXPECT_NE(r.detail.find("  [00000020] Expand = 0x11\n    Horizontal = 1\n    Vertical = 1\n"), std::string::npos)
        << r.detail;
    // Without DHP a differential frame has no place, and neither has EXP.
    Bytes g = Soi();
    Put(g, Segment(0xDF, {0x11}));
    Put(g, Sof0(16, 16, {{1, 0x11, 0}}, 0xC5));
    Put(g, Eoi());
    EXPECT_EQ(Analyse(g).rough,
              "  [00000000] SOI\n  [00000002] 不正なマーカ(0xFFDF)\n  [00000007] 不正なマーカ(0xFFC5)\n"
              "  [00000014] EOI\n");
}

TEST(JpegWalk, FillBytesBeforeAMarkerAreSkipped)
{
    // The marker is the last 0xFF of a run and the byte after it.
    auto r = Analyse({0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xD9});
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000004] EOI\n");
    r = Analyse({0xFF, 0xD8, 0xFF, 0xFF, 0xD9});
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000003] EOI\n");
    EXPECT_EQ(r.detail, "[00000000] SOI\n[00000003] EOI\n");
    // After a run, 0xFF 0x00 is still stuffing.
    r = Analyse({0xFF, 0xD8, 0x12, 0xFF, 0xFF, 0x00, 0xFF, 0xD9});
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000006] EOI\n");
    // A segment after fill bytes is found whole.
    Bytes f = Soi();
    Put(f, {0xFF, 0xFF, 0xFF});
    Put(f, Dqt());
    Put(f, Eoi());
    r = Analyse(f);
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000005] DQT\n  [0000004a] EOI\n");
}

TEST(JpegWalk, StuffedZeroIsNoMarkerButRestartMarkersAreListedByName)
{
    Bytes f = FlatGrayFile(8, 8);
    f.erase(f.end() - 2, f.end());
    const size_t at = f.size();
    Put(f, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xD7, 0xFF, 0xD9});
    const auto r = Analyse(f);
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "  [%08zx] RST0\n  [%08zx] RST7\n  [%08zx] EOI\n", at + 4,
                  at + 7, at + 9);
    EXPECT_NE(r.rough.find(expected), std::string::npos) << r.rough;
    // Outside entropy-coded data a restart marker is out of place.
    EXPECT_EQ(Analyse({0xFF, 0xD8, 0xFF, 0xD3, 0xFF, 0xD9}).rough,
              "  [00000000] SOI\n  [00000002] 不正なマーカ(0xFFD3)\n  [00000004] EOI\n");
}

TEST(JpegWalk, DataEndingWithoutEoiGetsAFinalLine)
{
    Bytes f = FlatGrayFile(64, 64);
    f.erase(f.end() - 10, f.end());
    const auto r = Analyse(f);
    char expected[96];
    std::snprintf(expected, sizeof expected, "[%08zx] EOIの前にデータが終わっています\n", f.size());
    ASSERT_GE(r.rough.size(), std::strlen(expected));
    EXPECT_EQ(r.rough.substr(r.rough.size() - std::strlen(expected)), expected);
    EXPECT_EQ(r.detail.substr(r.detail.size() - std::strlen(expected)), expected);
    EXPECT_EQ(r.rough.find("EOI\n"), std::string::npos);
    // The picture is still made, as far as the data goes.
    EXPECT_EQ(r.images, 1u);
}

TEST(JpegWalk, BytesAfterEoiAreListedAndAnAppendedPictureIsLaidOut)
{
    Bytes f = FlatGrayFile(8, 8);
    const size_t end = f.size();
    Put(f, FlatGrayFile(8, 8));
    Put(f, {'t', 'a', 'i', 'l'});
    const auto r = Analyse(f);
    char expected[128];
    std::snprintf(expected, sizeof expected, "  [%08zx] EOI\n  [%08zx] Data after EOI (%zu [byte])\n", end - 2, end,
                  f.size() - end);
    EXPECT_EQ(r.rough.substr(r.rough.size() - std::strlen(expected)), expected);
    // The appended picture's lines hang under the line, with a picture of
    // its own.
    std::snprintf(expected, sizeof expected, "[%08zx] Data after EOI (%zu [byte])\n  [%08zx] SOI\n", end,
                  f.size() - end, end);
    EXPECT_NE(r.detail.find(expected), std::string::npos) << r.detail;
    EXPECT_EQ(r.images, 2u);
    // Bytes that are no picture get only the line.
    Bytes g = Soi();
    Put(g, Eoi());
    Put(g, {0xFF, 0x01, 0xFF, 0xFE});
    EXPECT_EQ(Analyse(g).rough, "  [00000000] SOI\n  [00000002] EOI\n  [00000004] Data after EOI (4 [byte])\n");
}

// The MP index of an APP2 "MPF" segment (CIPA DC-007), little-endian: its
// two entries name the file's own picture and one appended after EOI.
Bytes MpfSegment(uint32_t firstSize, uint32_t secondOffset, uint32_t secondSize)
{
    const auto le32 = [](Bytes& out, uint32_t v) { Put(out, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); };
    const auto le16 = [](Bytes& out, uint32_t v) { Put(out, {uint8_t(v), uint8_t(v >> 8)}); };
    Bytes mp = {'I', 'I', 0x2A, 0x00};
    le32(mp, 8);
    le16(mp, 3);
    le16(mp, 0xB000), le16(mp, 7), le32(mp, 4), PutText(mp, "0100");
    le16(mp, 0xB001), le16(mp, 4), le32(mp, 1), le32(mp, 2);
    le16(mp, 0xB002), le16(mp, 7), le32(mp, 32), le32(mp, 8 + 2 + 3 * 12 + 4);
    le32(mp, 0);
    le32(mp, 0x20030000), le32(mp, firstSize), le32(mp, 0), le32(mp, 0);
    le32(mp, 0x00020002), le32(mp, secondSize), le32(mp, secondOffset), le32(mp, 0);
    Bytes payload;
    PutText(payload, std::string("MPF", 4));
    Put(payload, mp);
    return Segment(0xE2, payload);
}

TEST(JpegWalk, PicturesOfTheMpIndexAfterEoiAreLaidOutUnderTheirEntries)
{
    const Bytes own = FlatGrayFile(16, 8), second = FlatGrayFile(8, 8);
    const size_t segment = MpfSegment(0, 0, 0).size();
    const size_t firstSize = own.size() + segment;
    // MP offsets count from the byte order mark, 8 bytes into the segment.
    Bytes f(own.begin(), own.begin() + 2);
    Put(f, MpfSegment(uint32_t(firstSize), uint32_t(firstSize - 10), uint32_t(second.size())));
    f.insert(f.end(), own.begin() + 2, own.end());
    Put(f, second);
    const auto d = jpeg_test::RunDetailed(f);
    const size_t entry = d->detail.find("MPEntry #2\n");
    ASSERT_NE(entry, std::string::npos) << d->detail;
    // The appended picture's lines hang under its entry, not under the line
    // for the bytes after EOI.
    const size_t soi = d->detail.find("] SOI\n", entry);
    ASSERT_NE(soi, std::string::npos);
    const size_t lineStart = d->detail.rfind('\n', soi) + 1;
    const size_t entryStart = d->detail.rfind('\n', entry) + 1;
    EXPECT_GT(d->detail.find('[', lineStart) - lineStart, d->detail.find('[', entryStart) - entryStart);
    char expected[64];
    std::snprintf(expected, sizeof expected, "] Data after EOI (%zu [byte])\n", second.size());
    const size_t after = d->detail.find(expected);
    ASSERT_NE(after, std::string::npos);
    EXPECT_EQ(d->detail.find("] SOI\n", after), std::string::npos) << d->detail;
    ASSERT_EQ(d->document->pictures.size(), 2u);
    EXPECT_EQ(d->Window(0)->label, "");
    EXPECT_EQ(d->Window(1)->label, "MPF 2");
    EXPECT_EQ(d->Window(1)->image.PictureWidth(), 8);
}

TEST(JpegWalk, InvalidMarkersAreSilentInDetailedMode)
{
    const auto r = Analyse({0xFF, 0xD8, 0xFF, 0x01, 0xFF, 0xC8, 0x00, 0x02, 0xFF, 0xF3, 0x00, 0x02, 0xFF, 0xD9});
    EXPECT_EQ(r.rough,
              "  [00000000] SOI\n"
              "  [00000002] 不正なマーカ(0xFF01)\n"
              "  [00000004] 不正なマーカ(0xFFC8)\n"
              "  [00000008] 不正なマーカ(0xFFF3)\n"
              "  [0000000c] EOI\n");
    EXPECT_EQ(r.detail, "[00000000] SOI\n[0000000c] EOI\n");
}

TEST(JpegWalk, RoughSegmentsAreSkippedByTheirLength)
{
    // Each payload holds an EOI pair that must not be seen.
    Bytes f = Soi();
    for (uint8_t m : {0xE0, 0xE1, 0xE2, 0xDB, 0xC4, 0xDD, 0xFE})
        Put(f, Segment(m, {0xFF, 0xD9, 0x00}));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.rough,
              "  [00000000] SOI\n"
              "  [00000002] APP0\n"
              "  [00000009] APP1\n"
              "  [00000010] APP2\n"
              "  [00000017] DQT\n"
              "  [0000001e] DHT\n"
              "  [00000025] DRI\n"
              "  [0000002c] COM\n"
              "  [00000033] EOI\n");
}

TEST(JpegWalk, SegmentLengthBeyondTheFileEndsTheWalkWithoutMarkersFromInside)
{
    // The EOI pair inside the segment's bytes is never taken for a marker.
    Bytes f = Soi();
    Put(f, {0xFF, 0xE3, 0x7F, 0xF0, 'x', 0xFF, 0xD9, 'y'});
    const auto r = Analyse(f);
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] 不正なマーカ(0xFFE3)\n  [0000000a] EOIの前にデータが終わっています\n");
    // Detailed mode lays out what the file holds of the segment.
    EXPECT_EQ(r.detail,
              "[00000000] SOI\n[00000002] APP3\n  [00000004] Field Length = 32752 [byte]\n"
              "  識別子がありません\n[0000000a] EOIの前にデータが終わっています\n");
}

TEST(JpegWalk, SegmentWithALengthBelowTwoIsScanned)
{
    for (uint32_t length : {0u, 1u}) {
        Bytes f = Soi();
        Put(f, {0xFF, 0xE3});
        Put16(f, length);
        Put(f, {'x', 0xFF, 0xD9, 'y'});
        const auto r = Analyse(f);
        EXPECT_EQ(r.rough,
                  "  [00000000] SOI\n  [00000002] 不正なマーカ(0xFFE3)\n  [00000007] EOI\n"
                  "  [00000009] Data after EOI (1 [byte])\n")
            << length;
    }
}

namespace {

// The marker walk over bytes whose only segments are SOI and SOF1 frame
// headers, written out with the JPEG bit reader one byte at a time: the
// rough lines it yields. A marker that carries a length is passed over by it
// when it is at least 2; one whose length runs past the end ends the walk.
std::string ReferenceRoughWalk(const std::string& path, const Bytes& bytes)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    CJpegBitReader reader;
    std::string lines;
    bool soi = false, frame = false;
    char line[128];
    for (;;) {
        uint32_t acc = 0, marker = 0;
        for (;;) {
            if (std::feof(fp)) {
                marker = 0;
                break;
            }
            JpegBits bits;
            reader.ReadBits(&bits, fp, 8);
            if (std::feof(fp)) {
                marker = 0;
                break;
            }
            acc = acc * 256 + bits.value;
            if (bits.stuffed)
                continue;
            if (((acc >> 8) & 0xFF) == 0xFF && (acc & 0xFF) != 0xFF) {
                marker = acc & 0xFFFF;
                break;
            }
        }
        if (marker == 0) {
            std::snprintf(line, sizeof line, "  [%08zx] EOIの前にデータが終わっています\n", bytes.size());
            lines += line;
            break;
        }
        const long offset = std::ftell(fp) - 2;
        const size_t at = static_cast<size_t>(offset) + 2;
        const bool hasLength = marker >= 0xFFC0 && marker <= 0xFFFE && (marker < 0xFFD0 || marker > 0xFFD9);
        size_t length = 0;
        if (hasLength) {
            length = at + 2 <= bytes.size() ? (size_t{bytes[at]} << 8 | bytes[at + 1]) : SIZE_MAX;
            if (length != SIZE_MAX && length < 2) {
                std::snprintf(line, sizeof line, "  [%08lx] 不正なマーカ(0x%04X)\n", offset, marker);
                lines += line;
                continue;
            }
            if (length == SIZE_MAX || at + length > bytes.size()) {
                std::snprintf(line, sizeof line, "  [%08lx] 不正なマーカ(0x%04X)\n  [%08zx] EOIの前にデータが終わっています\n",
                              offset, marker, bytes.size());
                lines += line;
                break;
            }
        }
        if (marker == 0xFFD8 && !soi && !frame) {
            std::snprintf(line, sizeof line, "  [%08lx] SOI\n", offset);
            soi = true;
        } else if (marker == 0xFFD9) {
            std::snprintf(line, sizeof line, "  [%08lx] EOI\n", offset);
            lines += line;
            break;
        } else if (marker == 0xFFC1 && soi && !frame) {
            std::snprintf(line, sizeof line, "  [%08lx] SOF1\n", offset);
            frame = true;
        } else {
            std::snprintf(line, sizeof line, "  [%08lx] 不正なマーカ(0x%04X)\n", offset, marker);
        }
        lines += line;
        if (hasLength) {
            std::fseek(fp, static_cast<long>(at + length), SEEK_SET);
            reader = CJpegBitReader();
        }
    }
    std::fclose(fp);
    return lines;
}

}  // namespace

TEST(JpegWalk, MarkerScanMatchesByteAtATimeReading)
{
    // Bytes chosen to form stuffing, fill bytes, restart and other invalid
    // markers, segment lengths, an SOI after SOI, and the end of the file in
    // every state.
    const uint8_t alphabet[] = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x12, 0xD0, 0xD8, 0xC1, 0x7F, 0x03};
    uint32_t state = 1;
    for (int round = 0; round < 320; ++round) {
        Bytes f = Soi();
        // The last rounds are long enough to cross the stream's buffer, with
        // the markers between its blocks too.
        const size_t n = round < 300 ? 1 + round % 40 : 3000 + 2997 * (round - 300);
        for (size_t i = 0; i < n; ++i) {
            state = state * 1664525u + 1013904223u;
            // Rare 0xFF bytes in the long rounds, followed by no marker
            // that carries a length, so that the walk goes on to the end.
            const uint8_t sparse[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0x00, 0xFF, 0xD0, 0xD3, 0x7E, 0xFF, 0xFF, 0x00,
                                      0x21, 0x43, 0x65, 0x87, 0xA9, 0x5B, 0x13, 0x24, 0x35, 0x46, 0x57};
            f.push_back(round < 300 ? alphabet[(state >> 16) % sizeof alphabet] : sparse[(state >> 16) % sizeof sparse]);
        }
        if (round % 5 == 0)
            Put(f, Eoi());
        testing_support::TempDir dir;
        const std::string path = dir.Write("m.jpg", f);
        EXPECT_EQ(jpeg_test::Analyse(f).rough, ReferenceRoughWalk(path, f)) << "round " << round;
    }
    // Long data with one restart marker, its 0xFF at offsets around the
    // ends of the stream's buffers and of the file's blocks (8, 16, 24 and
    // 56 KiB), stuffed or not.
    for (const size_t at : {8190, 8191, 8192, 16383, 16384, 24574, 24575, 24576, 57342, 57343, 57344})
        for (const uint8_t after : {0xD0, 0x00}) {
            Bytes f = Soi();
            f.resize(70000, 0x12);
            f[at] = 0xFF;
            f[at + 1] = after;
            testing_support::TempDir dir;
            const std::string path = dir.Write("m.jpg", f);
            EXPECT_EQ(jpeg_test::Analyse(f).rough, ReferenceRoughWalk(path, f)) << at << " " << int{after};
        }
}
