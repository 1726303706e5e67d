#include <gtest/gtest.h>

#include "core/analysis_tree.h"
#include "core/tree_ranges.h"
#include "headless/memory_tree.h"

namespace {

TEST(MemoryTree, NavigationFollowsInsertionOrder)
{
    CMemoryTree tree;
    EXPECT_EQ(tree.GetRootItem(), 0u);
    const HTREEITEM a = tree.InsertItem("a", TVI_ROOT, TVI_LAST);
    const HTREEITEM b = tree.InsertItem("b", TVI_ROOT, TVI_LAST);
    const HTREEITEM a1 = tree.InsertItem("a1", a, TVI_LAST);
    const HTREEITEM a2 = tree.InsertItem("a2", a, TVI_LAST);
    EXPECT_NE(a, TVI_ROOT);
    EXPECT_EQ(tree.GetRootItem(), a);
    EXPECT_EQ(tree.GetNextSiblingItem(a), b);
    EXPECT_EQ(tree.GetNextSiblingItem(b), 0u);
    EXPECT_EQ(tree.GetChildItem(a), a1);
    EXPECT_EQ(tree.GetNextSiblingItem(a1), a2);
    EXPECT_EQ(tree.GetParentItem(a2), a);
    EXPECT_EQ(tree.GetParentItem(a), 0u);
    EXPECT_EQ(tree.GetItemText(a2), "a2");
    EXPECT_EQ(tree.InsertItem("x", 12345, TVI_LAST), 0u);
}

TEST(MemoryTree, NextVisibleItemRespectsExpansion)
{
    CMemoryTree tree;
    const HTREEITEM a = tree.InsertItem("a", TVI_ROOT);
    const HTREEITEM a1 = tree.InsertItem("a1", a);
    const HTREEITEM a11 = tree.InsertItem("a11", a1);
    const HTREEITEM b = tree.InsertItem("b", TVI_ROOT);
    EXPECT_EQ(tree.GetNextVisibleItem(a), b);
    tree.Expand(a, TVE_EXPAND);
    EXPECT_EQ(tree.GetNextVisibleItem(a), a1);
    EXPECT_EQ(tree.GetNextVisibleItem(a1), b);
    tree.Expand(a1, TVE_EXPAND);
    EXPECT_EQ(tree.GetNextVisibleItem(a1), a11);
    EXPECT_EQ(tree.GetNextVisibleItem(a11), b);
    EXPECT_EQ(tree.GetNextVisibleItem(b), 0u);
}

TEST(MemoryTree, ClearingInvalidatesOldHandles)
{
    CMemoryTree tree;
    const HTREEITEM a = tree.InsertItem("a", TVI_ROOT);
    tree.SelectItem(a);
    EXPECT_EQ(tree.GetSelectedItem(), a);
    tree.DeleteAllItems();
    EXPECT_EQ(tree.GetSelectedItem(), 0u);
    EXPECT_EQ(tree.GetItemText(a), "");
    const HTREEITEM b = tree.InsertItem("b", TVI_ROOT);
    EXPECT_NE(a, b);
    EXPECT_EQ(tree.GetParentItem(a), 0u);
}

TEST(BaseParent, TopLevelAnalysesWriteAtTheRoot)
{
    CMemoryTree tree;
    tree.InsertItem("/path", TVI_ROOT);
    EXPECT_EQ(ChooseBaseParent(tree, 0), TVI_ROOT);
}

TEST(BaseParent, NestedAnalysesHangUnderTheLastInsertedLine)
{
    CMemoryTree tree;
    const HTREEITEM path = tree.InsertItem("/path", TVI_ROOT);
    // Only the path item: it is its own base.
    EXPECT_EQ(ChooseBaseParent(tree, 1), path);

    const HTREEITEM soi = tree.InsertItem("SOI", TVI_ROOT);
    const HTREEITEM app1 = tree.InsertItem("APP1", TVI_ROOT);
    tree.InsertItem("Field Length", app1);
    const HTREEITEM thumb = tree.InsertItem("Thumbnail Data", app1);
    (void)soi;
    EXPECT_EQ(ChooseBaseParent(tree, 1), thumb);
    // Expansion makes no difference to where the walk ends.
    tree.Expand(app1, TVE_EXPAND);
    EXPECT_EQ(ChooseBaseParent(tree, 2), thumb);
}

// Ranges belong to their items, survive later inserts, and go with
// DeleteAllItems; the walks over them keep tree order and depth.
TEST(MemoryTree, RangesAndTheQueriesOverThem)
{
    CMemoryTree tree;
    const HTREEITEM file = tree.InsertItem("file", TVI_ROOT);
    const HTREEITEM head = tree.InsertItem("head", TVI_ROOT, ByteRange{0, 10});
    const HTREEITEM field = tree.InsertItem("field", head, ByteRange{2, 4});
    tree.InsertItem("meaning", field);
    const HTREEITEM side = tree.InsertItem("side", TVI_ROOT, ByteRange{0, 6, true});
    tree.InsertItem("tail", TVI_ROOT, ByteRange{12, 14});
    ByteRange r;
    EXPECT_FALSE(tree.GetItemRange(file, r));
    ASSERT_TRUE(tree.GetItemRange(field, r));
    EXPECT_EQ(r.start, 2u);
    EXPECT_EQ(r.end, 4u);
    ASSERT_TRUE(tree.GetItemRange(side, r));
    EXPECT_TRUE(r.inSideFile);

    const std::vector<LineAt> at3 = LinesAt(tree, 3, false);
    ASSERT_EQ(at3.size(), 2u);
    EXPECT_EQ(at3[0].item, head);
    EXPECT_EQ(at3[1].item, field);
    EXPECT_EQ(at3[1].depth, 1);
    EXPECT_EQ(InnermostLineAt(tree, 3, false), field);
    EXPECT_EQ(InnermostLineAt(tree, 3, true), side);
    EXPECT_EQ(InnermostLineAt(tree, 11, false), 0u);

    const std::vector<ByteRange> gaps = UncoveredRanges(tree, 20);
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_EQ(gaps[0].start, 10u);
    EXPECT_EQ(gaps[0].end, 12u);
    EXPECT_EQ(gaps[1].start, 14u);
    EXPECT_EQ(gaps[1].end, 20u);

    EXPECT_EQ(TreeText(tree, head, false), "head\n");
    EXPECT_EQ(TreeText(tree, head, true), "head\n  field\n    meaning\n");
    EXPECT_EQ(TreeText(tree), "file\nhead\n  field\n    meaning\nside\ntail\n");

    tree.DeleteAllItems();
    const HTREEITEM fresh = tree.InsertItem("fresh", TVI_ROOT);
    EXPECT_FALSE(tree.GetItemRange(fresh, r));
    EXPECT_FALSE(tree.GetItemRange(field, r));
}

}  // namespace
