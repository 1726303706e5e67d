// The byte ranges of detailed lines: how they agree with the offsets the
// lines print, over every sample and malformed file, and what --at, --gaps
// and --json make of them.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/analysis_run.h"
#include "core/tree_ranges.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Bytes;
using testing_support::Dump;
using testing_support::Headless;
using testing_support::ReadFile;
using testing_support::TempDir;

// Formats whose analyzers record a range for every line that names an
// offset. The others are checked only where their lines have ranges.
const std::map<std::string, bool> kRangesComplete = {{"SWF", true}, {"JPEG", true}, {"TIFF", true}};

// Headings under which the ICC analyzer's lines stand, whatever the file's
// format: its ranges are complete too.
bool IsIccHeading(const std::string& text)
{
    return text == "/* --- ICC Profile Header --- */" || text == "/* --- ICC Tag Table --- */";
}

// The format whose analyzer writes the lines under a line of another's: the
// TIFF structure of Exif data in JPEG, the JPEG data of a TIFF file.
const char* NestedFormat(const std::string& text)
{
    if (text.find("] Thumbnail Data (TIFF Format) ") != std::string::npos)
        return "TIFF";
    if (text.ends_with("] Jpeg Data") || text.ends_with("] Image Data"))
        return "JPEG";
    return nullptr;
}

// Crafted files whose own pointers lead into structures laid out before
// (JPEG data inside an IFD, a chain that ends one byte before its header, an
// IFD at offset 0 over the header): their lines' ranges overlap as the
// structures do.
bool StructuresOverlap(const fs::path& file)
{
    const std::string name = file.filename().string();
    return name == "tiff-jpeg-thumbnail-garbage.tif" || name == "regress-jpeg-exif-thumbnail-contains-itself.jpg" ||
           name == "regress-detailed_tiff-crash-fde4f4f908662a1332493f59b8a90a19914b638e.tif";
}

// The offset a line names in its "[%08x]" prefix, or as the start of the
// bytes a table line names at its end ("... (0x%08X - 0x%08X)"); -1 when it
// names none.
int64_t NamedOffset(const std::string& text)
{
    std::string digits;
    if (text.size() >= 10 && text[0] == '[' && text[9] == ']')
        digits = text.substr(1, 8);
    else if (text.size() >= 25 && text.ends_with(")") && text.compare(text.size() - 25, 3, "(0x") == 0)
        digits = text.substr(text.size() - 22, 8);
    if (digits.empty() || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return -1;
    return static_cast<int64_t>(std::stoull(digits, nullptr, 16));
}

void PutLe(Bytes& b, size_t at, uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

void PutBe32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (24 - 8 * i));
}

// A little-endian TIFF whose one IFD entry holds an ICC profile at 26 with
// a tag table of two entries ("desc", "cprt").
Bytes TiffWithProfile()
{
    constexpr uint32_t kProfileAt = 26;
    constexpr uint32_t kProfileSize = 132 + 2 * 12;
    Bytes b(kProfileAt + kProfileSize, 0);
    b[0] = b[1] = 'I';
    PutLe(b, 2, 42, 2);
    PutLe(b, 4, 8, 4);
    PutLe(b, 8, 1, 2);
    PutLe(b, 10, 34675, 2);
    PutLe(b, 12, 7, 2);
    PutLe(b, 14, kProfileSize, 4);
    PutLe(b, 18, kProfileAt, 4);
    PutBe32(b, kProfileAt, kProfileSize);
    std::copy_n("acsp", 4, b.begin() + kProfileAt + 36);
    PutBe32(b, kProfileAt + 128, 2);
    std::copy_n("desc", 4, b.begin() + kProfileAt + 132);
    PutBe32(b, kProfileAt + 136, 0x80);
    PutBe32(b, kProfileAt + 140, 12);
    std::copy_n("cprt", 4, b.begin() + kProfileAt + 144);
    return b;
}

