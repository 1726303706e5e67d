#pragma once
// An item model over a CLineTree: the views ask the lines themselves for
// what they show, so a tree of hundreds of thousands of lines costs a few
// integers a line and no object, and a line's text becomes a string only
// while it is on screen. An index's internal id is its line. A line may
// carry a mark (an icon and a tool tip), as anomalies do.
#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <unordered_map>
#include <vector>

#include "core/line_tree.h"

class CLineTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    using QAbstractItemModel::QAbstractItemModel;

    // Shows lines in place of what was shown; the marks go with them.
    void SetLines(CLineTree lines);
    const CLineTree& Lines() const { return lines_; }

    // The line an index shows; kNoLine for an invalid index.
    static LineId LineOf(const QModelIndex& index);
    // Invalid for a line this model does not show.
    QModelIndex IndexOf(LineId line) const;
    // Adds an icon (kept when one is there and replace is false) and a line
    // of tool tip to a line.
    void MarkLine(LineId line, const QIcon& icon, bool replace, const QString& toolTip);
    QIcon LineIcon(LineId line) const;
    QString LineToolTip(LineId line) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Mark {
        QIcon icon;
        QString toolTip;
    };
    // The children of line p (0: the top level) are children_[start_[p]]
    // up to children_[start_[p + 1]], in their order; row_[line] is a line's
    // place among its siblings.
    std::vector<LineId> children_;
    std::vector<uint32_t> start_;
    std::vector<uint32_t> row_;
    CLineTree lines_;
    std::unordered_map<LineId, Mark> marks_;
};
