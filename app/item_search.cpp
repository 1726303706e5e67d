#include "app/item_search.h"

#include <QKeyEvent>
#include <QTreeView>
#include <algorithm>
#include <vector>

#include "app/tree_widget_control.h"

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

// The next place after current (or the previous one) that matches, wrapping
// around; from the first place (or the last) when current is -1. -1 when no
// place matches.
template <class Matches>
std::ptrdiff_t NextMatch(std::ptrdiff_t count, std::ptrdiff_t current, bool backward, Matches matches)
{
    const std::ptrdiff_t start = current >= 0 ? current : backward ? count : -1;
    for (std::ptrdiff_t step = 1; step <= count; ++step) {
        const std::ptrdiff_t at = ((backward ? start - step : start + step) % count + count) % count;
        if (matches(at))
            return at;
    }
    return -1;
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
    return tree_ ? FindLine(text, backward) : FindRow(text, backward);
}

bool CItemSearch::FindRow(const QString& text, bool backward)
{
    const QAbstractItemModel& model = *view_.model();
    const std::vector<QModelIndex> rows = RowsInOrder(model);
    const QModelIndex current = view_.currentIndex().siblingAtColumn(0);
    const auto place = std::find(rows.begin(), rows.end(), current);
    const std::ptrdiff_t at = NextMatch(static_cast<std::ptrdiff_t>(rows.size()),
                                        place == rows.end() ? -1 : place - rows.begin(), backward,
                                        [&](std::ptrdiff_t i) { return Matches(model, rows[size_t(i)], text); });
    if (at < 0)
        return false;
    const QModelIndex row = rows[static_cast<size_t>(at)];
    for (QModelIndex p = row.parent(); p.isValid(); p = p.parent())
        view_.expand(p);
    view_.setCurrentIndex(row);
    view_.scrollTo(row);
    return true;
}

bool CItemSearch::FindLine(const QString& text, bool backward)
{
    const CLineTree& lines = tree_->Lines();
    const std::vector<LineId> order = tree_->Model().AllLinesInOrder();
    const LineId current = CTreeWidgetControl::LineOf(view_.currentIndex());
    const auto place = std::find(order.begin(), order.end(), current);
    const std::ptrdiff_t at = NextMatch(static_cast<std::ptrdiff_t>(order.size()),
                                        place == order.end() ? -1 : place - order.begin(), backward,
                                        [&](std::ptrdiff_t i) {
                                            const std::string_view bytes = lines.Text(order[size_t(i)]);
                                            return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()))
                                                .contains(text, Qt::CaseInsensitive);
                                        });
    if (at < 0)
        return false;
    tree_->GoToLine(order[static_cast<size_t>(at)]);
    return true;
}
