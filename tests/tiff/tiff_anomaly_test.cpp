// What the TIFF analyzer reports wrong with a file: each kind of anomaly at
// its place in a hand-made file, the known defect of each hostile TIFF file
// of the corpus, and the structural warnings exiftool gives for the same
// files.
#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "core/result_line.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;
namespace fs = std::filesystem;

namespace {

std::string CorpusPath(const std::string& name) { return std::string(VANTREL_SOURCE_DIR) + "/tests/corpus/" + name; }

// The TIFF and ICC kinds of an anomaly list, each once, in the order first
// met, separated by spaces.
std::string Kinds(const std::string& list)
{
    std::string kinds;
    size_t start = 0;
    for (size_t end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = list.substr(start, end - start);
        const std::string kind = line.substr(line.rfind(' ') + 1);
        if ((kind.rfind("tiff.", 0) == 0 || kind.rfind("icc.", 0) == 0) &&
            (" " + kinds + " ").find(" " + kind + " ") == std::string::npos)
            kinds += (kinds.empty() ? "" : " ") + kind;
    }
    return kinds;
}

std::vector<std::string> Split(const std::string& words)
{
    std::vector<std::string> list;
    std::istringstream in(words);
    for (std::string word; in >> word;)
        list.push_back(word);
    return list;
}

}  // namespace

// The known defect of each hostile file that holds TIFF structure (also
// inside JPEG files) is reported: the TIFF and ICC kinds of its detailed
// analysis, each once in the order first met. The rough analysis reports
// no kind the detailed one does not. Files whose fault lies inside coded
// data (CCITT, LZW, PackBits, Deflate, JPEG, floating-point samples) or in
// values no structure depends on (zero dimensions) have a sound structure.
TEST(TiffAnomalies, CorpusFilesReportTheirDefects)
{
    const std::pair<const char*, const char*> cases[] = {
        {"bigtiff-entry-count-huge.tif", "tiff.ifd-past-end tiff.missing-field"},
        {"bigtiff-ifd8-loop.tif", "tiff.ifd-loop tiff.tag-order tiff.missing-field"},
        {"bigtiff-offsets-outside.tif", "tiff.ifd-outside"},
        {"bigtiff-strips-outside.tif", "tiff.missing-field tiff.strip-outside"},
        {"bigtiff-value-count-huge.tif", "tiff.tag-order tiff.value-outside tiff.missing-field tiff.bits-per-sample-count tiff.strip-count-mismatch"},
        {"jpeg-exif-ifd-loop.jpg", "tiff.ifd-loop"},
        {"jpeg-exif-truncated.jpg", "tiff.ifd-past-end"},
        {"regress-jpeg-exif-thumbnail-contains-itself.jpg", "tiff.ifd-outside tiff.tag-order tiff.duplicate-tag tiff.count-mismatch tiff.value-outside tiff.strip-outside"},
        {"tiff-bits-16-samples-5.tif", "tiff.bits-per-sample-count"},
        {"tiff-deflate-bomb.tif", "tiff.bits-per-sample-count"},
        {"tiff-deflate-btype3.tif", "tiff.bits-per-sample-count"},
        {"tiff-entry-count-huge.tif", "tiff.ifd-past-end tiff.duplicate-tag tiff.missing-field"},
        {"tiff-exif-gps-interop-loop.tif", "tiff.ifd-loop tiff.missing-field"},
        {"tiff-exif-ifd-loop.tif", "tiff.ifd-loop tiff.missing-field"},
        {"tiff-exif-ifd-outside.tif", "tiff.ifd-outside tiff.missing-field"},
        {"tiff-float-all-nan.tif", ""},
        {"tiff-float-predictor-cut.tif", "tiff.strip-outside"},
        {"tiff-float24-odd.tif", ""},
        {"tiff-g3-no-rtc.tif", ""},
        {"tiff-g3-only-eol.tif", ""},
        {"tiff-g4-all-pass-modes.tif", ""},
        {"tiff-g4-no-eofb.tif", ""},
        {"tiff-geokeys-lying.tif", "tiff.missing-field"},
        {"tiff-header-only.tif", "tiff.ifd-outside"},
        {"tiff-huge-dimensions.tif", "tiff.bits-per-sample-count tiff.strip-byte-count"},
        {"tiff-icc-tag-count-huge.tif", "icc.tag-table-outside tiff.missing-field"},
        {"tiff-icc-truncated.tif", "tiff.value-outside tiff.missing-field"},
        {"tiff-ifd-offset-outside.tif", "tiff.ifd-outside"},
        {"tiff-ifd-self-loop.tif", "tiff.missing-field tiff.ifd-loop"},
        {"tiff-ifd-two-cycle.tif", "tiff.missing-field tiff.ifd-loop"},
        {"tiff-jpeg-thumbnail-garbage.tif", ""},
        {"tiff-lzw-garbage.tif", "tiff.bits-per-sample-count"},
        {"tiff-lzw-no-end-code.tif", ""},
        {"tiff-lzw-palette-no-colormap.tif", "tiff.missing-field"},
        {"tiff-packbits-runs-past-row.tif", "tiff.bits-per-sample-count"},
        {"tiff-packbits-truncated.tif", "tiff.bits-per-sample-count"},
        {"tiff-strip-count-mismatch.tif", "tiff.value-outside tiff.strip-count-mismatch"},
        {"tiff-strip-offset-past-eof.tif", "tiff.strip-outside"},
        {"tiff-subifd-loop.tif", "tiff.ifd-loop tiff.tag-order tiff.missing-field"},
        {"tiff-unknown-type.tif", "tiff.count-mismatch tiff.missing-field"},
        {"tiff-value-count-gigabytes.tif", "tiff.value-outside tiff.missing-field"},
        {"tiff-zero-dimensions.tif", ""},
    };
    for (const auto& [name, kinds] : cases) {
        SCOPED_TRACE(name);
        const std::string list = FileAnomalies(CorpusPath(name));
        const size_t split = list.find("detailed:\n");
        EXPECT_EQ(Kinds(list.substr(split)), kinds);
        for (const std::string& kind : Split(Kinds(list.substr(0, split))))
            EXPECT_NE(Kinds(list.substr(split)).find(kind), std::string::npos) << kind;
    }
}

