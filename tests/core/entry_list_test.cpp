#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/analysis_entry_list.h"
#include "core/analysis_tree.h"
#include "headless/headless_session.h"
#include "support/test_support.h"

namespace {

std::vector<int32_t> Ids(const CAnalysisEntryList& list)
{
    std::vector<int32_t> ids;
    for (const AnalysisEntry* e = list.GetEntryListHead()->next; e; e = e->next)
        ids.push_back(e->id);
    return ids;
}

TEST(EntryList, HeadIsTopWithReservedIdAndLevel)
{
    CAnalysisEntryList list;
    const AnalysisEntry* head = list.GetEntryListHead();
    EXPECT_EQ(head->id, -1);
    EXPECT_EQ(head->level, 0xFFFFFFFFu);
    EXPECT_STREQ(head->text, "TOP");
    EXPECT_EQ(head->next, nullptr);
    // The head takes part in the duplicate check of files.
    EXPECT_EQ(list.AddEntry(0, "TOP"), kDuplicateEntry);
}

TEST(EntryList, IdsCountUpAndFreedIdsComeBackMostRecentFirst)
{
    CAnalysisEntryList list;
    EXPECT_EQ(list.AddEntry(0, "/a"), 0);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(list.AddEntry(1, "line"), i);
    EXPECT_EQ(list.AddEntry(0, "/b"), 5);
    EXPECT_EQ(list.AddEntry(1, "b1"), 6);
    EXPECT_EQ(list.AddEntry(1, "b2"), 7);
    EXPECT_EQ(list.AddEntry(0, "/c"), 8);

    // Removing /b's run frees 5, 6 and 7 in that order: 7 is on top.
    ASSERT_TRUE(list.RemoveFileEntries("/b"));
    EXPECT_EQ(list.AddEntry(0, "/d"), 7);
    EXPECT_EQ(list.AddEntry(1, "d1"), 6);
    EXPECT_EQ(list.AddEntry(1, "d2"), 5);
    EXPECT_EQ(list.AddEntry(1, "d3"), 9);
}

TEST(EntryList, DuplicateFilesAreRefusedWithoutConsumingAnId)
{
    CAnalysisEntryList list;
    EXPECT_EQ(list.AddEntry(0, "/x/a.jpg"), 0);
    EXPECT_EQ(list.AddEntry(0, "/x/a.jpg"), kDuplicateEntry);
    // Case matters: these are different texts.
    EXPECT_EQ(list.AddEntry(0, "/x/A.jpg"), 1);
    // Analyzer lines may repeat freely; a file may even equal an earlier line.
    EXPECT_EQ(list.AddEntry(1, "same"), 2);
    EXPECT_EQ(list.AddEntry(1, "same"), 3);
    EXPECT_EQ(list.AddEntry(0, "same"), kDuplicateEntry);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{0, 1, 2, 3}));
}

TEST(EntryList, RemoveEntryAndFindEntryId)
{
    CAnalysisEntryList list;
    list.AddEntry(0, "/a");
    list.AddEntry(1, "x");
    list.AddEntry(1, "y");
    EXPECT_EQ(list.FindEntryId("y"), 2);
    EXPECT_EQ(list.FindEntryId("missing"), 0);
    EXPECT_EQ(list.FindEntryId("TOP"), -1);
    EXPECT_EQ(list.RemoveEntry(1), 1);
    EXPECT_EQ(list.RemoveEntry(1), 0);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{0, 2}));
    // The tail moves back when the last entry goes: new entries still append.
    EXPECT_EQ(list.RemoveEntry(2), 1);
    EXPECT_EQ(list.AddEntry(1, "z"), 2);
    EXPECT_EQ(list.AddEntry(1, "w"), 1);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{0, 2, 1}));
}

TEST(EntryList, RemovingAFileBetweenTwoOthersKeepsTheirRuns)
{
    CAnalysisEntryList list;
    list.AddEntry(0, "/a");
    list.AddEntry(1, "a1");
    list.AddEntry(0, "/b");
    list.AddEntry(1, "b1");
    list.AddEntry(2, "b2");
    list.AddEntry(0, "/c");
    list.AddEntry(1, "c1");
    ASSERT_TRUE(list.RemoveFileEntries("/b"));
    std::vector<std::string> texts;
    for (const AnalysisEntry* e = list.GetEntryListHead()->next; e; e = e->next)
        texts.push_back(e->text);
    EXPECT_EQ(texts, (std::vector<std::string>{"/a", "a1", "/c", "c1"}));
    EXPECT_FALSE(list.RemoveFileEntries("/b"));
    // The last file's run reaches the end of the list.
    ASSERT_TRUE(list.RemoveFileEntries("/c"));
    EXPECT_EQ(list.AddEntry(0, "/d"), 6);
    EXPECT_EQ(std::string(list.GetEntryListHead()->next->next->next->text), "/d");
}

