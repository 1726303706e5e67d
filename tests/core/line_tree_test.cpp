#include <gtest/gtest.h>

#include <thread>

#include "core/analysis_run.h"
#include "core/tree_ranges.h"

namespace {

TEST(LineTree, NavigationFollowsAppendingOrder)
{
    CLineTree tree;
    EXPECT_EQ(tree.First(), kNoLine);
    const LineId a = tree.Append("a", kTopLevel);
    const LineId b = tree.Append("b", kTopLevel);
    EXPECT_TRUE(tree.InAppendOrder());
    const LineId a1 = tree.Append("a1", a);
    EXPECT_FALSE(tree.InAppendOrder());   // a1 shows before b
    const LineId a2 = tree.Append("a2", a);
    EXPECT_EQ(tree.First(), a);
    EXPECT_EQ(tree.NextSibling(a), b);
    EXPECT_EQ(tree.NextSibling(b), kNoLine);
    EXPECT_EQ(tree.FirstChild(a), a1);
    EXPECT_EQ(tree.NextSibling(a1), a2);
    EXPECT_EQ(tree.Parent(a2), a);
    EXPECT_EQ(tree.Parent(a), kNoLine);
    EXPECT_EQ(tree.Depth(a2), 1);
    EXPECT_EQ(tree.Text(a2), "a2");
    // Nothing lands under a line that is not there.
    EXPECT_EQ(tree.Append("x", 12345), kNoLine);
    EXPECT_EQ(tree.Append("x", kNoLine), kNoLine);
    // A zero byte ends a line's text, as it ends the C string a control shows.
    EXPECT_EQ(tree.Text(tree.Append(std::string("cut\0off", 7), kTopLevel)), "cut");
}

// Lines are kept in blocks that grow and then stay at one size: every line
// keeps its text, links and depth on either side of each block's end, after
// a move too.
TEST(LineTree, LongTreesKeepEveryLine)
{
    constexpr LineId kLines = 200000;
    CLineTree tree;
    for (LineId line = 1; line <= kLines; ++line)
        ASSERT_EQ(tree.Append(std::to_string(line), line % 7 == 1 ? kTopLevel : line - 1), line);
    const CLineTree moved = std::move(tree);
    ASSERT_EQ(moved.Count(), size_t{kLines});
    EXPECT_TRUE(moved.InAppendOrder());
    LineId top = moved.First();
    for (LineId line = 1; line <= kLines; ++line) {
        ASSERT_EQ(moved.Text(line), std::to_string(line));
        ASSERT_EQ(moved.Parent(line), line % 7 == 1 ? kNoLine : line - 1);
        ASSERT_EQ(moved.Depth(line), static_cast<int>((line - 1) % 7));
        ASSERT_EQ(moved.FirstChild(line), line % 7 == 0 || line == kLines ? kNoLine : line + 1);
        if (line % 7 == 1) {
            ASSERT_EQ(top, line);
            top = moved.NextSibling(top);
        }
    }
    EXPECT_EQ(top, kNoLine);
}

TEST(LineTree, NextVisibleLineRespectsExpansion)
{
    CLineTree tree;
    const LineId a = tree.Append("a", kTopLevel);
    const LineId a1 = tree.Append("a1", a);
    const LineId a11 = tree.Append("a11", a1);
    const LineId b = tree.Append("b", kTopLevel);
    EXPECT_EQ(tree.NextVisible(a), b);
    tree.Expand(a);
    EXPECT_EQ(tree.NextVisible(a), a1);
    EXPECT_EQ(tree.NextVisible(a1), b);
    EXPECT_EQ(tree.NextVisible(a11), kNoLine);   // hidden under collapsed a1
    tree.Expand(a1);
    EXPECT_EQ(tree.NextVisible(a1), a11);
    EXPECT_EQ(tree.NextVisible(a11), b);
    EXPECT_EQ(tree.NextVisible(b), kNoLine);
}

// The limit counts lines from where it is set; a stop, from any thread,
// refuses everything after it but the line that says why.
TEST(LineTree, LimitAndStop)
{
    CLineTree tree;
    tree.Append("path", kTopLevel);
    tree.SetLimit(2);
    EXPECT_NE(tree.Append("1", kTopLevel), kNoLine);
    EXPECT_NE(tree.Append("2", kTopLevel, {4, 9}), kNoLine);
    EXPECT_EQ(tree.Append("3", kTopLevel), kNoLine);
    EXPECT_EQ(tree.Reach(), 9u);
    tree.SetLimit(100);
    std::thread([&] { tree.Stop(); }).join();
    EXPECT_EQ(tree.Append("4", kTopLevel), kNoLine);
    const LineId last = tree.AppendAfterStop("stopped");
    EXPECT_EQ(tree.Text(last), "stopped");
    EXPECT_EQ(tree.Count(), 4u);
    CLineTree moved = std::move(tree);
    EXPECT_EQ(TreeText(moved), "path\n1\n2\nstopped\n");
    EXPECT_EQ(tree.Count(), 0u);
}

TEST(BaseParent, TopLevelAnalysesWriteAtTheTopLevel)
{
    CLineTree tree;
    tree.Append("/path", kTopLevel);
    EXPECT_EQ(BaseParentLine(tree, 0), kTopLevel);
}

TEST(BaseParent, NestedAnalysesHangUnderTheLastAppendedLine)
{
    CLineTree tree;
    const LineId path = tree.Append("/path", kTopLevel);
    // Only the path line: it is its own base.
    EXPECT_EQ(BaseParentLine(tree, 1), path);

    tree.Append("SOI", kTopLevel);
    const LineId app1 = tree.Append("APP1", kTopLevel);
    tree.Append("Field Length", app1);
    const LineId thumb = tree.Append("Thumbnail Data", app1);
    EXPECT_EQ(BaseParentLine(tree, 1), thumb);
    // Expansion makes no difference to where the walk ends.
    tree.Expand(app1);
    EXPECT_EQ(BaseParentLine(tree, 2), thumb);
}

// Ranges belong to their lines and survive later appends; the walks over
// them keep tree order and depth.
TEST(LineTree, RangesAndTheQueriesOverThem)
{
    CLineTree tree;
    const LineId file = tree.Append("file", kTopLevel);
    const LineId head = tree.Append("head", kTopLevel, ByteRange{0, 10});
    const LineId field = tree.Append("field", head, ByteRange{2, 4});
    tree.Append("meaning", field);
    const LineId side = tree.Append("side", kTopLevel, ByteRange{0, 6, ByteSpace::SideFile});
    const LineId tail = tree.Append("tail", kTopLevel, ByteRange{12, 13});
    tree.SetRange(tail, {12, 14});
    ByteRange r;
    EXPECT_FALSE(tree.RangeOf(file, r));
    ASSERT_TRUE(tree.RangeOf(field, r));
    EXPECT_EQ(r.start, 2u);
    EXPECT_EQ(r.end, 4u);
    ASSERT_TRUE(tree.RangeOf(side, r));
    EXPECT_EQ(r.space, ByteSpace::SideFile);
    EXPECT_EQ(tree.Reach(), 14u);   // side-file ranges are not the file's

    const std::vector<LineAt> at3 = LinesAt(tree, 3);
    ASSERT_EQ(at3.size(), 2u);
    EXPECT_EQ(at3[0].line, head);
    EXPECT_EQ(at3[1].line, field);
    EXPECT_EQ(at3[1].depth, 1);
    EXPECT_EQ(InnermostLineAt(tree, 3), field);
    EXPECT_EQ(InnermostLineAt(tree, 3, ByteSpace::SideFile), side);
    EXPECT_EQ(InnermostLineAt(tree, 11), kNoLine);

    const std::vector<ByteRange> gaps = UncoveredRanges(tree, 20);
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_EQ(gaps[0].start, 10u);
    EXPECT_EQ(gaps[0].end, 12u);
    EXPECT_EQ(gaps[1].start, 14u);
    EXPECT_EQ(gaps[1].end, 20u);

    EXPECT_EQ(TreeText(tree, head, false), "head\n");
    EXPECT_EQ(TreeText(tree, head, true), "head\n  field\n    meaning\n");
    EXPECT_EQ(TreeText(tree), "file\nhead\n  field\n    meaning\nside\ntail\n");
}

}  // namespace
