#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "gif/gif_format.h"
#include "support/test_support.h"

namespace {

using testing_support::Headless;
using testing_support::TempDir;

// The format the file's first bytes name, with what the analysis of the
// file says about it.
struct Detection {
    uint32_t format = kFormatUnsupported;
    std::vector<Diagnostic> diagnostics;
    std::string Last() const { return diagnostics.empty() ? std::string() : diagnostics.back().text; }
};

Detection Detect(const std::string& path)
{
    const std::unique_ptr<AnalysisResult> result =
        Analyze(path.c_str(), AnalysisMode::Rough, testing_support::AllFormatOptions());
    return {result->format, result->diagnostics};
}

// The diagnostics of a rough analysis of path as a file of format, whatever
// its bytes, and whether it could be run.
Detection AnalyseAs(uint32_t format, const std::string& path)
{
    AnalysisResult result;
    AnalyzeDetected(format, path.c_str(), AnalysisMode::Rough, testing_support::AllFormatOptions(), result);
    return {result.analysed ? format : kFormatUnsupported, result.diagnostics};
}

TEST(DetectFormat, OnlyTheFirstBytesDecide)
{
    TempDir dir;
    const std::pair<std::string, uint32_t> cases[] = {
        {std::string("II\x00\x00", 4), kFormatTiff}, {"MM", kFormatTiff},       {"IIxyz", kFormatTiff},
        {"\xFF\xD8", kFormatJpeg},                   {"FWS", kFormatSwf},       {"CWS\x09junk", kFormatSwf},
        {"GIF89a", kFormatGif},                      {"GIF87a\x01", kFormatGif},
    };
    for (const auto& [bytes, format] : cases) {
        const Detection d = Detect(dir.Write("file", bytes));
        EXPECT_EQ(d.format, format) << bytes;
        EXPECT_TRUE(d.diagnostics.empty()) << bytes;
    }
}

TEST(DetectFormat, UnsupportedFilesAreReportedWithTheirPath)
{
    TempDir dir;
    for (const std::string& bytes : {std::string("\xFF\xD9"), std::string(""), std::string("I"),
                                     std::string("FW"), std::string("GIF89"), std::string("GIF89b"),
                                     std::string("\xFF\xD8", 1)}) {
        const std::string path = dir.Write("file", bytes);
        const Detection d = Detect(path);
        EXPECT_EQ(d.format, kFormatUnsupported) << bytes;
        ASSERT_EQ(d.diagnostics.size(), 1u);
        EXPECT_EQ(d.Last(), "未対応の形式です。\n" + path);
        EXPECT_EQ(d.diagnostics[0].caption, "");
        EXPECT_EQ(d.diagnostics[0].kind, DiagnosticKind::Unsupported);
        EXPECT_FALSE(d.diagnostics[0].endsProcess);
    }
}

// "ファイルを開けません" names the file on a line of its own, before the
// error number that ends the text.
std::string CannotOpen(const std::string& path, const char* number)
{
    return "ファイルを開けません\n" + path + "\nエラー番号：" + number;
}

TEST(DetectFormat, UnreadablePathsGiveTheOpenMessage)
{
    TempDir dir;
    // Paths that do not fit the 512-byte buffers are refused before opening.
    for (const std::string& path :
         {dir.Path() + "/missing", dir.Path(), dir.Path() + "/" + std::string(600, 'a')}) {
        const Detection d = Detect(path);
        EXPECT_EQ(d.format, kFormatUnsupported);
        ASSERT_EQ(d.diagnostics.size(), 1u);
        EXPECT_EQ(d.Last(), CannotOpen(path, "SA00000001"));
        EXPECT_EQ(d.diagnostics[0].errorNumber, "SA00000001");
    }

    // Nothing but a regular file is opened, and nothing waits: a FIFO
    // without a writer would block an open for reading for ever.
    Headless h;
    const std::string fifo = dir.Path() + "/fifo.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string dangling = dir.Path() + "/dangling.jpg";
    ASSERT_EQ(symlink((dir.Path() + "/nowhere").c_str(), dangling.c_str()), 0);
    for (const std::string& path : {fifo, dangling, std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(h.app.OpenFiles({path}), std::vector<OpenOutcome>{OpenOutcome::Refused});
        EXPECT_EQ(h.LastDiagnostic(), CannotOpen(path, "SA00000001"));
        const Detection d = AnalyseAs(kFormatJpeg, path);
        EXPECT_EQ(d.format, kFormatUnsupported);
        EXPECT_EQ(d.Last(), CannotOpen(path, "SA00000003"));
    }
    EXPECT_TRUE(h.app.Rows().empty());
}

TEST(OpenFiles, NewestFileIsOnTopAndTheBarIsRebuiltOnce)
{
    TempDir dir;
    Headless h;
    const std::string a = dir.Write("a.jpg", "\xFF\xD8\xFF\xD9");
    const std::string b = dir.Write("b.tif", "II*");
    const std::string c = dir.Write("c.swf", "FWS");
    const auto outcomes = h.app.OpenFiles({a, b, c});
    EXPECT_EQ(outcomes, (std::vector<OpenOutcome>(3, OpenOutcome::Opened)));
    ASSERT_EQ(h.app.Rows().size(), 3u);
    EXPECT_EQ(h.app.Rows()[0].path, c);
    EXPECT_EQ(h.app.Rows()[0].format, "SWF");
    EXPECT_EQ(h.app.Rows()[1].format, "TIFF");
    EXPECT_EQ(h.app.Rows()[2].format, "JPEG");
    EXPECT_EQ(h.app.TreeBuilds(), 1);
    // Each file is a top-level item in opening order.
    const std::string bar = h.BarText();
    EXPECT_LT(bar.find(a), bar.find(b));
    EXPECT_LT(bar.find(b), bar.find(c));
}

TEST(OpenFiles, DuplicatesAndUnreadableFilesAreSkippedAndTheRestOpened)
{
    TempDir dir;
    Headless h;
    const std::string a = dir.Write("a.jpg", "\xFF\xD8");
    h.app.OpenFiles({a});
    const std::string b = dir.Write("b.tif", "MM");
    const auto outcomes = h.app.OpenFiles({a, dir.Path() + "/gone", b});
    EXPECT_EQ(outcomes, (std::vector<OpenOutcome>{OpenOutcome::Duplicate, OpenOutcome::Refused,
                                                   OpenOutcome::Opened}));
    ASSERT_EQ(h.app.Diagnostics().size(), 2u);
    const Diagnostic& dup = h.app.Diagnostics()[0];
    EXPECT_EQ(dup.text, "ファイル：" + a + "\nはすでに開かれています");
    EXPECT_EQ(dup.caption, "ファイルオープンエラー");
    EXPECT_EQ(dup.kind, DiagnosticKind::AlreadyOpen);
    EXPECT_EQ(h.app.Diagnostics()[1].text, CannotOpen(dir.Path() + "/gone", "SA00000001"));
    EXPECT_EQ(h.app.Rows().size(), 2u);
    EXPECT_EQ(h.app.TreeBuilds(), 2);
}

// The files of a batch that cannot be read are named in one message at its
// end, after the rows and the bar are in place; a long list counts the rest.
TEST(OpenFiles, UnreadableFilesOfABatchShareOneMessage)
{
    TempDir dir;
    Headless h;
    const std::string a = dir.Write("a.jpg", "\xFF\xD8");
    std::vector<std::string> paths{dir.Path() + "/gone1", a, dir.Path() + "/gone2"};
    EXPECT_EQ(h.app.OpenFiles(paths), (std::vector<OpenOutcome>{OpenOutcome::Refused, OpenOutcome::Opened,
                                                                 OpenOutcome::Refused}));
    ASSERT_EQ(h.app.Diagnostics().size(), 1u);
    EXPECT_EQ(h.LastDiagnostic(), "ファイルを開けません\n" + paths[0] + "\n" + paths[2] + "\nエラー番号：SA00000001");

    std::vector<std::string> many;
    for (int i = 0; i < 25; ++i)
        many.push_back(dir.Path() + "/missing" + std::to_string(i));
    h.app.OpenFiles(many);
    ASSERT_EQ(h.app.Diagnostics().size(), 2u);
    const std::string text = h.LastDiagnostic();
    EXPECT_NE(text.find("/missing19\nほか5個のファイル\nエラー番号：SA00000001"), std::string::npos) << text;
    EXPECT_EQ(text.find("/missing20"), std::string::npos);
}

// A file that vanishes between its detection and its rough analysis is
// registered all the same, with a row that has a format and no result, and
// the open error of its format.
TEST(RoughAnalysis, AFileThatVanishedKeepsItsRowAndEntry)
{
    TempDir dir;
    const std::string path = dir.Path() + "/vanished";
    const std::pair<uint32_t, const char*> formats[] = {
        {kFormatJpeg, "SA00000003"}, {kFormatTiff, "SA00000005"}, {kFormatSwf, "SA00000007"}};
    for (const auto& [format, number] : formats) {
        CAnalysisEntryList entries;
        CFileBatch batch(entries, {{path, false}}, testing_support::AllFormatOptions());
        AnalysisResult detected;
        detected.format = format;
        const BatchStep step = batch.Apply(detected);
        EXPECT_EQ(step.outcome, OpenOutcome::NotAnalysed);
        EXPECT_TRUE(step.newRow);
        EXPECT_EQ(step.formatText, FormatName(AllFormats(), format));
        ASSERT_EQ(step.diagnostics.size(), 1u);
        EXPECT_EQ(step.diagnostics[0].text, CannotOpen(path, number));
        EXPECT_EQ(step.diagnostics[0].kind, DiagnosticKind::OpenFailed);
        EXPECT_TRUE(detected.summary.empty());
        EXPECT_NE(entries.FindFile(path.c_str()), nullptr);
    }
}

TEST(DetailedAnalysis, ThePathComesFirst)
{
    TempDir dir;
    Headless h;
    const std::string a = dir.Write("a.tif", "II");
    h.app.OpenFiles({a});
    h.Detailed(a);
    EXPECT_EQ(h.DetailText(a).substr(0, a.size() + 1), a + "\n");
    EXPECT_TRUE(h.app.Diagnostics().empty());
}

TEST(DetailedAnalysis, UnsupportedAndUnreadableFilesHaveNoLines)
{
    TempDir dir;
    Headless h;
    const std::string bad = dir.Write("bad.bin", "\xFF\xD9");
    EXPECT_EQ(h.Detailed(bad).lines.Count(), 0u);
    EXPECT_EQ(h.LastDiagnostic(), "未対応の形式です。\n" + bad);
    const std::string gone = dir.Path() + "/gone.jpg";
    EXPECT_EQ(h.Detailed(gone).lines.Count(), 0u);
    EXPECT_EQ(h.LastDiagnostic(), CannotOpen(gone, "SA00000001"));
}

// Ids of the entries of the file at path: its own entry and its lines.
std::vector<int32_t> RunIds(const CAnalysisEntryList& list, const std::string& path)
{
    std::vector<int32_t> ids;
    const AnalysisEntry* e = list.GetEntryListHead()->next;
    while (e && path != e->text)
        e = e->next;
    for (; e && (ids.empty() || e->level != 0); e = e->next)
        ids.push_back(e->id);
    return ids;
}

// Top-level items of a printed tree.
std::vector<std::string> TopLevel(const std::string& text)
{
    std::vector<std::string> top;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        if (nl > start && text[start] != ' ')
            top.push_back(text.substr(start, nl - start));
    return top;
}

TEST(DeleteEntry, RemovesTheFileFromEverythingThatShowsIt)
{
    TempDir dir;
    Headless h;
    const std::string a = dir.Write("a.jpg", "\xFF\xD8");
    const std::string b = dir.Write("b.jpg", "\xFF\xD8");
    const std::string c = dir.Write("c.jpg", "\xFF\xD8");
    h.app.OpenFiles({a, b, c});
    h.Detailed(a);
    h.Detailed(b);
    const std::string barBefore = h.BarText();
    const std::vector<int32_t> bIds = RunIds(h.app.Entries(), b);
    ASSERT_FALSE(bIds.empty());

    h.app.DeleteFile(b);
    EXPECT_EQ(TopLevel(h.BarText()), (std::vector<std::string>{a, c}));
    // The other branches are untouched: the bar is the old one without b's run.
    const size_t bStart = barBefore.find(b + "\n");
    const size_t cStart = barBefore.find(c + "\n");
    EXPECT_EQ(h.BarText(), barBefore.substr(0, bStart) + barBefore.substr(cStart));
    ASSERT_EQ(h.app.Rows().size(), 2u);
    EXPECT_EQ(h.app.Rows()[0].path, c);
    EXPECT_EQ(h.app.Rows()[1].path, a);
    EXPECT_NE(h.app.Detailed(a), nullptr);
    EXPECT_EQ(h.app.Detailed(b), nullptr);

    // Opened again, the file gets a new row at the top and the most recently
    // freed id: the last one of its old run.
    h.app.OpenFiles({b});
    EXPECT_EQ(h.app.Rows()[0].path, b);
    EXPECT_EQ(h.app.Entries().FindEntryId(b.c_str()), bIds.back());
}

TEST(DeleteEntry, AnUnknownFileEndsTheSession)
{
    TempDir dir;
    Headless h;
    const std::string a = dir.Write("a.jpg", "\xFF\xD8");
    h.app.DeleteFile("/not/open");
    EXPECT_EQ(h.LastDiagnostic(), "ファイルを削除できません\nエラー番号：SA00000002");
    EXPECT_TRUE(h.app.Diagnostics().back().endsProcess);
    EXPECT_EQ(h.app.ExitCode(), 0);
    // Nothing is done once it has ended.
    EXPECT_TRUE(h.app.OpenFiles({a}).empty());
    EXPECT_TRUE(h.app.Rows().empty());
}

}  // namespace

namespace {

bool NoDetection(const uint8_t*, size_t)
{
    return false;
}

}  // namespace

// The texts that name the formats a file can be of come from the rows that
// detect files, in table order; nested-only rows stay out of them.
TEST(FormatTable, NamesAndOpenFilterFollowTheRows)
{
    const FormatHandler rows[] = {
        {.code = 1, .name = "AAA", .signatureBytes = 2, .detect = NoDetection, .filePatterns = "*.a *.aa"},
        {.code = 2, .analyze = nullptr},
        {.code = 3, .name = "BBB", .signatureBytes = 9, .detect = NoDetection, .filePatterns = "*.b"},
        {.code = 4, .name = "CCC", .signatureBytes = 1, .detect = NoDetection, .filePatterns = "*.c"},
    };
    EXPECT_EQ(FormatNamesText(rows), "AAA, BBB and CCC");
    EXPECT_EQ(FormatNamesText(std::span(rows, 1)), "AAA");
    EXPECT_EQ(OpenDialogFilter(rows), "AAA、BBB、CCC ファイル (*.a *.aa *.b *.c)");
    EXPECT_EQ(DetectionBytes(rows), 9u);
    EXPECT_EQ(FileFormats(rows).size(), 3u);
}
