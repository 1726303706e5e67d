// Start-up, the main frame's menus, bars and commands, the rough-analysis
// window's fixed parts, and the profile.
#include <QAction>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "app/about_box.h"
#include "app/analysis_tree_bar.h"
#include "app/analysis_tree_ctrl.h"
#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/help_guide.h"
#include "app/image_wnd.h"
#include "app/vantrel_view.h"
#include "app/main_frame.h"
#include "app/recent_file_list.h"
#include "app/rough_list_ctrl.h"
#include "app/roughly_analysis.h"
#include "app_fixture.h"
#include "test_registry.h"

namespace {

// The menu bar as text: top-level items, their items indented, separators as
// "---" and each command's id in brackets; disabled commands are marked.
QString MenuText(const QList<QAction*>& actions, int depth = 0)
{
    QString text;
    for (QAction* action : actions) {
        text += QString(depth * 2, QLatin1Char(' '));
        if (action->isSeparator()) {
            text += QStringLiteral("---\n");
            continue;
        }
        text += action->text();
        if (!action->menu())
            text += QStringLiteral(" [%1]%2").arg(ActionCommand(action)).arg(action->isEnabled() ? "" : " off");
        text += QLatin1Char('\n');
        if (action->menu())
            text += MenuText(action->menu()->actions(), depth + 1);
    }
    return text;
}

// The Edit and View menus as both menu bars begin them.
#define VANTREL_EDIT_MENU_TEXT                                  \
    "編集(&E)\n"                                               \
    "  ｺﾋﾟｰ(&C)\tCtrl+C [57634]\n"                             \
    "  下の行を含めてｺﾋﾟｰ(&B)\tCtrl+Shift+C [32778]\n"         \
    "  ---\n"                                                  \
    "  検索(&F)...\tCtrl+F [57636]\n"                          \
    "  次を検索(&N)\tF3 [57640]\n"                             \
    "  前を検索(&V)\tShift+F3 [32779]\n"
#define VANTREL_VIEW_MENU_TEXT                                  \
    "表示(&V)\n"                                               \
    "  ﾂｰﾙ ﾊﾞｰ(&T) [59392]\n"                                  \
    "  ｽﾃｰﾀｽ ﾊﾞｰ(&S) [59393]\n"                                \
    "  ---\n"                                                  \
    "  解析ﾂﾘｰ(&A) [59394]\n"

// The Help menu both menu bars end with.
#define VANTREL_HELP_MENU_TEXT                                  \
    "ﾍﾙﾌﾟ(&H)\n"                                               \
    "  使い方(&H)...\tF1 [57670]\n"                            \
    "  ---\n"                                                  \
    "  Vantrel のﾊﾞｰｼﾞｮﾝ情報(&A)... [57664]\n"

const char* const kMainFrameMenu =
    "ﾌｧｲﾙ(&F)\n"
    "  開く(&O)...\tCtrl+O [57601]\n"
    "  ---\n"
    "  ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)\tCtrl+Q [57665]\n"
    VANTREL_EDIT_MENU_TEXT
    VANTREL_VIEW_MENU_TEXT
    VANTREL_HELP_MENU_TEXT;

const char* const kDocumentMenu =
    "ﾌｧｲﾙ(&F)\n"
    "  開く(&O)...\tCtrl+O [57601]\n"
    "  閉じる(&C)\tCtrl+W [57602]\n"
    "  ﾃｷｽﾄで保存(&S)...\tCtrl+S [32776]\n"
    "  ---\n"
    "  印刷(&P)...\tCtrl+P [57607]\n"
    "  ---\n"
    "  ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)\tCtrl+Q [57665]\n"
    VANTREL_EDIT_MENU_TEXT
    "  ---\n"
    "  ｵﾌｾｯﾄへ移動(&G)...\tCtrl+G [32780]\n"
    VANTREL_VIEW_MENU_TEXT
    "  ﾊﾞｲﾄ表示(&B) [32775]\n"
    "ｳｨﾝﾄﾞｳ(&W)\n"
    "  重ねて表示(&C) [57650]\n"
    "  並べて表示(&T) [57651]\n"
    "  ｱｲｺﾝの整列(&A) [57649]\n"
    VANTREL_HELP_MENU_TEXT;

// The key text a menu item shows after its tab.
QString KeyText(const QAction* action)
{
    return action->text().section(QLatin1Char('\t'), 1);
}

// Every command item among actions shows the first key of its command's
// accelerator after its tab, and only an item whose command has one shows a
// key.
void CheckMenuKeys(CMainFrame& frame, const QList<QAction*>& actions)
{
    for (QAction* item : actions) {
        if (item->menu()) {
            CheckMenuKeys(frame, item->menu()->actions());
            continue;
        }
        if (item->isSeparator() || ActionCommand(item) == 0)
            continue;
        QAction* key = frame.Command(ActionCommand(item));
        const bool hasKey = key && key != item && !key->shortcuts().isEmpty();
        QVERIFY2(hasKey != KeyText(item).isEmpty(), qPrintable(item->text()));
        if (hasKey)
            QCOMPARE(QKeySequence(KeyText(item)), key->shortcuts().front());
    }
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void startShowsFrameListWindowAndBar()
    {
        AppFixture f;
        QVERIFY(f.Frame().isVisible());
        // The maximized child's title joins the frame's, as "Vantrel - [...]".
        QCOMPARE(f.Frame().windowTitle(), QStringLiteral("Vantrel - [概略解析]"));
        CRoughlyAnalysis* rough = f.Frame().RoughWindow();
        QVERIFY(rough->isVisible());
        QVERIFY(rough->isMaximized());
        QCOMPARE(rough->windowTitle(), QStringLiteral("概略解析"));
        QCOMPARE(f.Frame().MdiArea()->subWindowList().size(), 1);
        QCOMPARE(f.List().RowCount(), 0);
        // The bar: docked at the left, visible, empty, dockable left or right.
        QVERIFY(f.Bar().isVisible());
        QVERIFY(!f.Bar().isFloating());
        QCOMPARE(f.Frame().dockWidgetArea(&f.Bar()), Qt::LeftDockWidgetArea);
        QCOMPARE(f.Bar().windowTitle(), QStringLiteral("解析ﾂﾘｰ"));
        QCOMPARE(f.Frame().ToolBar()->windowTitle(), QStringLiteral("ﾂｰﾙ ﾊﾞｰ"));
        QCOMPARE(f.Bar().allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
        QVERIFY(f.Bar().features() & QDockWidget::DockWidgetFloatable);
        QCOMPARE(f.BarTree().model()->rowCount(), 0);
        QCOMPARE(f.Bar().RebuildCount(), 0);
        QVERIFY(f.messages.empty());
    }

    void listHasItsColumnsAndMultipleSelection()
    {
        AppFixture f;
        CRoughListCtrl& list = f.List();
        QCOMPARE(list.model()->columnCount(), 4);
        // The anomalies before the wide result, in sight at the default width.
        const char* headings[] = {"ファイル名", "ファイル形式", "異常", "解析結果"};
        const int widths[] = {200, 200, 120, 500};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(list.model()->headerData(i, Qt::Horizontal).toString(), QString::fromUtf8(headings[i]));
            QCOMPARE(list.columnWidth(i), widths[i]);
        }
        QCOMPARE(list.selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(!list.isSortingEnabled());
    }

    void roughWindowCannotBeClosed()
    {
        AppFixture f;
        CRoughlyAnalysis* rough = f.Frame().RoughWindow();
        QAction* close = rough->CloseAction();
        QVERIFY(close);
        QVERIFY(!close->isEnabled());
        QVERIFY(!(rough->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!rough->close());
        QVERIFY(rough->isVisible());
        // Also after its state changes.
        rough->showNormal();
        QVERIFY(!rough->CloseAction()->isEnabled());
        QVERIFY(!rough->close());
        rough->showMaximized();
        QVERIFY(!rough->CloseAction()->isEnabled());
        QCOMPARE(f.Frame().MdiArea()->subWindowList().size(), 1);
    }

    void menusFollowTheActiveWindow()
    {
        AppFixture f;
        QCOMPARE(f.Frame().CurrentMenu(), int{kIdrMainFrame});
        QCOMPARE(MenuText(f.Frame().menuBar()->actions()), QString::fromUtf8(kMainFrameMenu));

        f.EmptyWindow();
        QCOMPARE(f.Frame().CurrentMenu(), int{kIdrDocument});
        QCOMPARE(MenuText(f.Frame().menuBar()->actions()), QString::fromUtf8(kDocumentMenu));

        f.Frame().MdiArea()->setActiveSubWindow(f.Frame().RoughWindow());
        QCOMPARE(f.Frame().CurrentMenu(), int{kIdrMainFrame});
        f.Frame().MdiArea()->activateNextSubWindow();
        QCOMPARE(f.Frame().CurrentMenu(), int{kIdrDocument});

        // Closing the last detailed window brings the frame's own menu back.
        f.Frame().Command(kCmdFileClose)->trigger();
        QTest::qWait(0);
        QVERIFY(f.ChildFrames().empty());
        QCOMPARE(f.Frame().CurrentMenu(), int{kIdrMainFrame});
        QVERIFY(f.App().Documents().empty());
    }

    void acceleratorsAndUnhandledCommands()
    {
        AppFixture f;
        struct Key {
            int id;
            QKeySequence keys;
            bool enabled;
        };
        const Key keys[] = {
            {kCmdFileOpen, QKeySequence(Qt::CTRL | Qt::Key_O), true},
            {kCmdFileClose, QKeySequence(Qt::CTRL | Qt::Key_W), true},
            {kCmdFileSaveText, QKeySequence(Qt::CTRL | Qt::Key_S), true},
            {kCmdAppExit, QKeySequence(Qt::CTRL | Qt::Key_Q), true},
            {kCmdFilePrint, QKeySequence(Qt::CTRL | Qt::Key_P), false},
            {kCmdEditUndo, QKeySequence(Qt::ALT | Qt::Key_Backspace), false},
            {kCmdEditCut, QKeySequence(Qt::SHIFT | Qt::Key_Delete), false},
            {kCmdEditCopy, QKeySequence(Qt::CTRL | Qt::Key_Insert), true},
            {kCmdCopyBranch, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), true},
            {kCmdEditFind, QKeySequence(Qt::CTRL | Qt::Key_F), true},
            {kCmdEditRepeat, QKeySequence(Qt::Key_F3), true},
            {kCmdFindPrevious, QKeySequence(Qt::SHIFT | Qt::Key_F3), true},
            {kCmdGoToOffset, QKeySequence(Qt::CTRL | Qt::Key_G), false},
            {kCmdEditPaste, QKeySequence(Qt::SHIFT | Qt::Key_Insert), false},
            {kCmdNextPane, QKeySequence(Qt::Key_F6), false},
            {kCmdPrevPane, QKeySequence(Qt::SHIFT | Qt::Key_F6), false},
            {kCmdHelp, QKeySequence(Qt::Key_F1), true},
            {kCmdContextHelp, QKeySequence(Qt::SHIFT | Qt::Key_F1), false},
        };
        for (const Key& k : keys) {
            QAction* action = f.Frame().Command(k.id);
            QVERIFY2(action, qPrintable(QString::number(k.id)));
            QVERIFY2(action->shortcuts().contains(k.keys), qPrintable(QString::number(k.id)));
            QCOMPARE(action->isEnabled(), k.enabled);
        }
        // Ctrl+N makes no empty window: windows come from analyses only.
        f.Frame().activateWindow();
        (void)QTest::qWaitForWindowActive(&f.Frame());
        QTest::keyClick(&f.Frame(), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(f.App().Documents().empty());
        QVERIFY(f.ChildFrames().empty());
        // Every menu item of both menu bars names its command's key, as the
        // key's own action has it, and no item names a key it does not have.
        CheckMenuKeys(f.Frame(), f.Frame().menuBar()->actions());
        QVERIFY(f.EmptyWindow());
        QCOMPARE(f.Frame().CurrentMenu(), int{kIdrDocument});
        CheckMenuKeys(f.Frame(), f.Frame().menuBar()->actions());
        for (auto [id, key] : {std::pair{kCmdFileClose, "Ctrl+W"}, {kCmdFileSaveText, "Ctrl+S"}, {kCmdAppExit, "Ctrl+Q"}})
            QCOMPARE(KeyText(f.Frame().CommandActions(id).back()), QString::fromLatin1(key));
    }

    void dialogsHaveACloseButtonOnly()
    {
        AppFixture f;
        QStringList shown;
        QString guide;
        f.App().SetModalHook([&shown, &guide](QDialog& dialog) {
            shown << dialog.windowTitle();
            if (auto* help = qobject_cast<CHelpGuide*>(&dialog))
                guide = help->Text();
            const Qt::WindowFlags flags = dialog.windowFlags();
            if (flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint) ||
                !(flags & Qt::WindowCloseButtonHint))
                shown.back() += QStringLiteral(" has other buttons");
            return 0;
        });
        f.Frame().Command(kCmdAppAbout)->trigger();
        f.Frame().Command(kCmdHelp)->trigger();
        QVERIFY(f.EmptyWindow());
        f.Frame().Command(kCmdEditFind)->trigger();
        f.Frame().Command(kCmdGoToOffset)->trigger();
        QCOMPARE(shown.size(), 4);
        // The guide names the windows and the keys of the commands.
        for (const char* word : {"概略解析", "詳細解析", "イメージ", "Ctrl+F", "F3", "Ctrl+G", "Escape"})
            QVERIFY2(guide.contains(QString::fromUtf8(word)), word);
        for (const QString& title : shown)
            QVERIFY2(!title.endsWith(QStringLiteral(" has other buttons")), qPrintable(title));
    }

    void toolBarAndStatusBar()
    {
        AppFixture f;
        QToolBar* tools = f.Frame().ToolBar();
        QCOMPARE(tools->actions().size(), 1);
        QAction* open = tools->actions().front();
        QCOMPARE(ActionCommand(open), int{kCmdFileOpen});
        QVERIFY(!open->icon().isNull());
        QCOMPARE(tools->iconSize(), QSize(16, 15));
        QCOMPARE(tools->allowedAreas(), Qt::TopToolBarArea);
        QCOMPARE(f.Frame().toolBarArea(tools), Qt::TopToolBarArea);
        // The page buttons beside it wait, disabled, for pages to turn.
        QToolBar* pages = f.Frame().PageBar();
        QCOMPARE(f.Frame().toolBarArea(pages), Qt::TopToolBarArea);
        QCOMPARE(pages->actions().size(), 4);
        for (QAction* page : pages->actions())
            QVERIFY(!page->isEnabled() && !page->icon().isNull());

        QStringList panes;
        for (QLabel* label : f.Frame().IndicatorPanes())
            panes << label->text();
        QCOMPARE(panes, QStringList({"ｶﾅ", "CAP", "NUM", "SCRL"}));
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("レディ"));

        // Prompts from the string table reach the message pane.
        QAction* tree = f.Frame().CommandActions(kCmdViewAnalysisTree).front();
        QCOMPARE(tree->statusTip(), QStringLiteral("解析ﾂﾘｰの表示/非表示"));
        tree->showStatusText(&f.Frame());
        QCOMPARE(f.Frame().statusBar()->currentMessage(), QStringLiteral("解析ﾂﾘｰの表示/非表示"));
        QCOMPARE(CommandToolTip(kCmdViewAnalysisTree), QStringLiteral("解析ﾂﾘｰの表示切り替え"));
        QCOMPARE(CommandPrompt(kCmdEntryDelete), QStringLiteral("エントリを削除します。"));
        QCOMPARE(CommandPrompt(kCmdDetailedAnalysis), QStringLiteral("詳細解析を実行します。"));
        QCOMPARE(CommandPrompt(kCmdShowImage), QStringLiteral("画像イメージを表示します"));
    }

    void viewCommandsToggleBarsAndCheckMarks()
    {
        AppFixture f;
        const auto checked = [&f](int id) {
            f.Frame().UpdateCommandUi();
            bool all = true;
            for (QAction* a : f.Frame().CommandActions(id))
                all = all && a->isChecked();
            return all;
        };
        QVERIFY(checked(kCmdViewAnalysisTree));
        QVERIFY(checked(kCmdViewToolBar));
        QVERIFY(checked(kCmdViewStatusBar));

        f.Frame().Command(kCmdViewAnalysisTree)->trigger();
        QVERIFY(f.Bar().isHidden());
        QVERIFY(!checked(kCmdViewAnalysisTree));
        f.Frame().Command(kCmdViewAnalysisTree)->trigger();
        QVERIFY(f.Bar().isVisible());
        QVERIFY(checked(kCmdViewAnalysisTree));

        // Closing the bar from its own title bar clears the mark as well.
        f.Bar().close();
        QVERIFY(!checked(kCmdViewAnalysisTree));
        f.Frame().Command(kCmdViewAnalysisTree)->trigger();
        QVERIFY(checked(kCmdViewAnalysisTree));

        // The bar keeps the full height of the frame when the others go.
        const int before = f.Bar().height();
        f.Frame().Command(kCmdViewStatusBar)->trigger();
        QVERIFY(f.Frame().statusBar()->isHidden());
        QVERIFY(!checked(kCmdViewStatusBar));
        QTest::qWait(20);
        QVERIFY(f.Bar().height() > before);
        f.Frame().Command(kCmdViewToolBar)->trigger();
        QVERIFY(f.Frame().ToolBar()->isHidden());
        QVERIFY(!checked(kCmdViewToolBar));
        f.Frame().Command(kCmdViewToolBar)->trigger();
        f.Frame().Command(kCmdViewStatusBar)->trigger();
        QVERIFY(checked(kCmdViewToolBar));
        QVERIFY(checked(kCmdViewStatusBar));
    }

    void unexpectedHeightAdjustmentEndsTheProgram()
    {
        AppFixture f;
        f.Bar().AdjustHeight(1);
        f.Bar().AdjustHeight(2);
        QVERIFY(f.messages.empty());
        bool ended = false;
        try {
            f.Bar().AdjustHeight(3);
        } catch (const AppExit& e) {
            ended = e.code == 0;
        }
        QVERIFY(ended);
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(QString::fromStdString(f.messages[0].text),
                 QStringLiteral("予期しないメッセージを受信しました\nエラー番号：AT00000001"));
        QCOMPARE(f.messages[0].owner, MessageOwner::TreeBar);
    }

    void windowMenuArrangesAndListsWindows()
    {
        AppFixture f;
        f.EmptyWindow();
        f.EmptyWindow();
        f.Frame().Command(kCmdWindowCascade)->trigger();
        QVERIFY(!f.Frame().RoughWindow()->isMaximized());
        f.Frame().Command(kCmdWindowTileHorz)->trigger();
        for (QMdiSubWindow* w : f.Frame().MdiArea()->subWindowList())
            QVERIFY(f.Frame().MdiArea()->viewport()->rect().contains(w->geometry()));
        // Minimized windows line up along the bottom.
        for (CChildFrame* frame : f.ChildFrames())
            frame->showMinimized();
        f.Frame().Command(kCmdWindowArrange)->trigger();
        const std::vector<CChildFrame*> frames = f.ChildFrames();
        QCOMPARE(frames[0]->geometry().bottom(), f.Frame().MdiArea()->viewport()->height() - 1);
        QCOMPARE(frames[0]->x(), 0);
        QCOMPARE(frames[1]->x(), frames[0]->width());

        // The window menu ends with the open windows, numbered.
        QMenu* windowMenu = nullptr;
        for (QAction* a : f.Frame().menuBar()->actions())
            if (a->menu() && a->text().startsWith(QStringLiteral("ｳｨﾝﾄﾞｳ")))
                windowMenu = a->menu();
        if (!windowMenu) {
            f.Frame().MdiArea()->setActiveSubWindow(frames[0]);
            for (QAction* a : f.Frame().menuBar()->actions())
                if (a->menu() && a->text().startsWith(QStringLiteral("ｳｨﾝﾄﾞｳ")))
                    windowMenu = a->menu();
        }
        QVERIFY(windowMenu);
        emit windowMenu->aboutToShow();
        QStringList texts;
        for (QAction* a : windowMenu->actions())
            texts << (a->isSeparator() ? QStringLiteral("---") : a->text());
        QCOMPARE(texts, QStringList({"重ねて表示(&C)", "並べて表示(&T)", "ｱｲｺﾝの整列(&A)", "---", "&1 概略解析",
                                     "&2 Default", "&3 Default"}));
    }

    void messageBoxesWithoutAHookAskThePerson()
    {
        AppFixture f;
        f.App().SetMessageHook(nullptr);
        struct Seen {
            QString title, text;
            QWidget* parent = nullptr;
            bool cancel = false;
            Qt::CursorShape cursor = Qt::BlankCursor;
        } seen;
        const auto answerWith = [&seen](QMessageBox::StandardButton button) {
            QTimer::singleShot(0, [&seen, button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box)
                    return;
                seen.title = box->windowTitle();
                seen.text = box->text();
                seen.parent = box->parentWidget();
                seen.cancel = box->button(QMessageBox::Cancel) != nullptr;
                seen.cursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                             : Qt::BlankCursor;
                box->button(button)->click();
            });
        };
        MessageBoxRequest ask;
        ask.text = "ファイル：/a\nを表示から削除します。";
        ask.caption = "Vantrel";
        ask.owner = MessageOwner::RoughList;
        ask.buttons = MessageButtons::OkCancel;
        answerWith(QMessageBox::Cancel);
        QCOMPARE(f.App().MessageBox(ask), MessageAnswer::Cancel);
        QCOMPARE(seen.title, QStringLiteral("Vantrel"));
        QCOMPARE(seen.parent, static_cast<QWidget*>(&f.List()));
        QVERIFY(seen.cancel);

        // A box without caption or owner, shown while the wait cursor is up.
        MessageBoxRequest tell;
        tell.text = "ファイルを開けません\nエラー番号：SA00000001";
        QApplication::setOverrideCursor(Qt::WaitCursor);
        answerWith(QMessageBox::Ok);
        QCOMPARE(f.App().MessageBox(tell), MessageAnswer::Ok);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QApplication::restoreOverrideCursor();
        QCOMPARE(seen.title, QStringLiteral("Vantrel"));
        QCOMPARE(seen.text, QStringLiteral("ファイルを開けません\nエラー番号：SA00000001"));
        QCOMPARE(seen.parent, static_cast<QWidget*>(nullptr));
        QVERIFY(!seen.cancel);
        QCOMPARE(seen.cursor, Qt::ArrowCursor);
    }

