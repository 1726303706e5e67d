#include "app/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "app/analysis_tree_bar.h"
#include "app/app_icons.h"
#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/hex_view.h"
#include "app/image_wnd.h"
#include "app/rough_list_ctrl.h"
#include "app/roughly_analysis.h"
#include "app/vantrel_app.h"
#include "app/vantrel_view.h"

namespace {

// The main frame's accelerators. Commands that have no handler in this
// program stay disabled: they are listed so that their keys do nothing else.
struct Accelerator {
    int id;
    QKeyCombination keys[2];
};

constexpr QKeyCombination kNoKey{};

const Accelerator kAccelerators[] = {
    {kCmdFileOpen, {Qt::CTRL | Qt::Key_O, kNoKey}},
    {kCmdFileClose, {Qt::CTRL | Qt::Key_W, kNoKey}},
    {kCmdFileSaveText, {Qt::CTRL | Qt::Key_S, kNoKey}},
    {kCmdAppExit, {Qt::CTRL | Qt::Key_Q, kNoKey}},
    {kCmdFilePrint, {Qt::CTRL | Qt::Key_P, kNoKey}},
    {kCmdEditUndo, {Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace}},
    {kCmdEditCut, {Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete}},
    {kCmdEditCopy, {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert}},
    {kCmdCopyBranch, {Qt::CTRL | Qt::SHIFT | Qt::Key_C, kNoKey}},
    {kCmdEditFind, {Qt::CTRL | Qt::Key_F, kNoKey}},
    {kCmdEditRepeat, {QKeyCombination(Qt::Key_F3), kNoKey}},
    {kCmdFindPrevious, {Qt::SHIFT | Qt::Key_F3, kNoKey}},
    {kCmdGoToOffset, {Qt::CTRL | Qt::Key_G, kNoKey}},
    {kCmdEditPaste, {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert}},
    {kCmdNextPane, {QKeyCombination(Qt::Key_F6), kNoKey}},
    {kCmdPrevPane, {Qt::SHIFT | Qt::Key_F6, kNoKey}},
    {kCmdHelp, {QKeyCombination(Qt::Key_F1), kNoKey}},
    {kCmdContextHelp, {Qt::SHIFT | Qt::Key_F1, kNoKey}},
};

// Commands this program carries out, each with its slot. F1 shows the guide;
// context help has nothing to point at and stays disabled with the rest.
struct CommandSlot {
    int id;
    void (CMainFrame::*slot)();
};

constexpr CommandSlot kCommandSlots[] = {
    {kCmdFileOpen, &CMainFrame::OnFileOpen},
    {kCmdFileClose, &CMainFrame::OnFileClose},
    {kCmdFilePrint, &CMainFrame::OnFilePrint},
    {kCmdEditCopy, &CMainFrame::OnEditCopy},
    {kCmdCopyBranch, &CMainFrame::OnEditCopyBranch},
    {kCmdEditFind, &CMainFrame::OnEditFind},
    {kCmdEditRepeat, &CMainFrame::OnEditFindNext},
    {kCmdFindPrevious, &CMainFrame::OnEditFindPrevious},
    {kCmdGoToOffset, &CMainFrame::OnGoToOffset},
    {kCmdPictureFirst, &CMainFrame::OnPictureFirst},
    {kCmdPicturePrevious, &CMainFrame::OnPicturePrevious},
    {kCmdPictureNext, &CMainFrame::OnPictureNext},
    {kCmdPictureLast, &CMainFrame::OnPictureLast},
    {kCmdAppExit, &CMainFrame::OnAppExit},
    {kCmdAppAbout, &CMainFrame::OnAppAbout},
    {kCmdHelp, &CMainFrame::OnHelp},
    {kCmdViewToolBar, &CMainFrame::OnViewToolBar},
    {kCmdViewStatusBar, &CMainFrame::OnViewStatusBar},
    {kCmdViewAnalysisTree, &CMainFrame::OnViewAnalysisTree},
    {kCmdViewHexPane, &CMainFrame::OnViewHexPane},
    {kCmdFileSaveText, &CMainFrame::OnFileSaveText},
    {kCmdWindowCascade, &CMainFrame::OnWindowCascade},
    {kCmdWindowTileHorz, &CMainFrame::OnWindowTileHorz},
    {kCmdWindowArrange, &CMainFrame::OnWindowArrange},
};

const CommandSlot* SlotOf(int id)
{
    for (const CommandSlot& c : kCommandSlots)
        if (c.id == id)
            return &c;
    return nullptr;
}

bool MenuHolds(const QMenu& menu, int id)
{
    for (const QAction* action : menu.actions())
        if (ActionCommand(action) == id)
            return true;
    return false;
}

bool NeedsDetailedWindow(int id)
{
    return id == kCmdFilePrint || id == kCmdGoToOffset;
}

// The tool bar's buttons that page through a file's pictures, with the key
// each stands for in a paged picture window.
struct PageButton {
    int id;
    QStyle::StandardPixmap icon;
    Qt::Key key;
};
constexpr PageButton kPageButtons[] = {
    {kCmdPictureFirst, QStyle::SP_MediaSkipBackward, Qt::Key_Home},
    {kCmdPicturePrevious, QStyle::SP_MediaSeekBackward, Qt::Key_PageUp},
    {kCmdPictureNext, QStyle::SP_MediaSeekForward, Qt::Key_PageDown},
    {kCmdPictureLast, QStyle::SP_MediaSkipForward, Qt::Key_End},
};

bool IsToggle(int id)
{
    return id == kCmdViewToolBar || id == kCmdViewStatusBar || id == kCmdViewAnalysisTree || id == kCmdViewHexPane;
}

// The status bar's indicator panes, after the message pane.
constexpr const char* kIndicators[] = {"ｶﾅ", "CAP", "NUM", "SCRL"};

}  // namespace

