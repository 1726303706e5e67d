// The Exif IFD, TIFF data embedded at a base offset, and the ICC hand-over.
#include <gtest/gtest.h>

#include <cstring>

#include "tiff/tiff_analyzer.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;
using testing_support::ExpectGolden;

namespace {

void PutText(Bytes& file, size_t at, const std::string& text)
{
    if (file.size() < at + text.size() + 1)
        file.resize(at + text.size() + 1, 0);
    std::memcpy(&file[at], text.data(), text.size());
    file[at + text.size()] = 0;
}

// Exif data as a camera writes it, with the header at file position base:
// IFD 0 with DateTime (stored at 200) and the Exif pointer (100), IFD 1
// describing a JPEG thumbnail stored at 240, and an Exif IFD with
// ColorSpace, a capture time and the valid width.
Bytes ExifData(bool le, const Bytes& prefix)
{
    TiffBuilder t(le);
    Bytes file = t.Build({{t.Raw(306, 2, 20, 200), t.Raw(34665, 4, 1, 100)},
                          {t.Short(259, {6}), t.Long(513, {240}), t.Long(514, {4})}},
                         prefix);
    const size_t base = prefix.size();
    file.resize(base + 244, 0);
    Bytes exif;
    Put16(exif, 3, le);
    for (auto [tag, type, count, value] : {std::tuple{40961u, 3u, 1u, le ? 1u : 0x10000u},
                                           std::tuple{0x9003u, 2u, 20u, 160u},
                                           std::tuple{40962u, 4u, 1u, 640u}}) {
        Put16(exif, tag, le);
        Put16(exif, type, le);
        Put32(exif, count, le);
        Put32(exif, value, le);
    }
    Put32(exif, 0, le);
    std::memcpy(&file[base + 100], exif.data(), exif.size());
    PutText(file, base + 160, "2023:05:06 07:08:09");
    PutText(file, base + 200, "2024:01:02 03:04:05");
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
    std::memcpy(&file[base + 240], jpeg, 4);
    return file;
}

// What a JPEG file's analysis has inserted when it hands over Exif data
// whose TIFF header is at file position 12.
const std::vector<std::pair<int, std::string>> kJpegLines = {
    {0, "test.jpg"},
    {0, "[00000000] SOI"},
    {0, "[00000002] APP1"},
    {1, "[00000004] Field Length = 254 [byte]"},
    {1, "[00000006] File Format = Exif"},
    {1, "[0000000a] NULL = 0x00 / Padding = 0x00"},
    {1, "[0000000c] Thumbnail Data (TIFF Format) 0x0000000C - 0x00000101"},
};

const Bytes kJpegPrefix = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0xFE, 'E', 'x', 'i', 'f', 0, 0};

}  // namespace

TEST(TiffExif, EmbeddedDataCountsFromItsHeader)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        const Bytes file = ExifData(le, kJpegPrefix);
        const std::string d = AnalyseDirectly(file, 12, 1, kJpegLines, [&](CTiffAnalyzer& a) {
            ASSERT_NE(a.FindEntry(1, 513), nullptr);
            EXPECT_EQ(a.FindEntry(1, 513)->values.at(0).unsignedValue, 252u);
        });
        if (le)
            ExpectGolden("tiff/exif_at_12_le.txt", d);
        // Everything hangs under the thumbnail-data line.
        EXPECT_TRUE(Contains(d, "  [0000000c] Thumbnail Data (TIFF Format) 0x0000000C - 0x00000101\n"
                                "    [0000000c] ImageFileHeader\n"));
        EXPECT_TRUE(Contains(d, "      [00000010] Offset to 0th IFD = 0x00000014\n    [00000014] ImageFileDirectory\n"));
        // DateTime stored at 200 is read from 212.
        EXPECT_TRUE(Contains(d, "        [0000001e] Offset = 0x000000d4\n          2024:01:02 03:04:05\n"));
        // The Exif IFD at 100 is at 112; its entries hang under the Offset line.
        EXPECT_TRUE(Contains(d, "      [00000022] Tag = 0x8769 ... ExifIFD\n        [00000024] TYPE = 0x0004 ... LONG\n"
                                "        [00000026] COUNT = 0x00000001\n        [0000002a] Offset = 0x00000070\n"
                                "          [00000070] Number of Directory Entry = 3\n"
                                "          [00000072] Tag = 0xA001 ... ColorSpace\n"));
        EXPECT_TRUE(Contains(d, "          [0000007e] Tag = 0x9003 ... DateTimeOriginal\n"
                                "            [00000080] TYPE = 0x0002 ... ASCII\n"
                                "            [00000082] COUNT = 0x00000014\n"
                                "            [00000086] Offset = 0x000000ac\n"
                                "              2023:05:06 07:08:09\n"
                                "              [000000ac] Value Data : ASCII x 20 = 20 [byte]\n"
                                "          [0000008a] Tag = 0xA002 ... PixelXDimension\n"));
        EXPECT_TRUE(Contains(d, "              sRGB\n"));
        EXPECT_TRUE(Contains(d, "              Valid Width : 640\n"));
        // The thumbnail's position is absolute, and so is its data line.
        EXPECT_TRUE(Contains(d, "        [00000048] Value = 0x000000fc\n"));
        EXPECT_TRUE(Contains(d, "    [000000fc] Jpeg Data\n"));
        EXPECT_TRUE(Contains(d, "      [00000058] Offset to Next IFD = 0x00000000 (Next IFD is nothing)\n"));
    }
}

