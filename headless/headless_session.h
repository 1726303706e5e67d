#pragma once
// The open files of a shell without windows (the command-line tool, tests):
// the entry list, the rough list's rows as text, the analysis tree, the
// detailed results by path, and the diagnostics in the order they were
// given. A diagnostic that ends the process ends the session: nothing more
// is opened, analysed or deleted, and ExitCode says with which status the
// process ends.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/analysis_entry_list.h"
#include "core/analysis_options.h"
#include "core/analysis_result.h"
#include "core/file_batch.h"
#include "core/line_tree.h"
#include "headless/headless_row_list.h"

class CHeadlessSession {
public:
    explicit CHeadlessSession(const AnalysisOptions& options);
    ~CHeadlessSession();
    CHeadlessSession(const CHeadlessSession&) = delete;
    CHeadlessSession& operator=(const CHeadlessSession&) = delete;

    const AnalysisOptions& Options() const { return options_; }
    // How many files of a batch are analysed at once (1, the default: one
    // after the other). The rows, the entries and the diagnostics are the
    // same either way.
    void SetBatchThreads(uint32_t threads) { batchThreads_ = threads; }

    // Called before each file of a batch with its index (from 0), the size
    // of the batch and its path; returning false ends the batch there, as if
    // it had held only the files before.
    using BatchProgress = std::function<bool(size_t index, size_t count, const std::string& path)>;
    // Opens one batch: each file detected, registered and roughly analysed,
    // a row for each file registered (the newest on top), then the analysis
    // tree made once, then the batch's closing diagnostics. One outcome per
    // file handled: fewer than the batch holds when progress ended it or a
    // diagnostic ended the session.
    std::vector<OpenOutcome> OpenFiles(const std::vector<BatchPath>& batch, const BatchProgress& progress = {},
                                       const std::vector<std::string>& emptyFolders = {});
    std::vector<OpenOutcome> OpenFiles(const std::vector<std::string>& paths);

    // Takes a finished detailed analysis of path: its diagnostics are given,
    // and the result is kept as the file's detailed result (replacing an
    // earlier one).
    const AnalysisResult& TakeDetailed(const std::string& path, std::unique_ptr<AnalysisResult> result);
    // The detailed analysis of path, run here and taken.
    const AnalysisResult& AnalyseDetailed(const std::string& path);
    // The detailed result of path; null when there is none.
    const AnalysisResult* Detailed(const std::string& path) const;

    // Closes an open file: its entries, its row and its detailed result go,
    // and the analysis tree is made again.
    void DeleteFile(const std::string& path);

    const CAnalysisEntryList& Entries() const { return entries_; }
    // The rows, from the top.
    const std::deque<HeadlessRow>& Rows() const { return rows_.Rows(); }
    // A copy of one row; false when there is no row at that index.
    bool Row(int row, HeadlessRow& out) const { return rows_.Get(row, out); }
    int FindRow(const std::string& path) const { return rows_.Find(path.c_str()); }
    // The anomalies of the rough analysis of the row with this path; null
    // when it had none.
    const std::vector<Anomaly>* RowAnomalies(const std::string& path) const;

    // The analysis tree as last made. Whether it is kept (the default): a
    // caller that never shows it saves its lines, a few dozen bytes each,
    // while the entries are still checked as making it checks them.
    const CLineTree& Tree() const { return tree_; }
    void SetKeepTree(bool keep) { keepTree_ = keep; }
    int TreeBuilds() const { return treeBuilds_; }

    // Every diagnostic given so far, in order; observer, when set, sees each
    // as it is given.
    const std::vector<Diagnostic>& Diagnostics() const { return diagnostics_; }
    void SetDiagnosticObserver(std::function<void(const Diagnostic&)> observer) { observer_ = std::move(observer); }
    // Set once a diagnostic has ended the session.
    std::optional<int> ExitCode() const { return exitCode_; }

private:
    void Give(const Diagnostic& diagnostic);
    void Give(std::vector<Diagnostic>& diagnostics);
    void AddRow(const std::string& path, const BatchStep& step, const AnalysisResult& result);
    void BuildTree();

    AnalysisOptions options_;
    uint32_t batchThreads_ = 1;
    CAnalysisEntryList entries_;
    CHeadlessRowList rows_;
    // Only rows with anomalies have an entry: most files have none, and a
    // list may hold a hundred thousand rows.
    std::unordered_map<std::string, std::vector<Anomaly>> rowAnomalies_;
    CLineTree tree_;
    bool keepTree_ = true;
    int treeBuilds_ = 0;
    std::unordered_map<std::string, std::unique_ptr<AnalysisResult>> detailed_;
    std::vector<Diagnostic> diagnostics_;
    std::function<void(const Diagnostic&)> observer_;
    std::optional<int> exitCode_;
};
