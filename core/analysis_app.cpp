#include "core/analysis_app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "core/ordered_analyses.h"
#include "core/read_stream.h"
#include "core/result_text.h"

namespace {

constexpr const char* kDuplicateCaption = "ファイルオープンエラー";
constexpr const char* kUnreadableNumber = "SA00000001";
// The last line of a detailed analysis that was asked to stop.
constexpr const char* kCancelledLine = "解析はキャンセルされました";

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

// A message the analysis raises, given when its result is applied: the
// platform's caption, no owner.
void Record(AnalysisResult& result, const std::string& text, const char* errorNumber = "")
{
    ResultMessage& message = result.messages.emplace_back();
    message.request.text = text;
    message.errorNumber = errorNumber;
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
    // replaced in between. On a regular file O_NONBLOCK changes nothing, so
    // it stays set.
    struct stat st {};
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    return FilePtr(OpenFileReadStream(fd, st.st_size));
}

namespace {

// The stream the detection read, back at the file's start, for the analysis
// that follows it; the file is opened anew when there is none.
bool ReopenForAnalysis(const char* path, FilePtr& fp)
{
    if (fp && std::fseek(fp.get(), 0, SEEK_SET) != 0)
        fp.reset();
    if (!fp)
        fp = OpenAnalysisFile(path);
    return fp != nullptr;
}

}  // namespace

CAnalysisApp::CAnalysisApp(IShell& shell, FormatTable formats) : shell_(shell), formats_(formats) {}

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

void CAnalysisApp::ShowMessages(const AnalysisResult& result)
{
    for (const ResultMessage& message : result.messages)
        shell_.MessageBox(message.request);
}

uint32_t CAnalysisApp::DetectFormat(const char* path, bool reportUnsupported)
{
    AnalysisResult result;
    const uint32_t format = Detect(path, reportUnsupported, result);
    if (result.unreadable)
        Record(result, CannotOpenText({path}, kUnreadableNumber), kUnreadableNumber);
    ShowMessages(result);
    return format;
}

uint32_t CAnalysisApp::Detect(const char* path, bool reportUnsupported, AnalysisResult& result, FilePtr* keep) const
{
    FilePtr fp = OpenAnalysisFile(path);
    result.unreadable = !fp;
    result.format = kFormatUnsupported;
    if (!fp)
        return kFormatUnsupported;
    uint8_t head[kDetectionBytes];
    const size_t n = std::fread(head, 1, sizeof head, fp.get());
    for (const FormatHandler& handler : formats_) {
        if (handler.detect && handler.detect(head, n)) {
            if (keep)
                *keep = std::move(fp);
            return result.format = handler.code;
        }
    }
    if (reportUnsupported)
        Record(result, std::string("未対応の形式です。\n") + path);
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
    const std::vector<bool> open = batchThreads_ > 1 ? OpenBeforeAnalysis(batch) : std::vector<bool>();
    // One file after another, the check for a file already open sees the
    // entries of the files before it; analysed ahead, it sees those that
    // were open before the batch and the batch's own earlier paths, the
    // same files but for one whose path equals a line of another's.
    COrderedAnalyses analyses(
        batch.size(), batchThreads_,
        [&](size_t i) { return AnalyseBatchFile(batch[i], open.empty() ? !AlreadyOpen(batch[i].path) : !open[i]); },
        COrderedAnalyses::kRoughAhead);
    for (const BatchPath& item : batch) {
        if (progress && !progress(outcomes.size(), batch.size(), item.path))
            break;
        const std::unique_ptr<AnalysisResult> result = analyses.Take(outcomes.size());
        outcomes.push_back(ApplyBatchFile(item, *result, duplicateOwner, unreadableFiles));
    }
    FinishBatch(outcomes, unreadableFiles, emptyFolders, duplicateOwner);
    return outcomes;
}

std::vector<bool> CAnalysisApp::OpenBeforeAnalysis(const std::vector<BatchPath>& batch) const
{
    std::vector<bool> open(batch.size());
    std::unordered_set<std::string_view> earlier;
    for (size_t i = 0; i < batch.size(); ++i)
        open[i] = AlreadyOpen(batch[i].path) || !earlier.insert(batch[i].path).second;
    return open;
}

std::unique_ptr<AnalysisResult> CAnalysisApp::AnalyseBatchFile(const BatchPath& item, bool analyse) const
{
    auto result = std::make_unique<AnalysisResult>();
    FilePtr fp;
    const uint32_t format = Detect(item.path.c_str(), !item.inFolder, *result, &fp);
    if (format != kFormatUnsupported && analyse && FormatName(format))
        RoughAnalysis(format, item.path.c_str(), *result, std::move(fp));
    return result;
}

bool CAnalysisApp::AlreadyOpen(const std::string& path) const
{
    return entries_.HasText(path.c_str());
}

OpenOutcome CAnalysisApp::ApplyBatchFile(const BatchPath& item, AnalysisResult& result, MessageOwner duplicateOwner,
                                         std::vector<std::string>& unreadableFiles)
{
    const std::string& path = item.path;
    if (result.format == kFormatUnsupported) {
        // Unreadable files are named together at the end of the batch; an
        // unsupported one inside a folder only counts towards the message
        // at the end.
        ShowMessages(result);
        if (result.unreadable)
            unreadableFiles.push_back(path);
        return item.inFolder && !result.unreadable ? OpenOutcome::Skipped : OpenOutcome::Refused;
    }
    if (entries_.AddEntry(0, path.c_str()) == kDuplicateEntry) {
        ShowMessage("ファイル：" + path + "\nはすでに開かれています", kDuplicateCaption, duplicateOwner);
        return OpenOutcome::Duplicate;
    }
    if (!FormatName(result.format))
        return OpenOutcome::NotAnalysed;
    if (!result.attempted)
        RoughAnalysis(result.format, path.c_str(), result);
    ApplyRough(path.c_str(), result.format, result);
    return result.analysed ? OpenOutcome::Opened : OpenOutcome::NotAnalysed;
}

void CAnalysisApp::FinishBatch(const std::vector<OpenOutcome>& outcomes, const std::vector<std::string>& unreadableFiles,
                               const std::vector<std::string>& emptyFolders, MessageOwner owner)
{
    shell_.RebuildTree(entries_.GetEntryListHead());
    ReportBatchEnd(outcomes, unreadableFiles, emptyFolders, owner);
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
    if (!FormatName(format))
        return false;
    AnalysisResult result;
    RoughAnalysis(format, path, result);
    ApplyRough(path, format, result);
    return result.analysed;
}

void CAnalysisApp::RoughAnalysis(uint32_t format, const char* path, AnalysisResult& result, FilePtr fp) const
{
    result.format = format;
    result.attempted = true;
    if (!ReopenForAnalysis(path, fp)) {
        const char* number = Format(format)->roughOpenError;
        Record(result, CannotOpenText({path}, number), number);
        return;
    }
    result.analysed = true;
    CAnalysisRun run(formats_, AnalysisMode::Rough, result);
    run.onNested = onNested;
    RunAnalyzer(format, {.run = &run, .fp = fp.get(), .path = path, .mode = AnalysisMode::Rough});
    if (result.summary.empty())
        result.summaryAbsence = result.roughLines.empty() ? "解析できる構造が見つかりません"
                                                          : "ﾍｯﾀﾞｰに画像ｻｲｽﾞが見つかりません";
}

void CAnalysisApp::ApplyRough(const char* path, uint32_t format, const AnalysisResult& result)
{
    const int row = shell_.InsertFileRow(path);
    shell_.SetFormatText(row, FormatName(format));
    ShowMessages(result);
    for (const RoughLine& line : result.roughLines)
        entries_.AddEntry(line.level, result.RoughText(line), line.hash);
    if (!result.formatText.empty())
        shell_.SetFormatText(row, result.formatText.c_str());
    for (const std::string& piece : result.summary)
        shell_.AppendResultText(row, piece.c_str());
    if (!result.summaryAbsence.empty())
        shell_.SetSummaryAbsence(row, result.summaryAbsence);
    if (!result.anomalies.empty())
        shell_.SetRowAnomalies(row, result.anomalies);
}

bool CAnalysisApp::BeginDetailedAnalysis(const char* path, size_t& document)
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
        return false;
    }
    if (count == 0 || shell_.DocumentTitle(count - 1) != "Default")
        return false;
    shell_.SetDocumentTitle(count - 1, path);
    document = count - 1;
    return true;
}