namespace {

// Little-endian numbers of a built file.
uint32_t Le16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t Le32(const Bytes& b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }

// The file offset of the entry with tag in the IFD at 8, as hex digits of
// an anomaly line, plus add.
std::string Entry(const Bytes& file, uint32_t tag, size_t add = 0)
{
    for (uint32_t k = 0; k < Le16(file, 8); ++k)
        if (Le16(file, 10 + 12 * k) == tag)
            return ResultLine("%08zx", 10 + 12 * k + add);
    return "not found";
}

// The place of LONG value i of the entry with tag, whose values lie
// outside the IFD, as hex digits.
std::string LongValue(const Bytes& file, uint32_t tag, uint32_t i)
{
    for (uint32_t k = 0; k < Le16(file, 8); ++k)
        if (Le16(file, 10 + 12 * k) == tag)
            return ResultLine("%08x", Le32(file, 10 + 12 * k + 8) + 4 * i);
    return "not found";
}

// The anomalies of the rough, then the detailed analysis of a TIFF
// structure at the file's start, embedded (level 1) in data that ends at
// dataEnd when that is given.
std::string Anomalies(const Bytes& file, uint64_t dataEnd = UINT64_MAX)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("test.tif", file);
    std::string list;
    for (AnalysisMode mode : {AnalysisMode::Rough, AnalysisMode::Detailed}) {
        testing_support::StandaloneRun standalone(mode, path.c_str());
        FILE* fp = std::fopen(path.c_str(), "rb");
        RunAnalyzer(kFormatTiff, AnalysisRequest{.run = &standalone.run, .fp = fp, .path = path.c_str(), .mode = mode,
                                                 .level = dataEnd == UINT64_MAX ? 0u : 1u, .dataEnd = dataEnd});
        std::fclose(fp);
        list += testing_support::AnomalyList(standalone.result) + (mode == AnalysisMode::Rough ? "|" : "");
    }
    return list;
}

