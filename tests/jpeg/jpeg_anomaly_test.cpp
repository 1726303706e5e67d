// What the JPEG walk reports wrong with a stream: each kind on a hand-made
// file, at the offset of the offending bytes, in both modes (the rough walk
// reports what it meets on its way); the corpus files' known defects; and
// no anomaly on the files real writers make.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jpeg/jpeg_analyzer.h"
#include "jpeg/jpeg_bytes.h"
#include "jpeg/jpeg_test_support.h"
#include "support/test_support.h"

using namespace jpeg_bytes;
using testing_support::TempDir;

namespace {

// The anomalies of one analysis of bytes in mode.
std::string AnomaliesOf(const Bytes& bytes, AnalysisMode mode)
{
    TempDir dir;
    const std::string path = dir.Write("t.jpg", bytes);
    testing_support::StandaloneRun run(mode, path.c_str());
    if (FilePtr fp = OpenAnalysisFile(path.c_str())) {
        CJpegAnalyzer analyzer;
        analyzer.Analyze({&run.run, fp.get(), path.c_str(), mode});
    }
    return testing_support::AnomalyList(run.result);
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        Put(out, p);
    return out;
}

// A 16 x 8 grey baseline stream in pieces: SOI 0, DQT 2, SOF 0x47, DHT 0x54,
// then (at 0x128) whatever a case puts there.
Bytes Head(const Bytes& frame = Sof0(16, 8, {{1, 0x11, 0}}))
{
    return Join({Soi(), Dqt(), frame, DhtStandardLuma()});
}

// The rest of a clean stream after the head: SOS 0x128, two flat blocks at
// 0x132, EOI 0x134.
Bytes Tail()
{
    return Join({Sos({{1, 0x00}}), FlatGrayBlocks(2), Eoi()});
}

Bytes WithSos(std::initializer_list<uint8_t> selection, uint8_t frameMarker)
{
    Bytes sos = Sos({{1, 0x00}});
    std::copy(selection.begin(), selection.end(), sos.end() - 3);
    return Join({Head(Sof0(16, 8, {{1, 0x11, 0}}, frameMarker)), sos, FlatGrayBlocks(2), Eoi()});
}

Bytes App(uint8_t marker, const std::string& text, const Bytes& more = {})
{
    Bytes p;
    PutText(p, text);
    Put(p, more);
    return Segment(marker, p);
}

struct AnomalyCase {
    const char* name;
    Bytes bytes;
    const char* detailed;
    const char* rough;
};

std::vector<AnomalyCase> Cases()
{
    const Bytes clean = Join({Head(), Tail()});
    Bytes overfull = HuffmanBody(0x00, {3}, {0, 1, 2});
    overfull.resize(1 + 16 + 3);
    std::copy_n(Bytes{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}.begin(), 16, overfull.begin() + 1);
    return {
        {"clean_with_fill_bytes", Join({Soi(), Dqt(), {0xFF, 0xFF}, Sof0(16, 8, {{1, 0x11, 0}}), DhtStandardLuma(), Tail()}),
         "", ""},
        {"clean_with_appended_stream", Join({clean, clean}), "", ""},
        {"segment_past_end", Join({Soi(), {0xFF, 0xE1, 0x01, 0x00}, Bytes(10, 'x')}),
         "00000004 エラー jpeg.segment-past-end\n00000010 エラー jpeg.missing-eoi\n00000010 警告 jpeg.no-scan\n",
         "00000004 エラー jpeg.segment-past-end\n00000010 エラー jpeg.missing-eoi\n00000010 警告 jpeg.no-scan\n"},
        {"length_field_cut", Join({Soi(), {0xFF, 0xDB, 0x00}}),
         "00000002 エラー jpeg.segment-past-end\n00000005 エラー jpeg.missing-eoi\n00000005 警告 jpeg.no-scan\n",
         "00000002 エラー jpeg.segment-past-end\n00000005 エラー jpeg.missing-eoi\n00000005 警告 jpeg.no-scan\n"},
        {"length_below_two", Join({Soi(), {0xFF, 0xFE, 0x00, 0x01}, Eoi()}),
         "00000004 エラー jpeg.segment-length\n00000004 エラー jpeg.marker-missing\n00000006 警告 jpeg.no-scan\n",
         "00000004 エラー jpeg.segment-length\n00000004 エラー jpeg.marker-missing\n00000006 警告 jpeg.no-scan\n"},
        {"bytes_where_a_marker_belongs", Join({Soi(), Dqt(), {0x12, 0x34, 0x56}, Sof0(16, 8, {{1, 0x11, 0}}),
                                               DhtStandardLuma(), Tail()}),
         "00000047 エラー jpeg.marker-missing\n", "00000047 エラー jpeg.marker-missing\n"},
        {"second_soi", Join({Soi(), Dqt(), Soi(), Sof0(16, 8, {{1, 0x11, 0}}), DhtStandardLuma(), Tail()}),
         "00000047 エラー jpeg.invalid-marker\n", "00000047 エラー jpeg.invalid-marker\n"},
        {"restart_outside_a_scan", Join({Head(), {0xFF, 0xD0}, Tail()}), "00000128 エラー jpeg.invalid-marker\n",
         "00000128 エラー jpeg.invalid-marker\n"},
        {"missing_eoi", Join({Head(), Sos({{1, 0x00}}), FlatGrayBlocks(2)}), "00000134 エラー jpeg.missing-eoi\n",
         "00000134 エラー jpeg.missing-eoi\n"},
        // Unknown bytes after EOI are a warning: cameras append data of their own.
        // The rough walk does not know the MPF pictures, and says nothing.
        {"data_after_eoi", Join({clean, Bytes(5, 'z')}), "00000136 警告 jpeg.data-after-eoi\n", ""},
        {"scan_cut_short", Join({Head(), Sos({{1, 0x00}}), Eoi()}), "00000132 エラー jpeg.scan-ended-early\n", ""},
        // RST1 where RST0 belongs; the count goes on from the marker found.
        {"restart_out_of_turn",
         Join({Head(), Dri(1), Sos({{1, 0x00}}), FlatGrayBlocks(1), {0xFF, 0xD1}, FlatGrayBlocks(1), Eoi()}),
         "00000139 エラー jpeg.restart-sequence\n", "00000139 エラー jpeg.restart-sequence\n"},
        {"undefined_huffman_table", Join({Head(), Sos({{1, 0x11}}), FlatGrayBlocks(2), Eoi()}),
         "0000012e エラー jpeg.undefined-table\n00000132 エラー jpeg.marker-missing\n00000134 警告 jpeg.no-scan\n",
         "0000012e エラー jpeg.undefined-table\n00000132 エラー jpeg.marker-missing\n00000134 警告 jpeg.no-scan\n"},
        {"undefined_component", Join({Head(), Sos({{2, 0x00}}), FlatGrayBlocks(2), Eoi()}),
         "0000012d エラー jpeg.undefined-component\n00000132 エラー jpeg.marker-missing\n00000134 警告 jpeg.no-scan\n",
         "0000012d エラー jpeg.undefined-component\n00000132 エラー jpeg.marker-missing\n00000134 警告 jpeg.no-scan\n"},
        // The rough walk does not read DQT.
        {"undefined_quantisation_table", Join({Head(Sof0(16, 8, {{1, 0x11, 1}})), Tail()}),
         "00000128 エラー jpeg.undefined-table\n", ""},
        {"dqt_fields", Join({Soi(), Dqt(0x24), Tail()}),
         "00000006 エラー jpeg.field-range\n00000006 エラー jpeg.field-range\n"
         "00000047 エラー jpeg.invalid-marker\n00000051 エラー jpeg.marker-missing\n00000053 警告 jpeg.no-scan\n",
         "00000047 エラー jpeg.invalid-marker\n00000051 エラー jpeg.marker-missing\n00000053 警告 jpeg.no-scan\n"},
        {"dht_overfull_code", Join({Head(), Segment(0xC4, overfull), Tail()}), "0000012d エラー jpeg.field-range\n0000014a エラー jpeg.scan-ended-early\n", ""},
        {"sof_fields", Join({Head(Sof0(0, 0, {{1, 0x51, 4}}, 0xC0, 9)), Tail()}),
         "0000004b エラー jpeg.field-range\n0000004e エラー jpeg.field-range\n00000052 エラー jpeg.field-range\n"
         "00000053 エラー jpeg.field-range\n0000004c エラー jpeg.field-range\n",
         "0000004b エラー jpeg.field-range\n0000004e エラー jpeg.field-range\n00000052 エラー jpeg.field-range\n"
         "00000053 エラー jpeg.field-range\n0000004c エラー jpeg.field-range\n"},
        {"sequential_selection", WithSos({1, 63, 0}, 0xC0), "0000012f 警告 jpeg.field-range\n",
         "0000012f 警告 jpeg.field-range\n"},
        {"progressive_selection", WithSos({0, 5, 0}, 0xC2), "0000012f エラー jpeg.field-range\n",
         "0000012f エラー jpeg.field-range\n"},
        // The TIFF layout of the bytes finds its IFD pointer outside them.
        {"exif_without_tiff_header", Join({Soi(), App(0xE1, std::string("Exif\0\0", 6) + "XYZ!\0\0\0\x08"), Eoi()}),
         "0000000c エラー jpeg.app-mismatch\n00000010 エラー tiff.ifd-outside\n00000010 警告 jpeg.no-scan\n",
         "00000010 警告 jpeg.no-scan\n"},
        {"icc_chunk_numbers", Join({Soi(), App(0xE2, std::string("ICC_PROFILE\0", 12), {2, 1, 0, 0}), Eoi()}),
         "00000012 エラー jpeg.app-mismatch\n00000016 警告 jpeg.no-scan\n", "00000016 警告 jpeg.no-scan\n"},
        // Two chunks numbered 1 of 2: the second is missing, the first repeated.
        {"icc_chunk_repeated",
         Join({Soi(), App(0xE2, std::string("ICC_PROFILE\0", 12), {1, 2, 0}),
               App(0xE2, std::string("ICC_PROFILE\0", 12), {1, 2, 0}), Eoi()}),
         "00000028 警告 jpeg.no-scan\n00000012 エラー jpeg.app-mismatch\n", "00000028 警告 jpeg.no-scan\n"},
        {"adobe_too_short", Join({Soi(), App(0xEE, "Adobe", {0, 100}), Eoi()}),
         "00000004 エラー jpeg.app-mismatch\n0000000d 警告 jpeg.no-scan\n",
         "00000004 エラー jpeg.app-mismatch\n0000000d 警告 jpeg.no-scan\n"},
        {"jfif_too_short", Join({Soi(), App(0xE0, std::string("JFIF\0\1", 6)), Eoi()}),
         "00000004 エラー jpeg.app-mismatch\n0000000c 警告 jpeg.no-scan\n",
         "0000000c 警告 jpeg.no-scan\n"},
    };
}

}  // namespace