CMainFrame::CMainFrame(CVantrelApp& app) : app_(app), mdi_(new QMdiArea(this))
{
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setWindowIcon(MainFrameIcon());
    setCentralWidget(mdi_);
    mdi_->setActivationOrder(QMdiArea::CreationOrder);

    CreateCommands();
    menuBars_[kIdrMainFrame] = BuildMenu(kIdrMainFrame);
    menuBars_[kIdrDocument] = BuildMenu(kIdrDocument);
    CreateToolBar();
    CreateStatusBar();

    rough_ = new CRoughlyAnalysis(app_);
    mdi_->addSubWindow(rough_);
    rough_->showMaximized();
    rough_->DisableClose();

    bar_ = new CAnalysisTreeBar(app_, this);
    addDockWidget(Qt::LeftDockWidgetArea, bar_);
    connect(bar_, &QDockWidget::visibilityChanged, this, [this] { UpdateCommandUi(); });

    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { UpdateMenus(); });
    UpdateMenus();
    UpdateCommandUi();
}

CMainFrame::~CMainFrame()
{
    // Children still report hide and activation changes while they go.
    bar_->disconnect(this);
    mdi_->disconnect(this);
}

QAction* CMainFrame::AddCommandAction(int id, const QString& text, QObject* owner)
{
    auto* action = new QAction(text, owner);
    action->setData(id);
    action->setStatusTip(CommandPrompt(id));
    action->setCheckable(IsToggle(id));
    // Printing and moving in the hex pane are enabled with a
    // detailed-analysis window (UpdateMenus).
    const CommandSlot* handler = SlotOf(id);
    action->setEnabled(handler && !NeedsDetailedWindow(id));
    if (handler)
        connect(action, &QAction::triggered, this, handler->slot);
    return action;
}

void CMainFrame::CreateCommands()
{
    for (const Accelerator& acc : kAccelerators) {
        QList<QKeySequence> keys;
        for (QKeyCombination k : acc.keys)
            if (k != kNoKey)
                keys << QKeySequence(k);
        QAction* action = AddCommandAction(acc.id, CommandToolTip(acc.id), this);
        action->setShortcuts(keys);
        addAction(action);
        accelerators_[acc.id] = action;
    }
}

