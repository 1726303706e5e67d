#include "app/line_tree_model.h"

void CLineTreeModel::SetLines(CLineTree lines)
{
    beginResetModel();
    lines_ = std::move(lines);
    marks_.clear();
    // A line's parent comes before it and siblings in their order, so one
    // count and one pass in line order place every line.
    const size_t count = lines_.Count();
    start_.assign(count + 2, 0);
    row_.assign(count + 1, 0);
    for (LineId line = 1; line <= count; ++line)
        ++start_[lines_.Parent(line) + 1];
    for (size_t p = 1; p < start_.size(); ++p)
        start_[p] += start_[p - 1];
    children_.assign(count, kNoLine);
    std::vector<uint32_t> filled(start_.begin(), start_.end() - 1);
    for (LineId line = 1; line <= count; ++line) {
        const LineId parent = lines_.Parent(line);
        row_[line] = filled[parent] - start_[parent];
        children_[filled[parent]++] = line;
    }
    endResetModel();
}

LineId CLineTreeModel::LineOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<LineId>(index.internalId()) : kNoLine;
}

QModelIndex CLineTreeModel::IndexOf(LineId line) const
{
    return lines_.Contains(line) ? createIndex(static_cast<int>(row_[line]), 0, quintptr{line}) : QModelIndex();
}

QModelIndex CLineTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const LineId p = LineOf(parent);
    if (column != 0 || row < 0 || start_.empty() || p + 1 >= start_.size() ||
        static_cast<uint32_t>(row) >= start_[p + 1] - start_[p])
        return QModelIndex();
    return createIndex(row, 0, quintptr{children_[start_[p] + static_cast<uint32_t>(row)]});
}

QModelIndex CLineTreeModel::parent(const QModelIndex& child) const
{
    const LineId line = LineOf(child);
    return lines_.Contains(line) ? IndexOf(lines_.Parent(line)) : QModelIndex();
}

int CLineTreeModel::rowCount(const QModelIndex& parent) const
{
    const LineId p = LineOf(parent);
    if (parent.column() > 0 || p + 1 >= start_.size())
        return 0;
    return static_cast<int>(start_[p + 1] - start_[p]);
}

int CLineTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool CLineTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
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
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void CLineTreeModel::MarkLine(LineId line, const QIcon& icon, bool replace, const QString& toolTip)
{
    if (!lines_.Contains(line))
        return;
    Mark& mark = marks_[line];
    if (replace || mark.icon.isNull())
        mark.icon = icon;
    mark.toolTip = mark.toolTip.isEmpty() ? toolTip : mark.toolTip + QLatin1Char('\n') + toolTip;
    const QModelIndex at = IndexOf(line);
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
