// The marker walk: which markers are accepted where, and the lines of SOI,
// EOI and invalid markers in both modes.
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
    // The comment read stops one byte short of the segment's end; the walk
    // scans that byte.
    EXPECT_EQ(r.detail,
              "[00000000] COM\n"
              "  [00000002] Field Length = 4 [byte]\n"
              "  [00000004] Comment : a\n"
              "[0000004d] COM\n"
              "  [0000004f] Field Length = 5 [byte]\n"
              "  [00000051] Comment : xy\n"
              "[00000054] EOI\n");
}

TEST(JpegWalk, AppSegmentsAreAcceptedAnyNumberOfTimes)
{
    Bytes f = Soi();
    Put(f, App0Jfif());
    // A JFXX extension whose payload holds an EOI pair: it is passed over
    // by the segment's length.
    Bytes jfxx;
    PutText(jfxx, "JFXX");
    Put(jfxx, {0, 0x12, 0xFF, 0xD9});
    Put(f, Segment(0xE0, jfxx));
    Put(f, Segment(0xEF, {'x', 0}));
    Put(f, Segment(0xEF, {'y', 0}));
    Put(f, Eoi());
    const auto r = Analyse(f);
    EXPECT_EQ(r.rough,
              "  [00000000] SOI\n"
              "  [00000002] APP0\n"
              "  [00000014] APP0\n"
              "  [00000020] APP15\n"
              "  [00000026] APP15\n"
              "  [0000002c] EOI\n");
    EXPECT_EQ(r.detail,
              "[00000000] SOI\n"
              "[00000002] APP0\n"
              "  [00000004] Field Length = 16 [byte]\n"
              "  [00000006] File Format = JFIF (Version 1.1)\n"
              "  [0000000d] Depth = 72 : 72 [pixel/inch]\n"
              "  [00000012] Thumbnail Size = 0 x 0 (No Thumbnail)\n"
              "[00000014] APP0\n"
              "  [00000016] Field Length = 10 [byte]\n"
              "  [00000018] File Format = JFXX\n"
              "  [0000001d] Extension Code = 0x12 : UNDEFINED !!\n"
              "[00000020] APP15\n"
              "  [00000022] Field Length = 4 [byte]\n"
              "  [00000024] Identifier = x\n"
              "[00000026] APP15\n"
              "  [00000028] Field Length = 4 [byte]\n"
              "  [0000002a] Identifier = y\n"
              "[0000002c] EOI\n");
}

TEST(JpegWalk, ProgressiveFrameIsInvalidSoNoScanIsAccepted)
{
    for (uint8_t frame : {0xC1, 0xC2}) {
        Bytes f = Soi();
        Put(f, Dqt());
        Put(f, Sof0(8, 8, {{1, 0x11, 0}}, frame));
        Put(f, DhtStandardLuma());
        Put(f, Sos({{1, 0x00}}));
        Put(f, FlatGrayBlocks(1));
        Put(f, Eoi());
        const auto r = Analyse(f);
        const std::string invalid = frame == 0xC1 ? "(0xFFC1)" : "(0xFFC2)";
        EXPECT_EQ(r.rough,
                  "  [00000000] SOI\n"
                  "  [00000002] DQT\n"
                  "  [00000047] 不正なマーカ" + invalid + "\n"
                  "  [00000054] DHT\n"
                  "  [00000128] 不正なマーカ(0xFFDA)\n"
                  "  [00000133] EOI\n");
        EXPECT_EQ(r.result, "");
        EXPECT_EQ(r.detail.find("SOS"), std::string::npos);
        EXPECT_EQ(r.detail.find("Image Data"), std::string::npos);
        EXPECT_EQ(r.images, 0u);
    }
}