TEST(EntryList, TextsAreKeptWithin511BytesAtACharacterBoundary)
{
    // Bytes as code page 932 holds them: a full-width character is 2, so
    // "a" and 255 of them fill the 511; a half-width katakana is 1 (three
    // in UTF-8, so the longest line in bytes).
    CAnalysisEntryList list;
    std::string wide = "a", half;
    for (int i = 0; i < 600; ++i) {
        wide += "解";
        half += "ｱ";
    }
    list.AddEntry(1, wide.c_str());
    list.AddEntry(1, half.c_str());
    const AnalysisEntry* first = list.GetEntryListHead()->next;
    EXPECT_EQ(std::string(first->text), wide.substr(0, 1 + 255 * 3));
    EXPECT_EQ(std::string(first->next->text), half.substr(0, 511 * 3));
}

// The analysis tree of list, as text.
std::string Rebuilt(const CAnalysisEntryList& list, CLineTree* keep = nullptr)
{
    CLineTree tree;
    Diagnostic fatal;
    EXPECT_TRUE(RebuildAnalysisTree(tree, list.GetEntryListHead(), fatal)) << fatal.text;
    const std::string text = testing_support::TreeText(tree);
    if (keep)
        *keep = std::move(tree);
    return text;
}

// Thousands of files with equal analyzer lines, every other one deleted and
// as many opened again: ids, duplicate refusal, rows and the rebuilt tree
// must come out as they do for a handful of files.
TEST(EntryList, ThousandsOfFilesBehaveLikeAFew)
{
    const char* kLines[][2] = {{"1", "[00000000] SOI"}, {"1", "[00000002] APP1"}, {"2", "[0000000c] IFD"}};
    for (const int files : {3, 4000}) {
        SCOPED_TRACE(files);
        CHeadlessRowList rows;
        CAnalysisEntryList list;
        auto path = [](const char* folder, int i) { return std::string(folder) + std::to_string(i) + ".jpg"; };
        auto open = [&](const std::string& p) {
            const int32_t id = list.AddEntry(0, p.c_str());
            for (const auto& line : kLines)
                list.AddEntry(static_cast<uint32_t>(line[0][0] - '0'), line[1]);
            rows.InsertTop(p.c_str());
            return id;
        };
        for (int i = 0; i < files; ++i)
            ASSERT_EQ(open(path("/d/f", i)), 4 * i);
        // Exact bytes: an open path and any line are refused, a path that
        // differs in one byte's case is another file.
        EXPECT_EQ(list.AddEntry(0, path("/d/f", files - 1).c_str()), kDuplicateEntry);
        EXPECT_EQ(list.AddEntry(0, "[00000002] APP1"), kDuplicateEntry);
        EXPECT_EQ(list.FindEntryId(path("/d/f", files / 2).c_str()), 4 * (files / 2));

        std::vector<int32_t> freed;
        for (int i = 0; i < files; i += 2) {
            ASSERT_TRUE(list.RemoveFileEntries(path("/d/f", i).c_str()));
            for (int k = 0; k < 4; ++k)
                freed.push_back(4 * i + k);
            // Rows of later files are all still there, above this one.
            ASSERT_EQ(rows.Find(path("/d/f", i).c_str()), files - 1 - i);
            rows.Erase(files - 1 - i);
        }
        EXPECT_EQ(rows.Find(path("/d/f", 0).c_str()), -1);
        // Freed ids come back most recently freed first, then new ones.
        for (int i = 0; i < files / 2 + 1; ++i)
            open(path("/e/g", i));
        CAnalysisEntryList fresh;
        std::vector<std::string> opened;
        for (const AnalysisEntry* e = list.GetEntryListHead()->next; e; e = e->next) {
            if (e->level == 0)
                opened.insert(opened.begin(), e->text);
            fresh.AddEntry(e->level, e->text);
        }
        std::vector<int32_t> newIds;
        bool inNew = false;
        for (const AnalysisEntry* e = list.GetEntryListHead()->next; e; e = e->next) {
            inNew = e->level == 0 ? std::string(e->text).rfind("/e/", 0) == 0 : inNew;
            if (inNew)
                newIds.push_back(e->id);
        }
        std::vector<int32_t> expected(freed.rbegin(), freed.rend());
        for (int32_t next = 4 * files; expected.size() < newIds.size(); ++next)
            expected.push_back(next);
        EXPECT_EQ(newIds, expected);

        // The tree and the rows: the kept files in their order, then the new.
        std::vector<std::string> rowPaths;
        for (const HeadlessRow& row : rows.Rows())
            rowPaths.push_back(row.path);
        EXPECT_EQ(rowPaths, opened);
        EXPECT_EQ(Rebuilt(list), Rebuilt(fresh));
    }
}

