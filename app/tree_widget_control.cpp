#include "app/tree_widget_control.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleFactory>
#include <vector>

#include "core/tree_ranges.h"

namespace {

constexpr int kTextBytesRole = Qt::UserRole + 1;

// The classic style draws dotted branch lines and plus/minus buttons, which
// the result trees use to show their nesting; one instance serves every tree.
QStyle* BranchLineStyle()
{
    static QStyle* style = [] {
        QStyle* s = QStyleFactory::create(QStringLiteral("Windows"));
        if (s)
            s->setParent(qApp);
        return s;
    }();
    return style;
}

}  // namespace

CTreeWidgetControl::CTreeWidgetControl(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    if (QStyle* style = BranchLineStyle())
        setStyle(style);
}

HTREEITEM CTreeWidgetControl::Handle(const QTreeWidgetItem* item)
{
    return reinterpret_cast<HTREEITEM>(item);
}

QTreeWidgetItem* CTreeWidgetControl::ItemFromHandle(HTREEITEM handle) const
{
    if (handle == 0 || handle == TVI_ROOT || handle == TVI_LAST)
        return nullptr;
    auto* item = reinterpret_cast<QTreeWidgetItem*>(handle);
    return live_.count(item) ? item : nullptr;
}

QTreeWidgetItem* CTreeWidgetControl::TopLevelOf(QTreeWidgetItem* item)
{
    while (item && item->parent())
        item = item->parent();
    return item;
}

std::string CTreeWidgetControl::ItemBytes(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kTextBytesRole).toByteArray().toStdString() : std::string();
}

HTREEITEM CTreeWidgetControl::InsertItem(const char* text, HTREEITEM parent, HTREEITEM)
{
    QTreeWidgetItem* parentItem = nullptr;
    if (parent != TVI_ROOT && parent != 0) {
        parentItem = ItemFromHandle(parent);
        if (!parentItem)
            return 0;
    }
    const QByteArray bytes(text ? text : "");
    auto* item = new QTreeWidgetItem;
    item->setText(0, QString::fromUtf8(bytes));
    item->setData(0, kTextBytesRole, bytes);
    if (parentItem)
        parentItem->addChild(item);
    else if (bulk_)
        pendingTop_.append(item);
    else
        addTopLevelItem(item);
    live_.insert(item);
    return Handle(item);
}

void CTreeWidgetControl::Expand(HTREEITEM handle, unsigned code)
{
    QTreeWidgetItem* item = ItemFromHandle(handle);
    if (!item || code != TVE_EXPAND)
        return;
    // An item outside the view cannot be expanded yet.
    if (!item->treeWidget())
        pendingExpand_.push_back(item);
    else
        item->setExpanded(true);
}

void CTreeWidgetControl::BeginBulkInsert()
{
    bulk_ = true;
}

void CTreeWidgetControl::EndBulkInsert()
{
    bulk_ = false;
    addTopLevelItems(pendingTop_);
    pendingTop_.clear();
    // The insertion has scheduled a full layout, so expanding now only
    // records each item for it.
    for (QTreeWidgetItem* item : pendingExpand_)
        if (live_.count(item))
            item->setExpanded(true);
    pendingExpand_.clear();
}

HTREEITEM CTreeWidgetControl::GetParentItem(HTREEITEM handle) const
{
    const QTreeWidgetItem* item = ItemFromHandle(handle);
    return item ? Handle(item->parent()) : 0;
}

HTREEITEM CTreeWidgetControl::GetChildItem(HTREEITEM handle) const
{
    if (handle == TVI_ROOT)
        return GetRootItem();
    const QTreeWidgetItem* item = ItemFromHandle(handle);
    return item && item->childCount() > 0 ? Handle(item->child(0)) : 0;
}

QTreeWidgetItem* CTreeWidgetControl::NextSibling(QTreeWidgetItem* item) const
{
    // The model finds an item's row in constant time (it remembers where the
    // item was last seen), where a search of the parent's children would make
    // walks along long sibling chains quadratic.
    const QModelIndex index = indexFromItem(item);
    return itemFromIndex(index.sibling(index.row() + 1, 0));
}

HTREEITEM CTreeWidgetControl::GetNextSiblingItem(HTREEITEM handle) const
{
    QTreeWidgetItem* item = ItemFromHandle(handle);
    return item ? Handle(NextSibling(item)) : 0;
}

HTREEITEM CTreeWidgetControl::GetNextVisibleItem(HTREEITEM handle) const
{
    QTreeWidgetItem* item = ItemFromHandle(handle);
    if (!item)
        return 0;
    // An item under a collapsed ancestor is not visible and has no next.
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        if (!p->isExpanded())
            return 0;
    if (item->isExpanded() && item->childCount() > 0)
        return Handle(item->child(0));
    for (QTreeWidgetItem* cur = item; cur; cur = cur->parent())
        if (QTreeWidgetItem* next = NextSibling(cur))
            return Handle(next);
    return 0;
}

HTREEITEM CTreeWidgetControl::GetRootItem() const
{
    return topLevelItemCount() > 0 ? Handle(topLevelItem(0)) : 0;
}

HTREEITEM CTreeWidgetControl::GetSelectedItem() const
{
    QTreeWidgetItem* item = currentItem();
    return item && item->isSelected() ? Handle(item) : 0;
}

void CTreeWidgetControl::DeleteAllItems()
{
    live_.clear();
    ranges_.clear();
    qDeleteAll(pendingTop_);
    pendingTop_.clear();
    pendingExpand_.clear();
    clear();
}

void CTreeWidgetControl::SetItemRange(HTREEITEM handle, const ByteRange& range)
{
    if (const QTreeWidgetItem* item = ItemFromHandle(handle))
        ranges_[item] = range;
}

bool CTreeWidgetControl::GetItemRange(HTREEITEM handle, ByteRange& range) const
{
    const auto it = ranges_.find(ItemFromHandle(handle));
    if (it == ranges_.end() || it->second.Empty())
        return false;
    range = it->second;
    return true;
}

std::string CTreeWidgetControl::GetItemText(HTREEITEM handle) const
{
    return ItemBytes(ItemFromHandle(handle));
}

bool CTreeWidgetControl::IsExpanded(HTREEITEM handle) const
{
    const QTreeWidgetItem* item = ItemFromHandle(handle);
    return item && item->isExpanded();
}

void CTreeWidgetControl::CopySelectedLine(bool withChildren) const
{
    if (const HTREEITEM item = GetSelectedItem())
        QGuiApplication::clipboard()->setText(QString::fromUtf8(TreeText(*this, item, withChildren)));
}

bool CTreeWidgetControl::IsCopyKey(const QKeyEvent& event, bool& withChildren)
{
    withChildren = event.keyCombination() == (Qt::CTRL | Qt::SHIFT | Qt::Key_C);
    return withChildren || event.matches(QKeySequence::Copy);
}

void CTreeWidgetControl::keyPressEvent(QKeyEvent* event)
{
    bool withChildren = false;
    if (IsCopyKey(*event, withChildren)) {
        CopySelectedLine(withChildren);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
