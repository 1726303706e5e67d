// Structures below and beside the IFD chain, made by hand: SubIFDs, the
// pictures of Exif data and their labels, data beyond an embedded
// structure's end, GeoTIFF key directories, BigTIFF, and the MP index of an
// MPF segment.
#include <gtest/gtest.h>

#include <cstring>

#include "tiff/tiff_analyzer.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

// A w x h grey picture of 8-bit samples in one uncompressed strip at
// stripAt, with more fields.
std::vector<Field> GreyPicture(const TiffBuilder& t, uint32_t w, uint32_t h, uint32_t stripAt,
                               std::vector<Field> more = {})
{
    std::vector<Field> f{t.Long(256, {w}), t.Long(257, {h}), t.Short(258, {8}), t.Short(262, {1}),
                         t.Long(273, {stripAt}), t.Long(278, {h}), t.Long(279, {w * h})};
    f.insert(f.end(), more.begin(), more.end());
    return f;
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

const std::vector<std::pair<int, std::string>> kFileLine = {{0, "test.tif"}};
const std::vector<std::pair<int, std::string>> kApp1Lines = {
    {0, "test.jpg"}, {0, "[00000000] SOI"}, {0, "[00000002] APP1"},
    {1, "[0000000c] Thumbnail Data (TIFF Format) 0x0000000C - 0x000000FF"},
};
const Bytes kApp1Prefix = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0xF4, 'E', 'x', 'i', 'f', 0, 0};

}  // namespace

TEST(TiffNested, SubIfdsAreLaidOutOnceAndDrawnWithTheirLabels)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        TiffBuilder t(le);
        // IFD 0 at 8 (8 entries: 8 + 2 + 96 + 4 = 0x6e, its SubIFDs array
        // after it), the SubIFD at 0x100, the strips at 0x200 and 0x210.
        Bytes file = t.Build({GreyPicture(t, 2, 2, 0x200, {t.Long(330, {0x100, 0x100, 8})})});
        file.resize(0x100, 0);
        // Every value of the SubIFD stands in its entries: its bytes are the
        // same wherever it lies.
        Bytes subIfd = t.Build({GreyPicture(t, 3, 1, 0x210)});
        file.insert(file.end(), subIfd.begin() + 8, subIfd.end());
        file.resize(0x200, 0);
        for (uint8_t v : {10, 20, 30, 40, 50, 60, 70, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 100, 0})
            file.push_back(v);
        const DirectRun run = RunDirectly(kFormatTiff, file, 0, 0, kFileLine);
        const std::string& d = run.tree;
        EXPECT_TRUE(Contains(d, "      [0000006e] SubIFD #0 = 0x00000100\n        [00000100] ImageFileDirectory\n"))
            << d;
        // The same IFD again, and IFD 0 itself, are not laid out below it.
        EXPECT_TRUE(Contains(d, "      [00000072] SubIFD #1 = 0x00000100\n      [00000076] SubIFD #2 = 0x00000008\n"))
            << d;
        EXPECT_EQ(Count(d, "] ImageFileDirectory\n"), 2u);
        EXPECT_TRUE(Contains(d, "        [00000210] Image Data\n")) << d;
        ASSERT_EQ(run.labels, (std::vector<std::string>{"IFD 0 SubIFD 0", "IFD 0"}));
    }
}