// The rows against a plain list, newest first, through insertions of paths
// that repeat, appends, deletions anywhere and the sweeps they cause.
TEST(HeadlessRows, FindingAndDeletingMatchAPlainList)
{
    CHeadlessRowList rows;
    std::vector<HeadlessRow> model;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int step = 0; step < 6000; ++step) {
        const std::string path = "/p" + std::to_string(next(500));
        // Mostly insertions first, then mostly deletions, down to few rows.
        const bool insert = step < 3000 ? next(3) != 0 : next(3) == 0;
        if (insert || model.empty()) {
            rows.InsertTop(path.c_str());
            rows.SetFormat(0, step % 2 ? "JPEG" : "TIFF");
            rows.AppendResult(0, path.c_str());
            model.insert(model.begin(), {path, step % 2 ? "JPEG" : "TIFF", path});
        } else {
            const int row = rows.Find(path.c_str());
            const auto it = std::find_if(model.begin(), model.end(), [&](const HeadlessRow& r) { return r.path == path; });
            ASSERT_EQ(row, it == model.end() ? -1 : static_cast<int>(it - model.begin())) << step;
            const int erase = row >= 0 ? row : static_cast<int>(next(static_cast<uint32_t>(model.size())));
            rows.Erase(erase);
            model.erase(model.begin() + erase);
        }
        ASSERT_EQ(rows.Size(), model.size());
    }
    const std::deque<HeadlessRow>& copies = rows.Rows();
    ASSERT_EQ(copies.size(), model.size());
    for (size_t i = 0; i < model.size(); ++i) {
        EXPECT_EQ(copies[i].path, model[i].path);
        EXPECT_EQ(copies[i].format, model[i].format);
        EXPECT_EQ(copies[i].result, model[i].result);
    }
}

// Builds entries with the given levels (texts "e0", "e1", ...) and renders them.
std::string Render(const std::vector<uint32_t>& levels, CAnalysisEntryList& list, CLineTree* keep = nullptr)
{
    for (size_t i = 0; i < levels.size(); ++i) {
        std::string text = std::to_string(i);
        text.insert(text.begin(), 'e');
        list.AddEntry(levels[i], text.c_str());
    }
    return Rebuilt(list, keep);
}

TEST(RebuildTree, NestsByLevelAndExpandsParents)
{
    CAnalysisEntryList list;
    CLineTree tree;
    EXPECT_EQ(Render({0, 1, 2, 2, 1, 2}, list, &tree), "e0\n  e1\n    e2\n    e3\n  e4\n    e5\n");
    const LineId file = tree.First();
    const LineId a = tree.FirstChild(file);
    const LineId d = tree.NextSibling(a);
    EXPECT_TRUE(tree.Expanded(file));
    EXPECT_TRUE(tree.Expanded(a));
    EXPECT_TRUE(tree.Expanded(d));
    EXPECT_FALSE(tree.Expanded(tree.FirstChild(a)));
}

TEST(RebuildTree, ClimbingTwoLevelsHangsUnderTheLastItemOneLevelBelow)
{
    CAnalysisEntryList list;
    // The second level-3 entry hangs under the level-2 item of the first branch.
    EXPECT_EQ(Render({0, 1, 2, 3, 1, 3}, list), "e0\n  e1\n    e2\n      e3\n      e5\n  e4\n");
}

