#pragma once
// A tree of result lines on a QTreeWidget. The widget keeps the lines it
// shows (a CLineTree) beside one item per line: a line's exact bytes, its
// byte range and its place in the tree are asked of the lines, the items
// only show them. So a path that is not valid UTF-8 still finds its entry,
// row and document again. A line, or a line with everything under it, is
// copied as text in vantrel-dump -d's indented form.
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/item_search.h"
#include "core/line_tree.h"

class CTreeWidgetControl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTreeWidgetControl(QWidget* parent = nullptr);

    // Shows lines in place of what was shown: an item for every line, the
    // branches expanded where the lines say so. The items are built apart
    // from the view and join it in one step, so that it lays out once.
    void ShowLines(CLineTree lines);
    const CLineTree& Lines() const { return lines_; }

    // The line an item shows; kNoLine for an item that shows none.
    static LineId LineOf(const QTreeWidgetItem* item);
    // Null for a line this widget does not show.
    QTreeWidgetItem* ItemOf(LineId line) const;
    // The caret line, when it is selected; kNoLine otherwise.
    LineId SelectedLine() const;
    // The top-level item above item (item itself when it is one).
    static QTreeWidgetItem* TopLevelOf(QTreeWidgetItem* item);
    // The bytes of the line an item shows.
    static std::string ItemBytes(const QTreeWidgetItem* item);
    // Calls visit for every item the user can see by scrolling (those under
    // collapsed branches left out), in display order, with its depth.
    void ForEachShownItem(const std::function<void(QTreeWidgetItem* item, int depth)>& visit) const;

    CItemSearch& Search() { return search_; }
    // Ctrl+C (or Ctrl+Insert) and Ctrl+Shift+C: CopySelectedLine.
    static bool IsCopyKey(const QKeyEvent& event, bool& withChildren);
    // Copies the selected line, alone or with everything under it, to the
    // clipboard; nothing when no line is selected.
    void CopySelectedLine(bool withChildren) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<QTreeWidgetItem*> BuildItems(const CLineTree& lines, std::vector<QTreeWidgetItem*>& items) const;
    void ExpandAsLinesSay();

    CLineTree lines_;
    std::vector<QTreeWidgetItem*> items_;   // by line id, from 1
    CItemSearch search_{*this};
};