TEST(TiffNested, ExifPicturesAreLabelledAndStayInsideTheirSegment)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        TiffBuilder t(le);
        // IFD 0 without a picture, IFD 1 a 2 x 2 thumbnail whose strip lies
        // at 0xE0 of the structure (0xEC in the file).
        const Bytes file = [&] {
            Bytes b = t.Build({{t.Short(274, {1})}, GreyPicture(t, 2, 2, 0xE0)}, kApp1Prefix);
            b.resize(0xEC, 0);
            b.insert(b.end(), {1, 2, 3, 4});
            b.resize(0x100, 0);
            return b;
        }();
        DirectRun run = RunDirectly(kFormatTiff, file, 12, 1, kApp1Lines);
        EXPECT_EQ(run.labels, std::vector<std::string>{"サムネイル"});
        run = RunDirectly(kFormatTiff, file, 12, 1, kApp1Lines,
                          [](AnalysisRequest& r) { r.pictureLabel = "MPF 2"; });
        EXPECT_EQ(run.labels, std::vector<std::string>{"MPF 2 サムネイル"});
        // The APP1 segment ends before the strip: no picture, and a line
        // under the data line says why.
        run = RunDirectly(kFormatTiff, file, 12, 1, kApp1Lines, [](AnalysisRequest& r) { r.dataEnd = 0xEE; });
        EXPECT_TRUE(run.labels.empty());
        EXPECT_TRUE(Contains(run.tree, "    [000000ec] Image Data\n"
                                       "      [000000ec] ストリップ #0 は埋め込みデータの外にあります\n"))
            << run.tree;
        // A whole file's IFDs are numbered.
        run = RunDirectly(kFormatTiff, Bytes(file.begin() + 12, file.end()), 0, 0, kFileLine);
        EXPECT_EQ(run.labels, std::vector<std::string>{"IFD 1"});
    }
}

TEST(TiffNested, JpegThumbnailWithoutCompressionIsJpegData)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        TiffBuilder t(le);
        const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
        for (std::vector<Field> thumbnail : {std::vector<Field>{t.Long(513, {0xE0}), t.Long(514, {4})},
                                             std::vector<Field>{t.Short(259, {0}), t.Long(513, {0xE0}),
                                                                t.Long(514, {4})}}) {
            Bytes file = t.Build({{t.Short(274, {1})}, thumbnail}, kApp1Prefix);
            file.resize(0xEC, 0);
            file.insert(file.end(), std::begin(jpeg), std::end(jpeg));
            DirectRun run = RunDirectly(kFormatTiff, file, 12, 1, kApp1Lines);
            EXPECT_TRUE(Contains(run.tree, "    [000000ec] Jpeg Data\n      [000000ec] SOI\n      [000000ee] EOI\n"))
                << run.tree;
            EXPECT_FALSE(Contains(run.tree, "未対応の形式"));
            // Interchange data that runs past the segment is not laid out.
            run = RunDirectly(kFormatTiff, file, 12, 1, kApp1Lines, [](AnalysisRequest& r) { r.dataEnd = 0xEE; });
            EXPECT_TRUE(Contains(run.tree, "    [000000ec] Jpeg Data\n"
                                           "      [000000ec] JPEGデータは埋め込みデータの外にあります\n"))
                << run.tree;
            EXPECT_FALSE(Contains(run.tree, "] SOI\n      [000000ee]"));
        }
    }
}

TEST(TiffNested, GeoKeyDirectoriesThatLieEndWithTheirValues)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        TiffBuilder t(le);
        // Fifty keys claimed, three given: a model type, a double parameter
        // that exists, one past the parameters' end, and the citation.
        const std::string d =
            RunDirectly(kFormatTiff,
                        t.Build({{t.Short(34735, {1, 1, 0, 50, 1024, 0, 1, 2, 2057, 34736, 1, 0, 2058, 34736, 2, 1,
                                                  1026, 34737, 6, 0}),
                                  t.Typed(34736, 12, 1, {0, 0, 0, 0, 0x84, 0x54, 0x58, 0x41}),
                                  t.Ascii(34737, "WGS 84|")}}),
                        0, 0, kFileLine)
                .tree;
        EXPECT_TRUE(Contains(d, "KeyDirectoryVersion = 1, KeyRevision = 1.0, NumberOfKeys = 50\n")) << d;
        EXPECT_TRUE(Contains(d, "] GeoKey = 1024 ... GTModelTypeGeoKey : 2 (ModelTypeGeographic)\n"));
        EXPECT_TRUE(Contains(d, std::string("] GeoKey = 2057 ... EllipsoidSemiMajorAxisGeoKey : ")));
        EXPECT_TRUE(Contains(d, "] GeoKey = 2058 ... EllipsoidSemiMinorAxisGeoKey : UNDEFINED !!\n"));
        EXPECT_TRUE(Contains(d, "] GeoKey = 1026 ... GTCitationGeoKey : WGS 84\n"));
        EXPECT_EQ(Count(d, "] GeoKey = "), 4u);
    }
}

