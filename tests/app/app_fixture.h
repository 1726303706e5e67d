#pragma once
// A started desktop program for the GUI tests: message boxes, pop-up menus,
// the Open dialog, modal dialogs and the process exit are intercepted, and
// small files of each format are written to a temporary folder.
#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/tree_widget_control.h"
#include "app/vantrel_app.h"

class CAnalysisTreeBar;
class CImageWnd;
class CAnalysisTreeCtrl;
class CChildFrame;
class CMainFrame;
class CRoughListCtrl;
class QAction;
class QMenu;

// What the exit hook throws: the program asked to end with this code.
struct AppExit {
    int code;
};

// A JPEG picture of the given size (a real baseline file), an uncompressed
// RGB TIFF file (byte i of its strip is i * 7 modulo 256), and a minimal
// uncompressed SWF file.
QByteArray MakeJpeg(int width, int height);
QByteArray MakeTiff(int width = 8, int height = 8);
QByteArray MakeSwf();

// A picture of w x h as an analysis leaves it, given to frame's hidden
// image windows: each pixel has red = x, green = y (modulo 256) and blue =
// 200. Null when no pixel memory could be had.
CImageWnd* AddPicture(CChildFrame& frame, int32_t w, int32_t h);

class AppFixture {
public:
    // The profile is kept in settingsDir, or in a folder of the fixture's
    // own when none is given, so that no test sees another's settings.
    explicit AppFixture(const QString& settingsDir = QString());
    ~AppFixture();

    CVantrelApp& App() { return *app_; }
    CMainFrame& Frame();
    CRoughListCtrl& List();
    CAnalysisTreeBar& Bar();
    CAnalysisTreeCtrl& BarTree();

    // Writes a file into the temporary folder and returns its path.
    std::string Write(const std::string& name, const QByteArray& bytes);
    std::string Dir() const;

    // Opens the paths as one File > Open selection (through the command).
    void OpenThroughDialog(const std::vector<std::string>& paths);

    // Message boxes shown so far, and the answers for the next OK/Cancel
    // questions (OK when none is left).
    std::vector<MessageBoxRequest> messages;
    std::deque<MessageAnswer> answers;

    // The texts of the last pop-up menu offered (empty list: none), and the
    // text of the item to choose from the next one (empty: dismiss it).
    QStringList lastPopup;
    // The text of that menu's default (bold) item; empty when it has none.
    QString lastDefault;
    int popupCount = 0;
    QString choose;

    // Texts of the rough list's column 0, from the top.
    std::vector<std::string> RowPaths();
    // Top-level line texts of a tree.
    static std::vector<std::string> TopLevelTexts(const CTreeWidgetControl& tree);
    // The i-th top-level line of a tree, and the i-th child of a line;
    // kNoLine when there is none.
    static LineId TopLine(const CTreeWidgetControl& tree, int i);
    static LineId ChildLine(const CTreeWidgetControl& tree, LineId line, int i);
    // The first line of a tree whose text holds part; kNoLine when none does.
    static LineId FindLine(const CTreeWidgetControl& tree, std::string_view part);
    // What the list shows in a cell of a row.
    static QString Cell(const CRoughListCtrl& list, int row, int column);
    // The bar tree's line texts, one per line, two spaces per depth.
    std::string BarText();

    // Right-clicks a row of the list or a line of a tree (scrolled into view
    // first), or an empty point of its viewport for no row or line.
    static void RightClick(CRoughListCtrl& list, int row);
    static void RightClick(CTreeWidgetControl& tree, LineId line);

    // Detailed-analysis frames in the MDI area.
    std::vector<CChildFrame*> ChildFrames();
    // A new detailed-analysis window without a file (titled "Default"), made
    // active, as the dispatcher makes one before an analysis.
    CChildFrame* EmptyWindow();

private:
    QTemporaryDir dir_;
    std::unique_ptr<CVantrelApp> app_;
};
