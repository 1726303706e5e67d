#include "app/rough_list_ctrl.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>
#include <iterator>

#include "app/app_resources.h"
#include "app/item_view_input.h"
#include "app/vantrel_app.h"
#include "core/result_text.h"

namespace {
constexpr int kTextBytesRole = Qt::UserRole + 1;
// Why a row's result is empty, on its result cell.
constexpr int kAbsenceRole = Qt::UserRole + 2;

struct ColumnLayout {
    const char* heading;
    int width;
};
constexpr ColumnLayout kColumns[] = {
    {"ファイル名", 200},
    {"ファイル形式", 200},
    {"解析結果", 500},
    {"異常", 120},
};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));
}  // namespace

CRoughListCtrl::CRoughListCtrl(CVantrelApp& app, QWidget* parent) : QTreeWidget(parent), app_(app)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setColumnCount(kColumnCount);
    QStringList headings;
    for (const auto& c : kColumns)
        headings << QString::fromUtf8(c.heading);
    setHeaderLabels(headings);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    for (int i = 0; i < kColumnCount; ++i) {
        header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setColumnWidth(i, kColumns[i].width);
    }
    // Paths of one folder differ at their end: keep both ends in sight.
    setTextElideMode(Qt::ElideMiddle);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &CRoughListCtrl::OnDetailedAnalysis);
}

QTreeWidgetItem* CRoughListCtrl::Row(int row) const
{
    const int waiting = static_cast<int>(pending_.size());
    if (row < 0)
        return nullptr;
    if (row < waiting)
        return pending_[static_cast<size_t>(waiting - 1 - row)];
    return row - waiting < topLevelItemCount() ? topLevelItem(row - waiting) : nullptr;
}

int CRoughListCtrl::IndexOf(QTreeWidgetItem* item) const
{
    const auto waiting = static_cast<int>(pending_.size());
    if (item->treeWidget() == this)
        return waiting + indexFromItem(item).row();
    for (int i = 0; i < waiting; ++i)
        if (pending_[static_cast<size_t>(waiting - 1 - i)] == item)
            return i;
    return -1;
}

int CRoughListCtrl::InsertFileRow(const char* path)
{
    auto* item = new QTreeWidgetItem;
    const QByteArray bytes(path);
    item->setText(kColumnFile, QString::fromUtf8(bytes));
    item->setData(kColumnFile, kTextBytesRole, bytes);
    item->setData(kColumnResult, kTextBytesRole, QByteArray());
    if (insertBatch_)
        pending_.push_back(item);
    else
        insertTopLevelItem(0, item);
    byPath_[path] = item;
    return 0;
}

void CRoughListCtrl::BeginInsertBatch()
{
    insertBatch_ = true;
}

void CRoughListCtrl::EndInsertBatch()
{
    insertBatch_ = false;
    if (pending_.empty())
        return;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(pending_.size()));
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it)
        rows.append(*it);
    pending_.clear();
    insertTopLevelItems(0, rows);
}

void CRoughListCtrl::SetFormatText(int row, const char* text)
{
    if (QTreeWidgetItem* item = Row(row)) {
        item->setText(kColumnFormat, QString::fromUtf8(text));
        item->setData(kColumnFormat, kTextBytesRole, QByteArray(text));
    }
}

void CRoughListCtrl::AppendResultText(int row, const char* text)
{
    QTreeWidgetItem* item = Row(row);
    if (!item)
        return;
    std::string cell = item->data(kColumnResult, kTextBytesRole).toByteArray().toStdString();
    AppendWithinLimit(cell, text);
    const QByteArray bytes(cell.data(), static_cast<qsizetype>(cell.size()));
    item->setText(kColumnResult, QString::fromUtf8(bytes));
    item->setData(kColumnResult, kTextBytesRole, bytes);
}

void CRoughListCtrl::SetSummaryAbsence(int row, const std::string& reason)
{
    if (QTreeWidgetItem* item = Row(row))
        item->setData(kColumnResult, kAbsenceRole, QString::fromUtf8(reason.c_str()));
}

void CRoughListCtrl::SetAnomalyCounts(int row, uint32_t errors, uint32_t warnings)
{
    QTreeWidgetItem* item = Row(row);
    if (!item)
        return;
    QStringList parts;
    if (errors)
        parts << QStringLiteral("エラー %1").arg(errors);
    if (warnings)
        parts << QStringLiteral("警告 %1").arg(warnings);
    item->setText(kColumnAnomalies, parts.join(QLatin1Char(' ')));
}

int CRoughListCtrl::FindRow(const char* path) const
{
    if (const auto it = byPath_.find(path); it != byPath_.end())
        return IndexOf(it->second);
    const QByteArray key(path);
    for (int i = 0; i < RowCount(); ++i) {
        QTreeWidgetItem* item = Row(i);
        if (!marked_.count(item) && item->data(kColumnFile, kTextBytesRole).toByteArray() == key)
            return i;
    }
    return -1;
}

void CRoughListCtrl::DeleteRow(int row)
{
    QTreeWidgetItem* item = Row(row);
    if (!item || marked_.count(item))
        return;
    if (const auto it = byPath_.find(RowPath(row)); it != byPath_.end() && it->second == item)
        byPath_.erase(it);
    if (deleteBatch_ > 0) {
        marked_.insert(item);
        return;
    }
    if (item->treeWidget() != this)
        pending_.erase(pending_.end() - 1 - row);
    delete item;
}

