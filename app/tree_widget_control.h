#pragma once
// The tree operations of the analysis core on a QTreeWidget: an item handle
// is the QTreeWidgetItem's address, TVI_ROOT stands for the top level. Items
// keep the exact bytes of their text, so a path that is not valid UTF-8 still
// finds its entry, row and document again. A line, or a line with everything
// under it, is copied as text in vantrel-dump -d's indented form.
#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/item_search.h"
#include "core/tree_control.h"

class CTreeWidgetControl : public QTreeWidget, public ITreeControl {
    Q_OBJECT
public:
    explicit CTreeWidgetControl(QWidget* parent = nullptr);
    using ITreeControl::InsertItem;

    HTREEITEM InsertItem(const char* text, HTREEITEM parent, HTREEITEM insertAfter = TVI_LAST) override;
    void Expand(HTREEITEM item, unsigned code) override;
    HTREEITEM GetParentItem(HTREEITEM item) const override;
    HTREEITEM GetChildItem(HTREEITEM item) const override;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const override;
    HTREEITEM GetNextVisibleItem(HTREEITEM item) const override;
    HTREEITEM GetRootItem() const override;
    // The caret item, when it is selected.
    HTREEITEM GetSelectedItem() const override;
    void DeleteAllItems() override;
    std::string GetItemText(HTREEITEM item) const override;
    bool IsExpanded(HTREEITEM item) const override;
    void SetItemRange(HTREEITEM item, const ByteRange& range) override;
    bool GetItemRange(HTREEITEM item, ByteRange& range) const override;

    static HTREEITEM Handle(const QTreeWidgetItem* item);
    // The item behind a handle, or null when the handle is not a live item
    // of this tree.
    QTreeWidgetItem* ItemFromHandle(HTREEITEM handle) const;
    // The top-level item above item (item itself when it is one).
    static QTreeWidgetItem* TopLevelOf(QTreeWidgetItem* item);
    // The bytes an item was inserted with.
    static std::string ItemBytes(const QTreeWidgetItem* item);

    // Between these two, new top-level items and everything under them are
    // built apart from the view, and join it in one step at the end: the
    // view lays out once instead of once per item.
    void BeginBulkInsert();
    void EndBulkInsert();

    CItemSearch& Search() { return search_; }
    // Ctrl+C (or Ctrl+Insert) and Ctrl+Shift+C: CopySelectedLine.
    static bool IsCopyKey(const QKeyEvent& event, bool& withChildren);
    // Copies the selected line, alone or with everything under it, to the
    // clipboard; nothing when no line is selected.
    void CopySelectedLine(bool withChildren) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTreeWidgetItem* NextSibling(QTreeWidgetItem* item) const;

    std::unordered_set<const QTreeWidgetItem*> live_;
    // Only lines that describe bytes have an entry.
    std::unordered_map<const QTreeWidgetItem*, ByteRange> ranges_;
    CItemSearch search_{*this};
    bool bulk_ = false;
    QList<QTreeWidgetItem*> pendingTop_;
    std::vector<QTreeWidgetItem*> pendingExpand_;
};
