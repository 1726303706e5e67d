// The Qt tree view shows a result's lines as the lines say: every open line
// a row in its place, the branches expanded where the lines are, the texts'
// bytes kept, and the display order the one the command-line tool prints;
// the user opens and closes branches with the box, a double click and keys.
#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTest>

#include "app/tree_widget_control.h"
#include "core/analysis_tree.h"
#include "test_registry.h"

namespace {

// The shown lines, each indented by its depth, as the view finds them in
// its model.
std::string ShownText(const CTreeWidgetControl& tree)
{
    std::string text;
    const QAbstractItemModel& model = *tree.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        const LineId line = CTreeWidgetControl::LineOf(model.index(row, 0));
        text += std::string(static_cast<size_t>(tree.Lines().Depth(line)) * 2, ' ') + tree.LineBytes(line) + "\n";
    }
    return text;
}

// The same as printing walks them.
std::string PrintedText(const CTreeWidgetControl& tree)
{
    std::string text;
    tree.ForEachShownLine([&](LineId line, int depth) {
        text += std::string(static_cast<size_t>(depth) * 2, ' ') + tree.LineBytes(line) + "\n";
    });
    return text;
}

// The same from the lines and which of them are open.
std::string OpenText(const CLineTree& lines, const std::vector<bool>& open)
{
    std::string text;
    const std::function<void(LineId, size_t)> append = [&](LineId line, size_t depth) {
        for (; line != kNoLine; line = lines.NextSibling(line)) {
            text += std::string(depth * 2, ' ') + std::string(lines.Text(line)) + "\n";
            if (open[line])
                append(lines.FirstChild(line), depth + 1);
        }
    };
    append(lines.First(), 0);
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

// Lines as a rebuild from levels makes them: each under the line before it
// or one of that line's parents, every parent expanded; with strays, now and
// then a line goes under some other earlier line.
CLineTree LinesInOrder(QRandomGenerator& rng, int count, bool strays)
{
    CLineTree lines;
    for (int i = 0; i < count; ++i) {
        const auto made = static_cast<quint32>(lines.Count());
        LineId parent = made == 0 ? kNoLine : made;
        for (quint32 up = rng.bounded(4); up > 0 && parent != kNoLine; --up)
            parent = lines.Parent(parent);
        if (made > 0 && strays && rng.bounded(40) == 0)
            parent = 1 + rng.bounded(made);
        lines.Append("line " + std::to_string(i), parent == kNoLine ? kTopLevel : parent);
        if (parent != kNoLine)
            lines.Expand(parent);
    }
    return lines;
}

}  // namespace

