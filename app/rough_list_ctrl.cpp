#include "app/rough_list_ctrl.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>

#include "app/app_resources.h"
#include "app/item_view_input.h"
#include "app/summary_absence.h"
#include "app/vantrel_app.h"
#include "core/result_text.h"

namespace {
constexpr int kTextBytesRole = Qt::UserRole + 1;

struct ColumnLayout {
    const char* heading;
    int width;
};
constexpr ColumnLayout kColumns[] = {
    {"ファイル名", 200},
    {"ファイル形式", 200},
    {"解析結果", 500},
};
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
    setColumnCount(3);
    QStringList headings;
    for (const auto& c : kColumns)
        headings << QString::fromUtf8(c.heading);
    setHeaderLabels(headings);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    for (int i = 0; i < 3; ++i) {
        header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setColumnWidth(i, kColumns[i].width);
    }
    // Paths of one folder differ at their end: keep both ends in sight.
    setTextElideMode(Qt::ElideMiddle);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &CRoughListCtrl::OnDetailedAnalysis);
}

QTreeWidgetItem* CRoughListCtrl::Row(int row) const
{
    return row >= 0 && row < topLevelItemCount() ? topLevelItem(row) : nullptr;
}

int CRoughListCtrl::InsertFileRow(const char* path)
{
    auto* item = new QTreeWidgetItem;
    const QByteArray bytes(path);
    item->setText(kColumnFile, QString::fromUtf8(bytes));
    item->setData(kColumnFile, kTextBytesRole, bytes);
    item->setData(kColumnResult, kTextBytesRole, QByteArray());
    insertTopLevelItem(0, item);
    return 0;
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

int CRoughListCtrl::FindRow(const char* path) const
{
    const QByteArray key(path);
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->data(kColumnFile, kTextBytesRole).toByteArray() == key)
            return i;
    return -1;
}

void CRoughListCtrl::DeleteRow(int row)
{
    delete Row(row);
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
    return QString::fromUtf8(SummaryAbsence(app_.Analysis().Entries(), RowPath(row).c_str()));
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
    size_t declined = 0;
    // Each selected row is asked at most once, so the questions are bounded
    // by the selection even if a deletion left its row behind.
    for (size_t asked = 0, limit = SelectedRows().size(); asked < limit; ++asked) {
        const std::vector<int> selected = SelectedRows();
        if (declined >= selected.size())
            break;
        const std::string path = RowPath(selected[declined]);
        MessageBoxRequest box;
        box.text = "ファイル：" + path + "\nを表示から削除します。";
        box.caption = kAppTitle;
        box.owner = MessageOwner::RoughList;
        box.buttons = MessageButtons::OkCancel;
        if (app_.MessageBox(box) == MessageAnswer::Ok)
            app_.DeleteEntry(path.c_str());
        else
            ++declined;
    }
}

void CRoughListCtrl::OnDetailedAnalysis()
{
    const std::vector<int> selected = SelectedRows();
    if (!selected.empty())
        app_.RunDetailedAnalysis(RowPath(selected.front()).c_str());
}
