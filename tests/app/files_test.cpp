// Opening, dropping, deleting and analysing files through the windows.
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPdfWriter>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <QUrl>

#include "app/analysis_tree_bar.h"
#include "app/analysis_tree_ctrl.h"
#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/roughly_analysis.h"
#include "app/vantrel_doc.h"
#include "app/vantrel_view.h"
#include "core/file_text.h"
#include "app_fixture.h"
#include "test_registry.h"

namespace {

QString Text(const MessageBoxRequest& m)
{
    return QString::fromStdString(m.text);
}

// Three files, one of each format.
struct ThreeFiles {
    explicit ThreeFiles(AppFixture& f)
        : jpeg(f.Write("a.jpg", MakeJpeg(40, 30))), tiff(f.Write("b.tif", MakeTiff())),
          swf(f.Write("c.swf", MakeSwf()))
    {
    }
    std::string jpeg, tiff, swf;
};

void SelectRows(CRoughListCtrl& list, std::initializer_list<int> rows)
{
    list.clearSelection();
    for (int row : rows)
        list.SelectRow(row, true);
}

void SelectBarLine(CAnalysisTreeCtrl& tree, LineId line)
{
    tree.setCurrentIndex(tree.IndexOf(line));
}

// The line reached from the bar's top-level line top through the first
// child at each step, depth steps down.
LineId FirstDescendant(const CAnalysisTreeCtrl& tree, int top, int depth)
{
    LineId line = AppFixture::TopLine(tree, top);
    for (int i = 0; i < depth; ++i)
        line = AppFixture::ChildLine(tree, line, 0);
    return line;
}

}  // namespace

class FilesTest : public QObject {
    Q_OBJECT
private slots:
    void openingThreeFilesGivesThreeRowsNewestOnTop()
    {
        AppFixture f;
        ThreeFiles files(f);
        f.OpenThroughDialog({files.jpeg, files.tiff, files.swf});
        QVERIFY(f.messages.empty());
        QCOMPARE(f.RowPaths(), (std::vector<std::string>{files.swf, files.tiff, files.jpeg}));
        QCOMPARE(f.List().RowText(0, CRoughListCtrl::kColumnFormat), std::string("SWF"));
        QCOMPARE(f.List().RowText(1, CRoughListCtrl::kColumnFormat), std::string("TIFF"));
        QCOMPARE(f.List().RowText(2, CRoughListCtrl::kColumnFormat), std::string("JPEG"));
        // One rebuild for the batch; the bar lists the files in opening order.
        QCOMPARE(f.Bar().RebuildCount(), 1);
        QCOMPARE(AppFixture::TopLevelTexts(f.BarTree()),
                 (std::vector<std::string>{files.jpeg, files.tiff, files.swf}));
        // Every item with children is expanded.
        for (LineId top = AppFixture::TopLine(f.BarTree(), 0); top != kNoLine;
             top = f.BarTree().Lines().NextSibling(top))
            QVERIFY(f.BarTree().Lines().FirstChild(top) == kNoLine || f.BarTree().LineExpanded(top));
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("レディ"));