std::vector<fs::path> InputFiles()
{
    std::vector<fs::path> files;
    for (const char* dir : {"/samples", "/tests/corpus", "/tests/data/jpeg"}) {
        const fs::path root = std::string(VANTREL_SOURCE_DIR) + dir;
        if (!fs::is_directory(root))
            continue;
        for (const auto& entry : fs::directory_iterator(root)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && ext != ".md" && ext != ".py" && ext != ".txt" && ext != ".decompress")
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Sibling ranges do not overlap, but for one byte shared by bit fields
// packed across a byte boundary.
void CheckSiblings(const CLineTree& tree, LineId first)
{
    std::vector<ByteRange> ranges;
    for (LineId line = first; line; line = tree.NextSibling(line))
        if (ByteRange r; tree.RangeOf(line, r))
            ranges.push_back(r);
    std::sort(ranges.begin(), ranges.end(), [](const ByteRange& a, const ByteRange& b) {
        return a.space != b.space ? a.space < b.space : a.start < b.start;
    });
    for (size_t i = 1; i < ranges.size(); ++i) {
        const bool sameFile = ranges[i].space == ranges[i - 1].space;
        EXPECT_TRUE(!sameFile || ranges[i].start + 1 >= ranges[i - 1].end)
            << "sibling ranges overlap at " << ranges[i].start;
    }
}

bool RangesComplete(const std::string& format)
{
    const auto complete = kRangesComplete.find(format);
    return complete != kRangesComplete.end() && complete->second;
}

// Checks every line of one detailed tree against the rules of ranges.
void CheckTree(const CLineTree& tree, bool rangesComplete, bool checkSiblings, uint64_t fileSize,
               uint64_t sideSize)
{
    if (checkSiblings)
        CheckSiblings(tree, tree.First());
    // Per depth: whether the ranges of the lines there are complete; inside
    // an ICC heading; inside the inflated body of a compressed SWF file,
    // whose offsets are in the side file.
    std::vector<bool> completeAt;
    std::vector<bool> iccAt;
    std::vector<bool> sideAt;
    ForEachLine(tree, tree.First(), false, [&](LineId line, int depth) {
        const std::string text(tree.Text(line));
        if (checkSiblings)
            CheckSiblings(tree, tree.FirstChild(line));
        completeAt.resize(static_cast<size_t>(depth) + 2);
        iccAt.resize(static_cast<size_t>(depth) + 1);
        if (depth == 0)
            completeAt[0] = rangesComplete;
        const char* nested = NestedFormat(text);
        completeAt[depth + 1] = nested ? RangesComplete(nested) : completeAt[depth];
        sideAt.resize(static_cast<size_t>(depth) + 1);
        iccAt[depth] = IsIccHeading(text) || (depth > 0 && iccAt[depth - 1]);
        sideAt[depth] = text.find(" Inflated Body : ") != std::string::npos || (depth > 0 && sideAt[depth - 1]);
        SCOPED_TRACE(text);
        const int64_t offset = NamedOffset(text);
        ByteRange range;
        if (!tree.RangeOf(line, range)) {
            // A line about bytes past the end has nothing to describe.
            const bool required = completeAt[depth] || iccAt[depth];
            EXPECT_FALSE(required && offset >= 0 && static_cast<uint64_t>(offset) < (sideAt[depth] ? sideSize : fileSize))
                << "a line that names an offset has no range";
            return;
        }
        EXPECT_GE(offset, 0) << "a line without an offset has a range";
        EXPECT_EQ(range.start, static_cast<uint64_t>(offset));
        EXPECT_EQ(range.space == ByteSpace::SideFile, sideAt[depth]);
        // Inflated data (a PNG file's compressed profile or text) has a
        // size of its own, which the file does not tell.
        if (range.space != ByteSpace::Inflated) {
            EXPECT_LE(range.end, range.space == ByteSpace::SideFile ? sideSize : fileSize);
        }
    });
}

TEST(LineRanges, EveryRangeStartsAtItsLinesOffsetInsideTheFile)
{
    std::vector<fs::path> files = InputFiles();
    ASSERT_FALSE(files.empty());
    TempDir made;
    files.push_back(made.Write("icc.tif", TiffWithProfile()));
    for (const fs::path& source : files) {
        SCOPED_TRACE(source.string());
        TempDir dir;
        // A copy, so that the side files of compressed samples go there.
        const std::string path = dir.Write(source.filename().string(), ReadFile(source.string()));
        Headless h;
        h.app.OpenFiles({path});
        h.Detailed(path);
        const AnalysisResult* doc = h.app.Detailed(path);
        if (!doc || h.app.Rows().empty())
            continue;
        std::error_code ec;
        const uint64_t sideSize = fs::exists(path + ".decompress") ? fs::file_size(path + ".decompress") : 0;
        CheckTree(doc->lines, RangesComplete(h.app.Rows()[0].format), !StructuresOverlap(source),
                  fs::file_size(path, ec), sideSize);
    }
}

std::string Sample(const TempDir& dir, const char* name)
{
    return dir.Write(name, ReadFile(std::string(VANTREL_SOURCE_DIR) + "/samples/" + name));
}

// The format table with every analysis looked at by check before it runs:
// nested ones go through the table too, so each is seen with the lines made
// so far.
struct CheckedFormats {
    std::function<void(const AnalysisRequest&)> check;
    std::vector<FormatHandler> table;

    static CheckedFormats*& Current()
    {
        static CheckedFormats* current = nullptr;
        return current;
    }
    template <size_t I>
    static void Run(const AnalysisRequest& r)
    {
        Current()->check(r);
        AllFormats()[I].analyze(r);
    }
    template <size_t... I>
    void Wrap(std::index_sequence<I...>)
    {
        ((table[I].analyze = I < table.size() ? &Run<I> : nullptr), ...);
    }
    AnalysisOptions Options()
    {
        table.assign(AllFormats().begin(), AllFormats().end());
        EXPECT_LE(table.size(), 16u);
        table.resize(16);
        Wrap(std::make_index_sequence<16>());
        table.resize(AllFormats().size());
        Current() = this;
        return AnalysisOptions{.formats = table};
    }
};

// A nested analysis hangs its lines under the line its caller names. That is
// the line the analysis itself would find by following the last lines down
// from the top level, except for the pictures found after EOI, which hang
// under their MP entry or under the line for the bytes after EOI.
TEST(LineRanges, NestedAnalysesHangUnderTheLineTheyFollow)
{
    std::vector<fs::path> files = InputFiles();
    size_t nested = 0;
    for (const fs::path& source : files) {
        SCOPED_TRACE(source.string());
        // A copy, so that the side files of compressed samples go there.
        TempDir dir;
        const std::string path = dir.Write(source.filename().string(), ReadFile(source.string()));
        CheckedFormats checked;
        checked.check = [&](const AnalysisRequest& r) {
            const CLineTree* lines = r.run->Lines();
            if (!lines || r.level == 0)
                return;
            ++nested;
            const std::string parent(lines->Text(r.parent));
            if (r.pictureLabel.starts_with("EOI後の画像"))
                EXPECT_NE(parent.find("] Data after EOI ("), std::string::npos) << parent;
            else if (r.pictureLabel.starts_with("MPF ") && parent.find("MPEntry #") != std::string::npos)
                EXPECT_EQ(r.pictureLabel, "MPF " + parent.substr(parent.find('#') + 1));
            else
                EXPECT_EQ(r.parent, BaseParentLine(*lines, r.level)) << parent;
        };
        Analyze(path.c_str(), AnalysisMode::Detailed, checked.Options());
    }
    EXPECT_GE(nested, 15u);
}

TEST(LineRanges, AtPrintsTheChainOfLinesAboutAByte)
{
    TempDir dir;
    const std::string swf = Sample(dir, "stage.swf");
    // A tag's body byte, and a byte that two RECT fields share.
    EXPECT_EQ(Dump({"--at", "0x1f", swf}).out, "[0000001c] TagID : 12 (DoAction), Size : 1[byte]\n");
    EXPECT_EQ(Dump({"--at", "10", swf}).out,
              "[00000000] SWF File Header(FWS) Version6\n"
              "  [00000008] FrameSize (RECT)\n"
              "    [00000008] Xmin : 0[twip]\n"
              "    [0000000a] Xmax : 11000[twip]\n");
    EXPECT_EQ(Dump({"--at", "39", swf}).out, "");
    // The compressed body lies in the analysed file as one stream.
    const std::string cws = Sample(dir, "stage-compressed.swf");
    const std::string atStream = Dump({"--at", "0x10", cws}).out;
    EXPECT_EQ(atStream.rfind("[00000000] SWF File Header(CWS) Version6\n  [00000008] zlib Stream : ", 0), 0u)
        << atStream;
    // An ICC tag table entry's offset field, under the TIFF lines.
    const std::string icc = dir.Write("icc.tif", TiffWithProfile());
    const std::string at = Dump({"--at", std::to_string(26 + 136 + 2), icc}).out;
    const std::string tail = "        [0000009e] Tag signature = desc : profileDescriptionTag\n"
                             "          [000000a2] Offset to beginning of tag data element = 0x00000080 "
                             "( + 0x0000001a = 0x0000009a )\n";
    ASSERT_GE(at.size(), tail.size()) << at;
    EXPECT_EQ(at.substr(at.size() - tail.size()), tail);
    // The last byte of a DQT table; and a byte of the scan data, between
    // its restart markers, which belongs to no segment.
    const std::string jpeg = Sample(dir, "odd-422-restart.jpg");
    EXPECT_EQ(Dump({"--at", "0x58", jpeg}).out,
              "[00000014] DQT\n"
              "  [00000018] Quantization Table\n"
              "    Quantization Table #0 (0x00000018 - 0x00000058)\n");
    EXPECT_EQ(Dump({"--at", "0x400", jpeg}).out, "[00000275] Image Data\n");
    for (const char* bad : {"x", "0x", "-1", "12a", "0x1g", "99999999999999999999999"})
        EXPECT_EQ(Dump({"--at", bad, swf}).status, 2) << bad;
}

TEST(LineRanges, GapsAreTheBytesNoLineDescribes)
{
    TempDir dir;
    Bytes swf = ReadFile(std::string(VANTREL_SOURCE_DIR) + "/samples/stage.swf");
    const std::string whole = dir.Write("whole.swf", swf);
    EXPECT_EQ(Dump({"--gaps", whole}).out, "");
    const size_t end = swf.size();
    swf.insert(swf.end(), {'t', 'r', 'a', 'i', 'l'});
    const std::string trailing = dir.Write("trailing.swf", swf);
    const auto r = Dump({"--gaps", trailing});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::to_string(end) + " " + std::to_string(end + 5) + " 5\n");
    // The scan data runs up to EOI, and what follows EOI has a line of its
    // own.
    Bytes jpeg = ReadFile(std::string(VANTREL_SOURCE_DIR) + "/samples/odd-422-restart.jpg");
    jpeg.insert(jpeg.end(), {0, 1, 2});
    EXPECT_EQ(Dump({"--gaps", dir.Write("trailing.jpg", jpeg)}).out, "");
}

TEST(LineRanges, TiffEntryValuesStripsAndUnreferencedBytes)
{
    TempDir dir;
    const std::string lzw = Sample(dir, "rgb-lzw.tif");
    // A value at an offset, a value inside its entry, a byte of the first strip.
    EXPECT_EQ(Dump({"--at", "0x9c4", lzw}).out, "      [000009c2]Strip #0 = 0x00000008\n");
    EXPECT_EQ(Dump({"--at", "0x91a", lzw}).out,
              "[000008ea] ImageFileDirectory\n"
              "  [00000910] Tag = 0x0103 ... Compression\n"
              "    [00000918] Value = 0x00000005\n");
    EXPECT_EQ(Dump({"--at", "0x10", lzw}).out, "[00000008] Image Data\n");

    // One IFD whose values all sit in their entries, six bytes nothing
    // points to, then the one strip.
    constexpr uint32_t kEntries = 8;
    constexpr uint32_t kBlockAt = 8 + 2 + 12 * kEntries + 4;
    constexpr uint32_t kStripAt = kBlockAt + 6;
    Bytes b(kStripAt + 8, 0x55);
    b[0] = b[1] = 'I';
    PutLe(b, 2, 42, 2);
    PutLe(b, 4, 8, 4);
    PutLe(b, 8, kEntries, 2);
    const uint32_t fields[kEntries][3] = {{256, 3, 4}, {257, 3, 2}, {258, 3, 8},       {259, 3, 1},
                                          {262, 3, 1}, {273, 4, kStripAt}, {278, 3, 2}, {279, 4, 8}};
    for (uint32_t i = 0; i < kEntries; ++i) {
        const size_t e = 10 + 12 * i;
        PutLe(b, e, fields[i][0], 2);
        PutLe(b, e + 2, fields[i][1], 2);
        PutLe(b, e + 4, 1, 4);
        PutLe(b, e + 8, fields[i][2], 4);
    }
    PutLe(b, kBlockAt - 4, 0, 4);
    const auto r = Dump({"--gaps", dir.Write("block.tif", b)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::to_string(kBlockAt) + " " + std::to_string(kStripAt) + " 6\n");
}

TEST(LineRanges, JsonGivesRangesAndTheSideFile)
{
    TempDir dir;
    const std::string json = Dump({"--json", "-d", Sample(dir, "stage-compressed.swf")}).out;
    EXPECT_NE(json.find("{\"text\":\"[00000004] FileLength : 39[byte]\",\"range\":[4,8]}"), std::string::npos);
    EXPECT_NE(json.find("\"[0000000d] TagID : 9 (SetBackgroundColor), Size : 3[byte]\",\"range\":[13,18],"
                        "\"in\":\"side-file\",\"children\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"text\":\"[0000000f] BackgroundColor (RGB) : #336699\",\"range\":[15,18],"
                        "\"in\":\"side-file\"}"),
              std::string::npos);
}

}  // namespace
