#include "app/item_view_input.h"

#include <QKeyEvent>
#include <QItemSelectionModel>
#include <QTreeView>

#include "app/tree_widget_control.h"

ItemKey ItemKeyOf(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return mods == Qt::NoModifier ? ItemKey::DetailedAnalysis : ItemKey::None;
    case Qt::Key_Delete:
        return mods == Qt::NoModifier ? ItemKey::EntryDelete : ItemKey::None;
    case Qt::Key_Menu:
        return ItemKey::ContextMenu;
    case Qt::Key_F10:
        return mods == Qt::ShiftModifier ? ItemKey::ContextMenu : ItemKey::None;
    default:
        return ItemKey::None;
    }
}

QPoint KeyboardMenuPos(const QTreeView& view)
{
    const QModelIndex current = view.currentIndex();
    QRect rect = current.isValid() ? view.visualRect(current.siblingAtColumn(0)) : QRect();
    // A tree's line begins right of its branch lines.
    if (const auto* tree = qobject_cast<const CTreeWidgetControl*>(&view); tree && rect.isValid())
        rect.setLeft(rect.left() + tree->BranchWidth(CTreeWidgetControl::LineOf(current)));
    const QPoint local = rect.isValid() ? rect.bottomLeft() : QPoint(0, 0);
    return view.viewport()->mapToGlobal(local);
}

void SelectItemUnder(QTreeView& view, QPoint viewportPos)
{
    const QModelIndex row = view.indexAt(viewportPos).siblingAtColumn(0);
    if (row.isValid() && !view.selectionModel()->isSelected(row))
        view.setCurrentIndex(row);
}
