#include "app/tree_widget_control.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleFactory>

#include "core/tree_ranges.h"

namespace {

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

// An item that knows the line it shows.
constexpr int kLineItemType = QTreeWidgetItem::UserType + 1;

struct LineItem final : QTreeWidgetItem {
    explicit LineItem(LineId id) : QTreeWidgetItem(kLineItemType), line(id) {}
    LineId line;
};

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

LineId CTreeWidgetControl::LineOf(const QTreeWidgetItem* item)
{
    return item && item->type() == kLineItemType ? static_cast<const LineItem*>(item)->line : kNoLine;
}

QTreeWidgetItem* CTreeWidgetControl::ItemOf(LineId line) const
{
    return line != kNoLine && line < items_.size() ? items_[line] : nullptr;
}

LineId CTreeWidgetControl::SelectedLine() const
{
    const QTreeWidgetItem* item = currentItem();
    return item && item->isSelected() ? LineOf(item) : kNoLine;
}

QTreeWidgetItem* CTreeWidgetControl::TopLevelOf(QTreeWidgetItem* item)
{
    while (item && item->parent())
        item = item->parent();
    return item;
}

std::string CTreeWidgetControl::ItemBytes(const QTreeWidgetItem* item)
{
    if (!item)
        return std::string();
    const auto* tree = qobject_cast<const CTreeWidgetControl*>(item->treeWidget());
    const LineId line = LineOf(item);
    if (!tree || !tree->lines_.Contains(line))
        return item->text(0).toUtf8().toStdString();
    return std::string(tree->lines_.Text(line));
}

QList<QTreeWidgetItem*> CTreeWidgetControl::BuildItems(const CLineTree& lines,
                                                        std::vector<QTreeWidgetItem*>& items) const
{
    // A line's parent was appended before it, so its item is there already,
    // and children come in their order.
    QList<QTreeWidgetItem*> top;
    const LineId count = static_cast<LineId>(lines.Count());
    items.assign(size_t{count} + 1, nullptr);
    for (LineId line = 1; line <= count; ++line) {
        auto* item = new LineItem(line);
        const std::string_view text = lines.Text(line);
        item->setText(0, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        items[line] = item;
        if (const LineId parent = lines.Parent(line); parent != kNoLine)
            items[parent]->addChild(item);
        else
            top.append(item);
    }
    return top;
}

void CTreeWidgetControl::ShowLines(CLineTree lines)
{
    std::vector<QTreeWidgetItem*> items;
    const QList<QTreeWidgetItem*> top = BuildItems(lines, items);
    setUpdatesEnabled(false);
    clear();
    lines_ = std::move(lines);
    items_ = std::move(items);
    addTopLevelItems(top);
    ExpandAsLinesSay();
    setUpdatesEnabled(true);
}

void CTreeWidgetControl::ExpandAsLinesSay()
{
    // Each branch is reached through its row under its parent, which the
    // model answers at once; asking the model for an item's row searches the
    // item's siblings, which long rows of siblings make slow.
    struct Level {
        LineId line;
        QModelIndex parent;
        int row;
    };
    std::vector<Level> stack{{lines_.First(), QModelIndex(), 0}};
    while (!stack.empty()) {
        Level& level = stack.back();
        const LineId line = level.line;
        if (line == kNoLine) {
            stack.pop_back();
            continue;
        }
        const QModelIndex parent = level.parent;
        const int row = level.row++;
        level.line = lines_.NextSibling(line);
        const LineId child = lines_.FirstChild(line);
        if (child == kNoLine)
            continue;
        const QModelIndex index = model()->index(row, 0, parent);
        if (lines_.Expanded(line))
            setExpanded(index, true);
        stack.push_back({child, index, 0});
    }
}

void CTreeWidgetControl::ForEachShownItem(const std::function<void(QTreeWidgetItem* item, int depth)>& visit) const
{
    struct Level {
        QModelIndex parent;
        int row;
    };
    std::vector<Level> stack{{QModelIndex(), 0}};
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.row >= model()->rowCount(level.parent)) {
            stack.pop_back();
            continue;
        }
        const QModelIndex index = model()->index(level.row++, 0, level.parent);
        visit(itemFromIndex(index), static_cast<int>(stack.size()) - 1);
        if (isExpanded(index) && model()->hasChildren(index))
            stack.push_back({index, 0});
    }
}

void CTreeWidgetControl::CopySelectedLine(bool withChildren) const
{
    if (const LineId line = SelectedLine(); line != kNoLine)
        QGuiApplication::clipboard()->setText(QString::fromUtf8(TreeText(lines_, line, withChildren)));
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