    void versionBoxIsModal()
    {
        AppFixture f;
        QString shown;
        QString build;
        bool modal = false;
        bool captionFits = false;
        f.App().SetModalHook([&](QDialog& dialog) {
            shown = dialog.findChild<QLabel*>(QStringLiteral("VersionText"))->text();
            build = dialog.findChild<QLabel*>(QStringLiteral("BuildText"))->text();
            modal = dialog.isModal();
            captionFits = dialog.width() >= dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) +
                                                CAboutDlg::kCaptionButtonsWidth;
            return 1;
        });
        f.Frame().Command(kCmdAppAbout)->trigger();
        QCOMPARE(shown, QStringLiteral("Vantrel ﾊﾞｰｼﾞｮﾝ " VANTREL_VERSION));
        QVERIFY(build.startsWith(QStringLiteral("ﾋﾞﾙﾄﾞ：")));
        QVERIFY(modal);
        QVERIFY(captionFits);
    }

    void exitClosesEveryWindow()
    {
        AppFixture f;
        f.EmptyWindow();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        AddPicture(*frame, 32, 32);
        frame->ShowImageWindows();
        QWidget* image = frame->ImageWindows().front().get();
        QVERIFY(image->isVisible());
        f.Frame().Command(kCmdAppExit)->trigger();
        QVERIFY(!f.Frame().isVisible());
        QVERIFY(!image->isVisible());
        QVERIFY(f.App().Documents().empty());
    }

    void fileMenuListsRecentFilesAndOpenFiltersFormats()
    {
        AppFixture f;
        const std::string jpeg = f.Write("a.jpg", MakeJpeg(16, 16));
        const std::string tiff = f.Write("b.tif", MakeTiff());
        f.OpenThroughDialog({jpeg, tiff});
        QMenu* file = f.Frame().menuBar()->actions().front()->menu();
        emit file->aboutToShow();
        QStringList texts;
        for (QAction* a : file->actions())
            texts << (a->isSeparator() ? QStringLiteral("---") : a->text());
        QCOMPARE(texts, QStringList({"開く(&O)...\tCtrl+O", "---", "&1 " + QString::fromStdString(tiff),
                                     "&2 " + QString::fromStdString(jpeg), "---", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)\tCtrl+Q"}));
        // Choosing one opens it again, as the Open dialog would.
        f.App().DeleteEntry(jpeg.c_str());
        emit file->aboutToShow();
        file->actions().at(3)->trigger();
        QCOMPARE(f.RowPaths(), (std::vector<std::string>{jpeg, tiff}));

        // The Open dialog offers the formats' files first, and all files.
        f.App().SetOpenDialogHook(nullptr);
        QStringList filters;
        f.App().SetModalHook([&filters](QDialog& dialog) {
            filters = qobject_cast<QFileDialog*>(&dialog)->nameFilters();
            return int{QDialog::Rejected};
        });
        f.Frame().Command(kCmdFileOpen)->trigger();
        QCOMPARE(filters, QStringList({QString::fromStdString(OpenDialogFilter(f.App().Options().formats)),
                                       "すべてのファイル (*)"}));
        QVERIFY(filters.front().startsWith("JPEG、TIFF、SWF"));
    }

    void profileKeepsFiveRecentFiles()
    {
        AppFixture f;
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Local AppWizard-Generated Applications"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Vantrel"));
        QCOMPARE(f.App().RecentFiles().Size(), 5);

        QSettings settings;
        settings.remove(QStringLiteral("Recent File List"));
        CRecentFileList list(5);
        for (int i = 1; i <= 7; ++i)
            list.Add(QStringLiteral("/f%1").arg(i));
        list.Add(QStringLiteral("/f5"));
        QCOMPARE(list.Paths(), QStringList({"/f5", "/f7", "/f6", "/f4", "/f3"}));
        list.Save(settings);
        QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(), QStringLiteral("/f5"));
        QCOMPARE(settings.value(QStringLiteral("Recent File List/File5")).toString(), QStringLiteral("/f3"));

        CRecentFileList shorter(5);
        shorter.Add(QStringLiteral("/only"));
        shorter.Save(settings);
        CRecentFileList loaded(5);
        loaded.Load(settings);
        QCOMPARE(loaded.Paths(), QStringList({"/only"}));
        settings.remove(QStringLiteral("Recent File List"));

        // A batch leaves its last files on top, the latest first, above what
        // was there when it has fewer files than the list holds.
        auto open = [&](const QString& prefix, int count) {
            std::vector<std::string> paths;
            for (int i = 1; i <= count; ++i)
                paths.push_back(f.Write(QStringLiteral("%1%2.jpg").arg(prefix).arg(i).toStdString(), MakeJpeg(8, 8)));
            f.OpenThroughDialog(paths);
        };
        auto recent = [&] {
            QStringList names;
            for (const QString& path : f.App().RecentFiles().Paths())
                names << QFileInfo(path).completeBaseName();
            return names;
        };
        open(QStringLiteral("b"), 1);
        open(QStringLiteral("c"), 3);
        QCOMPARE(recent(), QStringList({"c3", "c2", "c1", "b1"}));
        open(QStringLiteral("d"), 7);
        QCOMPARE(recent(), QStringList({"d7", "d6", "d5", "d4", "d3"}));
    }
};

VANTREL_GUI_TEST(StartupTest);

#include "startup_test.moc"