// A grey picture 4 pixels wide of `rows` strips of one row, written after
// every other byte; change edits the fields first (strips: the strips'
// offset).
Bytes Picture(uint32_t rows, const std::function<void(std::vector<Field>&, uint32_t strips)>& change = {})
{
    const TiffBuilder t(true);
    auto fields = [&](uint32_t strips) {
        std::vector<uint32_t> offsets, counts;
        for (uint32_t r = 0; r < rows; ++r) {
            offsets.push_back(strips + 4 * r);
            counts.push_back(4);
        }
        std::vector<Field> f = {t.Short(256, {4}),    t.Short(257, {rows}),  t.Short(258, {8}),
                                t.Short(259, {1}),    t.Short(262, {1}),     t.Long(273, offsets),
                                t.Short(277, {1}),    t.Short(278, {1}),     t.Long(279, counts)};
        if (change)
            change(f, strips);
        return f;
    };
    const uint32_t strips = uint32_t(t.Build({fields(0)}).size());
    Bytes file = t.Build({fields(strips)});
    file.resize(file.size() + 4 * rows, 0x80);
    return file;
}

// Replaces the field of tag, or adds the field in its place by tag.
void Set(std::vector<Field>& fields, const Field& field)
{
    for (Field& f : fields)
        if (f.tag == field.tag) {
            f = field;
            return;
        }
    auto at = std::find_if(fields.begin(), fields.end(), [&](const Field& f) { return f.tag > field.tag; });
    fields.insert(at, field);
}

void Drop(std::vector<Field>& fields, uint16_t tag)
{
    std::erase_if(fields, [&](const Field& f) { return f.tag == tag; });
}

}  // namespace

