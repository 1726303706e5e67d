#pragma once
// The rough-analysis window "概略解析": the MDI child that lists every opened
// file. It is made once with the main frame and cannot be closed.
#include <QMdiSubWindow>

class CRoughListCtrl;
class CVantrelApp;

class CRoughlyAnalysis : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CRoughlyAnalysis(CVantrelApp& app, QWidget* parent = nullptr);

    CRoughListCtrl* List() const { return list_; }
    // The system menu's Close entry, kept grayed.
    QAction* CloseAction() const;
    // Grays Close again; the framework refreshes the system menu on every
    // change of the window's state.
    void DisableClose();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    CRoughListCtrl* list_;
};