class TreeControlTest : public QObject {
    Q_OBJECT
private slots:
    void theRowsAreTheOpenLinesInOrder()
    {
        QRandomGenerator rng(20260);
        for (int round = 0; round < 20; ++round) {
            CTreeWidgetControl tree;
            // Checks the model's answers against each other as views use
            // them, rows coming and going included.
            QAbstractItemModelTester tester(&tree.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
            tree.ShowLines(round % 4 == 0 ? LinesInOrder(rng, 300, round % 8 != 0) : RandomLines(rng, 300));
            const CLineTree& lines = tree.Lines();
            QCOMPARE(lines.Count(), size_t{300});
            for (LineId line = 1; line <= lines.Count(); ++line) {
                QCOMPARE(tree.LineExpanded(line), lines.Expanded(line) && lines.FirstChild(line) != kNoLine);
                bool open = true;
                for (LineId p = lines.Parent(line); p != kNoLine; p = lines.Parent(p))
                    open = open && lines.Expanded(p);
                const QModelIndex index = tree.IndexOf(line);
                QCOMPARE(index.isValid(), open);
                if (open) {
                    QCOMPARE(CTreeWidgetControl::LineOf(index), line);
                    QCOMPARE(index.data().toString(), QString::fromStdString(tree.LineBytes(line)));
                }
            }
            QCOMPARE(ShownText(tree), VisibleText(lines));
            QCOMPARE(PrintedText(tree), VisibleText(lines));
            // Branches opened and closed in any order, hidden ones too.
            std::vector<bool> open(lines.Count() + 1);
            for (LineId line = 1; line <= lines.Count(); ++line)
                open[line] = tree.LineExpanded(line);
            for (int step = 0; step < 60; ++step) {
                const LineId line = 1 + rng.bounded(static_cast<quint32>(lines.Count()));
                if (step % 10 == 9) {
                    // *: the branch and every branch below it.
                    tree.Model().ExpandBelow(line);
                    for (LineId at = 1; at <= lines.Count(); ++at)
                        if ((at == line || tree.Model().IsBelow(at, line)) && lines.FirstChild(at) != kNoLine)
                            open[at] = true;
                } else {
                    const bool expand = rng.bounded(2) == 0;
                    tree.SetLineExpanded(line, expand);
                    if (lines.FirstChild(line) != kNoLine)
                        open[line] = expand;
                }
                QCOMPARE(ShownText(tree), OpenText(lines, open));
            }
            tree.SetAllExpanded(true);
            std::fill(open.begin(), open.end(), true);
            QCOMPARE(ShownText(tree), OpenText(lines, open));
        }
    }

    void theUserOpensAndClosesBranches()
    {
        CLineTree lines;
        const LineId file = lines.Append("file", kTopLevel);
        const LineId a = lines.Append("a", file);
        const LineId a1 = lines.Append("a1", a);
        lines.Append("next", kTopLevel);
        lines.Expand(file);
        lines.Expand(a);
        CTreeWidgetControl tree;
        tree.ShowLines(std::move(lines));
        tree.resize(300, 200);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QCOMPARE(ShownText(tree), std::string("file\n  a\n    a1\nnext\n"));
        // Closing the branch that holds the current line makes its head the
        // current, selected line.
        tree.setCurrentIndex(tree.IndexOf(a1));
        tree.SetLineExpanded(file, false);
        QCOMPARE(ShownText(tree), std::string("file\nnext\n"));
        QCOMPARE(PrintedText(tree), std::string("file\nnext\n"));
        QCOMPARE(tree.SelectedLine(), file);
        // The box opens it again and selects nothing; a press beside the
        // box, on the line, selects the line.
        const auto boxOf = [&tree](LineId line) {
            const QRect cell = tree.visualRect(tree.IndexOf(line));
            return QPoint(cell.left() + tree.BranchWidth(line) - tree.indentation() / 2, cell.center().y());
        };
        tree.clearSelection();
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, boxOf(file));
        QCOMPARE(ShownText(tree), std::string("file\n  a\n    a1\nnext\n"));
        QCOMPARE(tree.SelectedLine(), kNoLine);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, boxOf(a));
        QCOMPARE(ShownText(tree), std::string("file\n  a\nnext\n"));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree.visualRect(tree.IndexOf(a)).center() + QPoint(tree.BranchWidth(a) / 2, 0));
        QCOMPARE(tree.SelectedLine(), a);
        // Right opens, then goes down; Left closes, then goes up; - and +
        // close and open; a double click on the line toggles it.
        QTest::keyClick(&tree, Qt::Key_Right);
        QCOMPARE(ShownText(tree), std::string("file\n  a\n    a1\nnext\n"));
        QTest::keyClick(&tree, Qt::Key_Right);
        QCOMPARE(tree.SelectedLine(), a1);
        QTest::keyClick(&tree, Qt::Key_Left);
        QCOMPARE(tree.SelectedLine(), a);
        QTest::keyClick(&tree, Qt::Key_Left);
        QCOMPARE(ShownText(tree), std::string("file\n  a\nnext\n"));
        QTest::keyClick(&tree, Qt::Key_Plus);
        QVERIFY(tree.LineExpanded(a));
        QTest::keyClick(&tree, Qt::Key_Minus);
        QVERIFY(!tree.LineExpanded(a));
        const QPoint onA = tree.visualRect(tree.IndexOf(a)).center() + QPoint(tree.BranchWidth(a) / 2, 0);
        QTest::mouseDClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, onA);
        QVERIFY(tree.LineExpanded(a));
        // Another result replaces the shown one, rows and lines alike.
        CLineTree other;
        other.Append("other", kTopLevel);
        tree.ShowLines(std::move(other));
        QCOMPARE(tree.model()->rowCount(), 1);
        QCOMPARE(ShownText(tree), std::string("other\n"));
        QVERIFY(!tree.IndexOf(2).isValid());
    }

    // The column is as wide as its widest row, though rows of the same text
    // are measured once: the same text beside an icon of another size, or
    // beside none, is measured again.
    void theColumnFitsItsWidestRow()
    {
        const auto iconOf = [](int side) {
            QPixmap pixmap(side, side);
            pixmap.fill(Qt::red);
            return QIcon(pixmap);
        };
        for (int marked = 0; marked < 3; ++marked) {
            CLineTree lines;
            const LineId first = lines.Append("[00000000] SOI", kTopLevel);
            LineId parent = first;
            for (int depth = 0; depth < 3; ++depth) {
                lines.Append("[00000002] APP0", parent);
                parent = lines.Append("[00000000] SOI", parent);
                lines.Expand(lines.Parent(parent));
            }
            lines.Expand(parent);
            // The view's own measure, a shaping for every row.
            struct Tree : CTreeWidgetControl {
                int EveryRowMeasured() const { return QTreeView::sizeHintForColumn(0); }
            } tree;
            tree.ShowLines(std::move(lines));
            if (marked > 0) {
                tree.Model().MarkLine(first, iconOf(8), true, QString());
                tree.Model().MarkLine(parent, iconOf(marked == 1 ? 8 : 16), true, QString());
            }
            tree.resize(300, 200);
            tree.show();
            QVERIFY(QTest::qWaitForWindowExposed(&tree));
            QCOMPARE(tree.sizeHintForColumn(0), tree.EveryRowMeasured());
        }
    }

    void textsThatAreNotUtf8KeepTheirBytes()
    {
        CLineTree lines;
        const std::string path = "/photos/b\xE9t\xE9.jpg";
        lines.Append(path, kTopLevel);
        CTreeWidgetControl tree;
        tree.ShowLines(std::move(lines));
        QCOMPARE(tree.LineBytes(1), path);
        QVERIFY(tree.IndexOf(1).data().toString().contains(QChar::ReplacementCharacter));
    }

    void selectedLineIsTheSelectedCaret()
    {
        CLineTree lines;
        const LineId a = lines.Append("a", kTopLevel);
        const LineId b = lines.Append("b", a);
        lines.Expand(a);
        CTreeWidgetControl tree;
        tree.ShowLines(std::move(lines));
        QCOMPARE(tree.SelectedLine(), kNoLine);
        // A caret without selection (as focus leaves it) is no selection.
        tree.selectionModel()->setCurrentIndex(tree.IndexOf(b), QItemSelectionModel::NoUpdate);
        QCOMPARE(tree.SelectedLine(), kNoLine);
        tree.setCurrentIndex(tree.IndexOf(b));
        QCOMPARE(tree.SelectedLine(), b);
        QCOMPARE(tree.TopLevelOf(b), a);
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
        CTreeWidgetControl widget;
        for (int rebuild = 0; rebuild < 2; ++rebuild) {
            CLineTree lines;
            Diagnostic fatal;
            QVERIFY(RebuildAnalysisTree(lines, entries.GetEntryListHead(), fatal));
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
