#include "app/item_search.h"

#include <QKeyEvent>
#include <QTreeView>
#include <vector>

bool SearchStepOf(const QKeyEvent& event, SearchStep& step)
{
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (event.matches(QKeySequence::Find)) {
        step = SearchStep::Ask;
        return true;
    }
    if (event.key() != Qt::Key_F3 || (mods != Qt::NoModifier && mods != Qt::ShiftModifier))
        return false;
    step = mods == Qt::ShiftModifier ? SearchStep::Previous : SearchStep::Next;
    return true;
}

namespace {

bool Matches(const QAbstractItemModel& model, const QModelIndex& row, const QString& text)
{
    for (int column = 0; column < model.columnCount(row.parent()); ++column)
        if (model.data(row.siblingAtColumn(column)).toString().contains(text, Qt::CaseInsensitive))
            return true;
    return false;
}

// The rows of a model in display order, collapsed branches included.
std::vector<QModelIndex> RowsInOrder(const QAbstractItemModel& model)
{
    std::vector<QModelIndex> rows;
    std::vector<std::pair<QModelIndex, int>> stack{{QModelIndex(), 0}};
    while (!stack.empty()) {
        auto& [parent, next] = stack.back();
        if (next >= model.rowCount(parent)) {
            stack.pop_back();
            continue;
        }
        const QModelIndex row = model.index(next++, 0, parent);
        rows.push_back(row);
        if (model.hasChildren(row))
            stack.push_back({row, 0});
    }
    return rows;
}

}  // namespace

bool CItemSearch::Find(const QString& text, bool backward)
{
    if (text.isEmpty() || !view_.model())
        return false;
    last_ = text;
    const QAbstractItemModel& model = *view_.model();
    const std::vector<QModelIndex> rows = RowsInOrder(model);
    const auto count = static_cast<std::ptrdiff_t>(rows.size());
    const QModelIndex current = view_.currentIndex().siblingAtColumn(0);
    std::ptrdiff_t start = backward ? count : -1;
    for (std::ptrdiff_t i = 0; i < count; ++i)
        if (rows[static_cast<size_t>(i)] == current)
            start = i;
    for (std::ptrdiff_t step = 1; step <= count; ++step) {
        const std::ptrdiff_t at = ((backward ? start - step : start + step) % count + count) % count;
        const QModelIndex row = rows[static_cast<size_t>(at)];
        if (!Matches(model, row, text))
            continue;
        for (QModelIndex p = row.parent(); p.isValid(); p = p.parent())
            view_.expand(p);
        view_.setCurrentIndex(row);
        view_.scrollTo(row);
        return true;
    }
    return false;
}
