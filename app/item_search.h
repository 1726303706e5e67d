#pragma once
// Finding text in the rows of a list or the items of a tree: Ctrl+F asks
// for the text, F3 and Shift+F3 go to the next and the previous match.
#include <QString>

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
    explicit CItemSearch(QTreeView& view) : view_(view) {}

    // Selects the next row after the current one (or the previous one) in
    // display order, collapsed branches included, one of whose columns
    // contains text in any case; wraps around, opens the match's ancestors
    // and scrolls to it. False when no item matches.
    bool Find(const QString& text, bool backward = false);
    // The text last looked for; empty before the first search.
    const QString& Last() const { return last_; }

private:
    QTreeView& view_;
    QString last_;
};
