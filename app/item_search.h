#pragma once
// Finding text in the rows of a list or the items of a tree: Ctrl+F asks
// for the text, F3 and Shift+F3 go to the next and the previous match.
#include <QString>

class CTreeWidgetControl;
class QKeyEvent;
class QTreeView;

enum class SearchStep {
    Ask,        // Ctrl+F: ask for the text, then find its next match
    Next,       // F3
    Previous,   // Shift+F3
};

// The search step a key asks for; false for any other key.
bool SearchStepOf(const QKeyEvent& event, SearchStep& step);

class CItemSearch {
public:
    // A tree of lines (tree) is searched through its lines, since it lists
    // no rows for the lines in closed branches.
    explicit CItemSearch(QTreeView& view, CTreeWidgetControl* tree = nullptr) : view_(view), tree_(tree) {}

    // Selects the next row after the current one (or the previous one) in
    // display order, collapsed branches included, one of whose columns
    // contains text in any case; wraps around, opens the match's ancestors
    // and scrolls to it. False when no item matches.
    bool Find(const QString& text, bool backward = false);
    // The text last looked for; empty before the first search.
    const QString& Last() const { return last_; }

private:
    bool FindRow(const QString& text, bool backward);
    bool FindLine(const QString& text, bool backward);

    QTreeView& view_;
    CTreeWidgetControl* tree_;
    QString last_;
};
