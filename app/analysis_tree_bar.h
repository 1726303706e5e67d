#pragma once
// The analysis-tree bar "解析ﾂﾘｰ": a dock panel of the main frame showing
// the entry list as a tree. It docks at the left or the right, floats, and is
// shown and hidden from the View menu.
#include <QDockWidget>

#include "core/analysis_entry_list.h"

class CAnalysisTreeCtrl;
class CVantrelApp;

class CAnalysisTreeBar : public QDockWidget {
    Q_OBJECT
public:
    // Margin around the tree while the bar floats.
    static constexpr int kFloatingMargin = 10;
    // Default size of the panel.
    static constexpr int kDefaultWidth = 232;
    static constexpr int kDefaultHeight = 322;

    CAnalysisTreeBar(CVantrelApp& app, QWidget* parent);

    CAnalysisTreeCtrl* Tree() const { return tree_; }
    // Renders the entry list into the tree (every branch expanded).
    void RebuildTree(const AnalysisEntry* head);
    // Called after the tool bar (reason 2) or the status bar (reason 1) was
    // shown or hidden. The dock area gives the bar the frame's full height
    // by itself; any other reason is a fault that ends the program.
    void AdjustHeight(int reason);
    int RebuildCount() const { return rebuildCount_; }

    QSize sizeHint() const override;

private:
    void UpdateMargins(bool floating);

    CVantrelApp& app_;
    QWidget* body_;
    CAnalysisTreeCtrl* tree_;
    int rebuildCount_ = 0;
};