namespace {

// A BigTIFF file: header, one IFD at 16 of the given 20-byte entries (each
// tag, type, count and an 8-byte value field in file order), a next-IFD
// offset, then extra bytes.
Bytes BigTiff(bool le, const std::vector<std::tuple<uint16_t, uint16_t, uint64_t, uint64_t>>& entries,
              uint64_t next = 0, const Bytes& extra = {})
{
    Bytes b;
    auto put = [&](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(uint8_t(v >> (8 * (le ? i : bytes - 1 - i))));
    };
    b.push_back(le ? 'I' : 'M');
    b.push_back(le ? 'I' : 'M');
    put(43, 2);
    put(8, 2);
    put(0, 2);
    put(16, 8);
    put(entries.size(), 8);
    for (auto [tag, type, count, value] : entries) {
        put(tag, 2);
        put(type, 2);
        put(count, 8);
        put(value, 8);
    }
    put(next, 8);
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

}  // namespace

TEST(TiffNested, BigTiffHeaderEntriesAndRow)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        // A SHORT stands in the high bytes of a big-endian value field; two
        // LONG8 values (16 bytes) lie at an offset.
        const uint64_t width = le ? 5 : uint64_t{5} << 48;
        Bytes values(16, 0);
        values[le ? 0 : 7] = 7;
        values[le ? 8 : 15] = 9;
        const Bytes file = BigTiff(le, {{256, 3, 1, width}, {0x9999, 16, 2, 16 + 8 + 40 + 8}}, 0, values);
        testing_support::TempDir dir;
        const std::string path = dir.Write("big.tif", file);
        testing_support::Headless h;
        h.app.OpenFiles({path});
        h.Detailed(path);
        ASSERT_EQ(h.app.Rows().size(), 1u);
        EXPECT_EQ(h.app.Rows()[0].format, "BigTIFF");
        EXPECT_EQ(h.app.Rows()[0].result, "【IFD #0000 [画像サイズ]     5 x     0 [圧縮形式] 非圧縮 】");
        const std::string d = h.DetailText(path);
        EXPECT_TRUE(Contains(d, "  [00000002] TIFF ID = 0x002b\n  [00000004] Offset Size = 8 [byte]\n"
                                "  [00000006] Reserved = 0x0000\n  [00000008] Offset to 0th IFD = 0x0000000000000010\n"
                                "[00000010] ImageFileDirectory\n  [00000010] Number of Directory Entry = 2\n"
                                "  [00000018] Tag = 0x0100 ... ImageWidth\n    [0000001a] TYPE = 0x0003 ... SHORT\n"
                                "    [0000001c] COUNT = 0x0000000000000001\n"
                                "    [00000024] Value = 0x0000000000000005\n      Horizontal Size = 5\n"
                                "  [0000002c] Tag = 0x9999 ... UndefinedTag\n    [0000002e] TYPE = 0x0010 ... LONG8\n"
                                "    [00000030] COUNT = 0x0000000000000002\n"
                                "    [00000038] Offset = 0x0000000000000048\n"
                                "      [00000048] Value Data : LONG8 x 2 = 16 [byte]\n"
                                "  [00000040] Offset to Next IFD = 0x0000000000000000 (Next IFD is nothing)\n"))
            << d;
    }
}

namespace {

// An APP2 segment's MPF block at file position 8: the MP Index IFD with the
// version, the number of images and their entries, then the MP Attribute
// IFD. Each entry: attribute, size, offset (from the MP header).
Bytes MpfFile(bool le, const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>& images, uint32_t claimed,
              uint32_t attributeNext = 0)
{
    TiffBuilder t(le);
    Bytes entries;
    for (auto [attribute, size, offset] : images) {
        Put32(entries, attribute, le);
        Put32(entries, size, le);
        Put32(entries, offset, le);
        Put16(entries, 0, le);
        Put16(entries, 0, le);
    }
    const Bytes prefix = {0xFF, 0xD8, 0xFF, 0xE2, 0x01, 0x00, 'M', 'P', 'F', 0};
    Bytes file = t.Build({{t.Typed(0xB000, 7, 4, {'0', '1', '0', '0'}), t.Long(0xB001, {claimed}),
                           t.Typed(0xB002, 7, uint32_t(entries.size()), entries)},
                          {t.Long(0xB101, {1})}},
                         Bytes(prefix.begin(), prefix.begin() + 8));
    if (attributeNext) {
        // The attribute IFD's next-IFD offset: its one entry ends 2 + 12
        // bytes after it.
        const std::string text(file.begin(), file.end());
        const size_t attribute = file.size() - 18;
        Set32(file, attribute + 14, attributeNext, le);
    }
    file.resize(0x200, 0);
    return file;
}

}  // namespace

