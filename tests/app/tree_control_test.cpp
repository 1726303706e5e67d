// The tree operations on the Qt tree widget must behave like the in-memory
// tree that the command-line tool and the core's own tests use: the same
// operations, replayed on both, give the same answers.
#include <QRandomGenerator>
#include <QTest>
#include <map>

#include "app/tree_widget_control.h"
#include "core/analysis_tree.h"
#include "headless/headless_shell.h"
#include "headless/memory_tree.h"
#include "test_registry.h"

namespace {

// Handles of both trees, kept side by side: index i names the same item in
// each. Index 0 stands for the null handle.
struct TwinTrees {
    CTreeWidgetControl widget;
    CMemoryTree memory;
    std::vector<HTREEITEM> widgetItems{0};
    std::vector<HTREEITEM> memoryItems{0};

    size_t IndexOfWidget(HTREEITEM h) const
    {
        for (size_t i = 0; i < widgetItems.size(); ++i)
            if (widgetItems[i] == h)
                return i;
        return SIZE_MAX;
    }
    size_t IndexOfMemory(HTREEITEM h) const
    {
        for (size_t i = 0; i < memoryItems.size(); ++i)
            if (memoryItems[i] == h)
                return i;
        return SIZE_MAX;
    }
};

// Walks both trees in display order from the root; the texts must agree.
QStringList VisibleTexts(const ITreeControl& tree)
{
    QStringList out;
    int guard = 0;
    for (HTREEITEM item = tree.GetRootItem(); item && guard < 100000; item = tree.GetNextVisibleItem(item), ++guard)
        out << QString::fromStdString(tree.GetItemText(item));
    return out;
}

}  // namespace

class TreeControlTest : public QObject {
    Q_OBJECT
private slots:
    void randomOperationsMatchTheMemoryTree()
    {
        QRandomGenerator rng(20260);
        for (int round = 0; round < 20; ++round) {
            TwinTrees t;
            for (int step = 0; step < 300; ++step) {
                const size_t pick = rng.bounded(static_cast<quint32>(t.widgetItems.size()));
                const HTREEITEM w = t.widgetItems[pick];
                const HTREEITEM m = t.memoryItems[pick];
                const std::string text = "item " + std::to_string(step);
                switch (rng.bounded(7)) {
                case 0:
                case 1: {
                    // Insert under an item, at the top level or under null.
                    const bool top = rng.bounded(4) == 0;
                    const HTREEITEM wi = t.widget.InsertItem(text.c_str(), top ? TVI_ROOT : w);
                    const HTREEITEM mi = t.memory.InsertItem(text.c_str(), top ? TVI_ROOT : m);
                    QCOMPARE(wi == 0, mi == 0);
                    t.widgetItems.push_back(wi);
                    t.memoryItems.push_back(mi);
                    break;
                }
                case 2:
                    t.widget.Expand(w, TVE_EXPAND);
                    t.memory.Expand(m, TVE_EXPAND);
                    break;
                case 3:
                    QCOMPARE(t.IndexOfWidget(t.widget.GetNextVisibleItem(w)),
                             t.IndexOfMemory(t.memory.GetNextVisibleItem(m)));
                    break;
                case 4:
                    QCOMPARE(t.IndexOfWidget(t.widget.GetParentItem(w)), t.IndexOfMemory(t.memory.GetParentItem(m)));
                    QCOMPARE(t.IndexOfWidget(t.widget.GetChildItem(w)), t.IndexOfMemory(t.memory.GetChildItem(m)));
                    break;
                case 5:
                    QCOMPARE(t.IndexOfWidget(t.widget.GetNextSiblingItem(w)),
                             t.IndexOfMemory(t.memory.GetNextSiblingItem(m)));
                    QCOMPARE(t.widget.IsExpanded(w), t.memory.IsExpanded(m));
                    break;
                case 6:
                    QCOMPARE(t.IndexOfWidget(ChooseBaseParent(t.widget, 1)),
                             t.IndexOfMemory(ChooseBaseParent(t.memory, 1)));
                    break;
                }
                QCOMPARE(t.widget.GetItemText(w), t.memory.GetItemText(m));
            }
            QCOMPARE(VisibleTexts(t.widget), VisibleTexts(t.memory));
            QCOMPARE(t.IndexOfWidget(t.widget.GetRootItem()), t.IndexOfMemory(t.memory.GetRootItem()));
        }
    }

