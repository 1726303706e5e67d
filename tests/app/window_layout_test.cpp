// Where the windows open and how they share the work area: the detailed
// windows' panes, the pictures beside the list, the list's columns.
#include <QApplication>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QTest>

#include "app/child_frame.h"
#include "app/hex_view.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/path_delegate.h"
#include "app/rough_list_ctrl.h"
#include "app/roughly_analysis.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
#include "test_registry.h"

namespace {

// The tree's and the hex pane's share of a detailed window, as laid out.
QString PaneWidths(CChildFrame& frame)
{
    auto* splitter = qobject_cast<QSplitter*>(frame.widget());
    if (!splitter)
        return QStringLiteral("no splitter");
    const QWidget* tree = splitter->widget(0);
    const CHexView* hex = frame.HexView();
    return QStringLiteral("window %1, tree %2, hex %3 of %4")
        .arg(splitter->width())
        .arg(tree->width())
        .arg(hex->width())
        .arg(hex->FullWidth());
}

// The tree has at least half the window's width, and the hex pane all its
// columns wherever the window itself is wide enough for them.
bool PanesShareWell(CChildFrame& frame)
{
    auto* splitter = qobject_cast<QSplitter*>(frame.widget());
    const CHexView* hex = frame.HexView();
    return splitter && 2 * splitter->widget(0)->width() >= splitter->width() - splitter->handleWidth() &&
           (hex->width() >= hex->FullWidth() || splitter->width() < hex->FullWidth());
}

void Settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void detailedWindowsGiveTheTreeHalfAndTheHexPaneItsColumns()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        const std::string tiff = f.Write("b.tif", MakeTiff());
        f.OpenThroughDialog({jpeg, tiff});
        f.App().RunDetailedAnalysis(jpeg.c_str());
        CChildFrame* first = f.Frame().ActiveChildFrame();
        QVERIFY(first);
        // A small main frame, a large one, and windows tiled in either.
        for (QSize size : {QSize(1024, 700), QSize(1600, 1000), QSize(2400, 1000)}) {
            f.Frame().resize(size);
            Settle();
            QVERIFY2(PanesShareWell(*first), qPrintable(PaneWidths(*first)));
        }
        f.App().RunDetailedAnalysis(tiff.c_str());
        CChildFrame* second = f.Frame().ActiveChildFrame();
        for (QSize size : {QSize(1024, 700), QSize(2400, 1000)}) {
            f.Frame().resize(size);
            f.Frame().OnWindowTileHorz();
            Settle();
            for (CChildFrame* frame : {first, second}) {
                QVERIFY2(PanesShareWell(*frame), qPrintable(PaneWidths(*frame)));
            }
        }
    }

    void picturesOpenClearOfTheListsRows()
    {
        AppFixture f;
        std::vector<std::string> paths;
        for (int i = 0; i < 6; ++i)
            paths.push_back(f.Write(QStringLiteral("p%1.jpg").arg(i).toStdString(), MakeJpeg(16 + i, 16)));
        f.OpenThroughDialog(paths);
        CRoughListCtrl& list = f.List();
        // A large and a small picture besides the file's own, shown from the
        // result tree's menu.
        const auto showPictures = [&f](CChildFrame& frame) {
            AddPicture(frame, 3000, 2000);
            AddPicture(frame, 300, 200);
            f.choose = QStringLiteral("イメージ表示(&V)");
            AppFixture::RightClick(*frame.View(), kNoLine);
        };
        const auto checkClear = [&f, &list](CChildFrame& frame) {
            const QRect viewport(list.viewport()->mapToGlobal(QPoint(0, 0)), list.viewport()->size());
            QCOMPARE(frame.ImageWindows().size(), size_t{3});
            for (const auto& window : frame.ImageWindows()) {
                QVERIFY(window->isVisible());
                QVERIFY(f.Frame().WorkArea().contains(window->frameGeometry()));
                for (int row = 0; row < list.RowCount(); ++row) {
                    const QRect cell = list.visualRect(list.IndexOfRow(row));
                    const QPoint left = list.viewport()->mapToGlobal(QPoint(0, cell.top()));
                    const QRect shown = QRect(left, QSize(viewport.width(), cell.height())) & viewport;
                    QVERIFY2(!window->frameGeometry().intersects(shown),
                             qPrintable(QStringLiteral("row %1").arg(row)));
                }
            }
        };
        // The list maximized behind the detailed window: the pictures stay
        // below its rows, for when it comes forward again.
        f.App().RunDetailedAnalysis(paths[0].c_str());
        CChildFrame* first = f.Frame().ActiveChildFrame();
        showPictures(*first);
        f.Frame().MdiArea()->setActiveSubWindow(f.Frame().RoughWindow());
        checkClear(*first);
        // Tiled beside the list, whose rows now fill its window.
        std::vector<std::string> more;
        for (int i = 0; i < 40; ++i)
            more.push_back(f.Write(QStringLiteral("q%1.jpg").arg(i).toStdString(), MakeJpeg(16, 16 + i)));
        f.OpenThroughDialog(more);
        f.App().RunDetailedAnalysis(paths[1].c_str());
        CChildFrame* second = f.Frame().ActiveChildFrame();
        QVERIFY(second && second != first);
        f.Frame().OnWindowTileHorz();
        Settle();
        showPictures(*second);
        checkClear(*second);
    }

    void longPathsLoseTheirFolderMiddleAndThePathColumnTakesTheSpareWidth()
    {
        const QFontMetrics metrics(QApplication::font());
        const QString name = QStringLiteral("DSC_0042.jpg");
        const QString path = QStringLiteral("/home/someone/pictures/2024/holiday/") + QString(40, QLatin1Char('x')) +
                             QLatin1Char('/') + name;
        struct Case {
            int width;
            bool nameWhole;
        };
        const int nameWidth = metrics.horizontalAdvance(QLatin1Char('/') + name);
        for (const Case c : {Case{metrics.horizontalAdvance(path), true}, Case{nameWidth + 80, true},
                             Case{nameWidth / 2, false}}) {
            const QString shown = CPathDelegate::ElidePath(path, metrics, c.width);
            QVERIFY2(metrics.horizontalAdvance(shown) <= c.width, qPrintable(shown));
            QCOMPARE(shown.endsWith(QLatin1Char('/') + name), c.nameWhole);
            if (shown != path) {
                QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
                QVERIFY2(shown.startsWith(QLatin1Char('/')), qPrintable(shown));
            }
        }

        AppFixture f;
        f.OpenThroughDialog({f.Write("a.jpg", MakeJpeg(16, 16))});
        CRoughListCtrl& list = f.List();
        QVERIFY(qobject_cast<CPathDelegate*>(list.itemDelegateForColumn(CRoughListCtrl::kColumnFile)));
        const auto columnsWidth = [&list] {
            int sum = 0;
            for (int i = 0; i < list.model()->columnCount(); ++i)
                sum += list.columnWidth(i);
            return sum;
        };
        const int own = list.columnWidth(CRoughListCtrl::kColumnFile);
        // A wide window: the path column reaches the list's right edge; the
        // profile keeps its own width.
        f.Frame().resize(2400, 900);
        Settle();
        QVERIFY(list.columnWidth(CRoughListCtrl::kColumnFile) > own);
        QCOMPARE(columnsWidth(), list.viewport()->width());
        QCOMPARE(list.KeptColumnWidth(CRoughListCtrl::kColumnFile), own);
        // Narrow again: the spare width goes back.
        f.Frame().resize(1024, 700);
        Settle();
        QCOMPARE(list.columnWidth(CRoughListCtrl::kColumnFile), own);
    }
};

VANTREL_GUI_TEST(WindowLayoutTest);

#include "window_layout_test.moc"
