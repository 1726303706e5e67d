#include "app/vantrel_app.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QGridLayout>
#include <QPushButton>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QStatusBar>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "app/about_box.h"
#include "app/analysis_tree_bar.h"
#include "app/analysis_progress.h"
#include "app/analysis_tree_ctrl.h"
#include "app/batch_analysis.h"
#include "app/batch_progress.h"
#include "app/child_frame.h"
#include "app/help_guide.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/vantrel_doc.h"
#include "app/vantrel_view.h"
#include "core/analysis_tree.h"
#include "core/analyze.h"
#include "core/anomaly.h"
#include "core/result_text.h"
#include "formats/all_formats.h"
#include "image/image_buffer.h"

namespace {

// A wait cursor for the length of an analysis.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QString PathText(const char* bytes)
{
    return QString::fromUtf8(bytes);
}

// How long the status bar says that a command was refused.
constexpr int kRefusalShownMs = 3000;


// Profile keys besides the recent-file list.
const QString kPlacementSection = QStringLiteral("Settings");
const QString kFrameGeometryKey = QStringLiteral("MainFrameGeometry");
const QString kFrameBarsKey = QStringLiteral("MainFrameBars");
const QString kColumnWidthsKey = QStringLiteral("ListColumnWidths");
const QString kOpenFolderKey = QStringLiteral("OpenFolder");
const QString kPictureBudgetKey = QStringLiteral("Settings/PictureBudgetMB");

// The Open dialog opens files; its extra button opens folders: the folders
// selected in it, or the folder it shows when none is selected.
void AddFolderButton(QFileDialog& dialog, QStringList& folders)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    auto* button = new QPushButton(QStringLiteral("フォルダを開く"), &dialog);
    grid->addWidget(button, grid->rowCount(), 0, 1, grid->columnCount());
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &folders] {
        folders.clear();
        for (const QString& path : dialog.selectedFiles())
            if (QFileInfo(path).isDir())
                folders << path;
        if (folders.isEmpty())
            folders << dialog.directory().absolutePath();
        static_cast<QDialog&>(dialog).done(QDialog::Accepted);
    });
}

}  // namespace

int CVantrelApp::RunProgram(int& argc, char** argv)
{
    QApplication qapp(argc, argv);
    // The application object is left to the system when the program ends:
    // with thousands of files open its lists and trees hold millions of
    // items, and freeing them one by one would keep the program running for
    // seconds after its window closed. Nothing of it is needed then: the
    // profile is written when the main frame closes, and the windows' system
    // resources go with the QApplication.
    auto* app = new CVantrelApp;
    if (!app->InitInstance())
        return 1;
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &qapp, [app, files] { app->OpenCommandLine(files); });
    return qapp.exec();
}

CVantrelApp::CVantrelApp() : worker_(std::make_unique<CAnalysisWorker>()) {}

CVantrelApp::~CVantrelApp()
{
    if (detailed_)
        detailed_->RequestCancel();
    worker_.reset();
    // Frames first: their destruction reports back to the document list. A
    // frame that never joined the MDI area goes on its own.
    std::vector<CChildFrame*> unshown;
    for (const auto& doc : docs_)
        if (doc->Frame() && !doc->Frame()->mdiArea())
            unshown.push_back(doc->Frame());
    for (CChildFrame* frame : unshown)
        delete frame;
    mainFrame_.reset();
    docs_.clear();
}

bool CVantrelApp::InitInstance()
{
    QCoreApplication::setOrganizationName(QString::fromUtf8(kProfileKey));
    QCoreApplication::setApplicationName(QString::fromUtf8(kProfileApplication));
    // The framework's own texts (dialog buttons, the file dialog) in Japanese,
    // like the rest of the program.
    if (qtTranslator_.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator_);

    mainFrame_ = std::make_unique<CMainFrame>(*this);
    mainFrame_->setAcceptDrops(true);
    mainFrame_->resize(1024, 700);
    LoadProfile();
    mainFrame_->show();

    options_.formats = AllFormats();
    // Pictures are decoded again when they are shown.
    options_.keepPixels = false;
    // A picture beyond the budget (megabytes, in the profile) is shown
    // reduced, and decoded again in part where the view needs its pixels.
    const qulonglong budget = QSettings().value(kPictureBudgetKey, qulonglong{256}).toULongLong();
    options_.pictureBudget = std::clamp<qulonglong>(budget, 1, qulonglong{1} << 20) << 20;
    started_ = true;
    return true;
}

