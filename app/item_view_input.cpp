#include "app/item_view_input.h"

#include <QKeyEvent>
#include <QTreeWidget>

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

QPoint KeyboardMenuPos(const QTreeWidget& view)
{
    QTreeWidgetItem* item = view.currentItem();
    const QRect rect = item ? view.visualItemRect(item) : QRect();
    const QPoint local = rect.isValid() ? rect.bottomLeft() : QPoint(0, 0);
    return view.viewport()->mapToGlobal(local);
}

void SelectItemUnder(QTreeWidget& view, QPoint viewportPos)
{
    QTreeWidgetItem* item = view.itemAt(viewportPos);
    if (item && !item->isSelected())
        view.setCurrentItem(item);
}