TEST(JpegAnomalies, EachKindAtItsOffsetInBothModes)
{
    for (const AnomalyCase& c : Cases()) {
        EXPECT_EQ(AnomaliesOf(c.bytes, AnalysisMode::Detailed), c.detailed) << c.name;
        EXPECT_EQ(AnomaliesOf(c.bytes, AnalysisMode::Rough), c.rough) << c.name;
    }
}

namespace {

struct CorpusKinds {
    const char* file;
    const char* kinds;   // the kinds a detailed analysis reports, sorted, one per line
};

// Each JPEG file of the hostile corpus with the kinds its defect gives. Many
// hold no scan (a warning). The files with nothing else hold fields T.81
// allows (a component numbered 9, four quantisation tables, fill bytes, a
// zero restart interval, a frame of 65535 x 65535), are valid codings kept
// for the fuzzers, or are broken only in their Exif data, which the TIFF
// analyzer reports.
const CorpusKinds kCorpusKinds[] = {
    {"jpeg-app0-short-jfif.jpg", "jpeg.app-mismatch\njpeg.no-scan\n"},
    {"jpeg-arithmetic-progressive-restart.jpg", ""},
    {"jpeg-bad-huffman-code.jpg", "jpeg.scan-ended-early\n"},
    {"jpeg-com-2000-bytes.jpg", "jpeg.no-scan\n"},
    {"jpeg-dht-bad-class.jpg", "jpeg.field-range\njpeg.no-scan\n"},
    {"jpeg-dht-counts-overflow.jpg",
     "jpeg.field-past-segment\njpeg.field-range\njpeg.marker-missing\njpeg.no-scan\njpeg.undefined-table\n"},
    {"jpeg-dqt-16bit.jpg", "jpeg.field-range\n"},
    {"jpeg-dqt-bad-table-id.jpg", "jpeg.field-range\njpeg.no-scan\n"},
    {"jpeg-dqt-four-tables.jpg", "jpeg.no-scan\n"},
    {"jpeg-dri-zero-interval.jpg", ""},
    {"jpeg-exif-ifd-loop.jpg", "jpeg.no-scan\n"},
    {"jpeg-exif-truncated.jpg", "jpeg.no-scan\n"},
    {"jpeg-fill-bytes.jpg", "jpeg.no-scan\n"},
    {"jpeg-progressive-successive-approximation.jpg", ""},
    {"jpeg-restart-markers-removed.jpg", "jpeg.restart-sequence\njpeg.scan-ended-early\n"},
    {"jpeg-sampling-4x3.jpg", "jpeg.field-range\n"},
    {"jpeg-scan-cut.jpg", "jpeg.missing-eoi\njpeg.scan-ended-early\n"},
    {"jpeg-segment-length-past-eof.jpg", "jpeg.missing-eoi\njpeg.no-scan\njpeg.segment-past-end\n"},
    {"jpeg-segment-length-zero.jpg", "jpeg.marker-missing\njpeg.no-scan\njpeg.segment-length\n"},
    {"jpeg-sof-component-id-9.jpg", ""},
    {"jpeg-sof-huge-size.jpg", "jpeg.missing-eoi\njpeg.scan-ended-early\n"},
    {"jpeg-sof-many-components-short.jpg", "jpeg.field-past-segment\njpeg.no-scan\n"},
    {"jpeg-sof-zero-size.jpg", "jpeg.field-range\n"},
    {"jpeg-soi-only.jpg", "jpeg.missing-eoi\njpeg.no-scan\n"},
    {"jpeg-sos-without-tables.jpg", "jpeg.invalid-marker\njpeg.marker-missing\njpeg.no-scan\n"},
    {"jpeg-truncated-dqt.jpg", "jpeg.missing-eoi\njpeg.no-scan\njpeg.segment-past-end\n"},
    {"regress-jpeg-exif-thumbnail-contains-itself.jpg",
     "jpeg.app-mismatch\njpeg.field-past-segment\njpeg.field-range\njpeg.invalid-marker\n"
     "jpeg.marker-missing\njpeg.missing-eoi\njpeg.no-scan\n"},
    {"regress-jpeg-huge-frame-little-data.jpg",
     "jpeg.field-past-segment\njpeg.field-range\njpeg.invalid-marker\njpeg.marker-missing\n"
     "jpeg.missing-eoi\njpeg.no-scan\njpeg.undefined-table\n"},
};

// The sorted kinds of the jpeg.* anomalies in a list from AnomalyList.
std::string JpegKinds(const std::string& list)
{
    std::set<std::string> kinds;
    for (size_t start = 0, nl; (nl = list.find('\n', start)) != std::string::npos; start = nl + 1) {
        const std::string line = list.substr(start, nl - start);
        const std::string kind = line.substr(line.rfind(' ') + 1);
        if (kind.rfind("jpeg.", 0) == 0)
            kinds.insert(kind);
    }
    std::string text;
    for (const std::string& k : kinds)
        text += k + "\n";
    return text;
}

}  // namespace

