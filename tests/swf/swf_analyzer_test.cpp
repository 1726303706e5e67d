#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>

#include <cstdio>
#include <string>

#include "core/result_line.h"
#include "core/tree_ranges.h"
#include "swf/swf_analyzer.h"
#include "swf_fixtures.h"
#include "support/test_support.h"

using namespace swf_fixtures;
using testing_support::Headless;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

struct Rough {
    std::string bar;     // the bar's tree, temp directory replaced by <dir>
    std::string result;  // the row's result column
};

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

Rough RoughOf(const TempDir& dir, const std::string& path)
{
    Headless h;
    h.app.OpenFiles({path});
    Rough r;
    r.bar = Replace(h.BarText(), dir.Path(), "<dir>");
    r.result = h.app.Rows().empty() ? "" : h.app.Rows()[0].result;
    return r;
}

std::string DetailOf(const TempDir& dir, const std::string& path)
{
    Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    return Replace(h.DetailText(path), dir.Path(), "<dir>");
}

// The tag lines of the bar, one per line, without indentation.
std::string TagLines(const std::string& bar)
{
    std::string out;
    size_t start = 0;
    while (start < bar.size()) {
        size_t end = bar.find('\n', start);
        std::string line = bar.substr(start, end - start);
        size_t text = line.find_first_not_of(' ');
        if (line.find("TagID") != std::string::npos)
            out += line.substr(text) + "\n";
        start = end + 1;
    }
    return out;
}

}  // namespace

TEST(SwfAnalyzer, UncompressedHeaderSummaryAndTags)
{
    TempDir dir;
    const std::string path = dir.Write("movie.swf", Fws(Body(MovieTags())));
    Rough r = RoughOf(dir, path);
    testing_support::ExpectGolden("swf/movie_rough.txt", r.bar);
    EXPECT_EQ(r.result, "SWF File Header(FWS) Version10, Size=" + std::to_string(Fws(Body(MovieTags())).size()) +
                            "[byte], Position(Xmin-Xmax, Ymin-Ymax)=(0 - 11000, 0 - 8000)");
}

// RECT fields are printed as unsigned values of their width, not sign-extended.
TEST(SwfAnalyzer, NegativeTwipsPrintUnsignedInTheSummary)
{
    TempDir dir;
    Bytes body = Rect(15, 0x8000 - 20, 200, 0, 100);
    PutLe(body, 0x1800, 2);
    PutLe(body, 1, 2);
    PutTag(body, 0, {});
    Rough r = RoughOf(dir, dir.Write("neg.swf", Fws(body)));
    EXPECT_NE(r.result.find("=(32748 - 200, 0 - 100)"), std::string::npos) << r.result;
}

TEST(SwfAnalyzer, TagHeadersNamesAndWalkEnd)
{
    TempDir dir;
    Bytes tags = {0x3F, 0x03, 5, 0, 0, 0, 1, 2, 3, 4, 5};  // DoAction with a long length
    tags.insert(tags.end(), {0x40, 0x00});                   // ShowFrame, length 0
    PutTag(tags, 3, {9, 9});                                 // not a defined code
    PutTag(tags, 91, {1});
    tags.insert(tags.end(), {0x00, 0x00});                   // End
    tags.insert(tags.end(), {0x40, 0x00, 0x40, 0x00});       // trailing bytes: not walked
    Rough r = RoughOf(dir, dir.Write("tags.swf", Fws(Body(tags))));
    EXPECT_EQ(TagLines(r.bar),
              "[00000015] TagID : 12 (DoAction), Size : 5[byte]\n"
              "[00000020] TagID : 1 (ShowFrame), Size : 0[byte]\n"
              "[00000022] TagID : 3 (Undefined Tag), Size : 2[byte]\n"
              "[00000026] TagID : 91 (DefineFont4), Size : 1[byte]\n"
              "[00000029] TagID : 0 (End), Size : 0[byte]\n");

    // Without an End tag the walk runs to the end of the file; the last tag's
    // length runs past it and is still reported.
    Bytes open;
    PutTag(open, 1, {});
    PutTag(open, 2, Bytes(10, 0));
    open.erase(open.end() - 4, open.end());
    Rough noEnd = RoughOf(dir, dir.Write("noend.swf", Fws(Body(open))));
    EXPECT_EQ(TagLines(noEnd.bar),
              "[00000015] TagID : 1 (ShowFrame), Size : 0[byte]\n"
              "[00000017] TagID : 2 (DefineShape), Size : 10[byte]\n");
}