QList<QAction*> CMainFrame::BuildMenu(int resourceId)
{
    QList<QAction*> top;
    const MenuResourceView res = MenuResource(resourceId);
    QMenu* current = nullptr;
    for (int i = 0; i < res.count; ++i) {
        const MenuItem& item = res.items[i];
        switch (item.kind) {
        case MenuItem::Popup:
            current = new QMenu(QString::fromUtf8(item.text), this);
            top << current->menuAction();
            break;
        case MenuItem::End:
            // The View menu refreshes its check marks as it opens; the Window
            // menu lists the open windows after its own commands.
            if (current && MenuHolds(*current, kCmdViewAnalysisTree))
                connect(current, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
            if (current && MenuHolds(*current, kCmdWindowCascade))
                connect(current, &QMenu::aboutToShow, this, [this, menu = current] { UpdateWindowMenu(menu); });
            if (current && MenuHolds(*current, kCmdAppExit))
                connect(current, &QMenu::aboutToShow, this, [this, menu = current] { UpdateRecentFiles(menu); });
            current = nullptr;
            break;
        case MenuItem::Separator:
            if (current)
                current->addSeparator();
            break;
        case MenuItem::Command: {
            QAction* action = AddCommandAction(item.id, QString::fromUtf8(item.text), this);
            menuActions_.emplace(item.id, action);
            if (current)
                current->addAction(action);
            else
                top << action;
            break;
        }
        }
    }
    return top;
}

void CMainFrame::CreateToolBar()
{
    toolBar_ = new QToolBar(QStringLiteral("ﾂｰﾙ ﾊﾞｰ"), this);
    toolBar_->setObjectName(QStringLiteral("ToolBar"));
    toolBar_->setAllowedAreas(Qt::TopToolBarArea);
    toolBar_->setMovable(true);
    toolBar_->setIconSize(QSize(16, 15));
    QAction* open = AddCommandAction(kCmdFileOpen, CommandToolTip(kCmdFileOpen), toolBar_);
    open->setIcon(OpenButtonIcon());
    open->setToolTip(CommandToolTip(kCmdFileOpen));
    toolBar_->addAction(open);
    menuActions_.emplace(kCmdFileOpen, open);
    addToolBar(Qt::TopToolBarArea, toolBar_);
    // The page buttons stand in a bar of their own beside it, always there
    // (enabled while they have pages to turn), so that the frame's layout
    // never changes with them.
    pageBar_ = new QToolBar(QStringLiteral("ﾍﾟｰｼﾞ"), this);
    pageBar_->setObjectName(QStringLiteral("PageBar"));
    pageBar_->setAllowedAreas(Qt::TopToolBarArea);
    pageBar_->setMovable(true);
    pageBar_->setIconSize(QSize(16, 15));
    for (const PageButton& button : kPageButtons) {
        QAction* page = AddCommandAction(button.id, CommandToolTip(button.id), pageBar_);
        page->setIcon(style()->standardIcon(button.icon));
        page->setToolTip(CommandToolTip(button.id));
        page->setEnabled(false);
        pageBar_->addAction(page);
        menuActions_.emplace(button.id, page);
    }
    addToolBar(Qt::TopToolBarArea, pageBar_);
}

CImageWnd* CMainFrame::PagedPictures() const
{
    const CChildFrame* frame = ActiveChildFrame();
    if (!frame || frame->ImageWindows().empty())
        return nullptr;
    CImageWnd* window = frame->ImageWindows().front().get();
    return window->Pages() > 1 ? window : nullptr;
}

void CMainFrame::UpdatePageButtons()
{
    const bool paged = PagedPictures() != nullptr;
    for (const PageButton& button : kPageButtons)
        for (QAction* action : CommandActions(button.id))
            action->setEnabled(paged);
}

void CMainFrame::TurnPicture(int id)
{
    CImageWnd* window = PagedPictures();
    if (!window)
        return;
    if (!window->isVisible())
        ActiveChildFrame()->ShowImageWindows();
    for (const PageButton& button : kPageButtons)
        if (button.id == id)
            window->TurnPage(button.key);
}

void CMainFrame::OnPictureFirst() { TurnPicture(kCmdPictureFirst); }
void CMainFrame::OnPicturePrevious() { TurnPicture(kCmdPicturePrevious); }
void CMainFrame::OnPictureNext() { TurnPicture(kCmdPictureNext); }
void CMainFrame::OnPictureLast() { TurnPicture(kCmdPictureLast); }

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    idlePane_ = new QLabel(IdleMessage(), bar);
    bar->addWidget(idlePane_, 1);
    for (const char* text : kIndicators) {
        auto* pane = new QLabel(QString::fromUtf8(text), bar);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(pane->text()) + 12);
        // The lock keys' states are not known here, so the panes stay grayed.
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
        indicators_ << pane;
    }
}

CRoughListCtrl* CMainFrame::RoughList() const
{
    return rough_ ? rough_->List() : nullptr;
}