TEST(TiffNested, MpfIndexListsTheImagesItsEntriesPointAt)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        // The primary image, a thumbnail inside the file and one outside.
        const Bytes file = MpfFile(le, {{0x20030000, 0x200, 0}, {0x00010001, 0x40, 0x100}, {0x00020001, 0x40, 0x7000}},
                                   3);
        std::vector<AnalysisRequest::EmbeddedPicture> pictures;
        const DirectRun run = RunDirectly(kFormatMpf, file, 8, 1, {{0, "test.jpg"}, {0, "[00000002] APP2"}},
                                          [&](AnalysisRequest& r) { r.pictures = &pictures; });
        const std::string& d = run.tree;
        EXPECT_TRUE(Contains(d, "[00000002] APP2\n  [00000008] ImageFileHeader\n")) << d;
        EXPECT_TRUE(Contains(d, "] Tag = 0xB000 ... MPFVersion\n")) << d;
        EXPECT_TRUE(Contains(d, "        0100\n"));
        EXPECT_TRUE(Contains(d, "] Tag = 0xB002 ... MPEntry\n"));
        EXPECT_TRUE(Contains(d, "] Tag = 0xB101 ... MPIndividualNum\n"));
        EXPECT_TRUE(Contains(d, "] Individual Image Attribute = 0x20030000\n"
                                "            Representative Image\n            Image Data Format = JPEG\n"
                                "            MP Type = Baseline MP Primary Image\n"))
            << d;
        EXPECT_TRUE(Contains(d, "] Individual Image Data Offset = 0x00000000 (First Image)\n"));
        EXPECT_TRUE(Contains(d, "] Individual Image Data Offset = 0x00000100 ( + 0x00000008 = 0x00000108 )\n"));
        EXPECT_TRUE(Contains(d, "            MP Type = Large Thumbnail (VGA)\n"));
        EXPECT_EQ(Count(d, "画像がファイルの外を指しています"), 1u);
        ASSERT_EQ(pictures.size(), 1u);
        EXPECT_EQ(pictures[0].offset, 0x108u);
        EXPECT_EQ(pictures[0].size, 0x40u);
        EXPECT_EQ(pictures[0].label, "MPF 2");
        EXPECT_NE(pictures[0].item, kNoLine);
        EXPECT_TRUE(run.labels.empty());
    }
}

TEST(TiffNested, HostileMpfIndexFinishesQuietly)
{
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        // The attribute IFD points back at the index IFD; the number of
        // images lies; the caller wants no pictures.
        Bytes file = MpfFile(le, {{0, 0x10, 0x20}}, 60000, 8);
        DirectRun run = RunDirectly(kFormatMpf, file, 8, 1, {{0, "test.jpg"}, {0, "[00000002] APP2"}});
        EXPECT_EQ(Count(run.tree, "] ImageFileDirectory\n"), 2u) << run.tree;
        // An entry list longer than the file: no entries.
        TiffBuilder t(le);
        file = t.Build({{t.Raw(0xB002, 7, 0x40000000, 0x10)}}, Bytes(8, 0));
        std::vector<AnalysisRequest::EmbeddedPicture> pictures;
        run = RunDirectly(kFormatMpf, file, 8, 1, {{0, "test.jpg"}},
                          [&](AnalysisRequest& r) { r.pictures = &pictures; });
        EXPECT_FALSE(Contains(run.tree, "MPEntry #"));
        EXPECT_TRUE(pictures.empty());
    }
}
