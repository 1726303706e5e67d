#include "app/analysis_tree_ctrl.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "app/app_resources.h"
#include "app/item_view_input.h"
#include "app/vantrel_app.h"

CAnalysisTreeCtrl::CAnalysisTreeCtrl(CVantrelApp& app, QWidget* parent) : CTreeWidgetControl(parent), app_(app)
{
    // A double click analyses the file in detail; the branches stay open.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::doubleClicked, this, &CAnalysisTreeCtrl::OnDetailedAnalysis);
}

std::string CAnalysisTreeCtrl::SelectedFilePath() const
{
    const LineId line = SelectedLine();
    return line != kNoLine ? LineBytes(TopLevelOf(line)) : std::string();
}

void CAnalysisTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        SelectItemUnder(*this, event->position().toPoint());
        if (ShowContextMenu(event->globalPosition().toPoint()))
            return;
    }
    CTreeWidgetControl::mousePressEvent(event);
}

void CAnalysisTreeCtrl::keyPressEvent(QKeyEvent* event)
{
    switch (ItemKeyOf(*event)) {
    case ItemKey::DetailedAnalysis: OnDetailedAnalysis(); return;
    case ItemKey::EntryDelete: OnEntryDelete(); return;
    case ItemKey::ContextMenu: ShowContextMenu(KeyboardMenuPos(*this)); return;
    case ItemKey::None: break;
    }
    if (app_.HandleSearchKey(*this, Search(), *event))
        return;
    CTreeWidgetControl::keyPressEvent(event);
}

bool CAnalysisTreeCtrl::ShowContextMenu(QPoint globalPos)
{
    if (SelectedLine() == kNoLine)
        return false;
    QMenu menu(this);
    LoadPopupMenu(menu, kIdrEntryMenu);
    connect(FindCommand(menu, kCmdEntryDelete), &QAction::triggered, this, &CAnalysisTreeCtrl::OnEntryDelete);
    connect(FindCommand(menu, kCmdDetailedAnalysis), &QAction::triggered, this,
            &CAnalysisTreeCtrl::OnDetailedAnalysis);
    return app_.TrackPopupMenu(menu, globalPos) != nullptr;
}

void CAnalysisTreeCtrl::OnEntryDelete()
{
    if (SelectedLine() == kNoLine || app_.RefuseWhileAnalysing())
        return;
    const std::string path = SelectedFilePath();
    MessageBoxRequest box;
    box.text = "ファイル：" + path + "\nを表示から削除します。";
    box.caption = kAppTitle;
    box.owner = MessageOwner::TreeBarTree;
    box.buttons = MessageButtons::OkCancel;
    if (app_.MessageBox(box) == MessageAnswer::Ok)
        app_.DeleteEntry(path.c_str());
}

void CAnalysisTreeCtrl::OnDetailedAnalysis()
{
    if (SelectedLine() == kNoLine)
        return;
    app_.RunDetailedAnalysis(SelectedFilePath().c_str());
}
