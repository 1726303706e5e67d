#pragma once
// A tree of result lines: a view over the lines it shows (a CLineTree, whose
// open lines CLineTreeModel lists). It draws each row's depth and branch
// lines and opens and closes branches itself (plus/minus box, double click,
// arrow keys, + - *), so that a tree of many open branches keeps no record
// per branch. A line's exact bytes, its byte range and its place in the tree
// are asked of the lines; the view only shows them. So a path that is not
// valid UTF-8 still finds its entry, row and document again. A line, or a
// line with everything under it, is copied as text in vantrel-dump -d's
// indented form.
#include <QTreeView>
#include <functional>
#include <string>

#include "app/item_search.h"
#include "app/line_tree_model.h"
#include "core/line_tree.h"

class CTreeWidgetControl : public QTreeView {
    Q_OBJECT
public:
    explicit CTreeWidgetControl(QWidget* parent = nullptr);

    // Shows lines in place of what was shown, the branches expanded where
    // the lines say so.
    void ShowLines(CLineTree lines);
    const CLineTree& Lines() const { return model_.Lines(); }
    CLineTreeModel& Model() { return model_; }

    static LineId LineOf(const QModelIndex& index) { return CLineTreeModel::LineOf(index); }
    // Invalid for a line this view does not show (or not while a branch
    // above it is closed).
    QModelIndex IndexOf(LineId line) const { return model_.IndexOf(line); }
    bool LineExpanded(LineId line) const { return model_.Expanded(line); }
    void SetLineExpanded(LineId line, bool expanded);
    // Opens or closes every branch; the current line stays, or its top-level
    // line when its branch closes.
    void SetAllExpanded(bool expanded);
    // The caret line, when it is selected; kNoLine otherwise.
    LineId SelectedLine() const;
    // The top-level line above line (line itself when it is one).
    LineId TopLevelOf(LineId line) const;
    // The bytes of a line; empty for a line this view does not show.
    std::string LineBytes(LineId line) const;
    // Makes line the current and selected line, its ancestors expanded, and
    // scrolls to it.
    void GoToLine(LineId line);
    // Calls visit for every line the user can see by scrolling (those under
    // collapsed branches left out), in display order, with its depth.
    void ForEachShownLine(const std::function<void(LineId line, int depth)>& visit) const;

    // The width of a row's branch columns, and their drawing.
    int BranchWidth(LineId line) const;
    void DrawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const;

    CItemSearch& Search() { return search_; }
    // Ctrl+C (or Ctrl+Insert) and Ctrl+Shift+C: CopySelectedLine.
    static bool IsCopyKey(const QKeyEvent& event, bool& withChildren);
    // Copies the selected line, alone or with everything under it, to the
    // clipboard; nothing when no line is selected.
    void CopySelectedLine(bool withChildren) const;

    int sizeHintForColumn(int column) const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

signals:
    // The current line changed (kNoLine: none).
    void currentLineChanged(LineId line);

private:
    // The line whose own branch column (the one with its box) is at a point
    // of the viewport; kNoLine elsewhere.
    LineId BoxColumnAt(QPoint viewportPos) const;

    CLineTreeModel model_;
    CItemSearch search_{*this, this};
};
