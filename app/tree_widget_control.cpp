#include "app/tree_widget_control.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <map>
#include <utility>

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

// Paints a row as a tree row: the branch lines of its depth, then the line
// itself to their right.
class BranchDelegate final : public QStyledItemDelegate {
public:
    explicit BranchDelegate(CTreeWidgetControl& tree) : QStyledItemDelegate(&tree), tree_(tree) {}

    // While a column is measured, the view passes every row the same
    // option, so a cell's size follows from its text and icon alone; the
    // rows of many files repeat the same segment lines, whose text would
    // otherwise be shaped again for each.
    void SetMeasuring(bool on)
    {
        measuring_ = on;
        measured_.clear();
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int width = tree_.BranchWidth(CTreeWidgetControl::LineOf(index));
        tree_.DrawBranches(painter, QRect(option.rect.left(), option.rect.top(), width, option.rect.height()),
                           index);
        QStyleOptionViewItem cell(option);
        cell.rect.setLeft(option.rect.left() + width);
        QStyledItemDelegate::paint(painter, cell, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = measuring_ ? MeasuredSize(option, index) : QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += tree_.BranchWidth(CTreeWidgetControl::LineOf(index));
        return size;
    }

private:
    QSize MeasuredSize(const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        const std::pair<QString, qint64> cell{index.data(Qt::DisplayRole).toString(),
                                              index.data(Qt::DecorationRole).value<QIcon>().cacheKey()};
        const auto found = measured_.find(cell);
        if (found != measured_.end())
            return found->second;
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        measured_.emplace(cell, size);
        return size;
    }

    CTreeWidgetControl& tree_;
    bool measuring_ = false;
    mutable std::map<std::pair<QString, qint64>, QSize> measured_;
};

}  // namespace

CTreeWidgetControl::CTreeWidgetControl(QWidget* parent) : QTreeView(parent)
{
    setModel(&model_);
    setItemDelegate(new BranchDelegate(*this));
    setHeaderHidden(true);
    // The model lists the shown lines flat; the depth and the branches are
    // drawn here (DrawBranches), and opening and closing is done here too.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    if (QStyle* style = BranchLineStyle())
        setStyle(style);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { emit currentLineChanged(LineOf(current)); });
}

int CTreeWidgetControl::sizeHintForColumn(int column) const
{
    auto* delegate = dynamic_cast<BranchDelegate*>(itemDelegate());
    if (delegate)
        delegate->SetMeasuring(true);
    const int width = QTreeView::sizeHintForColumn(column);
    if (delegate)
        delegate->SetMeasuring(false);
    return width;
}

LineId CTreeWidgetControl::SelectedLine() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? LineOf(current) : kNoLine;
}

LineId CTreeWidgetControl::TopLevelOf(LineId line) const
{
    const CLineTree& lines = Lines();
    if (!lines.Contains(line))
        return kNoLine;
    while (lines.Parent(line) != kNoLine)
        line = lines.Parent(line);
    return line;
}

std::string CTreeWidgetControl::LineBytes(LineId line) const
{
    return Lines().Contains(line) ? std::string(Lines().Text(line)) : std::string();
}

void CTreeWidgetControl::ShowLines(CLineTree lines)
{
    model_.SetLines(std::move(lines));
}

void CTreeWidgetControl::SetLineExpanded(LineId line, bool expanded)
{
    // Closing the branch that holds the current line makes its head the
    // current line, as a tree control does.
    if (!expanded && model_.IsBelow(LineOf(currentIndex()), line))
        setCurrentIndex(IndexOf(line));
    model_.SetExpanded(line, expanded);
}

void CTreeWidgetControl::SetAllExpanded(bool expanded)
{
    LineId current = LineOf(currentIndex());
    const bool selected = SelectedLine() != kNoLine;
    model_.SetAllExpanded(expanded);
    if (!expanded)
        current = TopLevelOf(current);
    if (current != kNoLine)
        selectionModel()->setCurrentIndex(IndexOf(current), selected ? QItemSelectionModel::ClearAndSelect
                                                                     : QItemSelectionModel::NoUpdate);
}

void CTreeWidgetControl::GoToLine(LineId line)
{
    if (!Lines().Contains(line))
        return;
    std::vector<LineId> above;
    for (LineId p = Lines().Parent(line); p != kNoLine; p = Lines().Parent(p))
        above.push_back(p);
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        model_.SetExpanded(*it, true);
    const QModelIndex index = IndexOf(line);
    setCurrentIndex(index);
    scrollTo(index);
}

void CTreeWidgetControl::ForEachShownLine(const std::function<void(LineId line, int depth)>& visit) const
{
    for (int row = 0; row < model_.rowCount(); ++row) {
        const LineId line = LineOf(model_.index(row));
        visit(line, model_.Depth(line));
    }
}