// Each kind at the offset of the field or bytes concerned, in both modes
// where the rough walk meets it (strips are read in detailed mode only).
TEST(TiffAnomalies, EachKindAtItsPlace)
{
    const TiffBuilder t(true);
    const Bytes sound = Picture(2);
    const size_t next = 8 + 2 + 12 * 9;   // the next-IFD offset of a sound picture
    auto patched32 = [](Bytes file, size_t at, uint32_t value) {
        Set32(file, at, value, true);
        return file;
    };
    // The IFD one byte further on, its strips with it.
    Bytes odd = Picture(1, [&](std::vector<Field>& f, uint32_t strips) { Set(f, t.Long(273, {strips + 1})); });
    odd.insert(odd.begin() + 8, 0);
    Set32(odd, 4, 9, true);
    const Bytes unsorted = Picture(1, [&](std::vector<Field>& f, uint32_t) { std::swap(f[0], f[1]); });
    const Bytes repeated = Picture(1, [&](std::vector<Field>& f, uint32_t) { f.insert(f.begin(), t.Short(256, {4})); });
    const Bytes outside = Picture(1, [&](std::vector<Field>& f, uint32_t) { Set(f, t.Raw(282, 5, 1, 0x100000)); });
    const Bytes onIfd = Picture(1, [&](std::vector<Field>& f, uint32_t) { Set(f, t.Raw(282, 5, 1, 8)); });
    // Two resolutions in the strip's bytes: partly shared, or the same.
    auto resolutions = [&](uint32_t second) {
        return Picture(3, [&](std::vector<Field>& f, uint32_t strips) {
            Set(f, t.Raw(282, 5, 1, strips));
            Set(f, t.Raw(283, 5, 1, strips + second));
        });
    };
    const Bytes count = Picture(1, [&](std::vector<Field>& f, uint32_t) { Set(f, t.Short(296, {2, 2})); });
    const Bytes noPhotometric = Picture(1, [&](std::vector<Field>& f, uint32_t) { Drop(f, 262); });
    const Bytes noWidth = Picture(1, [&](std::vector<Field>& f, uint32_t) { Drop(f, 256); });
    const Bytes bits = Picture(1, [&](std::vector<Field>& f, uint32_t) {
        Set(f, t.Short(277, {2}));
        Set(f, t.Short(258, {8, 8, 8}));
    });
    const Bytes bitsOnce = Picture(1, [&](std::vector<Field>& f, uint32_t) { Set(f, t.Short(277, {2})); });
    const Bytes stripOutside = Picture(1, [&](std::vector<Field>& f, uint32_t) { Set(f, t.Long(273, {0x10000})); });
    auto strips = [&](std::vector<uint32_t> offsets, std::vector<uint32_t> counts) {
        return Picture(2, [&](std::vector<Field>& f, uint32_t at) {
            for (uint32_t& o : offsets)
                o += at;
            Set(f, t.Long(273, offsets));
            Set(f, t.Long(279, counts));
        });
    };
    const Bytes overlap = strips({0, 2}, {4, 4});
    const Bytes shared = strips({0, 0}, {4, 4});
    const Bytes shortStrip = strips({0, 4}, {4, 3});
    // A Deflate strip whose byte count stops short of its stream.
    Bytes deflate = Picture(1, [&](std::vector<Field>& f, uint32_t) {
        Set(f, t.Short(259, {8}));
        Set(f, t.Long(279, {6}));
    });
    {
        const Bytes row(4, 0x80);
        Bytes stream(64);
        uLongf size = stream.size();
        ASSERT_EQ(compress2(stream.data(), &size, row.data(), row.size(), 9), Z_OK);
        deflate.erase(deflate.end() - 4, deflate.end());   // the raw row Picture wrote
        deflate.insert(deflate.end(), stream.begin(), stream.begin() + static_cast<long>(size));
    }
    const Bytes fewCounts = Picture(2, [&](std::vector<Field>& f, uint32_t) { Set(f, t.Long(279, {4})); });
    const Bytes fewStrips = Picture(2, [&](std::vector<Field>& f, uint32_t at) {
        Set(f, t.Long(273, {at}));
        Set(f, t.Long(279, {8}));
    });
    struct Case {
        const char* name;
        Bytes file;
        std::string expected;   // rough anomalies | detailed anomalies
        uint64_t dataEnd = UINT64_MAX;
    } cases[] = {
        {"sound", sound, "|"},
        {"IFD at an odd offset", odd, "00000004 警告 tiff.ifd-odd-offset\n|00000004 警告 tiff.ifd-odd-offset\n"},
        {"IFD outside the file", patched32(sound, 4, 0x100000),
         "00000004 エラー tiff.ifd-outside\n|00000004 エラー tiff.ifd-outside\n"},
        {"next IFD back to the first", patched32(sound, next, 8),
         ResultLine("%08zx エラー tiff.ifd-loop\n|%08zx エラー tiff.ifd-loop\n", next, next)},
        {"entries past the end", [&] { Bytes b = Picture(1); b[8] = 40; return b; }(),
         "00000008 エラー tiff.ifd-past-end\n|00000008 エラー tiff.ifd-past-end\n"},
        {"entries out of order", unsorted,
         Entry(unsorted, 256) + " 警告 tiff.tag-order\n|" + Entry(unsorted, 256) + " 警告 tiff.tag-order\n"},
        {"a tag twice", repeated,
         "00000016 エラー tiff.duplicate-tag\n|00000016 エラー tiff.duplicate-tag\n"},
        {"value outside the file", outside,
         Entry(outside, 282, 8) + " エラー tiff.value-outside\n|" + Entry(outside, 282, 8) +
             " エラー tiff.value-outside\n"},
        {"value on the IFD", onIfd,
         Entry(onIfd, 282, 8) + " エラー tiff.value-overlap\n|" + Entry(onIfd, 282, 8) + " エラー tiff.value-overlap\n"},
        {"values sharing bytes", resolutions(4),
         Entry(resolutions(4), 283, 8) + " 警告 tiff.value-overlap\n|" + Entry(resolutions(4), 283, 8) +
             " 警告 tiff.value-overlap\n"},
        {"values sharing all their bytes", resolutions(0), "|"},
        {"count against the standard", count,
         Entry(count, 296, 4) + " 警告 tiff.count-mismatch\n|" + Entry(count, 296, 4) + " 警告 tiff.count-mismatch\n"},
        {"no PhotometricInterpretation", noPhotometric,
         "00000008 警告 tiff.missing-field\n|00000008 警告 tiff.missing-field\n"},
        {"no ImageWidth", noWidth, "00000008 エラー tiff.missing-field\n|00000008 エラー tiff.missing-field\n"},
        {"three BitsPerSample for two samples", bits,
         Entry(bits, 258, 4) + " エラー tiff.bits-per-sample-count\n|" + Entry(bits, 258, 4) +
             " エラー tiff.bits-per-sample-count\n" + Entry(bits, 279, 8) + " エラー tiff.strip-byte-count\n"},
        {"one BitsPerSample for two samples", bitsOnce,
         Entry(bitsOnce, 258, 4) + " 警告 tiff.bits-per-sample-count\n|" + Entry(bitsOnce, 258, 4) +
             " 警告 tiff.bits-per-sample-count\n" + Entry(bitsOnce, 279, 8) + " エラー tiff.strip-byte-count\n"},
        {"strip outside the file", stripOutside, std::string("|") + Entry(stripOutside, 273, 8) + " エラー tiff.strip-outside\n"},
        {"strip outside the embedding segment", Picture(1),
         std::string("|") + Entry(Picture(1), 273, 8) + " エラー tiff.strip-outside\n", Picture(1).size() - 2},
        {"strips overlapping", overlap, std::string("|") + LongValue(overlap, 273, 1) + " エラー tiff.strip-overlap\n"},
        {"strips sharing their bytes", shared, "|"},
        {"strip short of its row", shortStrip,
         std::string("|") + LongValue(shortStrip, 279, 1) + " エラー tiff.strip-byte-count\n"},
        {"Deflate stream past its byte count", deflate,
         std::string("|") + Entry(deflate, 279, 8) + " エラー tiff.strip-byte-count\n"},
        {"fewer byte counts than strips", fewCounts,
         Entry(fewCounts, 273, 4) + " エラー tiff.strip-count-mismatch\n|" + Entry(fewCounts, 273, 4) +
             " エラー tiff.strip-count-mismatch\n"},
        {"fewer strips than rows", fewStrips,
         Entry(fewStrips, 273, 4) + " エラー tiff.strip-count-mismatch\n|" + Entry(fewStrips, 273, 4) +
             " エラー tiff.strip-count-mismatch\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Anomalies(c.file, c.dataEnd), c.expected);
    }
}

namespace {

// What a structural warning of `exiftool -validate -warning` stands for
// here: the kinds that answer it (any one of them, separated by "|"), or,
// with no kind, why nothing does. A rule with a file holds for that file
// only. The first rule whose pattern the warning holds decides.
struct ExiftoolRule {
    const char* file;
    const char* pattern;
    const char* kinds;
    const char* reason;
};
constexpr ExiftoolRule kExiftoolRules[] = {
    {"tiff-jpeg-thumbnail-garbage.tif", "Missing required TIFF", "",
     "its picture is JPEG interchange data, whose size and samples the JPEG stream gives"},
    // exiftool drops a StripOffsets whose values lie outside the file.
    {"tiff-strip-count-mismatch.tif", "Missing required TIFF IFD0 tag 0x0111 StripOffsets", "tiff.value-outside", ""},
    {"", "Bad GeoTIFF directory", "", "GeoTIFF keys are values of their entries, not TIFF structure"},
    {"", "Missing required TIFF \\w+ tag 0x0\\w+ (ImageWidth|ImageHeight|PhotometricInterpretation|StripOffsets|"
         "StripByteCounts|ColorMap)",
     "tiff.missing-field", ""},
    {"", "Missing required TIFF \\w+ tag 0x011[ab] [XY]Resolution", "",
     "readers draw without a resolution; writers leave it out"},
    {"", "Missing required TIFF \\w+ tag 0x0116 RowsPerStrip", "", "TIFF 6.0 gives it a default: one strip"},
    {"", "Missing required (TIFF|JPEG) ExifIFD tag", "", "Exif's own fields describe the picture, not the structure"},
    {"", "Missing required JPEG IFD\\d tag", "", "Exif's own fields describe the picture, not the structure"},
    {"", "BitsPerSample should have", "tiff.bits-per-sample-count", ""},
    {"", "Invalid value for \\w+ tag", "", "a field's value, not the structure (exiftool knows baseline values only)"},
    {"", "pointer references previous", "tiff.ifd-loop", ""},
    {"", "Wrong IFD for 0x\\w+ \\w+", "", "a pointer in an unusual IFD; the loop it makes is tiff.ifd-loop"},
    {"", "Bad \\w+ directory", "tiff.ifd-past-end|tiff.ifd-outside", ""},
    {"", "Short directory size", "tiff.ifd-past-end", ""},
    {"", "Huge directory counts", "tiff.ifd-past-end", ""},
    {"", "Huge offsets not supported", "tiff.ifd-outside", ""},
    {"", "Processing TIFF-like data after unknown", "tiff.ifd-outside", ""},
    {"", "runs past end of file|is past end of file", "tiff.strip-outside", ""},
    {"", "Undersized \\w+ StripByteCounts", "tiff.strip-byte-count", ""},
    {"", "StripByteCounts is missing the corresponding offset tag", "tiff.strip-count-mismatch", ""},
    {"", "Invalid offset for|Invalid size|huge size", "tiff.value-outside", ""},
    {"", "Bad ICC_Profile table", "icc.tag-table-outside", ""},
    {"", "Bad format \\(\\d+\\)", "", "TIFF 6.0 tells readers to skip entries of unknown types"},
    {"", "is not allowed in TIFF", "", "Exif and JPEG tags in TIFF IFDs, which readers take"},
    {"", "wrong extension", "", "a file name, not its structure"},
    {"", "JPEG|SOS|Skipped unknown", "", "JPEG structure, which the JPEG analysis reports"},
};

const ExiftoolRule* RuleFor(const std::string& file, const std::string& warning)
{
    for (const ExiftoolRule& rule : kExiftoolRules)
        if ((!*rule.file || file == rule.file) && std::regex_search(warning, std::regex(rule.pattern)))
            return &rule;
    return nullptr;
}

std::vector<std::string> ExiftoolWarnings(const std::string& path)
{
    std::vector<std::string> warnings;
    const std::string command = "timeout 30 /usr/bin/exiftool -validate -warning -a '" + path + "' 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return warnings;
    char line[1024];
    while (std::fgets(line, sizeof line, p)) {
        const std::string text = line;
        if (text.rfind("Warning", 0) == 0 && text.find(": ") != std::string::npos)
            warnings.push_back(text.substr(text.find(": ") + 2, text.size() - text.find(": ") - 3));
    }
    pclose(p);
    return warnings;
}

}  // namespace

// Every structural warning exiftool gives for the hostile TIFF files has a
// counterpart among this analysis's anomalies, or a rule saying why not.
// exiftool follows the IFD8 loop of bigtiff-ifd8-loop.tif and the SubIFD
// loop of tiff-subifd-loop.tif without end (growing to gigabytes), so
// those files are left out.
TEST(TiffAnomalies, ExiftoolWarningsHaveCounterparts)
{
    if (!fs::exists("/usr/bin/exiftool") || std::system("timeout --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "exiftool is not installed";
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(std::string(VANTREL_SOURCE_DIR) + "/tests/corpus")) {
        const std::string name = entry.path().filename().string();
        if ((name.find("tif") != std::string::npos || name.find("exif") != std::string::npos) &&
            name != "bigtiff-ifd8-loop.tif" && name != "tiff-subifd-loop.tif")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string kinds = Kinds(FileAnomalies(CorpusPath(name)));
        for (const std::string& warning : ExiftoolWarnings(CorpusPath(name))) {
            const ExiftoolRule* rule = RuleFor(name, warning);
            ASSERT_NE(rule, nullptr) << "no rule for: " << warning;
            if (!*rule->kinds)
                continue;
            std::string alternatives = rule->kinds;
            std::replace(alternatives.begin(), alternatives.end(), '|', ' ');
            const std::vector<std::string> ours = Split(kinds);
            bool answered = false;
            for (const std::string& kind : Split(alternatives))
                answered = answered || std::find(ours.begin(), ours.end(), kind) != ours.end();
            EXPECT_TRUE(answered) << warning << " -> " << rule->kinds << " not in: " << kinds;
        }
    }
}
