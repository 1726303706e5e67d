// The program as people use it: image windows that stay up under dialogs, windows that keep their state, the profile across runs, printing
// to a file, prompts, keys, search, zoom and the command line.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QFontMetrics>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/analysis_tree_bar.h"
#include "app/analysis_tree_ctrl.h"
#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
#include "image/image_buffer.h"
#include "test_registry.h"

namespace {

// A shown image window of w x h pixels in a new empty detailed window.
CImageWnd* ShowPicture(AppFixture& f, int32_t w, int32_t h)
{
    f.EmptyWindow();
    CChildFrame* frame = f.Frame().ActiveChildFrame();
    CImageWnd* window = AddPicture(*frame, w, h);
    frame->ShowImageWindows();
    return window;
}

struct WindowState {
    QMdiSubWindow* window;
    bool maximized;
    QRect geometry;
    bool operator==(const WindowState&) const = default;
};

std::vector<WindowState> MdiState(CMainFrame& frame)
{
    std::vector<WindowState> out;
    for (QMdiSubWindow* w : frame.MdiArea()->subWindowList(QMdiArea::CreationOrder))
        out.push_back({w, w->isMaximized(), w->geometry()});
    return out;
}

}  // namespace

class EverydayUseTest : public QObject {
    Q_OBJECT
private slots:
    void imageWindowsStayUpUnderDialogs()
    {
        AppFixture f;
        CImageWnd* image = ShowPicture(f, 600, 400);
        QVERIFY(image->isVisible());
        const QPoint placed = image->pos();
        // A real modal dialog takes the input; the picture, owned by the
        // main frame's window, stays where it is, below the dialog (the
        // stacking itself is checked under a window manager).
        f.App().SetModalHook(nullptr);
        bool dialogShown = false;
        bool imageShown = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialogShown = dialog && dialog->isVisible();
            imageShown = image->isVisible();
            if (auto* d = qobject_cast<QDialog*>(dialog))
                d->accept();
        });
        f.Frame().Command(kCmdAppAbout)->trigger();
        QVERIFY(dialogShown);
        QVERIFY(imageShown);
        QVERIFY(image->isVisible());
        QCOMPARE(image->pos(), placed);
    }

    void duplicateAnalysisLeavesTheWindowsAsTheyWere()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        const std::string tiff = f.Write("b.tif", MakeTiff());
        f.OpenThroughDialog({jpeg, tiff});
        f.App().RunDetailedAnalysis(jpeg.c_str());
        CChildFrame* first = f.Frame().ActiveChildFrame();
        f.App().RunDetailedAnalysis(tiff.c_str());
        f.Frame().MdiArea()->setActiveSubWindow(first);
        QVERIFY(first->isMaximized());
        const std::vector<WindowState> before = MdiState(f.Frame());
        f.App().RunDetailedAnalysis(tiff.c_str());
        QTest::qWait(0);
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(f.Frame().ActiveChildFrame(), first);
        QVERIFY(MdiState(f.Frame()) == before);
    }

    void printingToAFileProposesAWritablePlaceAndKeepsWholeLines()
    {
        const QString proposed = CVantrelView::ProposedPrintFile(QStringLiteral("/no/such/folder/photo.jpg"));
        QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("photo.pdf"));
        QVERIFY(QFileInfo(QFileInfo(proposed).path()).isWritable());
        QVERIFY(!proposed.contains(QStringLiteral("//")));

        AppFixture f;
        f.EmptyWindow();
        f.App().SetDocumentTitle(0, "/no/such/folder/photo.jpg");
        QString docName;
        QString outputFile;
        f.App().SetModalHook([&](QDialog& dialog) {
            if (auto* print = qobject_cast<QPrintDialog*>(&dialog)) {
                docName = print->printer()->docName();
                outputFile = print->printer()->outputFileName();
            }
            return int{QDialog::Rejected};
        });
        f.Frame().Command(kCmdFilePrint)->trigger();
        QCOMPARE(docName, QStringLiteral("photo.jpg"));
        QVERIFY(outputFile.isEmpty() || outputFile == proposed);

        // A line wider than the page goes on over further lines, whole.
        const QString line = QStringLiteral("[00000000] ") + QString(300, QLatin1Char('x')) +
                             QString::fromUtf8("あいう\U0001F600end");
        const QFontMetrics metrics(QApplication::font());
        const QStringList pieces = CVantrelView::WrapLine(line, metrics, 200);
        QVERIFY(pieces.size() > 1);
        QCOMPARE(pieces.join(QString()), line);
        for (const QString& piece : pieces)
            QVERIFY(metrics.horizontalAdvance(piece) <= 200 || piece.size() <= 2);
    }

    void savingAndPrintingStartBesideTheFileThenWhereTheLastWent()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        f.OpenThroughDialog({jpeg});
        f.App().RunDetailedAnalysis(jpeg.c_str());
        const QString beside = QFileInfo(QString::fromStdString(jpeg)).absolutePath();
        QTemporaryDir elsewhere;
        QStringList started;
        f.App().SetModalHook([&](QDialog& dialog) {
            if (auto* save = qobject_cast<QFileDialog*>(&dialog)) {
                started << save->directory().absolutePath();
                save->setDirectory(elsewhere.path());
                save->selectFile(QDir(elsewhere.path()).filePath(QStringLiteral("out.txt")));
                return int{QDialog::Accepted};
            }
            return int{QDialog::Rejected};
        });
        f.Frame().Command(kCmdFileSaveText)->trigger();
        QVERIFY(QFileInfo::exists(QDir(elsewhere.path()).filePath(QStringLiteral("out.txt"))));
        f.Frame().Command(kCmdFileSaveText)->trigger();
        QCOMPARE(started, QStringList({beside, elsewhere.path()}));
        // Printing to a file proposes the folder last saved to as well.
        QCOMPARE(QFileInfo(CVantrelView::ProposedPrintFile(QString::fromStdString(jpeg))).absolutePath(),
                 elsewhere.path());
    }

    void contextMenusShowTheirPrompts()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        f.OpenThroughDialog({jpeg});
        f.App().RunDetailedAnalysis(jpeg.c_str());
        QStringList prompts;
        f.App().SetPopupHook([&](QMenu& menu) -> QAction* {
            for (QAction* action : menu.actions()) {
                action->hover();
                prompts << f.Frame().StatusText();
            }
            return nullptr;
        });
        // A click in the list activates its window, so the result tree is
        // found first.
        CTreeWidgetControl* view = f.Frame().ActiveChildFrame()->View();
        AppFixture::RightClick(f.List(), 0);
        AppFixture::RightClick(f.BarTree(), AppFixture::TopLine(f.BarTree(), 0));
        AppFixture::RightClick(*view, kNoLine);
        // The result tree's separator has no prompt.
        QCOMPARE(prompts, QStringList({"詳細解析を実行します。", "エントリを削除します。", "詳細解析を実行します。",
                                       "エントリを削除します。", "画像イメージを表示します", "レディ",
                                       "選択した行をｺﾋﾟｰします", "選択した行とその下の行をすべてｺﾋﾟｰします"}));
        // Once the menu is closed no prompt stays behind: the bar shows what it
        // showed before (the values under the hex pane's cursor, or レディ).
        QVERIFY(!prompts.mid(0, 5).contains(f.Frame().StatusText()));
    }

    void dropsAreCopies()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(jpeg))});
        const QPoint at = f.Frame().rect().center();
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.Frame(), &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.Frame(), &drop);
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QCOMPARE(f.RowPaths(), std::vector<std::string>{jpeg});
    }

    void profileKeepsPlacementFoldersAndRecentFiles()
    {
        QTemporaryDir settings;
        std::string jpeg;
        {
            AppFixture f(settings.path());
            jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
            f.OpenThroughDialog({jpeg});
            f.Frame().resize(900, 600);
            f.Frame().addDockWidget(Qt::RightDockWidgetArea, &f.Bar());
            f.List().setColumnWidth(0, 321);
            f.Frame().Command(kCmdAppExit)->trigger();
        }
        AppFixture again(settings.path());
        QCOMPARE(again.Frame().size(), QSize(900, 600));
        QCOMPARE(again.Frame().dockWidgetArea(&again.Bar()), Qt::RightDockWidgetArea);
        QCOMPARE(again.List().columnWidth(0), 321);
        QCOMPARE(again.App().OpenFolder(), QFileInfo(QString::fromStdString(jpeg)).absolutePath());
        QCOMPARE(again.App().RecentFiles().Paths(), QStringList({QString::fromStdString(jpeg)}));
    }

    void commandLineFilesOpenLikeFileOpen()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        const std::string tiff = f.Write("b.tif", MakeTiff());
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(f.Dir()));
        f.App().OpenCommandLine({QStringLiteral("./a.jpg"), QUrl::fromLocalFile(QString::fromStdString(tiff)).toString()});
        QDir::setCurrent(previous);
        QCOMPARE(f.RowPaths(), (std::vector<std::string>{tiff, jpeg}));
        QCOMPARE(f.Bar().RebuildCount(), 1);
    }

    void keysAndDoubleClicksRunTheEntryCommands()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        const std::string tiff = f.Write("b.tif", MakeTiff());
        f.OpenThroughDialog({jpeg, tiff});
        f.List().setCurrentIndex(f.List().IndexOfRow(1));
        QTest::keyClick(&f.List(), Qt::Key_Return);
        QCOMPARE(f.App().DocumentTitle(0), jpeg);
        QTest::keyClick(&f.List(), Qt::Key_Menu);
        QCOMPARE(f.popupCount, 1);
        QTest::keyClick(&f.BarTree(), Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(f.popupCount, 1);   // nothing selected in the bar yet
        f.BarTree().setCurrentIndex(
            f.BarTree().IndexOf(AppFixture::ChildLine(f.BarTree(), AppFixture::TopLine(f.BarTree(), 1), 0)));
        QTest::keyClick(&f.BarTree(), Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(f.popupCount, 2);
        QCOMPARE(f.lastPopup, QStringList({"詳細解析(&A)\tEnter", "エントリ削除(&D)\tDelete"}));
        QCOMPARE(f.lastDefault, QStringLiteral("詳細解析(&A)\tEnter"));
        QTest::keyClick(&f.BarTree(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(f.App().DocumentTitle(1), tiff);
        QTest::keyClick(&f.BarTree(), Qt::Key_Delete);
        QCOMPARE(f.RowPaths(), std::vector<std::string>{jpeg});
        // A double click on a bar item analyses its file; the branch stays.
        f.App().DeleteEntry(jpeg.c_str());
        f.OpenThroughDialog({jpeg});
        const LineId top = AppFixture::TopLine(f.BarTree(), 0);
        const QPoint at = f.BarTree().visualRect(f.BarTree().IndexOf(top)).center();
        QTest::mouseClick(f.BarTree().viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(f.BarTree().viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(f.App().DocumentTitle(0), jpeg);
        QVERIFY(f.BarTree().LineExpanded(top));
    }

    void searchFindsTextInCollapsedBranches()
    {
        AppFixture f;
        f.EmptyWindow();
        CVantrelView* view = f.Frame().ActiveChildFrame()->View();
        CLineTree lines;
        lines.Append("/some/file.jpg", kTopLevel);
        const LineId soi = lines.Append("[00000000] SOI", kTopLevel);
        const LineId app0 = lines.Append("[00000002] APP0", soi);
        const LineId dqt = lines.Append("[00000014] DQT", app0);
        const LineId sos = lines.Append("[00000059] SOS", kTopLevel);
        view->ShowLines(std::move(lines));
        f.App().SetModalHook([](QDialog& dialog) {
            qobject_cast<QInputDialog*>(&dialog)->setTextValue(QStringLiteral("dqt"));
            return int{QDialog::Accepted};
        });
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(view->SelectedLine(), dqt);
        QVERIFY(view->LineExpanded(soi) && view->LineExpanded(app0));
        // F3 and Shift+F3 go on from the match, wrapping at either end.
        view->SetAllExpanded(false);
        QVERIFY(view->Search().Find(QStringLiteral("[0000005")));
        QCOMPARE(view->SelectedLine(), sos);
        QVERIFY(view->Search().Find(QStringLiteral("] s")));
        QCOMPARE(view->SelectedLine(), soi);
        QTest::keyClick(view, Qt::Key_F3);
        QCOMPARE(view->SelectedLine(), sos);
        QTest::keyClick(view, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(view->SelectedLine(), soi);
        // No match: the selection stays and the status bar says so, until
        // the next match.
        f.App().SetModalHook([](QDialog& dialog) {
            qobject_cast<QInputDialog*>(&dialog)->setTextValue(QStringLiteral("EOI"));
            return int{QDialog::Accepted};
        });
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(view->SelectedLine(), soi);
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("「EOI」は見つかりません"));
        QVERIFY(view->Search().Find(QStringLiteral("SOS")));
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("「EOI」は見つかりません"));
        QVERIFY(f.App().Search(*view, view->Search(), SearchStep::Next));
        QCOMPARE(view->SelectedLine(), sos);
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("レディ"));
    }

    void theRoughListCanBeSearchedAndCopied()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        const std::string tiff = f.Write("b.tif", MakeTiff());
        f.OpenThroughDialog({jpeg, tiff});
        f.App().SetModalHook([](QDialog& dialog) {
            qobject_cast<QInputDialog*>(&dialog)->setTextValue(QStringLiteral("jpeg"));
            return int{QDialog::Accepted};
        });
        // Any column matches: the format column here. The Edit menu's
        // commands act on the list while it is the active window.
        f.Frame().Command(kCmdEditFind)->trigger();
        QCOMPARE(f.List().SelectedRows(), std::vector<int>{1});
        f.List().setFocus();
        QTest::keyClick(&f.List(), Qt::Key_F3);
        QCOMPARE(f.List().SelectedRows(), std::vector<int>{1});
        f.Frame().Command(kCmdEditCopy)->trigger();
        QCOMPARE(QApplication::clipboard()->text(),
                 QString::fromStdString(jpeg + "\tJPEG\t" + f.List().RowText(1, CRoughListCtrl::kColumnResult) + "\n"));
        f.App().SetModalHook([](QDialog& dialog) {
            qobject_cast<QInputDialog*>(&dialog)->setTextValue(QStringLiteral("swf"));
            return int{QDialog::Accepted};
        });
        QTest::keyClick(&f.List(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("「swf」は見つかりません"));
    }

    void imageWindowsZoom()
    {
        AppFixture f;
        CImageWnd* w = ShowPicture(f, 2000, 1000);
        // Opened scaled to fit the work area.
        const double fit = w->Zoom();
        QVERIFY(fit < 1.0);
        QTest::keyClick(w, Qt::Key_1);
        QCOMPARE(w->Zoom(), 1.0);
        QCOMPARE(w->windowTitle(), QStringLiteral("picture.jpg"));
        QTest::keyClick(w, Qt::Key_Plus);
        QCOMPARE(w->Zoom(), 1.5);
        QCOMPARE(w->windowTitle(), QStringLiteral("picture.jpg (150%)"));
        QTest::keyClick(w, Qt::Key_Plus);
        QCOMPARE(w->grab().toImage().pixelColor(5, 1), QColor(2, 0, 200));
        QWheelEvent wheel(QPointF(10, 10), w->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &wheel);
        QCOMPARE(w->Zoom(), 1.5);
        // Fit: the whole picture in the window again.
        QTest::keyClick(w, Qt::Key_F);
        QCOMPARE(w->Zoom(), std::min(w->width() / 2000.0, w->height() / 1000.0));
        QCOMPARE(w->windowTitle(), QStringLiteral("picture.jpg (%1%)").arg(std::lround(w->Zoom() * 100)));
        // Zoomed in, a drag moves the view by the pointer's step over the
        // zoom, within the picture.
        w->SetZoom(2.0);
        QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(200, 100));
        QMouseEvent move(QEvent::MouseMove, QPointF(100, 0), w->mapToGlobal(QPointF(100, 0)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
        QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 0));
        QCOMPARE(w->ScrollOrigin(), QPoint(50, 50));
        // A tiny picture still gets a window wide enough for its caption.
        CImageWnd* tiny = ShowPicture(f, 3, 2);
        QVERIFY(tiny->width() >= CImageWnd::kMinClientWidth);
        QVERIFY(tiny->width() > QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(tiny->windowTitle()));
    }

    void listRowsExplainThemselves()
    {
        AppFixture f;
        QByteArray progressive = MakeJpeg(16, 16);
        progressive.replace(QByteArray("\xFF\xC0", 2), QByteArray("\xFF\xC2", 2));
        const std::string path = f.Write("progressive.jpg", progressive);
        const std::string text = f.Write("notes.txt", "plain text");
        QStringList status;
        f.App().SetMessageHook([&](const MessageBoxRequest&) {
            status << f.Frame().StatusText();
            return MessageAnswer::Ok;
        });
        f.OpenThroughDialog({path, text});
        // The message about the unsupported file names that file.
        QCOMPARE(status, QStringList({QStringLiteral("概略解析中：") + QString::fromStdString(text)}));
        QCOMPARE(f.List().textElideMode(), Qt::ElideMiddle);
        QCOMPARE(f.List().ToolTipAt(0, CRoughListCtrl::kColumnFile), QString::fromStdString(path));
        // Every frame kind has its summary.
        QCOMPARE(f.List().ToolTipAt(0, CRoughListCtrl::kColumnResult),
                 QStringLiteral("[画像サイズ]   16 x    16 [クロマフォーマット]4:2:0 "));
        // A file without a frame says why its row is empty.
        const std::string frameless = f.Write("frameless.jpg", QByteArray("\xFF\xD8\xFF\xD9", 4));
        f.OpenThroughDialog({frameless});
        QCOMPARE(f.List().ToolTipAt(0, CRoughListCtrl::kColumnResult), QStringLiteral("ﾍｯﾀﾞｰに画像ｻｲｽﾞが見つかりません"));
    }
};

VANTREL_GUI_TEST(EverydayUseTest);

#include "everyday_use_test.moc"