TEST(JpegWalk, ScanNeedsTablesAndFrameInAnyOrder)
{
    const Bytes dqt = Dqt(), sof = Sof0(8, 8, {{1, 0x11, 0}}), dht = DhtStandardLuma();
    struct Case {
        std::vector<Bytes> parts;
        bool accepted;
    };
    const Case cases[] = {
        {{dqt, sof, dht}, true},
        {{dht, sof, dqt}, true},
        {{sof, dht}, false},
        {{dqt, dht}, false},
        {{dqt, sof}, false},
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
}

TEST(JpegWalk, AfterScanOnlyAppCommentAndEoiAreAccepted)
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
    Put(f, Eoi());
    const auto r = Analyse(f);
    const std::string tail = r.rough.substr(r.rough.find("] SOS\n") + 6);
    char expected[1024];
    std::snprintf(expected, sizeof expected,
                  "  [%08zx] 不正なマーカ(0xFFDB)\n"
                  "  [%08zx] 不正なマーカ(0xFFC4)\n"
                  "  [%08zx] 不正なマーカ(0xFFC0)\n"
                  "  [%08zx] 不正なマーカ(0xFFDD)\n"
                  "  [%08zx] 不正なマーカ(0xFFDA)\n"
                  "  [%08zx] APP0\n"
                  "  [%08zx] APP2\n"
                  "  [%08zx] COM\n"
                  "  [%08zx] EOI\n",
                  after, after + 69, after + 69 + 212, after + 69 + 212 + 13, after + 69 + 212 + 13 + 6,
                  after + 69 + 212 + 13 + 6 + 10, after + 69 + 212 + 13 + 6 + 10 + 18,
                  after + 69 + 212 + 13 + 6 + 10 + 18 + 7, after + 69 + 212 + 13 + 6 + 10 + 18 + 7 + 7);
    EXPECT_EQ(tail, expected);
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

TEST(JpegWalk, StuffedZeroIsNoMarkerButRestartMarkersAreReported)
{
    Bytes f = FlatGrayFile(8, 8);
    f.erase(f.end() - 2, f.end());
    const size_t at = f.size();
    Put(f, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xD7, 0xFF, 0xD9});
    const auto r = Analyse(f);
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "  [%08zx] 不正なマーカ(0xFFD0)\n  [%08zx] 不正なマーカ(0xFFD7)\n  [%08zx] EOI\n", at + 4,
                  at + 7, at + 9);
    EXPECT_NE(r.rough.find(expected), std::string::npos) << r.rough;
}

TEST(JpegWalk, TruncatedScanEndsWithMarkerZeroAtFileSizeMinusTwo)
{
    Bytes f = FlatGrayFile(64, 64);
    f.erase(f.end() - 10, f.end());
    const auto r = Analyse(f);
    char expected[64];
    std::snprintf(expected, sizeof expected, "  [%08zx] 不正なマーカ(0x0000)\n", f.size() - 2);
    ASSERT_GE(r.rough.size(), std::strlen(expected));
    EXPECT_EQ(r.rough.substr(r.rough.size() - std::strlen(expected)), expected);
    EXPECT_EQ(r.rough.find("EOI"), std::string::npos);
    EXPECT_EQ(r.detail.find("EOI"), std::string::npos);
    // The picture is still made, as far as the data goes.
    EXPECT_EQ(r.images, 1u);
}

TEST(JpegWalk, BytesAfterEoiAreNeverRead)
{
    Bytes f = Soi();
    Put(f, Eoi());
    Put(f, Soi());
    Put(f, {0xFF, 0x01, 0xFF, 0xFE});
    const auto r = Analyse(f);
    EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] EOI\n");
}

