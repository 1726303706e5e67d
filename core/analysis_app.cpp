#include "core/analysis_app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/read_stream.h"
#include "core/result_text.h"

namespace {

constexpr const char* kDuplicateCaption = "ファイルオープンエラー";
constexpr const char* kUnreadableNumber = "SA00000001";

// One message names this many unreadable files at most; a line counts the
// rest, so that a folder of thousands cannot make a box taller than the
// screen.
constexpr size_t kMaxListedFiles = 20;

// "ファイルを開けません" with the files it is about, each on a line of its
// own, before the error number that ends it.
std::string CannotOpenText(const std::vector<std::string>& paths, const char* errorNumber)
{
    std::string text = "ファイルを開けません\n";
    for (size_t i = 0; i < paths.size() && i < kMaxListedFiles; ++i)
        text += paths[i] + "\n";
    if (paths.size() > kMaxListedFiles)
        text += "ほか" + std::to_string(paths.size() - kMaxListedFiles) + "個のファイル\n";
    return text + "エラー番号：" + errorNumber;
}

std::string SkippedFilesText(size_t count)
{
    return "フォルダ内の未対応の形式のファイルを" + std::to_string(count) + "個読み飛ばしました";
}

std::string EmptyFolderText(const std::string& folder)
{
    return "フォルダ：" + folder + "\nには開くファイルがありません";
}

}

const char* CAnalysisApp::FormatName(uint32_t format) const
{
    const FormatHandler* handler = Format(format);
    return handler && handler->detect ? handler->name : nullptr;
}

FilePtr OpenAnalysisFile(const char* path)
{
    if (!path || std::strlen(path) > kMaxLineBytes)
        return nullptr;
    // Only regular files are opened: opening a FIFO waits for a writer, and
    // opening a device can act on it. The name is looked at first, then what
    // was opened (without waiting) is checked again, in case the name was
    // replaced in between.
    struct stat st {};
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    return FilePtr(OpenReadStream(fd));
}

class CAnalysisApp::CLimitedTree final : public ITreeControl {
public:
    ITreeControl* tree = nullptr;
    uint32_t inserted = 0;