TEST(RebuildTree, FilesAreTopLevelAndARebuildStartsAfresh)
{
    CAnalysisEntryList list;
    EXPECT_EQ(Render({0, 1, 0, 0, 1, 2}, list), "e0\n  e1\ne2\ne3\n  e4\n    e5\n");
    CLineTree tree;
    Diagnostic fatal;
    ASSERT_TRUE(RebuildAnalysisTree(tree, list.GetEntryListHead(), fatal));
    EXPECT_EQ(testing_support::TreeText(tree), "e0\n  e1\ne2\ne3\n  e4\n    e5\n");
    CAnalysisEntryList empty;
    ASSERT_TRUE(RebuildAnalysisTree(tree, empty.GetEntryListHead(), fatal));
    EXPECT_EQ(tree.First(), kNoLine);
}

// The bar's items keep the list's own texts until the next rebuild: a
// removed file's texts stay readable there while the list forgets them, so
// the file can be opened again at once, and its new texts are independent of
// the old ones still shown.
TEST(RebuildTree, TextsShownOutliveTheirEntriesUntilTheNextRebuild)
{
    CAnalysisEntryList list;
    list.AddEntry(0, "/a");
    list.AddEntry(1, "only in a");
    list.AddEntry(0, "/b");
    list.AddEntry(1, "only in a x");
    CLineTree tree;
    Rebuilt(list, &tree);
    const std::string shown = "/a\n  only in a\n/b\n  only in a x\n";

    ASSERT_TRUE(list.RemoveFileEntries("/a"));
    EXPECT_EQ(list.FindEntryId("/a"), 0);
    EXPECT_EQ(list.FindEntryId("only in a"), 0);
    EXPECT_EQ(testing_support::TreeText(tree), shown);
    const int32_t again = list.AddEntry(0, "/a");
    EXPECT_EQ(again, 1);
    list.AddEntry(1, "only in a");
    ASSERT_TRUE(list.RemoveFileEntries("/b"));
    EXPECT_EQ(list.FindEntryId("/a"), again);
    EXPECT_EQ(testing_support::TreeText(tree), shown);

    EXPECT_EQ(Rebuilt(list, &tree), "/a\n  only in a\n");
    ASSERT_TRUE(list.RemoveFileEntries("/a"));
    EXPECT_GE(list.AddEntry(0, "/a"), 0);
}

TEST(RebuildTree, ALevelThatClimbsTooFarEndsTheProgram)
{
    // The same whether the tree is made or only checked.
    for (const bool keep : {true, false}) {
        CAnalysisEntryList list;
        list.AddEntry(0, "/f");
        list.AddEntry(2, "too deep");
        CLineTree tree;
        Diagnostic fatal;
        EXPECT_FALSE(keep ? RebuildAnalysisTree(tree, list.GetEntryListHead(), fatal)
                          : CheckAnalysisTree(list.GetEntryListHead(), fatal));
        EXPECT_EQ(fatal.text, "解析ツリーの更新に失敗しました\nエラー番号：AT00000002");
        EXPECT_EQ(fatal.kind, DiagnosticKind::TreeFailed);
        EXPECT_TRUE(fatal.endsProcess);
    }
}

TEST(RebuildTree, ALevelBelowTheFirstFileEndsTheProgram)
{
    CAnalysisEntryList list;
    // An analyzer line before any file: level 1 with only the bottom slot.
    list.AddEntry(1, "orphan");
    Diagnostic fatal;
    EXPECT_FALSE(CheckAnalysisTree(list.GetEntryListHead(), fatal));
    EXPECT_EQ(fatal.text, "解析ツリーの更新に失敗しました\nエラー番号：AT00000002");
}

// A session that meets such a level gives the diagnostic, ends, and does
// nothing more.
TEST(RebuildTree, ASessionEndsAtALevelError)
{
    testing_support::TempDir dir;
    CHeadlessSession session(testing_support::AllFormatOptions());
    std::vector<std::string> seen;
    session.SetDiagnosticObserver([&seen](const Diagnostic& d) { seen.push_back(d.errorNumber); });
    const std::string a = dir.Write("a.jpg", "\xFF\xD8");
    session.OpenFiles({a});
    EXPECT_FALSE(session.ExitCode());
    // No analyzer makes such a line; it is put in behind the session's back.
    const_cast<CAnalysisEntryList&>(session.Entries()).AddEntry(3, "orphan line");
    // The next batch's tree meets it; the batch's own closing message (the
    // file that cannot be read) is not given any more.
    session.OpenFiles({dir.Path() + "/gone"});
    EXPECT_EQ(session.ExitCode(), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"AT00000002"}));
    EXPECT_TRUE(session.OpenFiles({a}).empty());
}

}  // namespace
