#include "app/rough_list_ctrl.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>
#include <iterator>

#include "app/app_resources.h"
#include "app/item_view_input.h"
#include "app/path_delegate.h"
#include "app/vantrel_app.h"

namespace {
// The columns' first widths, in column order.
constexpr int kColumnWidths[] = {200, 200, 120, 500};
static_assert(std::size(kColumnWidths) == CRoughListModel::kColumnCount);
}  // namespace

CRoughListCtrl::CRoughListCtrl(CVantrelApp& app, QWidget* parent) : QTreeView(parent), app_(app), model_(this)
{
    setModel(&model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int i = 0; i < CRoughListModel::kColumnCount; ++i)
        setColumnWidth(i, kColumnWidths[i]);
    // Paths of one folder differ at their end: keep both ends in sight, the
    // file name whole.
    setTextElideMode(Qt::ElideMiddle);
    setItemDelegateForColumn(kColumnFile, new CPathDelegate(this));
    pathWidth_ = columnWidth(kColumnFile);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (filling_)
            return;
        // A width given to the path column (by the user, the profile) is its
        // own; another column's change moves the spare width.
        if (column == kColumnFile)
            pathWidth_ = width;
        else
            FillPathColumn();
    });
    connect(this, &QTreeView::doubleClicked, this, &CRoughListCtrl::OnDetailedAnalysis);
}

int CRoughListCtrl::KeptColumnWidth(int column) const
{
    return column == kColumnFile ? pathWidth_ : columnWidth(column);
}

void CRoughListCtrl::FillPathColumn()
{
    int others = 0;
    for (int column = 0; column < CRoughListModel::kColumnCount; ++column)
        if (column != kColumnFile)
            others += columnWidth(column);
    const int width = std::max(pathWidth_, viewport()->width() - others);
    if (width == columnWidth(kColumnFile))
        return;
    filling_ = true;
    setColumnWidth(kColumnFile, width);
    filling_ = false;
}

int CRoughListCtrl::InsertFileRow(const char* path)
{
    model_.InsertRow(path);
    return 0;
}

void CRoughListCtrl::BeginInsertBatch()
{
    model_.HoldNewRows(true);
}

void CRoughListCtrl::EndInsertBatch()
{
    model_.HoldNewRows(false);
}

void CRoughListCtrl::SetFormatText(int row, const char* text)
{
    model_.SetFormat(row, text);
}

void CRoughListCtrl::AppendResultText(int row, const char* text)
{
    model_.AppendResult(row, text);
}

void CRoughListCtrl::SetSummaryAbsence(int row, const std::string& reason)
{
    model_.SetAbsence(row, reason);
}

void CRoughListCtrl::SetAnomalyCounts(int row, uint32_t errors, uint32_t warnings, std::string tip)
{
    model_.SetAnomalyCounts(row, errors, warnings, std::move(tip));
}

int CRoughListCtrl::FindRow(const char* path) const
{
    return model_.Find(path);
}

void CRoughListCtrl::DeleteRow(int row)
{
    if (model_.Marked(row))
        return;
    if (deleteBatch_ > 0)
        model_.Mark(row);
    else
        model_.Remove(row);
}

void CRoughListCtrl::BeginDeleteBatch()
{
    ++deleteBatch_;
}

void CRoughListCtrl::EndDeleteBatch()
{
    if (--deleteBatch_ == 0 && model_.AnyMarked())
        RemoveMarkedRows();
}

void CRoughListCtrl::RemoveMarkedRows()
{
    // All rows leave the view at once and the kept ones come back at once;
    // the selection and the caret row are put back afterwards, counted among
    // the kept rows.
    const int currentRow = model_.RowOfView(currentIndex().row());
    int currentKept = -1;
    std::vector<bool> selected;
    for (int row = 0; row < model_.RowCount(); ++row) {
        if (model_.Marked(row))
            continue;
        if (row == currentRow)
            currentKept = static_cast<int>(selected.size());
        const QModelIndex index = IndexOfRow(row);
        selected.push_back(index.isValid() && selectionModel()->isSelected(index));
    }
    model_.RemoveMarked();
    QItemSelection selection;
    for (size_t i = 0; i < selected.size();) {
        size_t j = i;
        while (j < selected.size() && selected[j])
            ++j;
        if (j > i)
            selection.select(IndexOfRow(static_cast<int>(i)),
                             IndexOfRow(static_cast<int>(j - 1)).siblingAtColumn(CRoughListModel::kColumnCount - 1));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (currentKept >= 0)
        selectionModel()->setCurrentIndex(IndexOfRow(currentKept), QItemSelectionModel::NoUpdate);
}

std::string CRoughListCtrl::RowText(int row, int column) const
{
    return model_.Text(row, column);
}

std::string CRoughListCtrl::RowPath(int row) const
{
    return RowText(row, kColumnFile);
}

QModelIndex CRoughListCtrl::IndexOfRow(int row) const
{
    const int viewRow = model_.ViewRow(row);
    return viewRow < 0 ? QModelIndex() : model_.index(viewRow, 0);
}

void CRoughListCtrl::SelectRow(int row, bool selected)
{
    const QModelIndex index = IndexOfRow(row);
    if (index.isValid())
        selectionModel()->select(index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                            QItemSelectionModel::Rows);
}

void CRoughListCtrl::SelectOnly(const std::vector<int>& rows)
{
    QItemSelection selection;
    QModelIndex first;
    for (int row : rows) {
        const QModelIndex index = IndexOfRow(row);
        if (!index.isValid())
            continue;
        selection.select(index, index.siblingAtColumn(CRoughListModel::kColumnCount - 1));
        if (!first.isValid())
            first = index;
    }
    if (!first.isValid())
        return;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    scrollTo(first);
}

std::vector<int> CRoughListCtrl::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(model_.RowOfView(index.row()));
    std::sort(rows.begin(), rows.end());
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
    QTreeView::mousePressEvent(event);
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
    QTreeView::keyPressEvent(event);
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
    return model_.ToolTip(row, column);
}

bool CRoughListCtrl::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        // Also when a scroll bar comes or goes.
        const bool handled = QTreeView::viewportEvent(event);
        FillPathColumn();
        return handled;
    }
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = index.isValid() ? ToolTipAt(model_.RowOfView(index.row()), index.column()) : QString();
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
    std::vector<std::string> paths;
    for (int row : SelectedRows())
        paths.push_back(RowPath(row));
    app_.RunDetailedAnalyses(paths, MessageOwner::RoughList);
}