        // A cancelled dialog changes nothing, not even the bar.
        f.OpenThroughDialog({});
        QCOMPARE(f.Bar().RebuildCount(), 1);
        QCOMPARE(f.List().RowCount(), 3);
    }

    void duplicateUnsupportedAndUnreadableFiles()
    {
        AppFixture f;
        ThreeFiles files(f);
        const std::string text = f.Write("notes.txt", "plain text");
        const std::string eoi = f.Write("eoi.jpg", QByteArray("\xFF\xD9\x00\x00", 4));
        const std::string missing = f.Dir() + "/missing.jpg";
        f.OpenThroughDialog({files.jpeg});
        // A detailed window in front hides the list.
        f.EmptyWindow();
        f.OpenThroughDialog({text, files.jpeg, missing, eoi, files.tiff});
        QCOMPARE(f.messages.size(), size_t{4});
        QCOMPARE(Text(f.messages[0]), QStringLiteral("未対応の形式です。\n") + QString::fromStdString(text));
        QCOMPARE(Text(f.messages[1]),
                 QStringLiteral("ファイル：%1\nはすでに開かれています").arg(QString::fromStdString(files.jpeg)));
        QCOMPARE(QString::fromStdString(f.messages[1].caption), QStringLiteral("ファイルオープンエラー"));
        QCOMPARE(f.messages[1].owner, MessageOwner::None);
        QCOMPARE(Text(f.messages[2]), QStringLiteral("未対応の形式です。\n") + QString::fromStdString(eoi));
        // The file that cannot be read is named at the end of the batch.
        QCOMPARE(Text(f.messages[3]),
                 QStringLiteral("ファイルを開けません\n%1\nエラー番号：SA00000001").arg(QString::fromStdString(missing)));
        // The others are opened: the TIFF file on top, the JPEG file once.
        QCOMPARE(f.RowPaths(), (std::vector<std::string>{files.tiff, files.jpeg}));
        QCOMPARE(f.Bar().RebuildCount(), 2);
        // The list comes forward with the row of the file that was open
        // already selected.
        QCOMPARE(f.Frame().MdiArea()->activeSubWindow(), f.Frame().RoughWindow());
        QCOMPARE(f.List().SelectedRows(), std::vector<int>{1});
        QCOMPARE(f.List().currentIndex().row(), f.List().IndexOfRow(1).row());
    }

    void droppedFilesOpenLikeTheDialogWithTheFrameAsOwner()
    {
        AppFixture f;
        ThreeFiles files(f);
        f.OpenThroughDialog({files.jpeg});
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(files.tiff)),
                      QUrl::fromLocalFile(QString::fromStdString(files.jpeg))});
        const QPoint at = f.Frame().rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.Frame(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.Frame(), &drop);
        QCOMPARE(f.RowPaths(), (std::vector<std::string>{files.tiff, files.jpeg}));
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(f.messages[0].owner, MessageOwner::MainFrame);
        QCOMPARE(f.Bar().RebuildCount(), 2);
    }

    void listContextMenuOnlyWithASelectedRow()
    {
        AppFixture f;
        ThreeFiles files(f);
        f.OpenThroughDialog({files.jpeg, files.tiff});
        // Empty space under the rows: nothing selected, no menu.
        f.List().clearSelection();
        AppFixture::RightClick(f.List(), -1);
        QCOMPARE(f.popupCount, 0);
        // The row under the pointer is selected before the menu opens.
        SelectRows(f.List(), {1});
        AppFixture::RightClick(f.List(), 0);
        QCOMPARE(f.popupCount, 1);
        QCOMPARE(f.List().SelectedRows(), std::vector<int>{0});
        QCOMPARE(f.lastPopup, QStringList({"詳細解析(&A)\tEnter", "エントリ削除(&D)\tDelete"}));
        QCOMPARE(f.lastDefault, QStringLiteral("詳細解析(&A)\tEnter"));
        // A click inside a multiple selection keeps it.
        SelectRows(f.List(), {0, 1});
        AppFixture::RightClick(f.List(), 1);
        QCOMPARE(f.List().SelectedRows(), (std::vector<int>{0, 1}));
        QVERIFY(f.messages.empty());
    }

    void deletingSeveralRowsAsksOnce()
    {
        AppFixture f;
        ThreeFiles files(f);
        f.OpenThroughDialog({files.jpeg, files.tiff, files.swf});
        // Rows from the top: swf, tiff, jpeg. Select swf and jpeg: one
        // question for both; declined, nothing goes.
        SelectRows(f.List(), {0, 2});
        f.answers = {MessageAnswer::Cancel};
        f.choose = QStringLiteral("エントリ削除(&D)\tDelete");
        AppFixture::RightClick(f.List(), 2);
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(Text(f.messages[0]), QStringLiteral("選択した2個のファイルを表示から削除します。"));
        QCOMPARE(f.messages[0].buttons, MessageButtons::OkCancel);
        QCOMPARE(f.messages[0].owner, MessageOwner::RoughList);
        QCOMPARE(QString::fromStdString(f.messages[0].caption), QStringLiteral("Vantrel"));
        QCOMPARE(f.List().RowCount(), 3);
        QCOMPARE(f.List().SelectedRows(), (std::vector<int>{0, 2}));

        // Confirmed: both go together, the bar rebuilt once; the columns
        // keep the widths the user gave them.
        f.messages.clear();
        f.List().setColumnWidth(CRoughListCtrl::kColumnResult, 333);
        QTest::keyClick(&f.List(), Qt::Key_Delete);
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(f.RowPaths(), std::vector<std::string>{files.tiff});
        QCOMPARE(f.List().columnWidth(CRoughListCtrl::kColumnResult), 333);
        QCOMPARE(AppFixture::TopLevelTexts(f.BarTree()), std::vector<std::string>{files.tiff});
        QCOMPARE(f.Bar().RebuildCount(), 2);

        // One row: the question names its file.
        f.messages.clear();
        SelectRows(f.List(), {0});
        f.List().OnEntryDelete();
        QCOMPARE(Text(f.messages.at(0)),
                 QStringLiteral("ファイル：%1\nを表示から削除します。").arg(QString::fromStdString(files.tiff)));
        QCOMPARE(f.List().RowCount(), 0);
        QCOMPARE(f.BarTree().model()->rowCount(), 0);

        // A deleted file can be opened again.
        f.OpenThroughDialog({files.jpeg});
        QCOMPARE(f.RowPaths(), std::vector<std::string>{files.jpeg});
    }

    void detailedAnalysisOpensOneWindowPerFile()
    {
        AppFixture f;
        ThreeFiles files(f);
        f.OpenThroughDialog({files.jpeg, files.tiff});
        // The selected row's file (the TIFF file) is analysed.
        SelectRows(f.List(), {0});
        f.choose = QStringLiteral("詳細解析(&A)\tEnter");
        AppFixture::RightClick(f.List(), 0);
        QCOMPARE(f.ChildFrames().size(), size_t{1});
        CChildFrame* frame = f.ChildFrames()[0];
        QCOMPARE(frame->windowTitle(), QString::fromStdString(files.tiff));
        QCOMPARE(f.Frame().ActiveChildFrame(), frame);
        QCOMPARE(f.Frame().CurrentMenu(), int{kIdrDocument});
        CVantrelView* view = frame->View();
        QVERIFY(view->model()->rowCount() >= 1);
        QCOMPARE(AppFixture::TopLevelTexts(*view).at(0), files.tiff);
        // Top-level lines have a branch column too, for their boxes.
        QCOMPARE(view->BranchWidth(view->Lines().First()), view->indentation());
        QCOMPARE(f.App().DocumentCount(), size_t{1});
        QCOMPARE(f.App().DocumentTitle(0), files.tiff);

        // A second request keeps exactly one window, after the message.
        f.App().RunDetailedAnalysis(files.tiff.c_str());
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(Text(f.messages[0]),
                 QStringLiteral("すでに詳細解析済みのファイルです\n") + QString::fromStdString(files.tiff));
        QCOMPARE(f.messages[0].owner, MessageOwner::Application);
        QCOMPARE(f.ChildFrames().size(), size_t{1});
        QCOMPARE(f.App().DocumentCount(), size_t{1});

        // Another file gets a window of its own; the active one takes the lines.
        f.App().RunDetailedAnalysis(files.jpeg.c_str());
        QCOMPARE(f.ChildFrames().size(), size_t{2});
        QCOMPARE(AppFixture::TopLevelTexts(*f.Frame().ActiveChildFrame()->View()).at(0), files.jpeg);

        // Closing a window removes its document; the file can be analysed anew.
        f.ChildFrames()[0]->close();
        QTest::qWait(0);
        QCOMPARE(f.App().DocumentCount(), size_t{1});
        QCOMPARE(f.App().DocumentTitle(0), files.jpeg);
        f.App().RunDetailedAnalysis(files.tiff.c_str());
        QCOMPARE(f.ChildFrames().size(), size_t{2});
        QCOMPARE(f.messages.size(), size_t{1});
    }

    void enterAnalysesEverySelectedFileAskingFirstForMany()
    {
        AppFixture f;
        ThreeFiles files(f);
        std::vector<std::string> paths{files.jpeg, files.tiff, files.swf};
        for (size_t i = paths.size(); i <= CVantrelApp::kAskBeforeAnalysing; ++i)
            paths.push_back(f.Write(QStringLiteral("more%1.jpg").arg(i).toStdString(), MakeJpeg(8 + int(i), 8)));
        f.OpenThroughDialog(paths);
        const int rows = f.List().RowCount();
        QCOMPARE(size_t(rows), CVantrelApp::kAskBeforeAnalysing + 1);
        // Two rows: a window each, in the list's order, without a question.
        SelectRows(f.List(), {rows - 1, rows - 3});
        QTest::keyClick(&f.List(), Qt::Key_Return);
        QVERIFY(f.messages.empty());
        QCOMPARE(f.ChildFrames().size(), size_t{2});
        QCOMPARE(f.App().DocumentTitle(0), files.swf);
        QCOMPARE(f.App().DocumentTitle(1), files.jpeg);

        // All rows: one question first; declined, nothing more opens.
        f.List().setFocus();
        f.List().selectAll();
        f.answers = {MessageAnswer::Cancel};
        QTest::keyClick(&f.List(), Qt::Key_Return);
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(Text(f.messages[0]), QStringLiteral("選択した%1個のファイルを詳細解析します。").arg(rows));
        QCOMPARE(f.messages[0].buttons, MessageButtons::OkCancel);
        QCOMPARE(f.messages[0].owner, MessageOwner::RoughList);
        QCOMPARE(f.ChildFrames().size(), size_t{2});
        // Confirmed: every file gets its window, and those that had one
        // keep it without a message of their own.
        f.messages.clear();
        f.answers = {MessageAnswer::Ok};
        QTest::keyClick(&f.List(), Qt::Key_Return);
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(f.ChildFrames().size(), size_t(rows));
        QCOMPARE(f.App().DocumentTitle(2), f.List().RowPath(0));
    }

    void detailedAnalysisAfterAnEmptyDefaultWindow()
    {
        AppFixture f;
        ThreeFiles files(f);
        f.OpenThroughDialog({files.jpeg});
        f.EmptyWindow();
        f.App().RunDetailedAnalysis(files.jpeg.c_str());
        // The window that holds the lines carries the path; the empty one
        // keeps its "Default" title.
        CChildFrame* active = f.Frame().ActiveChildFrame();
        QCOMPARE(active->windowTitle(), QString::fromStdString(files.jpeg));
        QCOMPARE(AppFixture::TopLevelTexts(*active->View()).at(0), files.jpeg);
        QCOMPARE(f.ChildFrames()[0]->windowTitle(), QStringLiteral("Default"));
        QCOMPARE(f.ChildFrames()[0]->View()->model()->rowCount(), 0);
    }

    void deletingAFileClosesItsWindowAndBranchOnly()
    {
        AppFixture f;
        ThreeFiles files(f);
        // Each file registered with a row and rough lines of its own, as the
        // opening procedure and an analyzer leave them (the lines are made up
        // here, so that they do not depend on what the analyzers write).
        const auto openWithLines = [&f](const std::string& path, const char* tag) {
            f.App().Entries().AddEntry(0, path.c_str());
            f.Frame().SetFormatText(f.Frame().InsertFileRow(path.c_str()), "JPEG");
            f.App().Entries().AddEntry(1, (std::string(tag) + " header").c_str());
            f.App().Entries().AddEntry(2, (std::string(tag) + " field").c_str());
            f.App().Entries().AddEntry(3, (std::string(tag) + " value").c_str());
            f.App().Entries().AddEntry(1, (std::string(tag) + " trailer").c_str());
        };
        openWithLines(files.jpeg, "J");
        openWithLines(files.tiff, "T");
        openWithLines(files.swf, "S");
        f.App().RebuildTree(f.App().Entries().GetEntryListHead());
        QCOMPARE(f.BarText(), files.jpeg + "\n  J header\n    J field\n      J value\n  J trailer\n" + files.tiff +
                                  "\n  T header\n    T field\n      T value\n  T trailer\n" + files.swf +
                                  "\n  S header\n    S field\n      S value\n  S trailer\n");
        QVERIFY(f.BarTree().LineExpanded(FirstDescendant(f.BarTree(), 1, 2)));
        f.App().RunDetailedAnalysis(files.jpeg.c_str());
        f.App().RunDetailedAnalysis(files.tiff.c_str());
        QCOMPARE(f.ChildFrames().size(), size_t{2});

        // From the deepest item of the TIFF branch, which the click selects.
        const LineId deepest = FirstDescendant(f.BarTree(), 1, 3);
        SelectBarLine(f.BarTree(), AppFixture::TopLine(f.BarTree(), 0));
        f.choose = QStringLiteral("エントリ削除(&D)\tDelete");
        AppFixture::RightClick(f.BarTree(), deepest);
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(Text(f.messages[0]),
                 QStringLiteral("ファイル：%1\nを表示から削除します。").arg(QString::fromStdString(files.tiff)));
        QCOMPARE(f.messages[0].owner, MessageOwner::TreeBarTree);
        QCOMPARE(f.RowPaths(), (std::vector<std::string>{files.swf, files.jpeg}));
        QCOMPARE(f.BarText(), files.jpeg + "\n  J header\n    J field\n      J value\n  J trailer\n" + files.swf +
                                  "\n  S header\n    S field\n      S value\n  S trailer\n");
        QCOMPARE(f.ChildFrames().size(), size_t{1});
        QCOMPARE(f.ChildFrames()[0]->windowTitle(), QString::fromStdString(files.jpeg));
        QCOMPARE(f.App().DocumentCount(), size_t{1});

        // Declining leaves everything in place.
        SelectBarLine(f.BarTree(), AppFixture::TopLine(f.BarTree(), 0));
        f.answers = {MessageAnswer::Cancel};
        f.BarTree().OnEntryDelete();
        QCOMPARE(f.List().RowCount(), 2);
        QCOMPARE(f.ChildFrames().size(), size_t{1});
    }

    void barContextMenuAndDetailedAnalysis()
    {
        AppFixture f;
        ThreeFiles files(f);
        f.OpenThroughDialog({files.jpeg, files.swf});
        f.BarTree().clearSelection();
        f.BarTree().setCurrentIndex(QModelIndex());
        AppFixture::RightClick(f.BarTree(), kNoLine);
        QCOMPARE(f.popupCount, 0);

        LineId deepest = AppFixture::TopLine(f.BarTree(), 1);
        while (f.BarTree().Lines().FirstChild(deepest) != kNoLine)
            deepest = f.BarTree().Lines().FirstChild(deepest);
        SelectBarLine(f.BarTree(), AppFixture::TopLine(f.BarTree(), 0));
        f.choose = QStringLiteral("詳細解析(&A)\tEnter");
        // The clicked line is selected first: its file is analysed.
        AppFixture::RightClick(f.BarTree(), deepest);
        QCOMPARE(f.popupCount, 1);
        QCOMPARE(f.lastPopup, QStringList({"詳細解析(&A)\tEnter", "エントリ削除(&D)\tDelete"}));
        QCOMPARE(f.ChildFrames().size(), size_t{1});
        QCOMPARE(f.ChildFrames()[0]->windowTitle(), QString::fromStdString(files.swf));
    }

    void deletingAnUnknownFileEndsTheProgram()
    {
        AppFixture f;
        bool ended = false;
        try {
            f.App().DeleteEntry("/no/such/file");
        } catch (const AppExit& e) {
            ended = e.code == 0;
        }
        QVERIFY(ended);
        QCOMPARE(Text(f.messages.at(0)), QStringLiteral("ファイルを削除できません\nエラー番号：SA00000002"));
    }

    void pathsThatAreNotUtf8KeepTheirBytes()
    {
        AppFixture f;
        const std::string path = f.Write(std::string("b\xE9t\xE9.jpg"), MakeJpeg(8, 8));
        f.OpenThroughDialog({path});
        QCOMPARE(f.RowPaths(), std::vector<std::string>{path});
        QCOMPARE(AppFixture::TopLevelTexts(f.BarTree()), std::vector<std::string>{path});
        f.App().RunDetailedAnalysis(path.c_str());
        QCOMPARE(f.App().DocumentTitle(0), path);
        SelectRows(f.List(), {0});
        f.List().OnEntryDelete();
        QCOMPARE(f.List().RowCount(), 0);
        QCOMPARE(f.ChildFrames().size(), size_t{0});
    }

    void analysesShowABusyCursorAndNameTheFile()
    {
        AppFixture f;
        ThreeFiles files(f);
        const std::string text = f.Write("notes.txt", "plain text");
        QStringList status;
        QList<bool> busy;
        f.App().SetMessageHook([&](const MessageBoxRequest&) {
            status << f.Frame().StatusText();
            busy << (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
            return MessageAnswer::Ok;
        });
        // The duplicate is reported right after the first copy's analysis.
        f.OpenThroughDialog({files.jpeg, files.jpeg});
        f.App().RunDetailedAnalysis(text.c_str());
        QCOMPARE(status, QStringList({QStringLiteral("概略解析中：") + QString::fromStdString(files.jpeg),
                                      QStringLiteral("詳細解析中：") + QString::fromStdString(text)}));
        QCOMPARE(busy, QList<bool>({true, true}));
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("レディ"));
        // The unsupported file's window stays, titled with the path, empty.
        QCOMPARE(f.App().DocumentTitle(0), text);
        QCOMPARE(f.ChildFrames().at(0)->View()->model()->rowCount(), 0);
    }

    void printingPutsTheShownLinesOnPages()
    {
        AppFixture f;
        QAction* print = f.Frame().Command(kCmdFilePrint);
        QVERIFY(!print->isEnabled());
        // An empty window filled here, so that the page count does not
        // depend on what an analyzer writes.
        f.EmptyWindow();
        QVERIFY(print->isEnabled());
        CVantrelView* view = f.Frame().ActiveChildFrame()->View();
        CLineTree lines;
        lines.Append("/some/file.jpg", kTopLevel);
        view->ShowLines(std::move(lines));

        f.App().SetDocumentTitle(0, "/some/file.jpg");

        const QString pdf = QString::fromStdString(f.Dir() + "/tree.pdf");
        QMarginsF margins;
        const auto pages = [&] {
            QPdfWriter writer(pdf);
            writer.setPageMargins(QMarginsF(5, 30, 10, 2), QPageLayout::Millimeter);
            const int count = view->PrintPages(writer);
            margins = writer.pageLayout().margins(QPageLayout::Millimeter);
            return count;
        };
        QCOMPARE(pages(), 1);
        QVERIFY(QFileInfo(pdf).size() > 0);
        // Margins narrower than 15 mm are widened; wider ones stay.
        QCOMPARE(margins, QMarginsF(15, 30, 15, 15));
        // Enough lines for several pages; collapsed branches are not printed.
        CLineTree longer;
        longer.Append("/some/file.jpg", kTopLevel);
        const LineId branch = longer.Append("[00000000] branch", kTopLevel);
        for (int i = 0; i < 300; ++i)
            longer.Append(QStringLiteral("[%1] line").arg(i).toStdString(), branch);
        longer.Expand(branch);
        view->ShowLines(std::move(longer));
        const int expanded = pages();
        QVERIFY(expanded >= 3);
        view->SetLineExpanded(branch, false);
        QCOMPARE(pages(), 1);

        // Every page is headed by the file's name and numbered at its foot;
        // together the pages hold every shown line once, in order.
        view->SetLineExpanded(branch, true);
        const QFontMetrics metrics(QApplication::font());
        const auto laid = view->LayoutPages(metrics, 400, metrics.lineSpacing() * 50);
        QCOMPARE(laid.size(), size_t{7});
        int line = -2;
        for (size_t i = 0; i < laid.size(); ++i) {
            QCOMPARE(laid[i].header, QStringLiteral("file.jpg"));
            QCOMPARE(laid[i].footer, QStringLiteral("%1 / 7").arg(i + 1));
            QVERIFY(laid[i].lines.size() <= 50);
            for (const auto& [x, text] : laid[i].lines) {
                if (line >= 0)
                    QCOMPARE(text, QStringLiteral("[%1] line").arg(line));
                ++line;
            }
        }
        QCOMPARE(line, 300);

        // The command asks for a printer first; a cancelled dialog prints nothing.
        int dialogs = 0;
        f.App().SetModalHook([&dialogs](QDialog&) {
            ++dialogs;
            return int{QDialog::Rejected};
        });
        print->trigger();
        QCOMPARE(dialogs, 1);
        f.Frame().MdiArea()->setActiveSubWindow(f.Frame().RoughWindow());
        QVERIFY(!print->isEnabled());
    }

    void resultColumnKeepsAtMost511Bytes()
    {
        // Bytes as code page 932 holds the text: a full-width character is 2.
        AppFixture f;
        const int row = f.List().InsertFileRow("/x.jpg");
        f.List().AppendResultText(row, "[画像サイズ]");
        for (int i = 0; i < 5; ++i)
            f.List().AppendResultText(row, "あいうえおかきくけこ");
        f.List().AppendResultText(row, std::string(200, 'a').c_str());
        // 312 bytes so far: of 150 characters only 99 fit whole.
        std::string kana;
        for (int i = 0; i < 150; ++i)
            kana += "あ";
        f.List().AppendResultText(row, kana.c_str());
        const std::string cell = f.List().RowText(row, CRoughListCtrl::kColumnResult);
        QCOMPARE(Cp932Length(cell.data(), cell.size()), size_t{510});
        QVERIFY(!QString::fromUtf8(cell.c_str()).contains(QChar::ReplacementCharacter));
        QCOMPARE(AppFixture::Cell(f.List(), row, CRoughListCtrl::kColumnResult), QString::fromUtf8(cell.c_str()));
        f.List().AppendResultText(row, "あ");
        QCOMPARE(f.List().RowText(row, CRoughListCtrl::kColumnResult), cell);
        f.List().AppendResultText(row, "abc");
        QCOMPARE(f.List().RowText(row, CRoughListCtrl::kColumnResult), cell + "a");
    }
};

VANTREL_GUI_TEST(FilesTest);

#include "files_test.moc"
