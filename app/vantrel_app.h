#pragma once
// The application object: starts the program, owns what is open (the entry
// list of the open files and the detailed-analysis documents), runs the
// analyses and renders their results into the windows.
//
// Analyses run on a worker thread of the application's own, one at a time;
// the GUI thread serves the windows meanwhile and applies each result when
// it is there, in order, so that messages come as they always came. While
// a batch or a detailed analysis runs, the commands that would change what
// is open (opening, deleting, another detailed analysis) are refused with a
// beep and a word in the status bar; closing the main frame ends the
// analysis, then the program. Other windows may be closed, the analysed
// file's own ending its analysis.
//
// Message boxes, pop-up menus, the file-open dialog, modal dialogs and the
// process exit all pass through replaceable hooks, so that the program can be
// driven without a person in front of it.
#include <QElapsedTimer>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <functional>
#include <memory>
#include <vector>

#include "app/analysis_worker.h"
#include "app/item_search.h"
#include "app/message_box.h"
#include "app/recent_file_list.h"
#include "core/analysis_entry_list.h"
#include "core/analysis_options.h"
#include "core/analysis_result.h"
#include "core/file_batch.h"

class CBatchProgress;
class CItemSearch;
class QKeyEvent;
class QTreeView;
class CChildFrame;
class CMainFrame;
class CVantrelDoc;
class QAction;
class QDialog;
class QMenu;

class CVantrelApp final {
public:
    // Settings location: organisation and application of the profile.
    static constexpr const char* kProfileKey = "Local AppWizard-Generated Applications";
    static constexpr const char* kProfileApplication = "Vantrel";
    static constexpr int kRecentFileCount = 5;

    // The program: start-up, the files named on its command line (Qt's own
    // options taken out) once the main frame is on the screen, then the
    // event loop until the main frame closes. Returns the exit status.
    static int RunProgram(int& argc, char** argv);

    CVantrelApp();
    ~CVantrelApp();
    CVantrelApp(const CVantrelApp&) = delete;
    CVantrelApp& operator=(const CVantrelApp&) = delete;

    // Start-up: profile, main frame (shown, where the profile left it), then
    // the entry list. False when the program cannot start.
    bool InitInstance();
    // Opens the files named on the command line, as File > Open would; paths
    // are taken relative to the working folder, file: URLs as local files.
    void OpenCommandLine(const QStringList& arguments);

    CMainFrame* MainFrame() const { return mainFrame_.get(); }
    // The open files: one level-0 entry each, with their rough lines.
    CAnalysisEntryList& Entries() { return entries_; }
    const AnalysisOptions& Options() const { return options_; }
    const std::vector<std::unique_ptr<CVantrelDoc>>& Documents() const { return docs_; }
    const CRecentFileList& RecentFiles() const { return recentFiles_; }
    // The folder the Open dialog starts in.
    const QString& OpenFolder() const { return openFolder_; }
    // The profile: window placement, the bars, the list's column widths, the
    // Open dialog's folder and the recent-file list.
    void SaveProfile();

    // Commands.
    void OnFileOpen();
    void OnAppAbout();
    // The short guide to the windows and keys.
    void OnHelp();
    // One batch of files (an Open dialog or a drop); a folder stands for the
    // files in it. A batch that runs longer than the progress delay shows a
    // progress dialog whose Cancel ends it after the current file.
    void OpenFiles(const QStringList& paths, MessageOwner duplicateOwner);
    // The dialog appears after delayMs and is updated every updateMs (its
    // Cancel button looked at); updating it for every file would cost more
    // than a small file's analysis. A detailed analysis's progress dialog
    // keeps the same times.
    static constexpr int kProgressDelayMs = 500;
    static constexpr int kProgressUpdateMs = 40;
    void SetProgressTiming(int delayMs, int updateMs)
    {
        progressDelayMs_ = delayMs;
        progressUpdateMs_ = updateMs;
    }

