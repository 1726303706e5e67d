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

}  // namespace

CTreeWidgetControl::CTreeWidgetControl(QWidget* parent) : QTreeView(parent)
{
    setModel(&model_);
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
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { emit currentLineChanged(LineOf(current)); });
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

void CTreeWidgetControl::GoToLine(LineId line)
{
    const QModelIndex index = IndexOf(line);
    if (!index.isValid())
        return;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        expand(p);
    setCurrentIndex(index);
    scrollTo(index);
}

void CTreeWidgetControl::ShowLines(CLineTree lines)
{
    setUpdatesEnabled(false);
    model_.SetLines(std::move(lines));
    ExpandAsLinesSay();
    setUpdatesEnabled(true);
}

void CTreeWidgetControl::ExpandAsLinesSay()
{
    // Expanding everything at once lays the view out once; branch by
    // branch, each expansion is remembered apart.
    const CLineTree& lines = Lines();
    const LineId count = static_cast<LineId>(lines.Count());
    bool all = true;
    for (LineId line = 1; line <= count && all; ++line)
        all = lines.Expanded(line) || lines.FirstChild(line) == kNoLine;
    if (all) {
        expandAll();
        return;
    }
    for (LineId line = 1; line <= count; ++line)
        if (lines.Expanded(line) && lines.FirstChild(line) != kNoLine)
            setExpanded(IndexOf(line), true);
}

void CTreeWidgetControl::ForEachShownLine(const std::function<void(LineId line, int depth)>& visit) const
{
    const CLineTree& lines = Lines();
    int depth = 0;
    for (LineId line = lines.First(); line != kNoLine;) {
        visit(line, depth);
        if (lines.FirstChild(line) != kNoLine && isExpanded(IndexOf(line))) {
            line = lines.FirstChild(line);
            ++depth;
            continue;
        }
        while (line != kNoLine && lines.NextSibling(line) == kNoLine) {
            line = lines.Parent(line);
            --depth;
        }
        if (line != kNoLine)
            line = lines.NextSibling(line);
    }
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
    QTreeView::keyPressEvent(event);
}
