#include "core/file_batch.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "core/analyze.h"

namespace {

constexpr const char* kDuplicateCaption = "ファイルオープンエラー";

std::string SkippedFilesText(size_t count)
{
    return "フォルダ内の未対応の形式のファイルを" + std::to_string(count) + "個読み飛ばしました";
}

std::string EmptyFolderText(const std::string& folder)
{
    return "フォルダ：" + folder + "\nには開くファイルがありません";
}

}  // namespace

CFileBatch::CFileBatch(CAnalysisEntryList& entries, std::vector<BatchPath> items, const AnalysisOptions& options,
                       std::vector<std::string> emptyFolders)
    : entries_(entries), plan_(std::make_shared<BatchPlan>()), emptyFolders_(std::move(emptyFolders))
{
    plan_->items = std::move(items);
    plan_->options = options;
    // A path open already, or named earlier in the batch, is registered at
    // its turn only if it is no longer open then (its earlier mention could
    // not be read): it is detected, and analysed when it is applied.
    plan_->analyse.reserve(plan_->items.size());
    std::unordered_set<std::string_view> earlier;
    for (const BatchPath& item : plan_->items)
        plan_->analyse.push_back(earlier.insert(item.path).second && !entries_.HasText(item.path.c_str()));
    outcomes_.reserve(plan_->items.size());
}

std::unique_ptr<AnalysisResult> BatchPlan::Analyse(size_t index) const
{
    auto result = std::make_unique<AnalysisResult>();
    const BatchPath& item = items[index];
    AnalysisOptions fileOptions = options;
    fileOptions.reportUnsupported = !item.inFolder;
    FilePtr fp;
    const uint32_t format = DetectFormat(item.path.c_str(), fileOptions, *result, &fp);
    if (format != kFormatUnsupported && analyse[index] && FormatName(fileOptions.formats, format))
        AnalyzeDetected(format, item.path.c_str(), AnalysisMode::Rough, fileOptions, *result, std::move(fp));
    return result;
}

BatchStep CFileBatch::Apply(AnalysisResult& result)
{
    const BatchPath& item = plan_->items[outcomes_.size()];
    const std::string& path = item.path;
    BatchStep step;
    if (result.format == kFormatUnsupported) {
        // Unreadable files are named together at the end of the batch; an
        // unsupported one inside a folder only counts towards the message
        // at the end.
        step.diagnostics = std::move(result.diagnostics);
        if (result.unreadable)
            unreadable_.push_back(path);
        step.outcome = item.inFolder && !result.unreadable ? OpenOutcome::Skipped : OpenOutcome::Refused;
    } else if (entries_.AddEntry(0, path.c_str()) == kDuplicateEntry) {
        step.diagnostics.emplace_back(DiagnosticKind::AlreadyOpen, DiagnosticSeverity::Notice,
                                      "ファイル：" + path + "\nはすでに開かれています", kDuplicateCaption);
        step.outcome = OpenOutcome::Duplicate;
    } else if (const char* name = FormatName(plan_->options.formats, result.format); !name) {
        step.outcome = OpenOutcome::NotAnalysed;
    } else {
        if (!result.attempted)
            AnalyzeDetected(result.format, path.c_str(), AnalysisMode::Rough, plan_->options, result);
        for (const RoughLine& line : result.roughLines)
            entries_.AddEntry(line.level, result.RoughText(line), line.hash);
        step.newRow = true;
        step.formatText = result.formatText.empty() ? name : result.formatText;
        step.diagnostics = std::move(result.diagnostics);
        step.outcome = result.analysed ? OpenOutcome::Opened : OpenOutcome::NotAnalysed;
    }
    outcomes_.push_back(step.outcome);
    return step;
}

std::vector<Diagnostic> CFileBatch::Finish() const
{
    std::vector<Diagnostic> end;
    if (!unreadable_.empty())
        end.push_back(UnreadableDiagnostic(unreadable_));
    const size_t skipped = static_cast<size_t>(std::count(outcomes_.begin(), outcomes_.end(), OpenOutcome::Skipped));
    if (skipped > 0)
        end.emplace_back(DiagnosticKind::SkippedInFolder, DiagnosticSeverity::Notice, SkippedFilesText(skipped));
    for (const std::string& folder : emptyFolders_)
        end.emplace_back(DiagnosticKind::EmptyFolder, DiagnosticSeverity::Notice, EmptyFolderText(folder));
    return end;
}

bool RemoveOpenFile(CAnalysisEntryList& entries, const char* path, Diagnostic& fatal)
{
    if (entries.RemoveFileEntries(path))
        return true;
    fatal = {DiagnosticKind::DeleteFailed, DiagnosticSeverity::Error,
             std::string("ファイルを削除できません\nエラー番号：") + "SA00000002", "", "SA00000002", true};
    return false;
}
