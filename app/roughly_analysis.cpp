#include "app/roughly_analysis.h"

#include <QCloseEvent>
#include <QMenu>

#include "app/app_icons.h"
#include "app/rough_list_ctrl.h"

CRoughlyAnalysis::CRoughlyAnalysis(CVantrelApp& app, QWidget* parent)
    : QMdiSubWindow(parent), list_(new CRoughListCtrl(app, this))
{
    setWindowTitle(QStringLiteral("概略解析"));
    setWindowIcon(RoughAnalysisIcon());
    // No close button; the other caption buttons stay.
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
