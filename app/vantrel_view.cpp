#include "app/vantrel_view.h"

#include <QMenu>
#include <QMouseEvent>

#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/main_frame.h"
#include "app/vantrel_app.h"

CVantrelView::CVantrelView(CVantrelApp& app, QWidget* parent) : CTreeWidgetControl(parent), app_(app)
{
}

void CVantrelView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        QMenu menu(this);
        LoadPopupMenu(menu, kIdrImageMenu);
        if (QAction* chosen = app_.TrackPopupMenu(menu, event->globalPosition().toPoint()))
            OnCommand(ActionCommand(chosen));
    }
    CTreeWidgetControl::mousePressEvent(event);
}

void CVantrelView::OnCommand(int id)
{
    if (id != kCmdShowImage)
        return;
    if (CMainFrame* frame = app_.MainFrame())
        if (CChildFrame* child = frame->ActiveChildFrame())
            child->ShowImageWindows();
}
