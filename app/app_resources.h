#pragma once
// The desktop program's resources: command ids, menus with their texts, and
// the status-bar prompts keyed by command id. Every menu is built from the
// tables in app_resources.cpp, so a text or an id lives in one place.
#include <QString>

class QAction;
class QMenu;

// Command ids, shared by menus, accelerators, the tool bar and the context
// menus. The framework's standard commands keep their usual numbers.
enum CommandId : int {
    kCmdFileOpen = 57601,
    kCmdFileClose = 57602,
    kCmdFileSave = 57603,
    kCmdFilePrintSetup = 57606,
    kCmdFilePrint = 57607,
    kCmdWindowArrange = 57649,
    kCmdWindowCascade = 57650,
    kCmdWindowTileHorz = 57651,
    kCmdEditCopy = 57634,
    kCmdEditCut = 57635,
    kCmdEditFind = 57636,
    kCmdEditPaste = 57637,
    kCmdEditRepeat = 57640,
    kCmdEditUndo = 57643,
    kCmdAppAbout = 57664,
    kCmdAppExit = 57665,
    kCmdHelpFinder = 57667,
    kCmdContextHelp = 57669,
    kCmdHelp = 57670,
    kCmdNextPane = 57680,
    kCmdPrevPane = 57681,
    kCmdViewToolBar = 59392,
    kCmdViewStatusBar = 59393,
    kCmdViewAnalysisTree = 59394,
    kCmdEntryDelete = 32771,
    kCmdDetailedAnalysis = 32772,
    kCmdShowImage = 32774,
    kCmdViewHexPane = 32775,
    kCmdFileSaveText = 32776,
    kCmdCopyLine = 32777,
    kCmdCopyBranch = 32778,
    kCmdFindPrevious = 32779,
    kCmdGoToOffset = 32780,
    kCmdPictureFirst = 32781,
    kCmdPicturePrevious = 32782,
    kCmdPictureNext = 32783,
    kCmdPictureLast = 32784,
};

// Resource ids of the menus, icons and bars.
enum ResourceId : int {
    kIdrMainFrame = 128,
    kIdrDocument = 129,
    kIdiRoughAnalysis = 130,
    kIddAnalysisTreeBar = 131,
    kIdrEntryMenu = 132,
    kIdrImageMenu = 133,
    kIddAboutBox = 100,
};

// One item of a menu description, in the order of the menu resource: a
// pop-up opens a sub-menu whose items follow up to its End.
struct MenuItem {
    enum Kind { Command, Separator, Popup, End };
    Kind kind;
    int id;             // commands only
    const char* text;   // commands and pop-ups; a tab separates the key text
};

struct MenuResourceView {
    const MenuItem* items = nullptr;
    int count = 0;
};

// Texts and prompts of the commands; empty when a command has none.
QString CommandText(int id);
// The status-bar prompt: the part of the command's string before "\n".
QString CommandPrompt(int id);
// The tool tip: the part after "\n".
QString CommandToolTip(int id);

// The message pane's text while no prompt is shown.
QString IdleMessage();

// Describes the main frame's menus (its own while no detailed-analysis window
// is active, the document menu while one is) and the two context menus (of
// the file lists and of the result tree). Empty for an unknown id.
MenuResourceView MenuResource(int id);

// Builds the pop-ups of a context menu resource into menu: the first pop-up's
// items, each action carrying its command id as data.
void LoadPopupMenu(QMenu& menu, int resourceId);

// The command id an action carries, or 0.
int ActionCommand(const class QAction* action);
// The action of menu that carries command id, or null.
QAction* FindCommand(const QMenu& menu, int id);