    HTREEITEM InsertItem(const char* text, HTREEITEM parent, HTREEITEM insertAfter) override
    {
        if (inserted >= kMaxTreeItems)
            return 0;
        ++inserted;
        return tree->InsertItem(text, parent, insertAfter);
    }
    void Expand(HTREEITEM item, unsigned code) override { tree->Expand(item, code); }
    HTREEITEM GetParentItem(HTREEITEM item) const override { return tree->GetParentItem(item); }
    HTREEITEM GetChildItem(HTREEITEM item) const override { return tree->GetChildItem(item); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const override { return tree->GetNextSiblingItem(item); }
    HTREEITEM GetNextVisibleItem(HTREEITEM item) const override { return tree->GetNextVisibleItem(item); }
    HTREEITEM GetRootItem() const override { return tree->GetRootItem(); }
    HTREEITEM GetSelectedItem() const override { return tree->GetSelectedItem(); }
    void DeleteAllItems() override { tree->DeleteAllItems(); }
    std::string GetItemText(HTREEITEM item) const override { return tree->GetItemText(item); }
    bool IsExpanded(HTREEITEM item) const override { return tree->IsExpanded(item); }
    void SetItemRange(HTREEITEM item, const ByteRange& range) override { tree->SetItemRange(item, range); }
    bool GetItemRange(HTREEITEM item, ByteRange& range) const override { return tree->GetItemRange(item, range); }
};

CAnalysisApp::CAnalysisApp(IShell& shell, FormatTable formats)
    : shell_(shell), formats_(formats), limitedTree_(std::make_unique<CLimitedTree>())
{
}

CAnalysisApp::NestedScope::NestedScope(CAnalysisApp& app)
    : app_(app), allowed_(app.nestedDepth_ < kMaxNestedDepth && app.nestedAnalyses_ < kMaxNestedAnalyses)
{
    if (allowed_) {
        ++app_.nestedDepth_;
        ++app_.nestedAnalyses_;
    }
}

CAnalysisApp::NestedScope::~NestedScope()
{
    if (allowed_)
        --app_.nestedDepth_;
}

int32_t CAnalysisApp::AddEntry(uint32_t level, const char* text)
{
    if (level != 0 && fileEntries_ >= kMaxEntriesPerFile)
        return -1;
    ++fileEntries_;
    return entries_.AddEntry(level, text);
}

ITreeControl* CAnalysisApp::ActiveTree()
{
    ITreeControl* tree = shell_.ActiveTree();
    if (!tree)
        return nullptr;
    // A different view starts a new count: each detailed analysis runs in a
    // view of its own.
    if (limitedTree_->tree != tree) {
        limitedTree_->tree = tree;
        limitedTree_->inserted = 0;
    }
    return limitedTree_.get();
}

CAnalysisApp::~CAnalysisApp() = default;

const FormatHandler* CAnalysisApp::Format(uint32_t format) const
{
    for (const FormatHandler& handler : formats_) {
        if (handler.code == format)
            return &handler;
    }
    return nullptr;
}

void CAnalysisApp::ShowMessage(const std::string& text, const char* caption, MessageOwner owner)
{
    MessageBoxRequest box;
    box.text = text;
    box.caption = caption;
    box.owner = owner;
    shell_.MessageBox(box);
}

uint32_t CAnalysisApp::DetectFormat(const char* path, bool reportUnsupported)
{
    bool unreadable = false;
    const uint32_t format = Detect(path, reportUnsupported, unreadable);
    if (unreadable)
        ShowMessage(CannotOpenText({path}, kUnreadableNumber));
    return format;
}

uint32_t CAnalysisApp::Detect(const char* path, bool reportUnsupported, bool& unreadable)
{
    FilePtr fp = OpenAnalysisFile(path);
    unreadable = !fp;
    if (!fp)
        return kFormatUnsupported;
    uint8_t head[kDetectionBytes];
    const size_t n = std::fread(head, 1, sizeof head, fp.get());
    for (const FormatHandler& handler : formats_) {
        if (handler.detect && handler.detect(head, n))
            return handler.code;
    }
    if (reportUnsupported)
        ShowMessage(std::string("未対応の形式です。\n") + path);
    return kFormatUnsupported;
}

std::vector<OpenOutcome> CAnalysisApp::OpenFiles(const std::vector<std::string>& paths,
                                                 MessageOwner duplicateOwner)
{
    std::vector<BatchPath> batch;
    batch.reserve(paths.size());
    for (const std::string& path : paths)
        batch.push_back({path, false});
    return OpenFiles(batch, duplicateOwner);
}

std::vector<OpenOutcome> CAnalysisApp::OpenFiles(const std::vector<BatchPath>& batch, MessageOwner duplicateOwner,
                                                 const BatchProgress& progress,
                                                 const std::vector<std::string>& emptyFolders)
{
    std::vector<OpenOutcome> outcomes;
    outcomes.reserve(batch.size());
    std::vector<std::string> unreadableFiles;
    for (const BatchPath& item : batch) {
        if (progress && !progress(outcomes.size(), batch.size(), item.path))
            break;
        const std::string& path = item.path;
        bool unreadable = false;
        const uint32_t format = Detect(path.c_str(), !item.inFolder, unreadable);
        if (format == kFormatUnsupported) {
            // Unreadable files are named together at the end of the batch;
            // an unsupported one inside a folder only counts towards the
            // message at the end.
            if (unreadable)
                unreadableFiles.push_back(path);
            outcomes.push_back(item.inFolder && !unreadable ? OpenOutcome::Skipped : OpenOutcome::Refused);
            continue;
        }
        if (entries_.AddEntry(0, path.c_str()) == kDuplicateEntry) {
            ShowMessage("ファイル：" + path + "\nはすでに開かれています", kDuplicateCaption, duplicateOwner);
            outcomes.push_back(OpenOutcome::Duplicate);
            continue;
        }
        outcomes.push_back(RunRoughAnalysis(format, path.c_str()) ? OpenOutcome::Opened
                                                                  : OpenOutcome::NotAnalysed);
    }
    shell_.RebuildTree(entries_.GetEntryListHead());
    ReportBatchEnd(outcomes, unreadableFiles, emptyFolders, duplicateOwner);
    return outcomes;
}

void CAnalysisApp::ReportBatchEnd(const std::vector<OpenOutcome>& outcomes,
                                  const std::vector<std::string>& unreadableFiles,
                                  const std::vector<std::string>& emptyFolders, MessageOwner owner)
{
    if (!unreadableFiles.empty())
        ShowMessage(CannotOpenText(unreadableFiles, kUnreadableNumber));
    const size_t skipped = static_cast<size_t>(std::count(outcomes.begin(), outcomes.end(), OpenOutcome::Skipped));
    if (skipped > 0)
        ShowMessage(SkippedFilesText(skipped), "", owner);
    for (const std::string& folder : emptyFolders)
        ShowMessage(EmptyFolderText(folder), "", owner);
}

bool CAnalysisApp::RunRoughAnalysis(uint32_t format, const char* path)
{
    const char* name = FormatName(format);
    if (!name)
        return false;
    fileEntries_ = 0;
    const int row = shell_.InsertFileRow(path);
    shell_.SetFormatText(row, name);
    FilePtr fp = OpenAnalysisFile(path);
    if (!fp) {
        ShowMessage(CannotOpenText({path}, Format(format)->roughOpenError));
        return false;
    }
    nestedDepth_ = nestedAnalyses_ = 0;
    RunAnalyzer(format, {.app = this, .fp = fp.get(), .path = path, .mode = AnalysisMode::Rough});
    return true;
}

void CAnalysisApp::RunDetailedAnalysis(const char* path)
{
    shell_.NewDocument();
    // The walk over the documents stops at the first one titled path (the
    // file has a window already) or, failing that, at the document just
    // created, the last one, while it is still titled "Default"; an earlier
    // empty window made with the new-document command keeps that title.
    const size_t count = shell_.DocumentCount();
    if (shell_.DocumentIndex(path) < count) {
        MessageBoxRequest box;
        box.text = std::string("すでに詳細解析済みのファイルです\n") + path;
        box.caption = kAppTitle;
        box.owner = MessageOwner::Application;
        shell_.MessageBox(box);
        shell_.CloseDocument(shell_.DocumentCount() - 1);
        return;
    }
    if (count == 0 || shell_.DocumentTitle(count - 1) != "Default")
        return;
    shell_.SetDocumentTitle(count - 1, path);
    const uint32_t format = DetectFormat(path);
    if (format == kFormatUnsupported)
        return;
    if (ITreeControl* tree = shell_.ActiveTree()) {
        tree->InsertItem(path, TVI_ROOT, TVI_LAST);
        limitedTree_->tree = tree;
        limitedTree_->inserted = 0;
    }
    FilePtr fp = OpenAnalysisFile(path);
    if (!fp) {
        ShowMessage(CannotOpenText({path}, Format(format)->detailedOpenError));
        return;
    }
    nestedDepth_ = nestedAnalyses_ = 0;
    RunAnalyzer(format, {.app = this, .fp = fp.get(), .path = path, .mode = AnalysisMode::Detailed});
}

void CAnalysisApp::DeleteEntry(const char* path)
{
    if (!entries_.RemoveFileEntries(path)) {
        ShowMessage(std::string("ファイルを削除できません\nエラー番号：") + "SA00000002");
        shell_.ExitProcess(0);
    }
    shell_.RebuildTree(entries_.GetEntryListHead());
    const int row = shell_.FindRow(path);
    if (row >= 0)
        shell_.DeleteRow(row);
    if (const size_t doc = shell_.DocumentIndex(path); doc < shell_.DocumentCount())
        shell_.CloseDocument(doc);
}

void RunAnalyzer(uint32_t format, const AnalysisRequest& request)
{
    if (!request.app)
        return;
    if (const FormatHandler* handler = request.app->Format(format))
        handler->analyze(request);
}
