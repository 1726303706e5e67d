// The Qt tree widget shows a result's lines as the lines say: every line an
// item in its place, the branches expanded where the lines are, the texts'
// bytes kept, and the display order the one the command-line tool prints.
#include <QRandomGenerator>
#include <QTest>

#include "app/tree_widget_control.h"
#include "core/analysis_tree.h"
#include "headless/headless_shell.h"
#include "test_registry.h"

namespace {

// The shown lines, each indented by its depth, as the widget lists them.
std::string ShownText(const CTreeWidgetControl& tree)
{
    std::string text;
    tree.ForEachShownItem([&](QTreeWidgetItem* item, int depth) {
        text += std::string(static_cast<size_t>(depth) * 2, ' ') + CTreeWidgetControl::ItemBytes(item) + "\n";
    });
    return text;
}

// The same from the lines alone: what a view that follows the lines'
// expansion shows.
std::string VisibleText(const CLineTree& lines)
{
    std::string text;
    for (LineId line = lines.First(); line != kNoLine; line = lines.NextVisible(line))
        text += std::string(static_cast<size_t>(lines.Depth(line)) * 2, ' ') + std::string(lines.Text(line)) + "\n";
    return text;
}

// Random lines under random earlier lines (or the top level), some expanded.
CLineTree RandomLines(QRandomGenerator& rng, int count)
{
    CLineTree lines;
    for (int i = 0; i < count; ++i) {
        const auto made = static_cast<quint32>(lines.Count());
        const LineId parent = made == 0 || rng.bounded(5) == 0 ? kTopLevel : 1 + rng.bounded(made);
        lines.Append("line " + std::to_string(i), parent);
        if (made > 0 && rng.bounded(3) == 0)
            lines.Expand(1 + rng.bounded(made));
    }
    return lines;
}

}  // namespace

class TreeControlTest : public QObject {
    Q_OBJECT
private slots:
    void everyLineIsAnItemInItsPlace()
    {
        QRandomGenerator rng(20260);
        for (int round = 0; round < 20; ++round) {
            CTreeWidgetControl tree;
            tree.ShowLines(RandomLines(rng, 300));
            const CLineTree& lines = tree.Lines();
            QCOMPARE(lines.Count(), size_t{300});
            for (LineId line = 1; line <= lines.Count(); ++line) {
                QTreeWidgetItem* item = tree.ItemOf(line);
                QVERIFY(item);
                QCOMPARE(CTreeWidgetControl::LineOf(item), line);
                QCOMPARE(CTreeWidgetControl::ItemBytes(item), std::string(lines.Text(line)));
                QCOMPARE(item->parent(), tree.ItemOf(lines.Parent(line)));
                // Children in their order.
                int row = 0;
                for (LineId child = lines.FirstChild(line); child != kNoLine; child = lines.NextSibling(child))
                    QCOMPARE(item->child(row++), tree.ItemOf(child));
                QCOMPARE(item->childCount(), row);
                if (row > 0)
                    QCOMPARE(item->isExpanded(), lines.Expanded(line));
            }
            QCOMPARE(ShownText(tree), VisibleText(lines));
        }
    }

    void collapsingByTheUserChangesWhatIsShown()
    {
        CLineTree lines;
        const LineId file = lines.Append("file", kTopLevel);
        const LineId a = lines.Append("a", file);
        lines.Append("a1", a);
        lines.Append("next", kTopLevel);
        lines.Expand(file);
        lines.Expand(a);
        CTreeWidgetControl tree;
        tree.ShowLines(std::move(lines));
        QCOMPARE(ShownText(tree), std::string("file\n  a\n    a1\nnext\n"));
        tree.collapseItem(tree.ItemOf(file));
        QCOMPARE(ShownText(tree), std::string("file\nnext\n"));
        // Another result replaces the shown one, items and lines alike.
        CLineTree other;
        other.Append("other", kTopLevel);
        tree.ShowLines(std::move(other));
        QCOMPARE(tree.topLevelItemCount(), 1);
        QCOMPARE(ShownText(tree), std::string("other\n"));
        QVERIFY(!tree.ItemOf(2));
    }

    void textsThatAreNotUtf8KeepTheirBytes()
    {
        CLineTree lines;
        const std::string path = "/photos/b\xE9t\xE9.jpg";
        lines.Append(path, kTopLevel);
        CTreeWidgetControl tree;
        tree.ShowLines(std::move(lines));
        QCOMPARE(CTreeWidgetControl::ItemBytes(tree.topLevelItem(0)), path);
        QVERIFY(tree.topLevelItem(0)->text(0).contains(QChar::ReplacementCharacter));
    }

    void selectedLineIsTheSelectedCaret()
    {
        CLineTree lines;
        const LineId a = lines.Append("a", kTopLevel);
        const LineId b = lines.Append("b", a);
        CTreeWidgetControl tree;
        tree.ShowLines(std::move(lines));
        QCOMPARE(tree.SelectedLine(), kNoLine);
        // A caret without selection (as focus leaves it) is no selection.
        tree.setCurrentItem(tree.ItemOf(b), 0, QItemSelectionModel::NoUpdate);
        QCOMPARE(tree.SelectedLine(), kNoLine);
        tree.setCurrentItem(tree.ItemOf(b));
        QCOMPARE(tree.SelectedLine(), b);
        QCOMPARE(CTreeWidgetControl::TopLevelOf(tree.ItemOf(b)), tree.ItemOf(a));
    }

    void theBarShowsTheEntriesNestedByLevel()
    {
        // Levels 0, 1, 2, 2, 1, 2, then a second file 0, 1, 2, 3, 1, 3.
        CAnalysisEntryList entries;
        const std::pair<uint32_t, const char*> levels[] = {
            {0, "/one"}, {1, "A"}, {2, "B"}, {2, "C"}, {1, "D"}, {2, "E"},
            {0, "/two"}, {1, "F"}, {2, "G"}, {3, "H"}, {1, "I"}, {3, "J"},
        };
        for (const auto& [level, text] : levels)
            entries.AddEntry(level, text);
        CHeadlessShell shell;
        CTreeWidgetControl widget;
        for (int rebuild = 0; rebuild < 2; ++rebuild) {
            CLineTree lines;
            RebuildAnalysisTree(lines, entries.GetEntryListHead(), shell);
            widget.ShowLines(std::move(lines));
            // J climbs two levels after I and hangs under G, the level-2 line
            // of the earlier branch; every branch is open.
            QCOMPARE(ShownText(widget), std::string("/one\n  A\n    B\n    C\n  D\n    E\n"
                                                    "/two\n  F\n    G\n      H\n      J\n  I\n"));
        }
    }
};

VANTREL_GUI_TEST(TreeControlTest);

#include "tree_control_test.moc"
