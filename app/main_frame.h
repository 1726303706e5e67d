#pragma once
// The main frame: an MDI area holding the rough-analysis window and the
// detailed-analysis windows, a tool bar, a status bar and the analysis-tree
// bar. The menu bar shows the frame's own menu while no detailed-analysis
// window is active and the document menu while one is.
#include <QList>
#include <QMainWindow>
#include <map>
#include <string>
#include <vector>

#include "app/item_search.h"
#include "core/analysis_entry_list.h"
#include "core/anomaly.h"

class CAnalysisTreeBar;
class CChildFrame;
class CRoughListCtrl;
class CRoughlyAnalysis;
class CVantrelApp;
class QAction;
class QLabel;
class CImageWnd;
class QMdiArea;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CVantrelApp& app);
    ~CMainFrame() override;

    QMdiArea* MdiArea() const { return mdi_; }
    CRoughlyAnalysis* RoughWindow() const { return rough_; }
    CRoughListCtrl* RoughList() const;
    CAnalysisTreeBar* TreeBar() const { return bar_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QToolBar* PageBar() const { return pageBar_; }
    // The detailed-analysis frame that is active in the MDI area, if any.
    CChildFrame* ActiveChildFrame() const;
    // The work area in screen coordinates: the MDI area's visible part,
    // clear of the menu bar, the tool bar, the status bar and docked bars.
    QRect WorkArea() const;
    // Where pictures open: the work area on the screen beside what the
    // rough-analysis list's heading and rows take (the largest band to
    // their right, below, left or above them), so that no picture hides the
    // newest rows when the list comes forward. The whole work area when the list shows
    // no rows, or too little room is left beside them.
    QRect PictureRoom() const;

    // Row operations of the rough-analysis list and the bar's rebuild.
    int InsertFileRow(const char* path);
    void SetFormatText(int row, const char* text);
    void AppendResultText(int row, const char* text);
    void SetSummaryAbsence(int row, const std::string& reason);
    // The anomalies column counts a row's errors and warnings.
    void SetRowAnomalies(int row, const std::vector<Anomaly>& anomalies);
    int FindRow(const char* path);
    // Brings the rough-analysis window forward with the rows of these files
    // selected, for files that were already open when asked for again.
    void ShowFileRows(const std::vector<std::string>& paths);
    void DeleteRow(int row);
    void RebuildTree(const AnalysisEntry* head);

    // Adds a new detailed-analysis frame and makes it the active one.
    void AddChildFrame(CChildFrame* frame);

    // kIdrMainFrame or kIdrDocument: the menu the menu bar shows now.
    int CurrentMenu() const { return currentMenu_; }
    // The actions of a command: its menu items and its accelerator.
    QList<QAction*> CommandActions(int id) const;
    // The accelerator or, failing that, the first menu item of a command.
    QAction* Command(int id) const;
    // Check marks of the View menu, as the bars stand now.
    void UpdateCommandUi();

    // A status-bar message shown at once, even while an analysis holds the
    // event loop; an empty text brings back the idle message.
    void ShowBusyMessage(const QString& text);
    QString StatusText() const;
    QList<QLabel*> IndicatorPanes() const { return indicators_; }

    // Enables the tool bar's page buttons while the active detailed window
    // pages through its pictures.
    void UpdatePageButtons();

public slots:
    void OnFileOpen();
    void OnFileClose();
    void OnFilePrint();
    void OnAppExit();
    void OnAppAbout();
    void OnHelp();
    void OnViewToolBar();
    void OnViewStatusBar();
    void OnViewAnalysisTree();
    void OnViewHexPane();
    void OnFileSaveText();
    void OnEditCopy();
    void OnEditCopyBranch();
    void OnEditFind();
    void OnEditFindNext();
    void OnEditFindPrevious();
    void OnGoToOffset();
    // The tool bar's page buttons: the active detailed window's paged
    // picture window turns to the first, previous, next or last picture.
    void OnPictureFirst();
    void OnPicturePrevious();
    void OnPictureNext();
    void OnPictureLast();
    void OnWindowCascade();
    void OnWindowTileHorz();
    void OnWindowArrange();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateCommands();
    QList<QAction*> BuildMenu(int resourceId);
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateMenus();
    // The active detailed window's picture window when it pages through its
    // pictures; null otherwise.
    CImageWnd* PagedPictures() const;
    void TurnPicture(int id);
    void UpdateWindowMenu(QMenu* menu);
    void UpdateRecentFiles(QMenu* menu);
    // Where the Edit commands act: the focused list, tree or hex pane, else
    // the active window's tree or list.
    QWidget* EditTarget() const;
    void Search(SearchStep step);
    QAction* AddCommandAction(int id, const QString& text, QObject* owner);

    CVantrelApp& app_;
    QMdiArea* mdi_;
    QToolBar* toolBar_ = nullptr;
    QToolBar* pageBar_ = nullptr;
    CRoughlyAnalysis* rough_ = nullptr;
    CAnalysisTreeBar* bar_ = nullptr;
    QLabel* idlePane_ = nullptr;
    QList<QLabel*> indicators_;
    std::map<int, QAction*> accelerators_;
    std::multimap<int, QAction*> menuActions_;
    std::map<int, QList<QAction*>> menuBars_;
    std::vector<QAction*> windowListActions_;
    std::vector<QAction*> recentFileActions_;
    // Less room than this beside the list's rows is no place for a picture.
    static constexpr int kMinPictureRoom = 160;
    // Recent paths longer than this are shortened in the middle.
    static constexpr int kRecentFileTextWidth = 360;
    int currentMenu_ = 0;
};