void CVantrelApp::LoadProfile()
{
    QSettings settings;
    recentFiles_.Load(settings);
    settings.beginGroup(kPlacementSection);
    mainFrame_->restoreGeometry(settings.value(kFrameGeometryKey).toByteArray());
    mainFrame_->restoreState(settings.value(kFrameBarsKey).toByteArray());
    const QVariantList widths = settings.value(kColumnWidthsKey).toList();
    CRoughListCtrl* list = mainFrame_->RoughList();
    for (int i = 0; list && i < widths.size() && i < CRoughListModel::kColumnCount; ++i)
        if (const int width = widths[i].toInt(); width > 0)
            list->setColumnWidth(i, width);
    openFolder_ = settings.value(kOpenFolderKey).toString();
    settings.endGroup();
}

void CVantrelApp::SaveProfile()
{
    QSettings settings;
    recentFiles_.Save(settings);
    if (!mainFrame_)
        return;
    settings.beginGroup(kPlacementSection);
    settings.setValue(kFrameGeometryKey, mainFrame_->saveGeometry());
    settings.setValue(kFrameBarsKey, mainFrame_->saveState());
    QVariantList widths;
    if (const CRoughListCtrl* list = mainFrame_->RoughList())
        for (int i = 0; i < CRoughListModel::kColumnCount; ++i)
            widths << list->KeptColumnWidth(i);
    settings.setValue(kColumnWidthsKey, widths);
    settings.setValue(kOpenFolderKey, openFolder_);
    settings.endGroup();
    settings.setValue(kPictureBudgetKey, static_cast<qulonglong>(options_.pictureBudget >> 20));
}

void CVantrelApp::OpenCommandLine(const QStringList& arguments)
{
    QStringList paths;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QStringLiteral("file:")))
            paths << QUrl(argument).toLocalFile();
        else
            paths << QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
    }
    if (!paths.isEmpty())
        OpenFiles(paths, MessageOwner::None);
}

