#pragma once
// The tree of the analysis-tree bar: every opened file with its rough lines.
// Its context menu deletes a file or starts its detailed analysis; both act
// on the file of the selected item's branch. A right click selects the item
// under the pointer first.
#include "app/tree_widget_control.h"

class CVantrelApp;

class CAnalysisTreeCtrl : public CTreeWidgetControl {
    Q_OBJECT
public:
    CAnalysisTreeCtrl(CVantrelApp& app, QWidget* parent = nullptr);

    // The path of the file whose branch holds the selected item; empty when
    // nothing is selected.
    std::string SelectedFilePath() const;

    // Shows the context menu when an item is selected; true when a command
    // was chosen from it.
    bool ShowContextMenu(QPoint globalPos);

public slots:
    void OnEntryDelete();
    void OnDetailedAnalysis();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CVantrelApp& app_;
};
