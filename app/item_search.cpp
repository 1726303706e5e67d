#include "app/item_search.h"

#include <QKeyEvent>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
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

bool Matches(const QTreeWidgetItem& item, const QString& text)
{
    for (int column = 0; column < item.columnCount(); ++column)
        if (item.text(column).contains(text, Qt::CaseInsensitive))
            return true;
    return false;
}

}  // namespace

bool CItemSearch::Find(const QString& text, bool backward)
{
    if (text.isEmpty())
        return false;
    last_ = text;
    std::vector<QTreeWidgetItem*> items;
    for (QTreeWidgetItemIterator it(&view_); *it; ++it)
        items.push_back(*it);
    const auto count = static_cast<std::ptrdiff_t>(items.size());
    std::ptrdiff_t start = backward ? count : -1;
    for (std::ptrdiff_t i = 0; i < count; ++i)
        if (items[static_cast<size_t>(i)] == view_.currentItem())
            start = i;
    for (std::ptrdiff_t step = 1; step <= count; ++step) {
        const std::ptrdiff_t at = ((backward ? start - step : start + step) % count + count) % count;
        QTreeWidgetItem* item = items[static_cast<size_t>(at)];
        if (!Matches(*item, text))
            continue;
        for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
            p->setExpanded(true);
        view_.setCurrentItem(item);
        view_.scrollToItem(item);
        return true;
    }
    return false;
}
