#pragma once
// An item model over a CLineTree that lists the lines the user can see, in
// display order, as one flat list: a line under a collapsed branch is no row
// until its branch opens. The view draws each row's depth and branch lines
// itself (CTreeWidgetControl), so a view of hundreds of thousands of open
// lines keeps a few integers a line and nothing per branch, and a line's text
// becomes a string only while it is on screen. An index's internal id is its
// line. A line may carry a mark (an icon and a tool tip), as anomalies do.
#include <QAbstractListModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/line_tree.h"

class CLineTreeModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Shows lines in place of what was shown, each branch open where the
    // lines say so; the marks go with them.
    void SetLines(CLineTree lines);
    const CLineTree& Lines() const { return lines_; }

    // The line an index shows; kNoLine for an invalid index.
    static LineId LineOf(const QModelIndex& index);
    // Invalid for a line this model does not show, or whose branch is closed
    // somewhere above it.
    QModelIndex IndexOf(LineId line) const;
    int Depth(LineId line) const { return lines_.Depth(line); }
    bool HasChildren(LineId line) const { return lines_.Contains(line) && lines_.FirstChild(line) != kNoLine; }
    bool Expanded(LineId line) const { return lines_.Contains(line) && expanded_[line]; }
    // Opens or closes a line's branch; the rows below it come or go.
    void SetExpanded(LineId line, bool expanded);
    // Opens a line's branch and every branch below it, at once.
    void ExpandBelow(LineId line);
    // Opens or closes every branch at once.
    void SetAllExpanded(bool expanded);
    // Whether line lies in the branch of ancestor (below it).
    bool IsBelow(LineId line, LineId ancestor) const;
    // Every line in display order, those in closed branches included.
    std::vector<LineId> AllLinesInOrder() const;

    // Adds an icon (kept when one is there and replace is false) and a line
    // of tool tip to a line.
    void MarkLine(LineId line, const QIcon& icon, bool replace, const QString& toolTip);
    QIcon LineIcon(LineId line) const;
    QString LineToolTip(LineId line) const;

    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Mark {
        QIcon icon;
        QString toolTip;
    };
    // Appends the lines below line in display order: those its open
    // branches show, or all of them.
    void AppendBelow(LineId line, std::vector<LineId>& out, bool closedToo) const;
    // The rows below the shown line at row, as its open branches show them,
    // leave, and those that lines below it now show come.
    void ReplaceRowsBelow(int32_t row, LineId line);
    // Lists the shown lines from the top; then UpdateRows.
    void ListShownLines();
    void UpdateRows();

    CLineTree lines_;
    std::vector<uint8_t> expanded_;   // by line
    std::vector<LineId> shown_;       // by row
    std::vector<int32_t> row_;        // by line; -1 for a line not shown
    std::unordered_map<LineId, Mark> marks_;
};
