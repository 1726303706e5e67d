#pragma once
// The result tree of one detailed analysis. A right click anywhere in it
// offers "イメージ表示(&V)", which shows the image windows of the active
// detailed-analysis frame. Printing puts the lines as they are shown (the
// expanded branches, indented by depth) on as many pages as they need.
#include "app/tree_widget_control.h"

class CVantrelApp;
class QPagedPaintDevice;

class CVantrelView : public CTreeWidgetControl {
    Q_OBJECT
public:
    CVantrelView(CVantrelApp& app, QWidget* parent = nullptr);

    void OnCommand(int id);
    // Asks for a printer and prints the tree.
    void OnFilePrint();
    // Paints the shown lines onto the device's pages; returns the page count.
    int PrintPages(QPagedPaintDevice& device) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    CVantrelApp& app_;
};
