#include "app/vantrel_view.h"

#include <algorithm>

#include <QMenu>
#include <QMouseEvent>
#include <QPagedPaintDevice>
#include <QPainter>
#if VANTREL_HAVE_PRINTSUPPORT
#include <QPrintDialog>
#include <QPrinter>
#endif

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
    if (id == kCmdFilePrint) {
        OnFilePrint();
        return;
    }
    if (id != kCmdShowImage)
        return;
    if (CMainFrame* frame = app_.MainFrame())
        if (CChildFrame* child = frame->ActiveChildFrame())
            child->ShowImageWindows();
}

void CVantrelView::OnFilePrint()
{
#if VANTREL_HAVE_PRINTSUPPORT
    QPrinter printer(QPrinter::HighResolution);
    QWidget* frame = parentWidget() ? parentWidget() : this;
    printer.setDocName(frame->windowTitle());
    QPrintDialog dialog(&printer, this);
    if (app_.ExecModal(dialog) != QDialog::Accepted)
        return;
    PrintPages(printer);
#endif
}

int CVantrelView::PrintPages(QPagedPaintDevice& device) const
{
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    QFont font = this->font();
    font.setPointSizeF(9);
    painter.setFont(QFont(font, &device));
    const QFontMetrics metrics = painter.fontMetrics();
    const int lineHeight = metrics.lineSpacing();
    const int indent = metrics.horizontalAdvance(QStringLiteral("MMM"));
    // The painter's origin is the printable area's top-left corner.
    const QRect page(QPoint(0, 0), device.pageLayout().paintRectPixels(device.logicalDpiX()).size());
    int pages = 1;
    int y = 0;
    for (HTREEITEM item = GetRootItem(); item; item = GetNextVisibleItem(item)) {
        if (y + lineHeight > page.height() && y > 0) {
            device.newPage();
            ++pages;
            y = 0;
        }
        int depth = 0;
        for (HTREEITEM p = GetParentItem(item); p; p = GetParentItem(p))
            ++depth;
        const QTreeWidgetItem* line = ItemFromHandle(item);
        const int x = std::min(depth * indent, page.width() / 2);
        painter.drawText(QRect(x, y, page.width() - x, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(line->text(0), Qt::ElideRight, page.width() - x));
        y += lineHeight;
    }
    painter.end();
    return pages;
}