void CRoughListCtrl::BeginDeleteBatch()
{
    ++deleteBatch_;
}

void CRoughListCtrl::EndDeleteBatch()
{
    if (--deleteBatch_ == 0 && !marked_.empty())
        RemoveMarkedRows();
}

void CRoughListCtrl::RemoveMarkedRows()
{
    // All rows leave the view at once and the kept ones come back at once;
    // the selection and the caret row are put back afterwards.
    QTreeWidgetItem* current = currentItem();
    const bool currentKept = current && !marked_.count(current);
    std::vector<bool> selected;
    QList<QTreeWidgetItem*> kept;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (!marked_.count(item)) {
            selected.push_back(item->isSelected());
            kept.append(item);
        }
    }
    for (QTreeWidgetItem* item : invisibleRootItem()->takeChildren())
        if (marked_.count(item))
            delete item;
    marked_.clear();
    insertTopLevelItems(0, kept);
    QItemSelection selection;
    for (size_t i = 0; i < selected.size();) {
        size_t j = i;
        while (j < selected.size() && selected[j])
            ++j;
        if (j > i)
            selection.select(model()->index(static_cast<int>(i), 0),
                             model()->index(static_cast<int>(j - 1), columnCount() - 1));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (currentKept)
        selectionModel()->setCurrentIndex(indexFromItem(current), QItemSelectionModel::NoUpdate);
}

std::string CRoughListCtrl::RowText(int row, int column) const
{
    const QTreeWidgetItem* item = Row(row);
    return item ? item->data(column, kTextBytesRole).toByteArray().toStdString() : std::string();
}

std::string CRoughListCtrl::RowPath(int row) const
{
    return RowText(row, kColumnFile);
}

std::vector<int> CRoughListCtrl::SelectedRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            rows.push_back(i);
    return rows;
}

void CRoughListCtrl::mousePressEvent(QMouseEvent* event)
{
    // The menu is offered only when a row is selected once the row under the
    // pointer has been taken in; its commands act on the rows selected when
    // they run.
    if (event->button() == Qt::RightButton) {
        SelectItemUnder(*this, event->position().toPoint());
        if (ShowContextMenu(event->globalPosition().toPoint()))
            return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CRoughListCtrl::keyPressEvent(QKeyEvent* event)
{
    switch (ItemKeyOf(*event)) {
    case ItemKey::DetailedAnalysis: OnDetailedAnalysis(); return;
    case ItemKey::EntryDelete: OnEntryDelete(); return;
    case ItemKey::ContextMenu: ShowContextMenu(KeyboardMenuPos(*this)); return;
    case ItemKey::None: break;
    }
    if (app_.HandleSearchKey(*this, search_, *event))
        return;
    if (event->matches(QKeySequence::Copy)) {
        CopySelectedRows();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool CRoughListCtrl::ShowContextMenu(QPoint globalPos)
{
    if (SelectedRows().empty())
        return false;
    QMenu menu(this);
    LoadPopupMenu(menu, kIdrEntryMenu);
    connect(FindCommand(menu, kCmdEntryDelete), &QAction::triggered, this, &CRoughListCtrl::OnEntryDelete);
    connect(FindCommand(menu, kCmdDetailedAnalysis), &QAction::triggered, this, &CRoughListCtrl::OnDetailedAnalysis);
    return app_.TrackPopupMenu(menu, globalPos) != nullptr;
}

QString CRoughListCtrl::ToolTipAt(int row, int column) const
{
    const QTreeWidgetItem* item = Row(row);
    if (!item)
        return QString();
    if (column != kColumnResult || !item->text(kColumnResult).isEmpty())
        return item->text(column);
    return item->data(kColumnResult, kAbsenceRole).toString();
}

bool CRoughListCtrl::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeWidget::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = index.isValid() ? ToolTipAt(index.row(), index.column()) : QString();
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
    return true;
}

void CRoughListCtrl::OnEntryDelete()
{
    if (app_.RefuseWhileAnalysing())
        return;
    std::vector<std::string> paths;
    for (int row : SelectedRows())
        paths.push_back(RowPath(row));
    if (paths.empty())
        return;
    MessageBoxRequest box;
    box.text = paths.size() == 1 ? "ファイル：" + paths.front() + "\nを表示から削除します。"
                                 : "選択した" + std::to_string(paths.size()) + "個のファイルを表示から削除します。";
    box.caption = kAppTitle;
    box.owner = MessageOwner::RoughList;
    box.buttons = MessageButtons::OkCancel;
    if (app_.MessageBox(box) != MessageAnswer::Ok)
        return;
    // The files leave the list and the bar together once all are removed.
    CVantrelApp::DeletionBatch batch(app_);
    for (const std::string& path : paths)
        app_.DeleteEntry(path.c_str());
}

void CRoughListCtrl::CopySelectedRows() const
{
    std::string text;
    for (int row : SelectedRows())
        text += RowPath(row) + '\t' + RowText(row, kColumnFormat) + '\t' + RowText(row, kColumnResult) + '\n';
    if (!text.empty())
        QGuiApplication::clipboard()->setText(QString::fromUtf8(text.c_str()));
}

void CRoughListCtrl::OnDetailedAnalysis()
{
    const std::vector<int> selected = SelectedRows();
    if (!selected.empty())
        app_.RunDetailedAnalysis(RowPath(selected.front()).c_str());
}