void CVantrelApp::OnFileOpen()
{
    if (RefuseWhileAnalysing())
        return;
    QStringList paths;
    if (openDialogHook_) {
        paths = openDialogHook_();
    } else {
        QFileDialog dialog(mainFrame_.get(), QStringLiteral("開く"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // The first filter names the files of every format the table holds.
        dialog.setNameFilters(
            {QString::fromUtf8(OpenDialogFilter(options_.formats).c_str()), QStringLiteral("すべてのファイル (*)")});
        if (!openFolder_.isEmpty())
            dialog.setDirectory(openFolder_);
        QStringList folders;
        AddFolderButton(dialog, folders);
        if (ExecModal(dialog) == QDialog::Accepted)
            paths = folders.isEmpty() ? dialog.selectedFiles() : folders;
    }
    if (paths.isEmpty())
        return;
    openFolder_ = QFileInfo(paths.front()).absolutePath();
    OpenFiles(paths, MessageOwner::None);
}

void CVantrelApp::OnAppAbout()
{
    CAboutDlg dialog(mainFrame_.get());
    ExecModal(dialog);
}

void CVantrelApp::OnHelp()
{
    CHelpGuide dialog(mainFrame_.get());
    ExecModal(dialog);
}

void CVantrelApp::OpenFiles(const QStringList& paths, MessageOwner duplicateOwner)
{
    if (!started_ || RefuseWhileAnalysing())
        return;
    std::vector<std::string> bytes;
    bytes.reserve(static_cast<size_t>(paths.size()));
    for (const QString& path : paths)
        bytes.push_back(QFile::encodeName(path).toStdString());
    std::vector<std::string> emptyFolders;
    std::vector<BatchPath> items = ExpandFolders(bytes, false, &emptyFolders);
    CFileBatch batch(entries_, std::move(items), options_, std::move(emptyFolders));
    ActivityScope activity(*this, Activity::Batch);
    BusyCursor busy;
    CBatchProgress progress(mainFrame_.get(), progressDelayMs_, progressUpdateMs_);
    const std::vector<OpenOutcome> outcomes = RunBatch(batch, duplicateOwner, progress);
    currentBatchFile_.clear();
    statusShown_.invalidate();
    AddRecentFiles(batch.Items(), outcomes);
    if (mainFrame_) {
        mainFrame_->ShowBusyMessage(QString());
        // After the message that a file is open already, its row shows where
        // it is.
        std::vector<std::string> duplicates;
        for (size_t i = 0; i < outcomes.size() && i < batch.Size(); ++i)
            if (outcomes[i] == OpenOutcome::Duplicate)
                duplicates.push_back(batch.Item(i).path);
        mainFrame_->ShowFileRows(duplicates);
    }
}

namespace {

// The messages about the batch as a whole and about a file already open
// stand over the window the files came from (the main frame for dropped
// files); the others over none.
MessageOwner BatchOwner(const Diagnostic& diagnostic, MessageOwner owner)
{
    switch (diagnostic.kind) {
    case DiagnosticKind::AlreadyOpen:
    case DiagnosticKind::SkippedInFolder:
    case DiagnosticKind::EmptyFolder: return owner;
    default: return MessageOwner::None;
    }
}

}  // namespace

std::vector<OpenOutcome> CVantrelApp::RunBatch(CFileBatch& batch, MessageOwner owner, CBatchProgress& progress)
{
    BatchScope scope(*this, progress);
    {
        CBatchAnalysis ahead(*worker_, batch);
        for (size_t i = 0; i < batch.Size(); ++i) {
            const BatchPath& item = batch.Item(i);
            currentBatchFile_ = item.path;
            if (!progress.Step(i, batch.Size(), item.path))
                break;
            const std::unique_ptr<AnalysisResult> result = ahead.Next();
            // A Cancel pressed while the file was awaited ends the batch
            // before it, where the dialog stood.
            if (progress.Cancelled() || closeWhenIdle_)
                break;
            const BatchStep step = batch.Apply(*result);
            if (step.newRow)
                AddFileRow(item.path, step, *result);
            for (const Diagnostic& d : step.diagnostics)
                ShowDiagnostic(d, BatchOwner(d, owner));
        }
    }
    if (!closeWhenIdle_) {
        RebuildTree(entries_.GetEntryListHead());
        for (const Diagnostic& d : batch.Finish())
            ShowDiagnostic(d, BatchOwner(d, owner));
    }
    return batch.Outcomes();
}

void CVantrelApp::AddFileRow(const std::string& path, const BatchStep& step, const AnalysisResult& result)
{
    if (!mainFrame_)
        return;
    // In a long batch the status bar is repainted a few times a second, not
    // per file.
    if (roughAnalysisRunning_ && (!statusShown_.isValid() || statusShown_.elapsed() >= kStatusIntervalMs)) {
        statusShown_.start();
        mainFrame_->ShowBusyMessage(QStringLiteral("概略解析中：%1").arg(PathText(path.c_str())));
    }
    const int row = mainFrame_->InsertFileRow(path.c_str());
    mainFrame_->SetFormatText(row, step.formatText.c_str());
    for (const std::string& piece : result.summary)
        mainFrame_->AppendResultText(row, piece.c_str());
    if (!result.summaryAbsence.empty())
        mainFrame_->SetSummaryAbsence(row, result.summaryAbsence);
    if (!result.anomalies.empty())
        mainFrame_->SetRowAnomalies(row, result.anomalies);
}

void CVantrelApp::AddRecentFiles(const std::vector<BatchPath>& batch, const std::vector<OpenOutcome>& outcomes)
{
    // Adding every file in turn leaves the last distinct ones on top; only
    // as many as the list holds are looked for, from the batch's end.
    QStringList newest;
    for (size_t i = std::min(outcomes.size(), batch.size()); i-- > 0 && newest.size() < recentFiles_.Size();) {
        if (outcomes[i] != OpenOutcome::Opened && outcomes[i] != OpenOutcome::NotAnalysed)
            continue;
        const QString path = QFile::decodeName(QByteArray::fromStdString(batch[i].path));
        if (!path.isEmpty() && !newest.contains(path))
            newest << path;
    }
    for (auto it = newest.rbegin(); it != newest.rend(); ++it)
        recentFiles_.Add(*it);
}

CVantrelApp::BatchScope::BatchScope(CVantrelApp& app, CBatchProgress& progress) : app_(app)
{
    app_.roughAnalysisRunning_ = true;
    app_.progress_ = &progress;
    if (CRoughListCtrl* list = app_.mainFrame_ ? app_.mainFrame_->RoughList() : nullptr)
        list->BeginInsertBatch();
}

CVantrelApp::BatchScope::~BatchScope()
{
    if (CRoughListCtrl* list = app_.mainFrame_ ? app_.mainFrame_->RoughList() : nullptr)
        list->EndInsertBatch();
    app_.roughAnalysisRunning_ = false;
    app_.progress_ = nullptr;
}

CVantrelApp::ActivityScope::ActivityScope(CVantrelApp& app, Activity activity) : app_(app)
{
    app_.activity_ = activity;
}

CVantrelApp::ActivityScope::~ActivityScope()
{
    app_.activity_ = Activity::Idle;
    if (app_.closeWhenIdle_ && app_.mainFrame_) {
        CMainFrame* frame = app_.mainFrame_.get();
        QTimer::singleShot(0, frame, [frame] { frame->close(); });
    }
}

bool CVantrelApp::RefuseWhileAnalysing()
{
    if (!Analysing())
        return false;
    QApplication::beep();
    if (mainFrame_)
        mainFrame_->statusBar()->showMessage(QStringLiteral("解析中のため実行できません"), kRefusalShownMs);
    return true;
}

void CVantrelApp::CloseWhenIdle()
{
    closeWhenIdle_ = true;
    if (detailed_)
        detailed_->RequestCancel();
}

bool CVantrelApp::RunDetailedAnalysis(const char* path)
{
    if (!started_ || RefuseWhileAnalysing())
        return false;
    bool finished = true;
    ActivityScope activity(*this, Activity::Detailed);
    BusyCursor busy;
    if (mainFrame_)
        mainFrame_->ShowBusyMessage(QStringLiteral("詳細解析中：%1").arg(PathText(path)));
    size_t document = 0;
    if (BeginDetailedAnalysis(path, document)) {
        const CVantrelDoc* doc = docs_[document].get();
        const std::shared_ptr<AnalysisResult> result = AnalyseInBackground(path, *doc);
        finished = !result->CancelRequested();
        // The window may have been closed meanwhile, or the program asked to
        // end: then nothing is shown.
        if (const size_t index = DocumentIndexOf(doc); index < docs_.size() && !closeWhenIdle_) {
            for (const Diagnostic& d : result->diagnostics)
                ShowDiagnostic(d);
            if (CChildFrame* frame = docs_[index]->Frame())
                frame->ShowResult(*result);
        }
    }
    if (mainFrame_)
        mainFrame_->ShowBusyMessage(QString());
    return finished && !closeWhenIdle_;
}

void CVantrelApp::RunDetailedAnalyses(const std::vector<std::string>& paths, MessageOwner owner)
{
    if (paths.size() == 1) {
        RunDetailedAnalysis(paths.front().c_str());
        return;
    }
    if (paths.empty() || RefuseWhileAnalysing())
        return;
    if (paths.size() > kAskBeforeAnalysing) {
        MessageBoxRequest box;
        box.text = "選択した" + std::to_string(paths.size()) + "個のファイルを詳細解析します。";
        box.caption = kAppTitle;
        box.owner = owner;
        box.buttons = MessageButtons::OkCancel;
        if (MessageBox(box) != MessageAnswer::Ok)
            return;
    }
    for (const std::string& path : paths) {
        if (DocumentIndex(path) < DocumentCount())
            continue;
        if (!RunDetailedAnalysis(path.c_str()))
            break;
    }
}

std::shared_ptr<AnalysisResult> CVantrelApp::AnalyseInBackground(const std::string& path, const CVantrelDoc& doc)
{
    auto result = std::make_shared<AnalysisResult>();
    auto done = std::make_shared<std::atomic<bool>>(false);
    worker_->Post([options = options_, path, result, done] {
        Analyze(path.c_str(), AnalysisMode::Detailed, options, *result);
        done->store(true);
        CAnalysisWorker::WakeGuiThread();
    });
    // The analysis can be asked to stop (its window closed, the program
    // quit) while it runs, also when something leaves the wait early.
    struct Running {
        CVantrelApp& app;
        ~Running()
        {
            app.detailed_.reset();
            app.detailedFrame_ = nullptr;
        }
    } running{*this};
    detailed_ = result;
    detailedFrame_ = doc.Frame();
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    CAnalysisProgress progress(mainFrame_.get(), *result, static_cast<uint64_t>(QFileInfo(name).size()),
                               QString::fromUtf8(PathFileName(path).c_str()), progressDelayMs_, progressUpdateMs_);
    CAnalysisWorker::WaitServingEvents([&done] { return done->load(); });
    return result;
}

size_t CVantrelApp::DocumentIndexOf(const CVantrelDoc* doc) const
{
    const auto it = std::find_if(docs_.begin(), docs_.end(), [doc](const auto& d) { return d.get() == doc; });
    return static_cast<size_t>(it - docs_.begin());
}

bool CVantrelApp::BeginDetailedAnalysis(const char* path, size_t& document)
{
    NewDocument();
    // The walk over the documents stops at the first one titled path (the
    // file has a window already) or, failing that, at the document just
    // created, the last one, while it is still titled "Default"; an earlier
    // empty window made with the new-document command keeps that title.
    const size_t count = DocumentCount();
    if (DocumentIndex(path) < count) {
        MessageBoxRequest box;
        box.text = std::string("すでに詳細解析済みのファイルです\n") + path;
        box.caption = kAppTitle;
        box.owner = MessageOwner::Application;
        MessageBox(box);
        CloseDocument(DocumentCount() - 1);
        return false;
    }
    if (count == 0 || DocumentTitle(count - 1) != "Default")
        return false;
    SetDocumentTitle(count - 1, path);
    document = count - 1;
    return true;
}

void CVantrelApp::DeleteEntry(const char* path)
{
    if (!started_ || RefuseWhileAnalysing())
        return;
    Diagnostic fatal;
    if (!RemoveOpenFile(entries_, path, fatal))
        ShowDiagnostic(fatal);
    RebuildTree(entries_.GetEntryListHead());
    if (const int row = mainFrame_ ? mainFrame_->FindRow(path) : -1; row >= 0)
        mainFrame_->DeleteRow(row);
    if (const size_t doc = DocumentIndex(path); doc < DocumentCount())
        CloseDocument(doc);
}

CVantrelApp::DeletionBatch::DeletionBatch(CVantrelApp& app) : app_(app)
{
    if (app_.deletionBatches_++ == 0 && app_.mainFrame_ && app_.mainFrame_->RoughList())
        app_.mainFrame_->RoughList()->BeginDeleteBatch();
}

CVantrelApp::DeletionBatch::~DeletionBatch()
{
    if (--app_.deletionBatches_ > 0 || !app_.mainFrame_)
        return;
    if (CRoughListCtrl* list = app_.mainFrame_->RoughList())
        list->EndDeleteBatch();
    if (const AnalysisEntry* head = std::exchange(app_.deferredRebuild_, nullptr))
        app_.mainFrame_->RebuildTree(head);
}

void CVantrelApp::OnFrameDestroyed(CChildFrame* frame)
{
    if (frame == detailedFrame_ && detailed_)
        detailed_->RequestCancel();
    auto it = std::find_if(docs_.begin(), docs_.end(), [frame](const auto& doc) { return doc->Frame() == frame; });
    if (it != docs_.end())
        docs_.erase(it);
}

QAction* CVantrelApp::TrackPopupMenu(QMenu& menu, QPoint globalPos)
{
    // The prompt of the item under the pointer, as the main menu shows it;
    // gone before the chosen command runs.
    if (QMainWindow* frame = mainFrame_.get()) {
        QStatusBar* status = frame->statusBar();
        QObject::connect(&menu, &QMenu::hovered, status,
                         [status](QAction* action) { status->showMessage(action->statusTip()); });
        QObject::connect(&menu, &QMenu::aboutToHide, status, &QStatusBar::clearMessage);
    }
    if (!popupHook_)
        return menu.exec(globalPos);
    QAction* chosen = popupHook_(menu);
    if (mainFrame_)
        mainFrame_->statusBar()->clearMessage();
    if (chosen)
        chosen->trigger();
    return chosen;
}

void CVantrelApp::SetDialogButtons(QWidget& dialog)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
}

int CVantrelApp::ExecModal(QDialog& dialog)
{
    SetDialogButtons(dialog);
    return modalHook_ ? modalHook_(dialog) : dialog.exec();
}

QString CVantrelApp::AskSearchText(QWidget* parent, const QString& last)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("検索"));
    dialog.setLabelText(QStringLiteral("検索する文字列："));
    dialog.setTextValue(last);
    return ExecModal(dialog) == QDialog::Accepted ? dialog.textValue() : QString();
}