TEST(JpegAnomalies, CorpusFilesReportTheirDefects)
{
    const std::filesystem::path corpus = std::string(VANTREL_SOURCE_DIR) + "/tests/corpus";
    std::set<std::string> listed;
    for (const CorpusKinds& c : kCorpusKinds) {
        listed.insert(c.file);
        const Bytes bytes = testing_support::ReadFile((corpus / c.file).string());
        EXPECT_EQ(JpegKinds(AnomaliesOf(bytes, AnalysisMode::Detailed)), c.kinds) << c.file;
    }
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().extension() == ".jpg") {
            EXPECT_TRUE(listed.count(entry.path().filename().string())) << entry.path() << " is not in the table";
        }
    }
}

namespace {

constexpr const char* kExiftool = "/usr/bin/exiftool";

// What exiftool -validate says of JPEG files, and this program's counterpart:
// a kind (or a prefix of kinds) that the same file must carry, or why there
// is none.
struct ExiftoolCounterpart {
    const char* warning;   // the start of exiftool's text, "[minor] " left off
    const char* kind;      // null when there is no counterpart
    const char* why;
};

constexpr const char* kExifData =
    "a fault of the Exif data, which the TIFF analyzer lays out and reports with its own kinds";

const ExiftoolCounterpart kExiftoolCounterparts[] = {
    {"Missing JPEG SOS", "jpeg.no-scan", nullptr},
    {"Skipped unknown ", "jpeg.marker-missing", nullptr},
    {"Malformed APP1 EXIF segment", "jpeg.app-mismatch", nullptr},
    {"Duplicate ICC_Profile chunk", "jpeg.app-mismatch", nullptr},
    // exiftool says this of any stream its walk cannot follow to EOI.
    {"JPEG format error", "jpeg.", nullptr},
    {"File format error", "jpeg.", nullptr},
    {"Missing required JPEG ", nullptr,
     "tags that Exif calls mandatory but writers leave out: every camera-less writer's file would be flagged"},
    {"IFD1 pointer references previous", nullptr, kExifData},
    {"Short directory size for", nullptr, kExifData},
    {"Bad IFD", nullptr, kExifData},
};

// Files where exiftool's warning has no counterpart, and why.
struct ExiftoolException {
    const char* file;
    const char* warning;
    const char* why;
};

const ExiftoolException kExiftoolExceptions[] = {
    {"clean_with_fill_bytes.jpg", "Skipped unknown 2 bytes after JPEG DQT segment",
     "fill bytes 0xFF before a marker, which T.81 B.1.1.2 allows and libjpeg reads without a word"},
};

// exiftool's warnings and errors for each of paths, by path.
std::map<std::string, std::vector<std::string>> ExiftoolWarnings(const std::vector<std::string>& paths)
{
    std::string command = std::string(kExiftool) + " -validate -warning -error -a -s -s";
    for (const std::string& p : paths)
        command += " '" + p + "'";
    std::map<std::string, std::vector<std::string>> warnings;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return warnings;
    std::string file;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        if (text.rfind("======== ", 0) == 0) {
            file = text.substr(9);
            continue;
        }
        for (const char* label : {"Warning: ", "Error: "}) {
            if (text.rfind(label, 0) != 0)
                continue;
            text = text.substr(std::strlen(label));
            if (text.rfind("[minor] ", 0) == 0)
                text = text.substr(8);
            warnings[file].push_back(text);
        }
    }
    pclose(pipe);
    return warnings;
}

}  // namespace