    // While one exists, deleted files leave the rough list and the bar once,
    // when it ends, rather than one by one.
    class DeletionBatch {
    public:
        explicit DeletionBatch(CVantrelApp& app);
        ~DeletionBatch();
        DeletionBatch(const DeletionBatch&) = delete;
        DeletionBatch& operator=(const DeletionBatch&) = delete;

    private:
        CVantrelApp& app_;
    };
    // A detailed analysis in the background; returns once it is shown.
    // False when it was refused, cancelled or the program is closing.
    bool RunDetailedAnalysis(const char* path);
    // A window for each of several files, one analysis after another, from
    // the first: files that have a window already keep it without a word,
    // and a cancelled analysis ends the run. Over kAskBeforeAnalysing files
    // the user is asked first, over owner.
    static constexpr size_t kAskBeforeAnalysing = 10;
    void RunDetailedAnalyses(const std::vector<std::string>& paths, MessageOwner owner);
    void DeleteEntry(const char* path);

    // Whether a batch or a detailed analysis is running.
    bool Analysing() const { return activity_ != Activity::Idle; }
    // While one is, refuses a command that would change what is open: a
    // beep and a word in the status bar. True when refused.
    bool RefuseWhileAnalysing();
    // Closing the main frame while an analysis runs: the analysis is asked
    // to end, and the main frame closes once it has.
    void CloseWhenIdle();

    // Called when a detailed-analysis frame closes or is destroyed: its
    // document goes with it.
    void OnFrameDestroyed(CChildFrame* frame);

    // A word in the status bar, until the next one.
    void ShowStatusMessage(const QString& text);

    // Shows a pop-up menu, with each command's prompt in the status bar,
    // runs the chosen action and returns it, or null.
    QAction* TrackPopupMenu(QMenu& menu, QPoint globalPos);
    // Runs a modal dialog (through the modal hook when one is set).
    int ExecModal(QDialog& dialog);
    // Gives a dialog a caption with a close button only: nothing in a
    // dialog is made to be minimised or maximised.
    static void SetDialogButtons(QWidget& dialog);
    // Asks for a text to find in a tree; empty when cancelled.
    QString AskSearchText(QWidget* parent, const QString& last);
    // One step of a search in view: asks for the text when step is Ask or
    // nothing was looked for yet, selects the match, and when there is none
    // says so in the status bar. False when nothing was found.
    bool Search(QTreeView& view, CItemSearch& search, SearchStep step);
    // Runs the search a key asks for (SearchStepOf); false for other keys.
    bool HandleSearchKey(QTreeView& view, CItemSearch& search, const QKeyEvent& event);

    using MessageHook = std::function<MessageAnswer(const MessageBoxRequest&)>;
    using ExitHook = std::function<void(int)>;
    using PopupHook = std::function<QAction*(QMenu&)>;
    using OpenDialogHook = std::function<QStringList()>;
    using ModalHook = std::function<int(QDialog&)>;
    void SetMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    // The hook must not return (tests throw); without one the process ends.
    void SetExitHook(ExitHook hook) { exitHook_ = std::move(hook); }
    void SetPopupHook(PopupHook hook) { popupHook_ = std::move(hook); }
    void SetOpenDialogHook(OpenDialogHook hook) { openDialogHook_ = std::move(hook); }
    void SetModalHook(ModalHook hook) { modalHook_ = std::move(hook); }

    // Makes the analysis-tree bar's tree from the entry list again. A level
    // the entries cannot have ends the program after its message.
    void RebuildTree(const AnalysisEntry* head);
    // The documents of the one document template, in the template's order.
    // NewDocument creates a document titled "Default" with its frame and
    // view.
    void NewDocument();
    size_t DocumentCount() const { return docs_.size(); }
    std::string DocumentTitle(size_t index) const;
    void SetDocumentTitle(size_t index, const std::string& title);
    void CloseDocument(size_t index);
    // Index of the first document titled title; DocumentCount() when none is.
    size_t DocumentIndex(const std::string& title) const;