TEST(SwfAnalyzer, TagNamesCoverTheDefinedCodes)
{
    int defined = 0;
    for (uint32_t code = 0; code < 1024; ++code)
        defined += std::string(CSwfAnalyzer::TagName(code)) != "Undefined Tag";
    EXPECT_EQ(defined, 65);
    for (uint32_t code : {3u, 16u, 29u, 41u, 92u, 94u, 1023u})
        EXPECT_STREQ(CSwfAnalyzer::TagName(code), "Undefined Tag");
    EXPECT_STREQ(CSwfAnalyzer::TagName(86), "DefineSceneAndFrameLabelData");
    EXPECT_STREQ(CSwfAnalyzer::TagName(4), "PlaceObject");
    EXPECT_STREQ(CSwfAnalyzer::TagName(70), "PlaceObject3");
    EXPECT_STREQ(CSwfAnalyzer::TagName(93), "EnableTelemetry");
}

// A length of 0x80000000 or more would move a signed file position backwards.
TEST(SwfAnalyzer, HugeTagLengthEndsTheWalk)
{
    TempDir dir;
    Bytes tags;
    PutTag(tags, 1, {});
    tags.insert(tags.end(), {0xFF, 0x00, 0x00, 0x00, 0x00, 0x80});  // code 3, length 0x80000000
    PutTag(tags, 1, {});
    PutTag(tags, 0, {});
    Rough r = RoughOf(dir, dir.Write("huge.swf", Fws(Body(tags))));
    EXPECT_EQ(TagLines(r.bar),
              "[00000015] TagID : 1 (ShowFrame), Size : 0[byte]\n"
              "[00000017] TagID : 3 (Undefined Tag), Size : 2147483648[byte]\n");
}

// The side file holds exactly what zlib inflates the body to, whatever kind
// of blocks and header the compressor chose; the tags are walked there.
TEST(SwfAnalyzer, CompressedBodyGoesThroughTheSideFile)
{
    TempDir dir;
    Bytes tags = MovieTags(3);
    tags.erase(tags.end() - 2, tags.end());    // the End tag comes last
    PutTag(tags, 87, Sample(70000, 3), true);  // enough to need several blocks
    PutTag(tags, 0, {});
    const Bytes body = Body(tags);
    struct Case {
        const char* name;
        ZlibOptions options;
    } cases[] = {
        {"dynamic", {}},
        {"fixed", {6, Z_FIXED, 15, ""}},
        {"stored", {0, Z_DEFAULT_STRATEGY, 15, ""}},
        {"fdict", {6, Z_DEFAULT_STRATEGY, 15, std::string(64, '\x02')}},
        {"cmf58", {9, Z_DEFAULT_STRATEGY, 13, ""}},
    };
    std::string firstBar;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = Compress(body, c.options);
        const std::string path = dir.Write(std::string(c.name) + ".swf", Cws(body, stream));
        Rough r = RoughOf(dir, path);
        EXPECT_TRUE(testing_support::ReadFile(path + ".decompress") == ZlibInflate(stream, c.options.dictionary));
        EXPECT_EQ(r.result, "SWF File Header(CWS) Version10, Size=" + std::to_string(body.size() + 8) + "[byte]");
        std::string bar = Replace(r.bar, c.name, "NAME");
        if (firstBar.empty())
            firstBar = bar;
        EXPECT_EQ(bar, firstBar);
    }
    testing_support::ExpectGolden("swf/compressed_rough.txt", firstBar);
}

