#pragma once
// The tree operations of the analysis core on a QTreeWidget: an item handle
// is the QTreeWidgetItem's address, TVI_ROOT stands for the top level. Items
// keep the exact bytes of their text, so a path that is not valid UTF-8 still
// finds its entry, row and document again. Ctrl+F finds text in the tree,
// F3 and Shift+F3 the next and the previous match.
#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

    // Selects the next item after the current one (or the previous one) in
    // display order, collapsed branches included, whose text contains text
    // in any case; wraps around, opens the match's ancestors and scrolls to
    // it. False when no item matches.
    bool FindText(const QString& text, bool backward = false);
    const QString& LastSearch() const { return lastSearch_; }

protected:
    // The text to find, asked for on Ctrl+F; empty when nobody answers.
    virtual QString AskSearchText() { return QString(); }
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTreeWidgetItem* NextSibling(QTreeWidgetItem* item) const;

    std::unordered_set<const QTreeWidgetItem*> live_;
    // Only lines that describe bytes have an entry.
    std::unordered_map<const QTreeWidgetItem*, ByteRange> ranges_;
    QString lastSearch_;
    bool bulk_ = false;
    QList<QTreeWidgetItem*> pendingTop_;
    std::vector<QTreeWidgetItem*> pendingExpand_;
};
