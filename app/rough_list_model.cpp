#include "app/rough_list_model.h"

#include <QStringList>
#include <iterator>

#include "core/result_text.h"

namespace {
// The list's headings, in column order.
constexpr const char* kHeadings[] = {"ファイル名", "ファイル形式", "異常", "解析結果"};
static_assert(std::size(kHeadings) == CRoughListModel::kColumnCount);

QString FromBytes(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString AnomalyText(uint32_t errors, uint32_t warnings)
{
    QStringList parts;
    if (errors)
        parts << QStringLiteral("エラー %1").arg(errors);
    if (warnings)
        parts << QStringLiteral("警告 %1").arg(warnings);
    return parts.join(QLatin1Char(' '));
}
}  // namespace

CRoughListModel::Row* CRoughListModel::At(int row)
{
    return row >= 0 && row < RowCount() ? &rows_[Slot(row)] : nullptr;
}

const CRoughListModel::Row* CRoughListModel::At(int row) const
{
    return row >= 0 && row < RowCount() ? &rows_[Slot(row)] : nullptr;
}

void CRoughListModel::InsertRow(std::string path)
{
    rows_.emplace_back().path = std::move(path);
    if (indexed_)
        byPath_[rows_.back().path] = rows_.size() - 1;
    if (!hold_) {
        // The new row is the view's top row.
        beginInsertRows(QModelIndex(), 0, 0);
        ++shown_;
        endInsertRows();
    }
}

void CRoughListModel::HoldNewRows(bool hold)
{
    hold_ = hold;
    if (hold || shown_ == rows_.size())
        return;
    beginInsertRows(QModelIndex(), 0, Held() - 1);
    shown_ = rows_.size();
    endInsertRows();
}

int CRoughListModel::ViewRow(int row) const
{
    return row >= Held() && row < RowCount() ? row - Held() : -1;
}

void CRoughListModel::SetFormat(int row, std::string text)
{
    if (Row* r = At(row)) {
        r->format = std::move(text);
        if (const int v = ViewRow(row); v >= 0)
            emit dataChanged(index(v, kColumnFormat), index(v, kColumnFormat));
    }
}

void CRoughListModel::AppendResult(int row, const char* text)
{
    if (Row* r = At(row)) {
        AppendWithinLimit(r->result, text);
        if (const int v = ViewRow(row); v >= 0)
            emit dataChanged(index(v, kColumnResult), index(v, kColumnResult));
    }
}

void CRoughListModel::SetAbsence(int row, std::string reason)
{
    if (Row* r = At(row))
        r->absence = std::move(reason);
}

void CRoughListModel::SetAnomalyCounts(int row, uint32_t errors, uint32_t warnings, std::string tip)
{
    if (Row* r = At(row)) {
        r->anomalies = std::move(tip);
        r->errors = errors;
        r->warnings = warnings;
        if (const int v = ViewRow(row); v >= 0)
            emit dataChanged(index(v, kColumnAnomalies), index(v, kColumnAnomalies));
    }
}

std::string CRoughListModel::Text(int row, int column) const
{
    const Row* r = At(row);
    if (!r)
        return std::string();
    switch (column) {
    case kColumnFile: return r->path;
    case kColumnFormat: return r->format;
    case kColumnResult: return r->result;
    case kColumnAnomalies: return AnomalyText(r->errors, r->warnings).toStdString();
    default: return std::string();
    }
}

QString CRoughListModel::ToolTip(int row, int column) const
{
    const Row* r = At(row);
    if (!r)
        return QString();
    if (column == kColumnResult && r->result.empty())
        return FromBytes(r->absence);
    if (column == kColumnAnomalies)
        return FromBytes(r->anomalies);
    return FromBytes(Text(row, column));
}

int CRoughListModel::Find(std::string_view path) const
{
    if (!indexed_)
        IndexPaths();
    if (const auto it = byPath_.find(path); it != byPath_.end())
        return static_cast<int>(rows_.size() - 1 - it->second);
    // Without marks the index holds the newest row of every path; a marked
    // row may hide older rows with its path.
    if (marked_ == 0)
        return -1;
    for (int row = 0; row < RowCount(); ++row)
        if (const Row& r = rows_[Slot(row)]; !r.marked && r.path == path)
            return row;
    return -1;
}

void CRoughListModel::Remove(int row)
{
    const Row* r = At(row);
    if (!r)
        return;
    if (r->marked)
        --marked_;
    const int v = ViewRow(row);
    if (v >= 0) {
        beginRemoveRows(QModelIndex(), v, v);
        --shown_;
    }
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(Slot(row)));
    indexed_ = false;
    if (v >= 0)
        endRemoveRows();
}

void CRoughListModel::Mark(int row)
{
    Row* r = At(row);
    if (!r || r->marked)
        return;
    r->marked = true;
    ++marked_;
    if (!indexed_)
        return;
    if (const auto it = byPath_.find(r->path); it != byPath_.end() && it->second == Slot(row))
        byPath_.erase(it);
}

bool CRoughListModel::Marked(int row) const
{
    const Row* r = At(row);
    return r && r->marked;
}

void CRoughListModel::RemoveMarked()
{
    if (marked_ == 0)
        return;
    beginResetModel();
    std::deque<Row> kept;
    size_t shownKept = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].marked)
            continue;
        shownKept += i < shown_ ? 1 : 0;
        kept.push_back(std::move(rows_[i]));
    }
    rows_ = std::move(kept);
    shown_ = shownKept;
    marked_ = 0;
    indexed_ = false;
    endResetModel();
}

void CRoughListModel::IndexPaths() const
{
    byPath_.clear();
    indexed_ = true;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (!rows_[i].marked)
            byPath_[rows_[i].path] = i;
}

int CRoughListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int CRoughListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CRoughListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    const int row = RowOfView(index.row());
    const Row* r = At(row);
    if (!r)
        return QVariant();
    switch (index.column()) {
    case kColumnFile: return FromBytes(r->path);
    case kColumnFormat: return FromBytes(r->format);
    case kColumnResult: return FromBytes(r->result);
    case kColumnAnomalies: return AnomalyText(r->errors, r->warnings);
    default: return QVariant();
    }
}

QVariant CRoughListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return QVariant();
    return QString::fromUtf8(kHeadings[section]);
}

Qt::ItemFlags CRoughListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