bool CVantrelApp::Search(QTreeView& view, CItemSearch& search, SearchStep step)
{
    QString text = search.Last();
    if (step == SearchStep::Ask || text.isEmpty()) {
        text = AskSearchText(&view, text);
        if (text.isEmpty())
            return false;
    }
    QStatusBar* status = mainFrame_ ? mainFrame_->statusBar() : nullptr;
    if (search.Find(text, step == SearchStep::Previous)) {
        if (status && !searchMiss_.isEmpty() && status->currentMessage() == searchMiss_)
            status->clearMessage();
        return true;
    }
    QApplication::beep();
    searchMiss_ = QStringLiteral("「%1」は見つかりません").arg(text);
    if (status)
        status->showMessage(searchMiss_);
    return false;
}

void CVantrelApp::ShowStatusMessage(const QString& text)
{
    if (mainFrame_)
        mainFrame_->statusBar()->showMessage(text);
}

bool CVantrelApp::HandleSearchKey(QTreeView& view, CItemSearch& search, const QKeyEvent& event)
{
    SearchStep step = SearchStep::Ask;
    if (!SearchStepOf(event, step))
        return false;
    Search(view, search, step);
    return true;
}

// --- What is open ---

void CVantrelApp::RebuildTree(const AnalysisEntry* head)
{
    if (!mainFrame_)
        return;
    if (deletionBatches_ > 0) {
        deferredRebuild_ = head;
        return;
    }
    FlushNewRows();
    if (roughAnalysisRunning_ && progress_ && progress_->Shown())
        ShowBatchRows();
    mainFrame_->RebuildTree(head);
}

