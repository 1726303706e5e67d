#pragma once
// Mouse and keyboard conventions shared by the windows that list opened
// files (the rough-analysis list and the analysis-tree bar) and by the result
// trees: which key runs which command, where a menu opened from the keyboard
// appears, and what a right click selects.
#include <QPoint>

class QKeyEvent;
class QTreeView;

enum class ItemKey {
    None,
    DetailedAnalysis,   // Enter
    EntryDelete,        // Delete
    ContextMenu,        // the Menu key, Shift+F10
};

ItemKey ItemKeyOf(const QKeyEvent& event);

// Screen position for a context menu opened from the keyboard: the current
// item's lower left corner, or the view's top left when there is none.
QPoint KeyboardMenuPos(const QTreeView& view);

// A right click first selects the item under the pointer, unless that item
// is selected already (so that a multiple selection survives a click inside
// it). A click on empty space changes nothing.
void SelectItemUnder(QTreeView& view, QPoint viewportPos);