TEST(JpegAnomalies, EveryStructuralWarningOfExiftoolHasACounterpart)
{
    if (!std::filesystem::exists(kExiftool))
        GTEST_SKIP() << "exiftool is not installed";
    TempDir dir;
    std::vector<std::string> paths;
    for (const char* folder : {"/tests/corpus", "/samples"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string(VANTREL_SOURCE_DIR) + folder))
            if (entry.path().extension() == ".jpg")
                paths.push_back(entry.path().string());
    for (const AnomalyCase& c : Cases())
        paths.push_back(dir.Write(std::string(c.name) + ".jpg", c.bytes));
    const auto warnings = ExiftoolWarnings(paths);
    for (const std::string& path : paths) {
        const auto found = warnings.find(path);
        if (found == warnings.end())
            continue;
        const std::string ours = AnomaliesOf(testing_support::ReadFile(path), AnalysisMode::Detailed);
        for (const std::string& warning : found->second) {
            const ExiftoolCounterpart* c = nullptr;
            for (const ExiftoolCounterpart& row : kExiftoolCounterparts)
                if (warning.rfind(row.warning, 0) == 0)
                    c = &row;
            const bool excepted = std::any_of(
                std::begin(kExiftoolExceptions), std::end(kExiftoolExceptions), [&](const ExiftoolException& e) {
                    return std::filesystem::path(path).filename() == e.file && warning == e.warning;
                });
            EXPECT_NE(c, nullptr) << "exiftool's \"" << warning << "\" on " << path << " has no row";
            if (c && c->kind && !excepted) {
                EXPECT_NE(ours.find(std::string(" ") + c->kind), std::string::npos)
                    << path << ": exiftool says \"" << warning << "\"; we report\n"
                    << ours;
            }
        }
    }
}