TEST(SwfAnalyzer, CorruptStreamsLeaveHeaderLinesAndGoOn)
{
    TempDir dir;
    const Bytes body = Body(MovieTags());
    const Bytes good = Compress(body);
    Bytes btype3 = {0x78, 0x9C, 0x07, 0x00};
    Bytes truncated(good.begin(), good.begin() + 12);
    Bytes garbage = {0x78, 0x9C};
    for (int i = 0; i < 200; ++i)
        garbage.push_back(static_cast<uint8_t>(i * 37 + 11));
    for (const auto& [name, stream] : {std::pair{"btype3", btype3}, std::pair{"truncated", truncated},
                                       std::pair{"garbage", garbage}}) {
        SCOPED_TRACE(name);
        const std::string path = dir.Write(std::string(name) + ".swf", Cws(body, stream));
        Headless h;
        h.app.OpenFiles({path, dir.Write(std::string(name) + "-next.swf", Fws(body))});
        ASSERT_EQ(h.app.Rows().size(), 2u);
        EXPECT_NE(h.BarText().find("SWF File Header(CWS) Version10"), std::string::npos);
        EXPECT_EQ(h.app.Rows()[1].result,
                  "SWF File Header(CWS) Version10, Size=" + std::to_string(body.size() + 8) + "[byte]");
        EXPECT_NE(h.app.Rows()[0].result.find("(FWS)"), std::string::npos);
        EXPECT_LE(testing_support::ReadFile(path + ".decompress").size(), body.size());
    }
}

// A body that inflates to far more than the header's length (a zlib bomb)
// fills the side file only up to that length minus the 8-byte header.
TEST(SwfAnalyzer, SideFileNeverExceedsTheDeclaredLength)
{
    TempDir dir;
    Bytes body = Body(MovieTags());
    const Bytes bomb = Compress(Bytes(20 * 1024 * 1024, 0));
    const std::string path = dir.Write("bomb.swf", Cws(body, bomb));
    RoughOf(dir, path);
    struct stat st{};
    ASSERT_EQ(stat((path + ".decompress").c_str(), &st), 0);
    EXPECT_EQ(static_cast<size_t>(st.st_size), body.size());
}