CChildFrame* CMainFrame::ActiveChildFrame() const
{
    return qobject_cast<CChildFrame*>(mdi_->currentSubWindow());
}

QRect CMainFrame::WorkArea() const
{
    const QWidget* viewport = mdi_->viewport();
    return QRect(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
}

QRect CMainFrame::PictureRoom() const
{
    QRect work = WorkArea();
    if (const QScreen* screen = this->screen())
        work &= screen->availableGeometry();
    const CRoughListCtrl* list = RoughList();
    const int rows = list ? list->model()->rowCount() : 0;
    if (!list || !list->isVisible() || rows == 0)
        return work;
    // From the list's top (its heading) down to its last row, as far as the
    // list shows it; the window behind a maximized detailed window has the
    // same place.
    const QRect last = list->visualRect(list->model()->index(rows - 1, 0));
    const int bottom = std::min(list->viewport()->height(), last.bottom() + 1);
    const QPoint top = list->mapToGlobal(QPoint(0, 0));
    const QRect taken =
        QRect(top, QPoint(top.x() + list->width() - 1, list->viewport()->mapToGlobal(QPoint(0, bottom)).y() - 1)) &
        work;
    if (taken.isEmpty())
        return work;
    // The largest of the bands beside the list's rows: right of them and
    // below them first, as a list at the work area's corner leaves them.
    const QRect bands[] = {
        QRect(QPoint(taken.right() + 1, work.top()), work.bottomRight()),
        QRect(QPoint(work.left(), taken.bottom() + 1), work.bottomRight()),
        QRect(work.topLeft(), QPoint(taken.left() - 1, work.bottom())),
        QRect(work.topLeft(), QPoint(work.right(), taken.top() - 1)),
    };
    const auto area = [](const QRect& r) { return r.isEmpty() ? 0 : qint64(r.width()) * r.height(); };
    const QRect* largest = &bands[0];
    for (const QRect& band : bands)
        if (area(band) > area(*largest))
            largest = &band;
    return largest->width() >= kMinPictureRoom && largest->height() >= kMinPictureRoom ? *largest : work;
}

void CMainFrame::UpdateMenus()
{
    // Printing belongs to the detailed-analysis view: only with one active.
    for (int id : {kCmdFilePrint, kCmdGoToOffset})
        for (QAction* action : CommandActions(id))
            action->setEnabled(ActiveChildFrame() != nullptr);
    UpdatePageButtons();
    const int wanted = ActiveChildFrame() ? kIdrDocument : kIdrMainFrame;
    if (wanted == currentMenu_)
        return;
    currentMenu_ = wanted;
    menuBar()->clear();
    menuBar()->addActions(menuBars_[wanted]);
}

void CMainFrame::UpdateWindowMenu(QMenu* menu)
{
    for (QAction* action : windowListActions_) {
        menu->removeAction(action);
        delete action;
    }
    windowListActions_.clear();
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty())
        return;
    windowListActions_.push_back(menu->addSeparator());
    int number = 0;
    for (QMdiSubWindow* window : windows) {
        if (++number > 9)
            break;
        QAction* action = menu->addAction(QStringLiteral("&%1 %2").arg(number).arg(window->windowTitle()));
        action->setCheckable(true);
        action->setChecked(window == mdi_->currentSubWindow());
        connect(action, &QAction::triggered, this, [this, window] { mdi_->setActiveSubWindow(window); });
        windowListActions_.push_back(action);
    }
}

QList<QAction*> CMainFrame::CommandActions(int id) const
{
    QList<QAction*> out;
    if (auto it = accelerators_.find(id); it != accelerators_.end())
        out << it->second;
    for (auto [it, end] = menuActions_.equal_range(id); it != end; ++it)
        out << it->second;
    return out;
}

QAction* CMainFrame::Command(int id) const
{
    const QList<QAction*> actions = CommandActions(id);
    return actions.isEmpty() ? nullptr : actions.front();
}

void CMainFrame::UpdateCommandUi()
{
    const std::pair<int, bool> states[] = {
        {kCmdViewToolBar, !toolBar_->isHidden()},
        {kCmdViewStatusBar, !statusBar()->isHidden()},
        {kCmdViewAnalysisTree, bar_ && !bar_->isHidden()},
        {kCmdViewHexPane, ActiveChildFrame() ? ActiveChildFrame()->HexPaneVisible() : CChildFrame::HexPaneWanted()},
    };
    for (auto [id, visible] : states)
        for (QAction* action : CommandActions(id))
            action->setChecked(visible);
}

