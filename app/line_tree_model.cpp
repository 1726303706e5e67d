#include "app/line_tree_model.h"

#include <numeric>

void CLineTreeModel::SetLines(CLineTree lines)
{
    beginResetModel();
    lines_ = std::move(lines);
    marks_.clear();
    // Lines appended in display order with every branch open show in the
    // order of their ids, as a rebuilt bar's do; others are walked.
    if (lines_.OpenBranches(expanded_) && lines_.InAppendOrder()) {
        shown_.resize(lines_.Count());
        std::iota(shown_.begin(), shown_.end(), LineId{1});
        UpdateRows();
    } else {
        ListShownLines();
    }
    endResetModel();
}

void CLineTreeModel::ListShownLines()
{
    shown_.clear();
    for (LineId top = lines_.First(); top != kNoLine; top = lines_.NextSibling(top)) {
        shown_.push_back(top);
        if (expanded_[top])
            AppendBelow(top, shown_, false);
    }
    UpdateRows();
}

std::vector<LineId> CLineTreeModel::AllLinesInOrder() const
{
    std::vector<LineId> all;
    all.reserve(lines_.Count());
    for (LineId top = lines_.First(); top != kNoLine; top = lines_.NextSibling(top)) {
        all.push_back(top);
        AppendBelow(top, all, true);
    }
    return all;
}

void CLineTreeModel::AppendBelow(LineId line, std::vector<LineId>& out, bool closedToo) const
{
    // Depth first without recursion: the next line to look at on each level.
    std::vector<LineId> next{lines_.FirstChild(line)};
    while (!next.empty()) {
        const LineId at = next.back();
        if (at == kNoLine) {
            next.pop_back();
            continue;
        }
        next.back() = lines_.NextSibling(at);
        out.push_back(at);
        if (closedToo || expanded_[at])
            next.push_back(lines_.FirstChild(at));
    }
}

void CLineTreeModel::UpdateRows()
{
    row_.assign(lines_.Count() + 1, -1);
    for (size_t row = 0; row < shown_.size(); ++row)
        row_[shown_[row]] = static_cast<int32_t>(row);
}

void CLineTreeModel::SetExpanded(LineId line, bool expanded)
{
    if (!HasChildren(line) || (expanded_[line] != 0) == expanded)
        return;
    expanded_[line] = expanded ? 1 : 0;
    if (row_[line] >= 0)
        ReplaceRowsBelow(row_[line], line);
}

void CLineTreeModel::ExpandBelow(LineId line)
{
    if (!HasChildren(line))
        return;
    std::vector<LineId> all;
    AppendBelow(line, all, true);
    expanded_[line] = 1;
    for (const LineId below : all)
        expanded_[below] = lines_.FirstChild(below) != kNoLine ? 1 : 0;
    if (row_[line] >= 0)
        ReplaceRowsBelow(row_[line], line);
}

void CLineTreeModel::ReplaceRowsBelow(int32_t row, LineId line)
{
    const auto first = static_cast<size_t>(row) + 1;
    size_t end = first;
    const int depth = lines_.Depth(line);
    while (end < shown_.size() && lines_.Depth(shown_[end]) > depth)
        ++end;
    if (end > first) {
        beginRemoveRows(QModelIndex(), static_cast<int>(first), static_cast<int>(end) - 1);
        shown_.erase(shown_.begin() + static_cast<std::ptrdiff_t>(first),
                     shown_.begin() + static_cast<std::ptrdiff_t>(end));
        UpdateRows();
        endRemoveRows();
    }
    if (!expanded_[line])
        return;
    std::vector<LineId> below;
    AppendBelow(line, below, false);
    if (below.empty())
        return;
    beginInsertRows(QModelIndex(), static_cast<int>(first), static_cast<int>(first + below.size()) - 1);
    shown_.insert(shown_.begin() + static_cast<std::ptrdiff_t>(first), below.begin(), below.end());
    UpdateRows();
    endInsertRows();
}

void CLineTreeModel::SetAllExpanded(bool expanded)
{
    beginResetModel();
    for (LineId line = 1; line <= lines_.Count(); ++line)
        expanded_[line] = expanded && lines_.FirstChild(line) != kNoLine ? 1 : 0;
    ListShownLines();
    endResetModel();
}

bool CLineTreeModel::IsBelow(LineId line, LineId ancestor) const
{
    if (!lines_.Contains(line) || !lines_.Contains(ancestor))
        return false;
    for (LineId p = lines_.Parent(line); p != kNoLine; p = lines_.Parent(p))
        if (p == ancestor)
            return true;
    return false;
}

LineId CLineTreeModel::LineOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<LineId>(index.internalId()) : kNoLine;
}

QModelIndex CLineTreeModel::IndexOf(LineId line) const
{
    return lines_.Contains(line) && row_[line] >= 0 ? createIndex(row_[line], 0, quintptr{line}) : QModelIndex();
}

QModelIndex CLineTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || static_cast<size_t>(row) >= shown_.size())
        return QModelIndex();
    return createIndex(row, 0, quintptr{shown_[static_cast<size_t>(row)]});
}

int CLineTreeModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant CLineTreeModel::data(const QModelIndex& index, int role) const
{
    const LineId line = LineOf(index);
    if (!lines_.Contains(line))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: {
        const std::string_view text = lines_.Text(line);
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::DecorationRole: {
        const QIcon icon = LineIcon(line);
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    case Qt::ToolTipRole: {
        const QString tip = LineToolTip(line);
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    default: return QVariant();
    }
}

Qt::ItemFlags CLineTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

void CLineTreeModel::MarkLine(LineId line, const QIcon& icon, bool replace, const QString& toolTip)
{
    if (!lines_.Contains(line))
        return;
    Mark& mark = marks_[line];
    if (replace || mark.icon.isNull())
        mark.icon = icon;
    mark.toolTip = mark.toolTip.isEmpty() ? toolTip : mark.toolTip + QLatin1Char('\n') + toolTip;
    if (const QModelIndex at = IndexOf(line); at.isValid())
        emit dataChanged(at, at, {Qt::DecorationRole, Qt::ToolTipRole});
}

QIcon CLineTreeModel::LineIcon(LineId line) const
{
    const auto it = marks_.find(line);
    return it == marks_.end() ? QIcon() : it->second.icon;
}

QString CLineTreeModel::LineToolTip(LineId line) const
{
    const auto it = marks_.find(line);
    return it == marks_.end() ? QString() : it->second.toolTip;
}