// Root may write into read-only folders; the capability that allows it is
// dropped from the effective set while an object of this class lives.
class WithoutDacOverride {
public:
    WithoutDacOverride()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct dropped[2] = {saved_[0], saved_[1]};
        dropped[CAP_TO_INDEX(CAP_DAC_OVERRIDE)].effective &= ~CAP_TO_MASK(CAP_DAC_OVERRIDE);
        active_ = syscall(SYS_capset, &header_, dropped) == 0;
    }
    ~WithoutDacOverride()
    {
        if (active_)
            syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

// The lines of a detailed analysis with their byte ranges, one per line:
// "text | start end" ("side-file" added for the side file), "text |" for a
// line without one.
std::string DetailWithRanges(const TempDir& dir, const std::string& path)
{
    Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    const AnalysisResult* doc = h.app.Detailed(path);
    if (!doc)
        return "";
    std::string out;
    ForEachLine(doc->lines, doc->lines.First(), false, [&](LineId line, int depth) {
        ByteRange range;
        out.append(static_cast<size_t>(depth) * 2, ' ');
        out += doc->lines.Text(line);
        out += " |";
        if (doc->lines.RangeOf(line, range)) {
            char text[64];
            std::snprintf(text, sizeof text, " %llu %llu%s", static_cast<unsigned long long>(range.start),
                          static_cast<unsigned long long>(range.end), range.space == ByteSpace::SideFile ? " side-file" : "");
            out += text;
        }
        out += '\n';
    });
    return Replace(out, dir.Path(), "<dir>");
}

// Whatever keeps the side file from being written (something other than a
// regular file at its name, a read-only folder, a full disk), nothing at the
// name is touched, no link is followed and no FIFO waited on, and no partial
// file is left. The body is inflated into memory instead and walked there:
// the tags are listed as with a side file, the summary says that the side
// file was not written, and the body's detailed lines have no byte range, as
// their bytes lie in no file.
TEST(SwfAnalyzer, UnwritableSideFileIsWalkedInMemory)
{
    const Bytes body = Body(MovieTags());
    const Bytes compressed = Compress(body);
    TempDir writable;
    const std::string reference = writable.Write("blocked.swf", Cws(body, compressed));
    const Rough expectedRough = RoughOf(writable, reference);
    const std::string expectedDetail = Replace(DetailWithRanges(writable, reference),
                                               "inflated (complete) into <dir>/blocked.swf.decompress",
                                               "inflated (complete) in memory: the side file "
                                               "<dir>/blocked.swf.decompress cannot be written");
    struct Case {
        const char* name;
        std::function<void(const std::string& side)> block;
    };
    const Case cases[] = {
        {"directory", [](const std::string& side) { ASSERT_EQ(mkdir(side.c_str(), 0755), 0); }},
        {"fifo", [](const std::string& side) { ASSERT_EQ(mkfifo(side.c_str(), 0600), 0); }},
        {"link", [](const std::string& side) { ASSERT_EQ(symlink("target", side.c_str()), 0); }},
        {"dangling-link", [](const std::string& side) { ASSERT_EQ(symlink("nowhere", side.c_str()), 0); }},
        {"read-only-folder", [](const std::string& side) { chmod(fs::path(side).parent_path().c_str(), 0555); }},
        {"full-disk", [](const std::string&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Write("blocked.swf", Cws(body, compressed));
        const std::string target = dir.Write("target", "kept");
        c.block(path + ".decompress");
        const auto listing = [&dir] {
            std::set<std::string> names;
            for (const auto& entry : fs::directory_iterator(dir.Path()))
                names.insert(entry.path().filename().string() + ":" +
                             std::to_string(static_cast<int>(entry.symlink_status().type())));
            return names;
        };
        const std::set<std::string> before = listing();
        Rough r;
        std::string detail;
        {
            WithoutDacOverride unprivileged;
            // A full disk: every write past the first bytes of a file fails.
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            const sighandler_t previous = std::signal(SIGXFSZ, SIG_IGN);
            if (std::string(c.name) == "full-disk") {
                rlimit small = saved;
                small.rlim_cur = 16;
                setrlimit(RLIMIT_FSIZE, &small);
            }
            r = RoughOf(dir, path);
            detail = DetailWithRanges(dir, path);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
        }
        chmod(dir.Path().c_str(), 0755);
        EXPECT_EQ(r.bar, expectedRough.bar);
        EXPECT_EQ(r.result, expectedRough.result + " [展開ファイル] 書き込めません");
        const std::string body = "\n[00000000] Inflated Body : in memory only (offsets below count from its start) |\n";
        const size_t split = detail.find(body);
        ASSERT_NE(split, std::string::npos) << detail;
        // The file's own lines keep their ranges; the body's have none.
        EXPECT_EQ(detail.substr(0, split + 1), expectedDetail.substr(0, split + 1));
        std::string bodyLines = detail.substr(split + body.size());
        EXPECT_EQ(bodyLines.find(" | "), std::string::npos) << bodyLines;
        EXPECT_NE(bodyLines.find("TagID : 0 (End), Size : 0[byte] |"), std::string::npos) << bodyLines;
        EXPECT_EQ(listing(), before);
        EXPECT_EQ(testing_support::ReadText(target), "kept");
    }
}

TEST(SwfAnalyzer, DetailedLayoutOfBothKinds)
{
    TempDir dir;
    const Bytes body = Body(MovieTags(), 0x1DF8, 2);  // 29.96875 frames a second
    const std::string fws = dir.Write("plain.swf", Fws(body));
    testing_support::ExpectGolden("swf/plain_detail.txt", DetailOf(dir, fws));
    const std::string cws = dir.Write("packed.swf", Cws(body, Compress(body)));
    testing_support::ExpectGolden("swf/packed_detail.txt", DetailOf(dir, cws));
    EXPECT_TRUE(testing_support::ReadFile(cws + ".decompress") == body);
}

TEST(SwfAnalyzer, DetailedRectShowsSignedFieldsAtTheirBytes)
{
    TempDir dir;
    Bytes body = Rect(15, 0x8000 - 20, 200, 0, 100);
    PutLe(body, 0x0C80, 2);
    PutLe(body, 1, 2);
    const std::string text = DetailOf(dir, dir.Write("neg.swf", Fws(body)));
    EXPECT_NE(text.find("[00000008] Xmin : -20[twip]"), std::string::npos) << text;
    EXPECT_NE(text.find("[0000000c] Ymin : 0[twip]"), std::string::npos) << text;
    EXPECT_NE(text.find("[00000011] FrameRate : 12.5[fps]"), std::string::npos) << text;
    EXPECT_NE(text.find("[00000013] FrameCount : 1"), std::string::npos) << text;
}

namespace {

// The anomalies of one analysis of the file at path in the given mode.
std::string AnomaliesOf(const std::string& path, AnalysisMode mode)
{
    testing_support::StandaloneRun run(mode, path.c_str());
    FILE* fp = std::fopen(path.c_str(), "rb");
    RunAnalyzer(kFormatSwf, AnalysisRequest{.run = &run.run, .fp = fp, .path = path.c_str(), .mode = mode});
    std::fclose(fp);
    return testing_support::AnomalyList(run.result);
}

}  // namespace

// Each fault is reported at its place, in both modes: in the file, or in
// the side file for the tags of a compressed body. Sound files say nothing.
TEST(SwfAnalyzer, AnomaliesAtTheirPlaces)
{
    TempDir dir;
    const Bytes body = Body(MovieTags());
    const auto length = static_cast<uint32_t>(body.size() + 8);
    const Bytes stream = Compress(body);
    auto withLength = [](Bytes file, uint32_t declared) {
        for (int i = 0; i < 4; ++i)
            file[4 + i] = static_cast<uint8_t>(declared >> (8 * i));
        return file;
    };
    Bytes cut = Fws(body);
    cut.resize(cut.size() - 1);  // the End tag's second byte
    Bytes noEnd = Body(MovieTags());
    noEnd.resize(noEnd.size() - 2);
    Bytes badAdler = Cws(body, stream);
    badAdler.back() ^= 0x01;
    // A stored block holding the body, then a final dynamic block whose
    // literal/length code leaves a bit pattern unused.
    Bytes incomplete = {0x78, 0x01, 0x00};
    PutLe(incomplete, static_cast<uint32_t>(body.size()), 2);
    PutLe(incomplete, static_cast<uint32_t>(~body.size() & 0xFFFF), 2);
    incomplete.insert(incomplete.end(), body.begin(), body.end());
    const Bytes block = DynamicBlock({{'A', 2}, {'B', 2}, {256, 2}}, {1, 1}, {256}, false);
    incomplete.insert(incomplete.end(), block.begin(), block.end());
    const std::string end = ResultLine("%08zx", Fws(body).size() - 2);
    const std::string bodyEnd = ResultLine("%08zx", noEnd.size());
    struct Case {
        const char* name;
        Bytes file;
        std::string expected;
    } cases[] = {
        {"sound FWS", Fws(body), ""},
        {"sound CWS", Cws(body, stream), ""},
        {"FileLength beyond the file", withLength(Fws(body), length + 10), "00000004 エラー swf.file-length-mismatch\n"},
        {"bytes beyond FileLength", withLength(Fws(body), length - 2), "00000004 警告 swf.file-length-mismatch\n"},
        {"tag cut by the file's end", withLength(cut, length - 1),
         end + " エラー swf.tag-past-end\n"},
        {"no End tag", Fws(noEnd), ResultLine("%08zx", noEnd.size() + 8) + " エラー swf.no-end-tag\n"},
        {"stream cut short", Cws(body, Bytes(stream.begin(), stream.end() - 6)), 
         "00000008 エラー swf.zlib-truncated\n" + bodyEnd + " エラー swf.no-end-tag\n"},
        {"Adler-32 of other data", badAdler, ResultLine("%08zx", badAdler.size() - 4) + " エラー swf.zlib-checksum\n"},
        {"incomplete Huffman code", Cws(body, incomplete), "00000008 エラー swf.deflate-incomplete-code\n"},
        {"body longer than FileLength", withLength(Cws(body, stream), length - 2),
         "00000004 警告 swf.file-length-mismatch\n" + bodyEnd + " エラー swf.no-end-tag\n"},
        {"body shorter than FileLength", withLength(Cws(body, stream), length + 2),
         "00000004 エラー swf.file-length-mismatch\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("anomaly.swf", c.file);
        EXPECT_EQ(AnomaliesOf(path, AnalysisMode::Rough), c.expected);
        EXPECT_EQ(AnomaliesOf(path, AnalysisMode::Detailed), c.expected);
    }
}

// The known defect of each hostile SWF file of the corpus is reported, in
// both modes, each kind once in the order first met (copies are analysed,
// so that side files go to a temporary folder). Where the frame header's
// RECT takes the bytes meant for a faulty tag (a 10-bit RECT takes six
// bytes), the walk meets sound tags; a RECT of 31-bit fields is no fault.
TEST(SwfAnalyzer, CorpusFilesReportTheirDefects)
{
    const std::pair<const char*, const char*> cases[] = {
        {"cws-btype3.swf", "swf.zlib-malformed swf.no-end-tag"},
        {"cws-declared-below-header.swf", "swf.file-length-mismatch swf.no-end-tag"},
        {"cws-declared-huge.swf", "swf.file-length-mismatch swf.no-end-tag"},
        {"cws-deflate-bomb.swf", "swf.file-length-mismatch"},
        {"cws-fdict.swf", "swf.no-end-tag"},
        {"cws-garbage-stream.swf", "swf.zlib-malformed swf.no-end-tag"},
        {"cws-truncated-stream.swf", "swf.zlib-truncated"},
        {"swf-no-end-tag.swf", "swf.no-end-tag"},
        {"swf-rect-31-bit-fields.swf", ""},
        {"swf-rect-truncated.swf", "swf.no-end-tag"},
        {"swf-signature-only.swf", "swf.file-length-mismatch swf.no-end-tag"},
        {"swf-tag-length-huge.swf", ""},
        {"swf-tag-length-negative.swf", ""},
        {"swf-trailing-after-end.swf", "swf.tag-past-end"},
    };
    TempDir dir;
    auto kinds = [](const std::string& list) {
        std::string out;
        size_t start = 0;
        for (size_t end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string kind = list.substr(list.rfind(' ', end) + 1, end - list.rfind(' ', end) - 1);
            if ((" " + out + " ").find(" " + kind + " ") == std::string::npos)
                out += (out.empty() ? "" : " ") + kind;
        }
        return out;
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        const std::string path =
            dir.Write(name, testing_support::ReadFile(std::string(VANTREL_SOURCE_DIR) + "/tests/corpus/" + name));
        EXPECT_EQ(kinds(AnomaliesOf(path, AnalysisMode::Rough)), expected);
        EXPECT_EQ(kinds(AnomaliesOf(path, AnalysisMode::Detailed)), expected);
    }
}