void CMainFrame::OnFileOpen()
{
    app_.OnFileOpen();
}

QWidget* CMainFrame::EditTarget() const
{
    // The list, tree or hex pane with the focus; otherwise the active
    // window's own tree or list.
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (qobject_cast<CHexView*>(w) || qobject_cast<CTreeWidgetControl*>(w) || qobject_cast<CRoughListCtrl*>(w))
            return w;
    if (CChildFrame* frame = ActiveChildFrame())
        return frame->View();
    return RoughList();
}

void CMainFrame::OnEditCopy()
{
    QWidget* target = EditTarget();
    if (auto* hex = qobject_cast<CHexView*>(target))
        hex->CopySelection();
    else if (auto* tree = qobject_cast<CTreeWidgetControl*>(target))
        tree->CopySelectedLine(false);
    else if (auto* list = qobject_cast<CRoughListCtrl*>(target))
        list->CopySelectedRows();
}

void CMainFrame::OnEditCopyBranch()
{
    if (auto* tree = qobject_cast<CTreeWidgetControl*>(EditTarget()))
        tree->CopySelectedLine(true);
}

void CMainFrame::Search(SearchStep step)
{
    QWidget* target = EditTarget();
    // Finding from the hex pane finds lines in its result tree.
    if (qobject_cast<CHexView*>(target) && ActiveChildFrame())
        target = ActiveChildFrame()->View();
    if (auto* tree = qobject_cast<CTreeWidgetControl*>(target))
        app_.Search(*tree, tree->Search(), step);
    else if (auto* list = qobject_cast<CRoughListCtrl*>(target))
        app_.Search(*list, list->Search(), step);
}

void CMainFrame::OnEditFind()
{
    Search(SearchStep::Ask);
}

void CMainFrame::OnEditFindNext()
{
    Search(SearchStep::Next);
}

void CMainFrame::OnEditFindPrevious()
{
    Search(SearchStep::Previous);
}

void CMainFrame::OnGoToOffset()
{
    if (CChildFrame* frame = ActiveChildFrame())
        frame->OnGoToOffset();
}

void CMainFrame::UpdateRecentFiles(QMenu* menu)
{
    // The recent files stand between the file commands and the exit
    // command, numbered, each with a separator after them.
    for (QAction* action : recentFileActions_) {
        menu->removeAction(action);
        delete action;
    }
    recentFileActions_.clear();
    QAction* exit = FindCommand(*menu, kCmdAppExit);
    const QStringList& paths = app_.RecentFiles().Paths();
    if (!exit || paths.isEmpty())
        return;
    const QFontMetrics metrics(menu->font());
    int number = 0;
    for (const QString& path : paths) {
        const QString shown = metrics.elidedText(path, Qt::ElideMiddle, kRecentFileTextWidth);
        auto* action = new QAction(QStringLiteral("&%1 %2").arg(++number).arg(shown), menu);
        action->setStatusTip(QStringLiteral("このﾌｧｲﾙを開きます：%1").arg(path));
        connect(action, &QAction::triggered, this, [this, path] { app_.OpenFiles({path}, MessageOwner::None); });
        menu->insertAction(exit, action);
        recentFileActions_.push_back(action);
    }
    recentFileActions_.push_back(menu->insertSeparator(exit));
}

void CMainFrame::OnFileClose()
{
    if (CChildFrame* frame = ActiveChildFrame())
        frame->close();
}

void CMainFrame::OnFilePrint()
{
    if (CChildFrame* frame = ActiveChildFrame())
        frame->View()->OnFilePrint();
}

void CMainFrame::OnAppExit()
{
    close();
}

void CMainFrame::OnAppAbout()
{
    app_.OnAppAbout();
}

void CMainFrame::OnHelp()
{
    app_.OnHelp();
}

void CMainFrame::OnViewToolBar()
{
    toolBar_->setVisible(toolBar_->isHidden());
    bar_->AdjustHeight(2);
    UpdateCommandUi();
}

void CMainFrame::OnViewStatusBar()
{
    statusBar()->setVisible(statusBar()->isHidden());
    bar_->AdjustHeight(1);
    UpdateCommandUi();
}