    void reservedAndStaleHandlesFindNothing()
    {
        CTreeWidgetControl tree;
        const HTREEITEM a = tree.InsertItem("a", TVI_ROOT);
        const HTREEITEM b = tree.InsertItem("b", a);
        QCOMPARE(tree.GetChildItem(TVI_ROOT), a);
        QCOMPARE(tree.InsertItem("x", TVI_LAST), HTREEITEM{0});
        QCOMPARE(tree.InsertItem("x", 12345), HTREEITEM{0});
        QCOMPARE(tree.GetParentItem(a), HTREEITEM{0});
        QCOMPARE(tree.GetParentItem(b), a);
        tree.DeleteAllItems();
        // Handles from before the clear are dead: no access to freed items.
        QCOMPARE(tree.GetItemText(a), std::string());
        QCOMPARE(tree.InsertItem("c", a), HTREEITEM{0});
        QCOMPARE(tree.GetNextVisibleItem(b), HTREEITEM{0});
        QCOMPARE(tree.GetRootItem(), HTREEITEM{0});
        QCOMPARE(tree.topLevelItemCount(), 0);
    }

    void collapsingByTheUserChangesTheVisibleOrder()
    {
        CTreeWidgetControl tree;
        const HTREEITEM file = tree.InsertItem("file", TVI_ROOT);
        const HTREEITEM a = tree.InsertItem("a", file);
        tree.InsertItem("a1", a);
        const HTREEITEM next = tree.InsertItem("next", TVI_ROOT);
        tree.Expand(file, TVE_EXPAND);
        tree.Expand(a, TVE_EXPAND);
        QCOMPARE(VisibleTexts(tree), QStringList({"file", "a", "a1", "next"}));
        tree.collapseItem(tree.ItemFromHandle(file));
        QCOMPARE(tree.GetNextVisibleItem(file), next);
        QCOMPARE(tree.GetNextVisibleItem(a), HTREEITEM{0});
    }

    void selectedItemIsTheSelectedCaret()
    {
        CTreeWidgetControl tree;
        const HTREEITEM a = tree.InsertItem("a", TVI_ROOT);
        const HTREEITEM b = tree.InsertItem("b", a);
        QCOMPARE(tree.GetSelectedItem(), HTREEITEM{0});
        // A caret without selection (as focus leaves it) is no selection.
        tree.setCurrentItem(tree.ItemFromHandle(b), 0, QItemSelectionModel::NoUpdate);
        QCOMPARE(tree.GetSelectedItem(), HTREEITEM{0});
        tree.setCurrentItem(tree.ItemFromHandle(b));
        QCOMPARE(tree.GetSelectedItem(), b);
        QCOMPARE(CTreeWidgetControl::TopLevelOf(tree.ItemFromHandle(b)), tree.ItemFromHandle(a));
    }

    void rebuildMatchesTheHeadlessBar()
    {
        // Levels 0, 1, 2, 2, 1, 2, then a second file 0, 1, 2, 3, 1, 3.
        CAnalysisEntryList entries;
        const std::pair<uint32_t, const char*> lines[] = {
            {0, "/one"}, {1, "A"}, {2, "B"}, {2, "C"}, {1, "D"}, {2, "E"},
            {0, "/two"}, {1, "F"}, {2, "G"}, {3, "H"}, {1, "I"}, {3, "J"},
        };
        for (const auto& [level, text] : lines)
            entries.AddEntry(level, text);
        CHeadlessShell shell;
        CTreeWidgetControl widget;
        CMemoryTree memory;
        RebuildAnalysisTree(widget, entries.GetEntryListHead(), shell);
        RebuildAnalysisTree(memory, entries.GetEntryListHead(), shell);
        QCOMPARE(VisibleTexts(widget), VisibleTexts(memory));
        QCOMPARE(VisibleTexts(widget), QStringList({"/one", "A", "B", "C", "D", "E", "/two", "F", "G", "H", "J", "I"}));
        // J climbs two levels after I and hangs under G, the level-2 item of
        // the earlier branch.
        QTreeWidgetItem* j = widget.topLevelItem(1)->child(0)->child(0)->child(1);
        QCOMPARE(CTreeWidgetControl::ItemBytes(j), std::string("J"));
        QCOMPARE(CTreeWidgetControl::ItemBytes(j->parent()), std::string("G"));
        // Rebuilding again gives the same tree, not a doubled one.
        RebuildAnalysisTree(widget, entries.GetEntryListHead(), shell);
        QCOMPARE(VisibleTexts(widget), VisibleTexts(memory));
    }
};

VANTREL_GUI_TEST(TreeControlTest);

#include "tree_control_test.moc"
