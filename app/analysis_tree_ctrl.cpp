#include "app/analysis_tree_ctrl.h"

#include <QMenu>
#include <QMouseEvent>

#include "app/app_resources.h"
#include "app/vantrel_app.h"

CAnalysisTreeCtrl::CAnalysisTreeCtrl(CVantrelApp& app, QWidget* parent) : CTreeWidgetControl(parent), app_(app)
{
}

std::string CAnalysisTreeCtrl::SelectedFilePath() const
{
    QTreeWidgetItem* item = ItemFromHandle(GetSelectedItem());
    return item ? ItemBytes(TopLevelOf(item)) : std::string();
}

void CAnalysisTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    // The commands act on the selected item, not on the one under the pointer.
    if (event->button() == Qt::RightButton && GetSelectedItem()) {
        QMenu menu(this);
        LoadPopupMenu(menu, kIdrEntryMenu);
        if (QAction* chosen = app_.TrackPopupMenu(menu, event->globalPosition().toPoint())) {
            OnCommand(ActionCommand(chosen));
            return;
        }
    }
    CTreeWidgetControl::mousePressEvent(event);
}

void CAnalysisTreeCtrl::OnCommand(int id)
{
    if (id == kCmdEntryDelete)
        OnEntryDelete();
    else if (id == kCmdDetailedAnalysis)
        OnDetailedAnalysis();
}

void CAnalysisTreeCtrl::OnEntryDelete()
{
    if (!GetSelectedItem())
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
    if (!GetSelectedItem())
        return;
    app_.RunDetailedAnalysis(SelectedFilePath().c_str());
}
