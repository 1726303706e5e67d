#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace {

using testing_support::Headless;
using testing_support::TempDir;

std::string LastMessage(const CHeadlessShell& shell)
{
    return shell.Messages().empty() ? std::string() : shell.Messages().back().request.text;
}

TEST(DetectFormat, OnlyTheFirstBytesDecide)
{
    TempDir dir;
    Headless h;
    EXPECT_EQ(h.app.DetectFormat(dir.Write("ii", std::string("II\x00\x00", 4)).c_str()), kFormatTiff);
    EXPECT_EQ(h.app.DetectFormat(dir.Write("mm", "MM").c_str()), kFormatTiff);
    EXPECT_EQ(h.app.DetectFormat(dir.Write("ii2", "IIxyz").c_str()), kFormatTiff);
    EXPECT_EQ(h.app.DetectFormat(dir.Write("jpg", "\xFF\xD8").c_str()), kFormatJpeg);
    EXPECT_EQ(h.app.DetectFormat(dir.Write("fws", "FWS").c_str()), kFormatSwf);
    EXPECT_EQ(h.app.DetectFormat(dir.Write("cws", "CWS\x09junk").c_str()), kFormatSwf);
    EXPECT_TRUE(h.shell.Messages().empty());
}

TEST(DetectFormat, UnsupportedFilesAreReportedWithTheirPath)
{
    TempDir dir;
    Headless h;
    for (const std::string& bytes : {std::string("\xFF\xD9"), std::string(""), std::string("I"),
                                     std::string("FW"), std::string("GIF89a"), std::string("\xFF\xD8", 1)}) {
        const std::string path = dir.Write("file", bytes);
        EXPECT_EQ(h.app.DetectFormat(path.c_str()), kFormatUnsupported) << bytes;
        EXPECT_EQ(LastMessage(h.shell), "未対応の形式です。\n" + path);
        EXPECT_EQ(h.shell.Messages().back().request.caption, "");
        EXPECT_EQ(h.shell.Messages().back().request.owner, MessageOwner::None);
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
    Headless h;
    EXPECT_EQ(h.app.DetectFormat((dir.Path() + "/missing").c_str()), kFormatUnsupported);
    EXPECT_EQ(LastMessage(h.shell), CannotOpen(dir.Path() + "/missing", "SA00000001"));
    EXPECT_EQ(h.app.DetectFormat(dir.Path().c_str()), kFormatUnsupported);
    EXPECT_EQ(LastMessage(h.shell), CannotOpen(dir.Path(), "SA00000001"));
    // Paths that do not fit the 512-byte buffers are refused before opening.
    const std::string longPath = dir.Path() + "/" + std::string(600, 'a');
    EXPECT_EQ(h.app.DetectFormat(longPath.c_str()), kFormatUnsupported);
    EXPECT_EQ(LastMessage(h.shell), CannotOpen(longPath, "SA00000001"));
    EXPECT_EQ(h.shell.Messages().size(), 3u);

    // Nothing but a regular file is opened, and nothing waits: a FIFO
    // without a writer would block an open for reading for ever.
    const std::string fifo = dir.Path() + "/fifo.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string dangling = dir.Path() + "/dangling.jpg";
    ASSERT_EQ(symlink((dir.Path() + "/nowhere").c_str(), dangling.c_str()), 0);
    for (const std::string& path : {fifo, dangling, std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(h.app.OpenFiles({path}), std::vector<OpenOutcome>{OpenOutcome::Refused});
        EXPECT_EQ(LastMessage(h.shell), CannotOpen(path, "SA00000001"));
        EXPECT_FALSE(h.app.RunRoughAnalysis(kFormatJpeg, path.c_str()));
        EXPECT_EQ(LastMessage(h.shell), CannotOpen(path, "SA00000003"));
    }
    EXPECT_TRUE(h.shell.Rows().size() == 3u && h.shell.Rows()[0].result.empty());
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
    ASSERT_EQ(h.shell.Rows().size(), 3u);
    EXPECT_EQ(h.shell.Rows()[0].path, c);
    EXPECT_EQ(h.shell.Rows()[0].format, "SWF");
    EXPECT_EQ(h.shell.Rows()[1].format, "TIFF");
    EXPECT_EQ(h.shell.Rows()[2].format, "JPEG");
    EXPECT_EQ(h.shell.RebuildCount(), 1);
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
    const auto outcomes = h.app.OpenFiles({a, dir.Path() + "/gone", b}, MessageOwner::MainFrame);
    EXPECT_EQ(outcomes, (std::vector<OpenOutcome>{OpenOutcome::Duplicate, OpenOutcome::Refused,
                                                   OpenOutcome::Opened}));
    ASSERT_EQ(h.shell.Messages().size(), 2u);
    const MessageBoxRequest& dup = h.shell.Messages()[0].request;
    EXPECT_EQ(dup.text, "ファイル：" + a + "\nはすでに開かれています");
    EXPECT_EQ(dup.caption, "ファイルオープンエラー");
    EXPECT_EQ(dup.owner, MessageOwner::MainFrame);
    EXPECT_EQ(h.shell.Messages()[1].request.text, CannotOpen(dir.Path() + "/gone", "SA00000001"));
    EXPECT_EQ(h.shell.Rows().size(), 2u);
    EXPECT_EQ(h.shell.RebuildCount(), 2);
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
    ASSERT_EQ(h.shell.Messages().size(), 1u);
    EXPECT_EQ(LastMessage(h.shell), "ファイルを開けません\n" + paths[0] + "\n" + paths[2] + "\nエラー番号：SA00000001");

    std::vector<std::string> many;
    for (int i = 0; i < 25; ++i)
        many.push_back(dir.Path() + "/missing" + std::to_string(i));
    h.app.OpenFiles(many);
    ASSERT_EQ(h.shell.Messages().size(), 2u);
    const std::string text = LastMessage(h.shell);
    EXPECT_NE(text.find("/missing19\nほか5個のファイル\nエラー番号：SA00000001"), std::string::npos) << text;
    EXPECT_EQ(text.find("/missing20"), std::string::npos);
}

TEST(RoughAnalysis, AFileThatVanishedKeepsItsRowAndEntry)
{
    TempDir dir;
    Headless h;
    const std::string path = dir.Path() + "/vanished.jpg";
    ASSERT_EQ(h.app.Entries().AddEntry(0, path.c_str()), 0);
    EXPECT_FALSE(h.app.RunRoughAnalysis(kFormatJpeg, path.c_str()));
    EXPECT_EQ(LastMessage(h.shell), CannotOpen(path, "SA00000003"));
    ASSERT_EQ(h.shell.Rows().size(), 1u);
    EXPECT_EQ(h.shell.Rows()[0].format, "JPEG");
    EXPECT_EQ(h.shell.Rows()[0].result, "");
    EXPECT_FALSE(h.app.RunRoughAnalysis(kFormatTiff, path.c_str()));
    EXPECT_EQ(LastMessage(h.shell), CannotOpen(path, "SA00000005"));
    EXPECT_FALSE(h.app.RunRoughAnalysis(kFormatSwf, path.c_str()));
    EXPECT_EQ(LastMessage(h.shell), CannotOpen(path, "SA00000007"));
    // An unknown format makes no row at all.
    EXPECT_FALSE(h.app.RunRoughAnalysis(7, path.c_str()));
    EXPECT_EQ(h.shell.Rows().size(), 3u);
}

TEST(DetailedAnalysis, OneWindowPerFileWithThePathFirst)
{
    TempDir dir;
    Headless h;
    const std::string a = dir.Write("a.tif", "II");
    h.app.OpenFiles({a});
    h.app.RunDetailedAnalysis(a.c_str());
    ASSERT_EQ(h.shell.DocumentCount(), 1u);
    EXPECT_EQ(h.shell.DocumentTitle(0), a);
    EXPECT_EQ(h.DetailText(a).substr(0, a.size() + 1), a + "\n");

    h.app.RunDetailedAnalysis(a.c_str());
    EXPECT_EQ(h.shell.DocumentCount(), 1u);
    EXPECT_EQ(LastMessage(h.shell), "すでに詳細解析済みのファイルです\n" + a);
    EXPECT_EQ(h.shell.Messages().back().request.caption, kAppTitle);
    EXPECT_EQ(h.shell.Documents()[0]->title, a);
}

TEST(DetailedAnalysis, UnsupportedAndUnreadableFilesKeepAnEmptyWindow)
{
    TempDir dir;
    Headless h;
    const std::string bad = dir.Write("bad.bin", "\xFF\xD9");
    h.app.RunDetailedAnalysis(bad.c_str());
    ASSERT_EQ(h.shell.DocumentCount(), 1u);
    EXPECT_EQ(h.shell.DocumentTitle(0), bad);
    EXPECT_EQ(h.DetailText(bad), "");
    EXPECT_EQ(LastMessage(h.shell), "未対応の形式です。\n" + bad);
}

// The shell's title index against the walk over its documents, through
// creation, renaming (two windows may share a title) and closing at either
// end and in the middle.
TEST(DetailedAnalysis, TheTitleIndexFollowsRenamesAndCloses)
{
    CHeadlessShell shell;
    for (int i = 0; i < 6; ++i)
        shell.NewDocument();
    const auto agrees = [&shell](const char* step) {
        for (const char* title : {"Default", "/a", "/b", "/c", "/none"})
            EXPECT_EQ(shell.DocumentIndex(title), shell.IShell::DocumentIndex(title)) << step << ' ' << title;
        for (size_t i = 0; i < shell.DocumentCount(); ++i)
            EXPECT_EQ(shell.Documents()[i]->index, i) << step;
    };
    agrees("created");
    shell.SetDocumentTitle(3, "/a");
    shell.SetDocumentTitle(1, "/a");
    shell.SetDocumentTitle(5, "/b");
    agrees("renamed");
    shell.CloseDocument(1);
    agrees("first /a closed");
    EXPECT_EQ(shell.DocumentIndex("/a"), 2u);
    shell.SetDocumentTitle(2, "/c");
    shell.CloseDocument(0);
    shell.CloseDocument(shell.DocumentCount() - 1);
    agrees("both ends closed");
    EXPECT_EQ(shell.DocumentIndex("/a"), shell.DocumentCount());
    EXPECT_EQ(shell.FindDocument("/c"), shell.Documents()[1].get());
    shell.NewDocument();
    shell.SetDocumentTitle(0, "/c");
    agrees("renamed to an existing title");
    EXPECT_EQ(shell.DocumentIndex("/c"), 0u);
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
    h.app.RunDetailedAnalysis(a.c_str());
    h.app.RunDetailedAnalysis(b.c_str());
    const std::string barBefore = h.BarText();
    const std::vector<int32_t> bIds = RunIds(h.app.Entries(), b);
    ASSERT_FALSE(bIds.empty());

    h.app.DeleteEntry(b.c_str());
    EXPECT_EQ(TopLevel(h.BarText()), (std::vector<std::string>{a, c}));
    // The other branches are untouched: the bar is the old one without b's run.
    const size_t bStart = barBefore.find(b + "\n");
    const size_t cStart = barBefore.find(c + "\n");
    EXPECT_EQ(h.BarText(), barBefore.substr(0, bStart) + barBefore.substr(cStart));
    ASSERT_EQ(h.shell.Rows().size(), 2u);
    EXPECT_EQ(h.shell.Rows()[0].path, c);
    EXPECT_EQ(h.shell.Rows()[1].path, a);
    ASSERT_EQ(h.shell.DocumentCount(), 1u);
    EXPECT_EQ(h.shell.DocumentTitle(0), a);

    // Opened again, the file gets a new row at the top and the most recently
    // freed id: the last one of its old run.
    h.app.OpenFiles({b});
    EXPECT_EQ(h.shell.Rows()[0].path, b);
    EXPECT_EQ(h.app.Entries().FindEntryId(b.c_str()), bIds.back());
    // A new detailed window can be made after deletion closed the old one.
    h.app.RunDetailedAnalysis(b.c_str());
    EXPECT_EQ(h.shell.DocumentCount(), 2u);
}

TEST(DeleteEntry, AnUnknownFileEndsTheProcess)
{
    Headless h;
    EXPECT_THROW(h.app.DeleteEntry("/not/open"), CProcessExit);
    EXPECT_EQ(LastMessage(h.shell), "ファイルを削除できません\nエラー番号：SA00000002");
    EXPECT_EQ(h.shell.ExitCode(), 0);
}

}  // namespace
