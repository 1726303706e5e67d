#include "headless/headless_session.h"

#include "core/analysis_tree.h"
#include "core/analyze.h"
#include "core/ordered_analyses.h"

CHeadlessSession::CHeadlessSession(const AnalysisOptions& options) : options_(options) {}

CHeadlessSession::~CHeadlessSession() = default;

void CHeadlessSession::Give(const Diagnostic& diagnostic)
{
    diagnostics_.push_back(diagnostic);
    if (observer_)
        observer_(diagnostic);
    if (diagnostic.endsProcess && !exitCode_)
        exitCode_ = 0;
}

void CHeadlessSession::Give(std::vector<Diagnostic>& diagnostics)
{
    for (const Diagnostic& d : diagnostics)
        Give(d);
}

std::vector<OpenOutcome> CHeadlessSession::OpenFiles(const std::vector<std::string>& paths)
{
    std::vector<BatchPath> batch;
    batch.reserve(paths.size());
    for (const std::string& path : paths)
        batch.push_back({path, false});
    return OpenFiles(batch);
}

std::vector<OpenOutcome> CHeadlessSession::OpenFiles(const std::vector<BatchPath>& batch,
                                                     const BatchProgress& progress,
                                                     const std::vector<std::string>& emptyFolders)
{
    if (exitCode_)
        return {};
    CFileBatch files(entries_, batch, options_, emptyFolders);
    {
        COrderedAnalyses analyses(
            files.Size(), batchThreads_, [&files](size_t i) { return files.Analyse(i); },
            COrderedAnalyses::kRoughAhead);
        for (size_t i = 0; i < files.Size(); ++i) {
            if (progress && !progress(i, files.Size(), files.Item(i).path))
                break;
            const std::unique_ptr<AnalysisResult> result = analyses.Take(i);
            BatchStep step = files.Apply(*result);
            if (step.newRow)
                AddRow(files.Item(i).path, step, *result);
            Give(step.diagnostics);
        }
    }
    BuildTree();
    if (!exitCode_) {
        std::vector<Diagnostic> end = files.Finish();
        Give(end);
    }
    return files.Outcomes();
}

void CHeadlessSession::AddRow(const std::string& path, const BatchStep& step, const AnalysisResult& result)
{
    rows_.InsertTop(path.c_str());
    rows_.SetFormat(0, step.formatText.c_str());
    for (const std::string& piece : result.summary)
        rows_.AppendResult(0, piece.c_str());
    if (!result.anomalies.empty())
        rowAnomalies_[path] = result.anomalies;
}

void CHeadlessSession::BuildTree()
{
    ++treeBuilds_;
    Diagnostic fatal;
    const bool built = keepTree_ ? RebuildAnalysisTree(tree_, entries_.GetEntryListHead(), fatal)
                                 : CheckAnalysisTree(entries_.GetEntryListHead(), fatal);
    if (!built)
        Give(fatal);
}

const std::vector<Anomaly>* CHeadlessSession::RowAnomalies(const std::string& path) const
{
    const auto found = rowAnomalies_.find(path);
    return found == rowAnomalies_.end() ? nullptr : &found->second;
}

const AnalysisResult& CHeadlessSession::TakeDetailed(const std::string& path, std::unique_ptr<AnalysisResult> result)
{
    Give(result->diagnostics);
    std::unique_ptr<AnalysisResult>& kept = detailed_[path];
    kept = std::move(result);
    return *kept;
}

const AnalysisResult& CHeadlessSession::AnalyseDetailed(const std::string& path)
{
    return TakeDetailed(path, Analyze(path.c_str(), AnalysisMode::Detailed, options_));
}

const AnalysisResult* CHeadlessSession::Detailed(const std::string& path) const
{
    const auto found = detailed_.find(path);
    return found == detailed_.end() ? nullptr : found->second.get();
}

void CHeadlessSession::DeleteFile(const std::string& path)
{
    if (exitCode_)
        return;
    Diagnostic fatal;
    if (!RemoveOpenFile(entries_, path.c_str(), fatal)) {
        Give(fatal);
        return;
    }
    BuildTree();
    if (const int row = rows_.Find(path.c_str()); row >= 0) {
        rows_.Erase(row);
        rowAnomalies_.erase(path);
    }
    detailed_.erase(path);
}
