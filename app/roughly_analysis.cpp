#include "app/roughly_analysis.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionTitleBar>

#include "app/app_icons.h"
#include "app/rough_list_ctrl.h"

CRoughlyAnalysis::CRoughlyAnalysis(CVantrelApp& app, QWidget* parent)
    : QMdiSubWindow(parent), list_(new CRoughListCtrl(app, this))
{
    setWindowTitle(QStringLiteral("概略解析"));
    setWindowIcon(RoughAnalysisIcon());
    // No close button hint; the style still draws one with the system menu,
    // which paintEvent grays.
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint);
    setWidget(list_);
    DisableClose();
}

QAction* CRoughlyAnalysis::CloseAction() const
{
    if (!systemMenu())
        return nullptr;
    for (QAction* action : systemMenu()->actions())
        if (action->shortcuts().contains(QKeySequence(QKeySequence::Close)) ||
            action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_F4))
            return action;
    return nullptr;
}

void CRoughlyAnalysis::DisableClose()
{
    if (QAction* close = CloseAction()) {
        close->setVisible(true);
        close->setEnabled(false);
    }
}

void CRoughlyAnalysis::closeEvent(QCloseEvent* event)
{
    // The list stays for the whole run; it goes only with the main frame.
    event->ignore();
}

void CRoughlyAnalysis::changeEvent(QEvent* event)
{
    QMdiSubWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        DisableClose();
}

void CRoughlyAnalysis::paintEvent(QPaintEvent* event)
{
    QMdiSubWindow::paintEvent(event);
    if (isMaximized() || !(windowFlags() & Qt::WindowSystemMenuHint))
        return;
    // The style draws the caption's close button with the system menu and
    // has no disabled look for it: wash it out so that it reads as grayed.
    QStyleOptionTitleBar option;
    option.initFrom(this);
    option.titleBarFlags = windowFlags();
    option.titleBarState = windowState();
    option.subControls = QStyle::SC_TitleBarCloseButton;
    option.rect = QRect(0, 0, width(), style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, this));
    const QRect button = style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarCloseButton, this);
    if (button.isEmpty())
        return;
    QColor wash = palette().color(QPalette::Window);
    wash.setAlpha(190);
    QPainter painter(this);
    painter.fillRect(button.adjusted(1, 1, -1, -1), wash);
}