std::unique_ptr<AnalysisResult> CAnalysisApp::AnalyseDetailed(const char* path) const
{
    auto result = std::make_unique<AnalysisResult>();
    AnalyseDetailed(path, *result);
    return result;
}

void CAnalysisApp::AnalyseDetailed(const char* path, AnalysisResult& result) const
{
    FilePtr fp;
    const uint32_t format = Detect(path, true, result, &fp);
    if (result.unreadable)
        Record(result, CannotOpenText({path}, kUnreadableNumber), kUnreadableNumber);
    if (format == kFormatUnsupported)
        return;
    result.lines.Append(path, kTopLevel);
    result.lines.SetLimit(CAnalysisRun::kMaxTreeItems);
    result.attempted = true;
    if (!ReopenForAnalysis(path, fp)) {
        const char* number = Format(format)->detailedOpenError;
        Record(result, CannotOpenText({path}, number), number);
        return;
    }
    result.analysed = true;
    CAnalysisRun run(formats_, AnalysisMode::Detailed, result);
    run.onNested = onNested;
    RunAnalyzer(format, {.run = &run, .fp = fp.get(), .path = path, .mode = AnalysisMode::Detailed});
    if (result.CancelRequested())
        result.lines.AppendAfterStop(kCancelledLine);
}

void CAnalysisApp::FinishDetailedAnalysis(size_t document, AnalysisResult& result)
{
    ShowMessages(result);
    shell_.ShowDetailedResult(document, result);
}

void CAnalysisApp::RunDetailedAnalysis(const char* path)
{
    size_t document = 0;
    if (!BeginDetailedAnalysis(path, document))
        return;
    const std::unique_ptr<AnalysisResult> result = AnalyseDetailed(path);
    FinishDetailedAnalysis(document, *result);
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