void CVantrelApp::ShowBatchRows()
{
    // Rebuilding the bar after a long batch takes a while too: the rows are
    // laid out and painted first, with the progress dialog gone, and the
    // status bar says what the program still does. No input is taken here.
    progress_->Finish();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    mainFrame_->statusBar()->showMessage(QStringLiteral("解析ﾂﾘｰを更新中"));
    mainFrame_->repaint();
}

void CVantrelApp::FlushNewRows()
{
    if (CRoughListCtrl* list = mainFrame_ ? mainFrame_->RoughList() : nullptr; list && list->InInsertBatch()) {
        list->EndInsertBatch();
        list->BeginInsertBatch();
    }
}

void CVantrelApp::NewDocument()
{
    if (!mainFrame_)
        return;
    // The window joins the MDI area when the analysis gives it its file's
    // path. One that is closed again at once, because the file has a window
    // already, so never disturbs the others' state and activation.
    auto doc = std::make_unique<CVantrelDoc>();
    new CChildFrame(*this, *doc);
    docs_.push_back(std::move(doc));
}

std::string CVantrelApp::DocumentTitle(size_t index) const
{
    return index < docs_.size() ? docs_[index]->GetTitle() : std::string();
}

void CVantrelApp::SetDocumentTitle(size_t index, const std::string& title)
{
    if (index >= docs_.size())
        return;
    docs_[index]->SetTitle(title);
    CChildFrame* frame = docs_[index]->Frame();
    if (mainFrame_ && frame && !frame->mdiArea())
        mainFrame_->AddChildFrame(frame);
}