    MessageAnswer MessageBox(const MessageBoxRequest& request);
    // Shows a diagnostic of the analyses over owner, and ends the program
    // when it says so.
    void ShowDiagnostic(const Diagnostic& diagnostic, MessageOwner owner = MessageOwner::None);
    // Ends the process at once with the given exit code. Does not return.
    [[noreturn]] void ExitProcess(int code);

private:
    enum class Activity { Idle, Batch, Detailed };
    // What runs, for the length of a command; a close asked for meanwhile
    // follows it.
    class ActivityScope {
    public:
        ActivityScope(CVantrelApp& app, Activity activity);
        ~ActivityScope();
        ActivityScope(const ActivityScope&) = delete;
        ActivityScope& operator=(const ActivityScope&) = delete;

    private:
        CVantrelApp& app_;
    };
    // An opening batch's running state and waiting rows, also when a fatal
    // message leaves the batch.
    class BatchScope {
    public:
        BatchScope(CVantrelApp& app, CBatchProgress& progress);
        ~BatchScope();
        BatchScope(const BatchScope&) = delete;
        BatchScope& operator=(const BatchScope&) = delete;

    private:
        CVantrelApp& app_;
    };

    QWidget* OwnerWidget(MessageOwner owner) const;
    void LoadProfile();
    std::vector<OpenOutcome> RunBatch(CFileBatch& batch, MessageOwner owner, CBatchProgress& progress);
    // Gives a registered file of a batch its row.
    void AddFileRow(const std::string& path, const BatchStep& step, const AnalysisResult& result);
    // Opens the file's document: false when there is nothing to analyse (the
    // file has a window already); otherwise says which document it is.
    bool BeginDetailedAnalysis(const char* path, size_t& document);
    void AddRecentFiles(const std::vector<BatchPath>& batch, const std::vector<OpenOutcome>& outcomes);
    // Runs the detailed analysis of path on the worker for the document, with
    // its progress dialog, and returns its result once it has ended.
    std::shared_ptr<AnalysisResult> AnalyseInBackground(const std::string& path, const CVantrelDoc& doc);
    // Index of doc among the documents; DocumentCount() when it is gone.
    size_t DocumentIndexOf(const CVantrelDoc* doc) const;
    // Lets the rows waiting in an opening batch join the list now.
    void FlushNewRows();
    // Shows the rows of a long batch that has ended, before the bar is
    // rebuilt.
    void ShowBatchRows();

    std::unique_ptr<CMainFrame> mainFrame_;
    AnalysisOptions options_;
    CAnalysisEntryList entries_;
    bool started_ = false;
    std::vector<std::unique_ptr<CVantrelDoc>> docs_;
    CRecentFileList recentFiles_{kRecentFileCount};
    QString openFolder_;
    QTranslator qtTranslator_;
    Activity activity_ = Activity::Idle;
    bool closeWhenIdle_ = false;
    // The running detailed analysis and the frame it is for.
    std::shared_ptr<AnalysisResult> detailed_;
    const CChildFrame* detailedFrame_ = nullptr;
    bool roughAnalysisRunning_ = false;
    CBatchProgress* progress_ = nullptr;
    int progressDelayMs_ = kProgressDelayMs;
    int progressUpdateMs_ = kProgressUpdateMs;
    static constexpr qint64 kStatusIntervalMs = 100;
    QElapsedTimer statusShown_;
    int deletionBatches_ = 0;
    const AnalysisEntry* deferredRebuild_ = nullptr;
    // The file of the running batch that messages are about.
    std::string currentBatchFile_;
    // The status bar's last "not found" message, cleared by the next match.
    QString searchMiss_;

    MessageHook messageHook_;
    ExitHook exitHook_;
    PopupHook popupHook_;
    OpenDialogHook openDialogHook_;
    ModalHook modalHook_;
    // Stopped before anything else goes: its job may still read the analysis
    // half.
    std::unique_ptr<CAnalysisWorker> worker_;
};
