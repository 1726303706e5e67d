#pragma once
// One batch of files to open (File > Open, a drop, the paths given to the
// command-line tool): which files get their rough analysis, the analyses
// themselves, and the registration of each file in the shell's entry list
// in the batch's order, with the diagnostics to show as it goes and at the
// end. The shells run the loop (analysing ahead on threads of their own, or
// one file after another) and show each step; what a step does is decided
// here alone.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/analysis_entry_list.h"
#include "core/analysis_options.h"
#include "core/analysis_result.h"
#include "core/batch_paths.h"

enum class OpenOutcome {
    Opened,        // registered and analysed
    Refused,       // unreadable or unsupported
    Skipped,       // unsupported, inside a folder: counted, not reported
    Duplicate,     // already open
    NotAnalysed,   // registered, but the rough analysis could not open it
};

// One file of the batch, registered: what the shell shows for it now.
struct BatchStep {
    OpenOutcome outcome = OpenOutcome::Refused;
    // Opened and NotAnalysed files get a row: the newest, on top. Its format
    // column, and the rest of it (summary, why there is none, anomalies)
    // from the result.
    bool newRow = false;
    std::string formatText;
    // To show after the row, in order.
    std::vector<Diagnostic> diagnostics;
};

// What the analyses of a batch read: the files, which of them get their
// rough analysis, and the options. It is shared, so that an analysis may go
// on after the batch is gone (a shell that stopped waiting for it).
struct BatchPlan {
    std::vector<BatchPath> items;
    std::vector<bool> analyse;
    AnalysisOptions options;

    // Detection and, when the plan says so, the rough analysis of file
    // index. It reads nothing but the plan, so it may run on any thread,
    // for several files at once.
    std::unique_ptr<AnalysisResult> Analyse(size_t index) const;
};

class CFileBatch {
public:
    // The batch against the files open now (entries): a file gets its rough
    // analysis when it is not open yet and not named earlier in the batch.
    // emptyFolders are the folders of the batch that held nothing to open.
    CFileBatch(CAnalysisEntryList& entries, std::vector<BatchPath> items, const AnalysisOptions& options,
               std::vector<std::string> emptyFolders = {});

    size_t Size() const { return plan_->items.size(); }
    const BatchPath& Item(size_t index) const { return plan_->items[index]; }
    const std::vector<BatchPath>& Items() const { return plan_->items; }
    std::shared_ptr<const BatchPlan> Plan() const { return plan_; }
    std::unique_ptr<AnalysisResult> Analyse(size_t index) const { return plan_->Analyse(index); }

    // The next file, with its result, registered on the thread that owns
    // the entry list: its entry and the lines of its rough analysis.
    BatchStep Apply(AnalysisResult& result);
    // Files applied so far; Apply takes them in order.
    size_t Applied() const { return outcomes_.size(); }
    const std::vector<OpenOutcome>& Outcomes() const { return outcomes_; }

    // The batch's closing diagnostics, once the last file is applied or the
    // shell has ended the batch early: the files that could not be read,
    // named together; the count of unsupported files skipped in folders;
    // each folder that held nothing.
    std::vector<Diagnostic> Finish() const;

private:
    CAnalysisEntryList& entries_;
    std::shared_ptr<BatchPlan> plan_;
    std::vector<std::string> emptyFolders_;
    std::vector<OpenOutcome> outcomes_;
    std::vector<std::string> unreadable_;
};

// Removes an open file's entries. When they cannot be removed the entry list
// is not sound any more: the diagnostic returned (SA00000002) ends the
// program.
bool RemoveOpenFile(CAnalysisEntryList& entries, const char* path, Diagnostic& fatal);