void CVantrelApp::CloseDocument(size_t index)
{
    if (index >= docs_.size())
        return;
    CChildFrame* frame = docs_[index]->Frame();
    docs_.erase(docs_.begin() + static_cast<std::ptrdiff_t>(index));
    // The frame takes its view and image windows with it.
    delete frame;
}

size_t CVantrelApp::DocumentIndex(const std::string& title) const
{
    for (size_t i = 0; i < docs_.size(); ++i)
        if (docs_[i]->GetTitle() == title)
            return i;
    return docs_.size();
}

QWidget* CVantrelApp::OwnerWidget(MessageOwner owner) const
{
    CMainFrame* frame = mainFrame_.get();
    if (!frame)
        return nullptr;
    switch (owner) {
    case MessageOwner::None: return nullptr;
    case MessageOwner::Application:
    case MessageOwner::MainFrame: return frame;
    case MessageOwner::RoughList: return frame->RoughList();
    case MessageOwner::TreeBar: return frame->TreeBar();
    case MessageOwner::TreeBarTree: return frame->TreeBar() ? frame->TreeBar()->Tree() : nullptr;
    }
    return nullptr;
}

MessageAnswer CVantrelApp::MessageBox(const MessageBoxRequest& request)
{
    // The rows opened so far show behind the question, and the status bar
    // names the file the message is about.
    FlushNewRows();
    if (roughAnalysisRunning_ && mainFrame_ && !currentBatchFile_.empty())
        mainFrame_->ShowBusyMessage(QStringLiteral("概略解析中：%1").arg(PathText(currentBatchFile_.c_str())));
    if (messageHook_)
        return messageHook_(request);
    const QString caption = QString::fromUtf8(request.caption.empty() ? kAppTitle : request.caption.c_str());
    const auto buttons = request.buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                                     : QMessageBox::Ok;
    QMessageBox box(QMessageBox::NoIcon, caption, QString::fromUtf8(request.text.c_str()), buttons,
                    OwnerWidget(request.owner));
    box.setDefaultButton(QMessageBox::Ok);
    // A question asked in the middle of an analysis waits for the user: show
    // the ordinary pointer over it.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    return answer == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

void CVantrelApp::ShowDiagnostic(const Diagnostic& diagnostic, MessageOwner owner)
{
    MessageBoxRequest box;
    box.text = diagnostic.text;
    box.caption = diagnostic.caption;
    box.owner = owner;
    MessageBox(box);
    if (diagnostic.endsProcess)
        ExitProcess(0);
}

void CVantrelApp::ExitProcess(int code)
{
    if (exitHook_)
        exitHook_(code);
    std::fflush(nullptr);
    std::_Exit(code);
}