TEST(TiffExif, TopLevelFileShowsTheSameStructureUnshifted)
{
    const std::string d = AnalyseDirectly(ExifData(true, {}), 0, 0);
    EXPECT_TRUE(Contains(d, "[00000000] ImageFileHeader\n"));
    EXPECT_TRUE(Contains(d, "    [0000001e] Offset = 0x00000064\n      [00000064] Number of Directory Entry = 3\n"));
    EXPECT_TRUE(Contains(d, "\n[000000f0] Jpeg Data\n"));
}

TEST(TiffExif, ExifIfdThatPointsBackIsNotFollowedAgain)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        // The Exif IFD at 0x1a holds an Exif pointer to itself.
        Bytes file = t.Build({{t.Raw(34665, 4, 1, 0x1a)}});
        Bytes exif;
        Put16(exif, 2, le);
        for (uint32_t tag : {34665u, 40961u}) {
            Put16(exif, tag, le);
            Put16(exif, tag == 34665 ? 4 : 3, le);
            Put32(exif, 1, le);
            Put32(exif, tag == 34665 ? 0x1a : (le ? 1 : 0x10000), le);
        }
        Put32(exif, 0, le);
        file.insert(file.end(), exif.begin(), exif.end());
        ASSERT_EQ(file.size(), 0x1au + exif.size());
        const std::string d = AnalyseDirectly(file, 0, 0);
        size_t counts = 0;
        for (size_t at = 0; (at = d.find("[0000001a] Number of Directory Entry = 2", at)) != std::string::npos; ++at)
            ++counts;
        EXPECT_EQ(counts, 1u) << d;
        EXPECT_TRUE(Contains(d, "        [00000024] Offset = 0x0000001a\n      [00000028] Tag = 0xA001"));
    }
}

TEST(TiffExif, ExifPointerOutsideTheFileShowsOnlyTheEntry)
{
    TiffBuilder t(true);
    const std::string d = AnalyseDirectly(t.Build({{t.Raw(34665, 4, 1, 0x7FFFFFFF)}}), 0, 0);
    EXPECT_TRUE(Contains(d, "    [00000012] Offset = 0x7fffffff\n  [00000016] Offset to Next IFD"));
}

namespace {

// A small profile: header fields that the header dump names, and a tag
// table of two entries.
Bytes SmallProfile()
{
    Bytes p(128, 0);
    auto put = [&](size_t at, uint32_t v) {
        p[at] = uint8_t(v >> 24);
        p[at + 1] = uint8_t(v >> 16);
        p[at + 2] = uint8_t(v >> 8);
        p[at + 3] = uint8_t(v);
    };
    put(0, 128 + 4 + 24);
    std::memcpy(&p[4], "lcms", 4);
    put(8, 0x02100000);
    std::memcpy(&p[12], "mntr", 4);
    std::memcpy(&p[16], "RGB ", 4);
    std::memcpy(&p[20], "XYZ ", 4);
    std::memcpy(&p[36], "acsp", 4);
    put(68, 0x0000F6D6);
    put(72, 0x00010000);
    put(76, 0x0000D32D);
    p.resize(128 + 4 + 24);
    put(128, 2);
    std::memcpy(&p[132], "wtpt", 4);
    put(136, 0x80);
    put(140, 20);
    std::memcpy(&p[144], "priv", 4);
    put(148, 0x94);
    put(152, 12);
    return p;
}

}  // namespace

TEST(TiffExif, IccProfileIsLaidOutUnderItsOffsetLine)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        const Bytes profile = SmallProfile();
        Bytes file = t.Build({{t.Short(256, {1}), t.Raw(34675, 7, uint32_t(profile.size()), 0x1000)}});
        file.resize(0x1000, 0);
        file.insert(file.end(), profile.begin(), profile.end());
        const std::string d = AnalyseDirectly(file, 0, 0);
        EXPECT_TRUE(Contains(d, "  [00000016] Tag = 0x8773 ... ICCProfile\n"
                                "    [00000018] TYPE = 0x0007 ... UNDEFINED\n"
                                "    [0000001a] COUNT = 0x0000009c\n"
                                "    [0000001e] Offset = 0x00001000\n"
                                "      /* --- ICC Profile Header --- */\n"
                                "        [00001000] Profile size = 0x0000009c : 156 [byte]\n"
                                "        [00001004] Preferred CMM Type = lcms : Little CMS CMM\n"))
            << d;
        EXPECT_TRUE(Contains(d, "        [00001044] Profile connection space illuminant : X=0,63190; Y=1,0; Z=0,54061\n"));
        EXPECT_TRUE(Contains(d, "      /* --- ICC Tag Table --- */\n"
                                "        [00001080] Tag count = 0x00000002 : 2\n"
                                "        [00001084] Tag signature = wtpt : mediaWhitePointTag\n"
                                "          [00001088] Offset to beginning of tag data element = 0x00000080 "
                                "( + 0x00001000 = 0x00001080 )\n"
                                "          [0000108c] Size of tag data element = 0x00000014\n"
                                "        [00001090] Tag signature = priv : UNDEFINED !!\n"));
        EXPECT_TRUE(Contains(d, "  [00000022] Offset to Next IFD = 0x00000000 (Next IFD is nothing)\n"));

        // A profile that the file cannot hold is not laid out.
        file.resize(0x1000 + 100);
        const std::string cut = AnalyseDirectly(file, 0, 0);
        EXPECT_TRUE(Contains(cut, "    [0000001e] Offset = 0x00001000\n  [00000022] Offset to Next IFD"));
    }
}