int CTreeWidgetControl::BranchWidth(LineId line) const
{
    // Top-level lines have a column of their own, for their plus/minus box.
    return (model_.Depth(line) + 1) * indentation();
}

void CTreeWidgetControl::DrawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    // Column by column from the line's own, which connects it and shows its
    // box, outwards to its ancestors', which continue down where they have a
    // sibling below.
    const LineId line = LineOf(index);
    const CLineTree& lines = Lines();
    const int indent = indentation();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    QStyle::State extra = QStyle::State_None;
    if (isEnabled())
        extra |= QStyle::State_Enabled;
    if (hasFocus())
        extra |= QStyle::State_Active;
    if (selectionModel()->isSelected(index))
        extra |= QStyle::State_Selected;
    const QPoint origin = painter->brushOrigin();
    if (verticalScrollMode() == QAbstractItemView::ScrollPerPixel)
        painter->setBrushOrigin(QPoint(0, verticalOffset()));
    option.rect = QRect(rect.right() + 1 - indent, rect.top(), indent, rect.height());
    option.state = QStyle::State_Item | extra;
    option.state.setFlag(QStyle::State_Sibling, lines.NextSibling(line) != kNoLine);
    option.state.setFlag(QStyle::State_Children, model_.HasChildren(line));
    option.state.setFlag(QStyle::State_Open, model_.Expanded(line));
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, painter, this);
    for (LineId above = lines.Parent(line); above != kNoLine; above = lines.Parent(above)) {
        option.rect.moveLeft(option.rect.left() - indent);
        option.state = extra;
        option.state.setFlag(QStyle::State_Sibling, lines.NextSibling(above) != kNoLine);
        style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, painter, this);
    }
    painter->setBrushOrigin(origin);
}

LineId CTreeWidgetControl::BoxColumnAt(QPoint viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    const LineId line = LineOf(index);
    if (line == kNoLine)
        return kNoLine;
    const QRect cell = visualRect(index);
    const int right = cell.left() + BranchWidth(line);
    return viewportPos.x() >= right - indentation() && viewportPos.x() < right ? line : kNoLine;
}

void CTreeWidgetControl::mousePressEvent(QMouseEvent* event)
{
    // A press on a line's own branch column opens or closes it and selects
    // nothing, as on a tree control's plus/minus box.
    if (const LineId line = BoxColumnAt(event->position().toPoint()); line != kNoLine) {
        if (event->button() == Qt::LeftButton && model_.HasChildren(line))
            SetLineExpanded(line, !model_.Expanded(line));
        return;
    }
    QTreeView::mousePressEvent(event);
}

void CTreeWidgetControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (BoxColumnAt(event->position().toPoint()) != kNoLine)
        return;
    const LineId line = LineOf(indexAt(event->position().toPoint()));
    QTreeView::mouseDoubleClickEvent(event);
    if (expandsOnDoubleClick() && event->button() == Qt::LeftButton && model_.HasChildren(line))
        SetLineExpanded(line, !model_.Expanded(line));
}

QModelIndex CTreeWidgetControl::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // Left closes an open branch, then goes to the line above it; Right
    // opens a closed one, then goes to its first line.
    const LineId line = LineOf(currentIndex());
    QScrollBar* bar = horizontalScrollBar();
    const bool intoChildren = style()->styleHint(QStyle::SH_ItemView_ArrowKeysNavigateIntoChildren, nullptr, this);
    if (action == MoveLeft && line != kNoLine) {
        if (model_.Expanded(line) && model_.HasChildren(line) && bar->value() == bar->minimum())
            SetLineExpanded(line, false);
        else if (intoChildren && Lines().Parent(line) != kNoLine)
            return IndexOf(Lines().Parent(line));
        else
            bar->setValue(bar->value() - bar->singleStep());
        return currentIndex();
    }
    if (action == MoveRight && line != kNoLine) {
        if (!model_.Expanded(line) && model_.HasChildren(line))
            SetLineExpanded(line, true);
        else if (intoChildren && model_.HasChildren(line))
            return IndexOf(Lines().FirstChild(line));
        else
            bar->setValue(bar->value() + bar->singleStep());
        return currentIndex();
    }
    return QTreeView::moveCursor(action, modifiers);
}

void CTreeWidgetControl::CopySelectedLine(bool withChildren) const
{
    if (const LineId line = SelectedLine(); line != kNoLine)
        QGuiApplication::clipboard()->setText(QString::fromUtf8(TreeText(Lines(), line, withChildren)));
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
    // + opens the current line's branch, - closes it, * opens everything
    // below it.
    if (const LineId line = LineOf(currentIndex()); line != kNoLine) {
        switch (event->key()) {
        case Qt::Key_Plus: SetLineExpanded(line, true); break;
        case Qt::Key_Minus: SetLineExpanded(line, false); break;
        case Qt::Key_Asterisk: model_.ExpandBelow(line); break;
        default: break;
        }
    }
    QTreeView::keyPressEvent(event);
}
