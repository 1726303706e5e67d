// Anomalies in the desktop program: flagged lines in the detailed tree, the
// 異常 pane that lists them and leads to their lines and bytes, the saved
// and printed trees, and the rough list's count of them.
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QIcon>
#include <QTest>
#include <algorithm>

#include "app/anomaly_pane.h"
#include "app/child_frame.h"
#include "app/hex_view.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
#include "test_registry.h"

class AnomalyPaneTest : public QObject {
    Q_OBJECT
private slots:
    void flaggedLinesAndThePaneLeadToTheirBytes()
    {
        AppFixture f;
        const std::string path = f.Write("a.jpg", MakeJpeg(16, 16));
        f.OpenThroughDialog({path});
        f.App().RunDetailedAnalysis(path.c_str());
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        QVERIFY(frame);
        // A clean file: no pane, no flag.
        QVERIFY(frame->AnomalyPane()->isHidden());
        for (LineId line = 1; line <= frame->View()->Lines().Count(); ++line) {
            const QModelIndex index = frame->View()->IndexOf(line);
            QVERIFY(index.data(Qt::DecorationRole).isNull() && index.data(Qt::ToolTipRole).isNull());
        }

        AnalysisResult result;
        const LineId top = result.lines.Append(path, kTopLevel);
        const LineId segment = result.lines.Append("[00000002] APP0", top, {2, 20});
        const LineId field = result.lines.Append("[00000004] Field Length = 16 [byte]", segment, {4, 6});
        result.anomalies.push_back({4, {4, 6}, "jpeg.x", AnomalySeverity::Warning, "短すぎます", field});
        result.anomalies.push_back({4, {4, 6}, "jpeg.y", AnomalySeverity::Error, "長すぎます", field});
        result.anomalies.push_back({9, {9, 12}, "jpeg.z", AnomalySeverity::Warning, "EOIがありません", kNoLine});
        result.anomaliesDropped = 2;
        frame->ShowResult(result);
        frame->showMaximized();
        QTest::qWait(20);

        CAnomalyPane& pane = *frame->AnomalyPane();
        QVERIFY(!pane.isHidden());
        QCOMPARE(pane.topLevelItemCount(), 4);
        QCOMPARE(pane.topLevelItem(1)->text(CAnomalyPane::kColumnSeverity), QStringLiteral("エラー"));
        QCOMPARE(pane.topLevelItem(2)->text(CAnomalyPane::kColumnOffset), QStringLiteral("00000009"));
        QCOMPARE(pane.topLevelItem(2)->text(CAnomalyPane::kColumnText), QStringLiteral("EOIがありません"));
        QCOMPARE(pane.topLevelItem(3)->text(CAnomalyPane::kColumnText), QStringLiteral("ほかに2件の異常があります"));

        // Both anomalies of the field's line are in its tool tip; the line
        // above it carries no flag.
        frame->View()->SetAllExpanded(true);
        const QModelIndex flagged = frame->View()->IndexOf(field);
        QVERIFY(!flagged.data(Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(flagged.data(Qt::ToolTipRole).toString(), QStringLiteral("[警告] 短すぎます\n[エラー] 長すぎます"));
        QVERIFY(frame->View()->IndexOf(segment).data(Qt::DecorationRole).isNull());

        // A row leads to its line, and so to the line's bytes; a row about
        // the whole file to its bytes.
        // Chosen as Enter or a double click chooses it.
        const auto choose = [&pane](int row) {
            pane.setCurrentItem(pane.topLevelItem(row));
            emit pane.itemActivated(pane.topLevelItem(row), 0);
        };
        choose(1);
        QCOMPARE(frame->View()->currentIndex(), flagged);
        QCOMPARE(frame->HexView()->SelectionStart(), uint64_t{4});
        QCOMPARE(frame->HexView()->SelectionEnd(), uint64_t{6});
        choose(2);
        QCOMPARE(frame->HexView()->SelectionStart(), uint64_t{9});
        QCOMPARE(frame->HexView()->SelectionEnd(), uint64_t{12});
        // The count row leads nowhere.
        choose(3);
        QCOMPARE(frame->HexView()->SelectionStart(), uint64_t{9});

        // Saved and printed, the flagged line carries its mark and the
        // anomalies follow the tree, the count of those left out last.
        const QStringList after = {QString(), "異常", "[警告] 00000004 短すぎます", "[エラー] 00000004 長すぎます",
                                   "[警告] 00000009 EOIがありません", "ほかに2件の異常があります"};
        const QString saved = QString::fromStdString(f.Dir() + "/tree.txt");
        QVERIFY(frame->View()->SaveText(saved));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QString::fromStdString(path) + "\n  [00000002] APP0\n    ⚠ [00000004] Field Length = 16 [byte]\n" +
                     after.join(QLatin1Char('\n')) + "\n");
        QStringList printed;
        for (const auto& page : frame->View()->LayoutPages(QFontMetrics(QApplication::font()), 4000, 100000))
            for (const auto& line : page.lines)
                printed << line.second;
        QCOMPARE(printed, QStringList({QString::fromStdString(path), "[00000002] APP0",
                                       "⚠ [00000004] Field Length = 16 [byte]"}) +
                              after);
    }

    void aTruncatedFileIsFlaggedInTheListAndItsWindow()
    {
        AppFixture f;
        const QByteArray whole = MakeJpeg(64, 64);
        const std::string path = f.Write("cut.jpg", whole.left(whole.size() - 40));
        f.OpenThroughDialog({path});
        QVERIFY(AppFixture::Cell(f.List(), 0, CRoughListCtrl::kColumnAnomalies).startsWith(QStringLiteral("エラー ")));
        f.App().RunDetailedAnalysis(path.c_str());
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        QVERIFY(frame && !frame->AnomalyPane()->isHidden());
        const auto& anomalies = frame->AnomalyPane()->Anomalies();
        QVERIFY(std::any_of(anomalies.begin(), anomalies.end(),
                            [](const Anomaly& a) { return a.kind == "jpeg.missing-eoi"; }));
    }

    void theRoughListCountsErrorsAndWarnings()
    {
        AppFixture f;
        const std::string a = f.Write("a.jpg", MakeJpeg(16, 16));
        const std::string b = f.Write("b.jpg", MakeJpeg(16, 16));
        f.OpenThroughDialog({a, b});
        const Anomaly error{0, {}, "jpeg.x", AnomalySeverity::Error, "x", kNoLine};
        const Anomaly warning{0, {}, "jpeg.y", AnomalySeverity::Warning, "y", kNoLine};
        f.Frame().SetRowAnomalies(0, {error, warning, error});
        f.Frame().SetRowAnomalies(1, {warning, warning, warning});
        QCOMPARE(AppFixture::Cell(f.List(), 0, CRoughListCtrl::kColumnAnomalies), QStringLiteral("エラー 2 警告 1"));
        QCOMPARE(AppFixture::Cell(f.List(), 1, CRoughListCtrl::kColumnAnomalies), QStringLiteral("警告 3"));
        // The tip lists the anomalies themselves, the first ten of many.
        QCOMPARE(f.List().ToolTipAt(0, CRoughListCtrl::kColumnAnomalies), QStringLiteral("エラー x\n警告 y\nエラー x"));
        f.Frame().SetRowAnomalies(1, std::vector<Anomaly>(12, warning));
        QCOMPARE(f.List().ToolTipAt(1, CRoughListCtrl::kColumnAnomalies).count(QLatin1Char('\n')), 9);
        QCOMPARE(AppFixture::Cell(f.List(), 1, CRoughListCtrl::kColumnAnomalies), QStringLiteral("警告 12"));
    }
};

VANTREL_GUI_TEST(AnomalyPaneTest);

#include "anomaly_pane_test.moc"