void CMainFrame::OnViewAnalysisTree()
{
    bar_->setVisible(bar_->isHidden());
    UpdateCommandUi();
}

void CMainFrame::OnViewHexPane()
{
    if (CChildFrame* frame = ActiveChildFrame())
        frame->SetHexPaneVisible(!frame->HexPaneVisible());
    UpdateCommandUi();
}

void CMainFrame::OnFileSaveText()
{
    if (CChildFrame* frame = ActiveChildFrame())
        frame->View()->OnSaveText();
}

void CMainFrame::OnWindowCascade()
{
    mdi_->cascadeSubWindows();
}

void CMainFrame::OnWindowTileHorz()
{
    mdi_->tileSubWindows();
}

void CMainFrame::OnWindowArrange()
{
    // Minimized windows line up along the bottom of the MDI area, left to
    // right in creation order.
    int x = 0;
    const int bottom = mdi_->viewport()->height();
    for (QMdiSubWindow* window : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized())
            continue;
        window->move(x, bottom - window->height());
        x += window->width();
    }
}

int CMainFrame::InsertFileRow(const char* path)
{
    return RoughList() ? RoughList()->InsertFileRow(path) : -1;
}

void CMainFrame::SetFormatText(int row, const char* text)
{
    if (RoughList())
        RoughList()->SetFormatText(row, text);
}

void CMainFrame::AppendResultText(int row, const char* text)
{
    if (RoughList())
        RoughList()->AppendResultText(row, text);
}

void CMainFrame::SetSummaryAbsence(int row, const std::string& reason)
{
    if (RoughList())
        RoughList()->SetSummaryAbsence(row, reason);
}

void CMainFrame::SetRowAnomalies(int row, const std::vector<Anomaly>& anomalies)
{
    const auto errors = static_cast<uint32_t>(std::count_if(
        anomalies.begin(), anomalies.end(), [](const Anomaly& a) { return a.severity == AnomalySeverity::Error; }));
    if (!RoughList())
        return;
    // A list of many files keeps the tip short: the cell has the counts.
    constexpr size_t kTipLines = 10;
    std::string tip;
    for (size_t i = 0; i < anomalies.size() && i < kTipLines; ++i) {
        if (i)
            tip += '\n';
        tip += std::string(AnomalySeverityText(anomalies[i].severity)) + ' ' + anomalies[i].text;
    }
    RoughList()->SetAnomalyCounts(row, errors, static_cast<uint32_t>(anomalies.size()) - errors, std::move(tip));
}

int CMainFrame::FindRow(const char* path)
{
    return RoughList() ? RoughList()->FindRow(path) : -1;
}

void CMainFrame::ShowFileRows(const std::vector<std::string>& paths)
{
    CRoughListCtrl* list = RoughList();
    if (!list || paths.empty())
        return;
    std::vector<int> rows;
    for (const std::string& path : paths)
        if (const int row = list->FindRow(path.c_str()); row >= 0)
            rows.push_back(row);
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    // The list may lie behind a detailed window: the row would be selected
    // out of sight.
    mdi_->setActiveSubWindow(rough_);
    list->SelectOnly(rows);
    list->setFocus();
}

void CMainFrame::DeleteRow(int row)
{
    if (RoughList())
        RoughList()->DeleteRow(row);
}

void CMainFrame::RebuildTree(const AnalysisEntry* head)
{
    if (bar_)
        bar_->RebuildTree(head);
}

void CMainFrame::AddChildFrame(CChildFrame* frame)
{
    mdi_->addSubWindow(frame);
    frame->show();
    mdi_->setActiveSubWindow(frame);
    UpdateMenus();
}

void CMainFrame::ShowBusyMessage(const QString& text)
{
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
    // The analysis that follows keeps the event loop busy: paint now.
    statusBar()->repaint();
}

QString CMainFrame::StatusText() const
{
    const QString message = statusBar()->currentMessage();
    return message.isEmpty() ? idlePane_->text() : message;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (app_.Analysing()) {
        event->ignore();
        app_.CloseWhenIdle();
        return;
    }
    // Detailed-analysis windows hold nothing to save; the rough-analysis
    // window refuses to close and goes with the frame.
    mdi_->closeAllSubWindows();
    app_.SaveProfile();
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    // The files are only read: a drop is always a copy, never a move.
    if (event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    app_.OpenFiles(paths, MessageOwner::MainFrame);
}
