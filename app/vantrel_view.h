#pragma once
// The result tree of one detailed analysis. A right click anywhere in it
// offers "イメージ表示(&V)", which shows the image windows of the active
// detailed-analysis frame.
#include "app/tree_widget_control.h"

class CVantrelApp;

class CVantrelView : public CTreeWidgetControl {
    Q_OBJECT
public:
    CVantrelView(CVantrelApp& app, QWidget* parent = nullptr);

    void OnCommand(int id);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    CVantrelApp& app_;
};