TEST(JpegWalk, InvalidMarkersAreSilentInDetailedMode)
{
    const auto r = Analyse({0xFF, 0xD8, 0xFF, 0x01, 0xFF, 0xC8, 0xFF, 0xF0, 0xFF, 0xD9});
    EXPECT_EQ(r.rough,
              "  [00000000] SOI\n"
              "  [00000002] 不正なマーカ(0xFF01)\n"
              "  [00000004] 不正なマーカ(0xFFC8)\n"
              "  [00000006] 不正なマーカ(0xFFF0)\n"
              "  [00000008] EOI\n");
    EXPECT_EQ(r.detail, "[00000000] SOI\n[00000008] EOI\n");
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

TEST(JpegWalk, SegmentLengthBeyondTheFileEndsTheWalkAtTheEnd)
{
    Bytes f = Soi();
    Put(f, {0xFF, 0xE1, 0xFF, 0xF0, 'x'});
    const auto r = Analyse(f);
    char expected[128];
    std::snprintf(expected, sizeof expected, "  [00000000] SOI\n  [00000002] APP1\n  [%08zx] 不正なマーカ(0x0000)\n",
                  f.size() - 2);
    EXPECT_EQ(r.rough, expected);
}

TEST(JpegWalk, RejectedSegmentWithoutAUsableLengthIsScanned)
{
    // A length past the end of the file, and one below 2: the walk goes on
    // at the byte after the marker and finds the EOI in the payload.
    for (uint32_t length : {0x7FF0u, 1u}) {
        Bytes f = Soi();
        Put(f, {0xFF, 0xF0});
        Put16(f, length);
        Put(f, {'x', 0xFF, 0xD9, 'y'});
        const auto r = Analyse(f);
        EXPECT_EQ(r.rough, "  [00000000] SOI\n  [00000002] 不正なマーカ(0xFFF0)\n  [00000007] EOI\n") << length;
    }
}

namespace {

// The marker walk over bytes that hold no accepted segments but SOI,
// written out with the JPEG bit reader one byte at a time: the rough lines it
// yields. A marker that carries a length is passed over by it when it is at
// least 2 and stays within the file.
std::string ReferenceRoughWalk(const std::string& path, const Bytes& bytes)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    CJpegBitReader reader;
    std::string lines;
    bool soi = false, any = false;
    char line[128];
    while (!std::feof(fp)) {
        uint32_t acc = 0, marker = 0;
        for (;;) {
            if (std::feof(fp)) {
                marker = 0;
                break;
            }
            JpegBits bits;
            reader.ReadBits(&bits, fp, 8);
            acc = acc * 256 + bits.value;
            if (bits.stuffed)
                continue;
            if (((acc >> 8) & 0xFF) == 0xFF && (acc & 0xFF) != 0xFF) {
                marker = acc & 0xFFFF;
                break;
            }
        }
        const long offset = std::ftell(fp) - 2;
        if (marker == 0xFFD8 && !any) {
            std::snprintf(line, sizeof line, "  [%08lx] SOI\n", offset);
            soi = any = true;
        } else if (marker == 0xFFD9) {
            std::snprintf(line, sizeof line, "  [%08lx] EOI\n", offset);
            lines += line;
            break;
        } else if (marker != 0xFFFF && marker != 0xFF00) {
            std::snprintf(line, sizeof line, "  [%08lx] 不正なマーカ(0x%04X)\n", offset, marker);
        } else {
            continue;
        }
        lines += line;
        const bool hasLength = marker >= 0xFFC0 && marker <= 0xFFFE && (marker < 0xFFD0 || marker > 0xFFD9);
        const size_t at = static_cast<size_t>(offset) + 2;
        if (hasLength && at + 2 <= bytes.size()) {
            const size_t length = size_t{bytes[at]} << 8 | bytes[at + 1];
            if (length >= 2 && at + length <= bytes.size()) {
                std::fseek(fp, static_cast<long>(at + length), SEEK_SET);
                reader = CJpegBitReader();
            }
        }
    }
    (void)soi;
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
    for (int round = 0; round < 300; ++round) {
        Bytes f = Soi();
        const size_t n = 1 + round % 40;
        for (size_t i = 0; i < n; ++i) {
            state = state * 1664525u + 1013904223u;
            f.push_back(alphabet[(state >> 16) % sizeof alphabet]);
        }
        if (round % 5 == 0)
            Put(f, Eoi());
        testing_support::TempDir dir;
        const std::string path = dir.Write("m.jpg", f);
        EXPECT_EQ(jpeg_test::Analyse(f).rough, ReferenceRoughWalk(path, f)) << "round " << round;
    }
}
