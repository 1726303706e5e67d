#pragma once
// The files of one opening batch analysed on the worker thread, and on
// threads beside it, ahead of the GUI thread, which takes their results one
// by one in the batch's order and applies them (entries, rows, messages).
// At most kAhead results wait to be taken, so that a batch of any length
// holds little memory. The analyses read nothing but the batch and the
// format table.
#include <cstddef>
#include <memory>
#include <vector>

#include "core/analysis_app.h"

class CAnalysisWorker;

class CBatchAnalysis {
public:
    static constexpr size_t kAhead = 64;

    // analyse[i] says whether file i gets its rough analysis (it is not open
    // yet, nor earlier in the batch).
    CBatchAnalysis(CAnalysisWorker& worker, const CAnalysisApp& analysis, const std::vector<BatchPath>& batch,
                   std::vector<bool> analyse);
    // The worker stops after the file it is at; results not taken are
    // dropped.
    ~CBatchAnalysis();
    CBatchAnalysis(const CBatchAnalysis&) = delete;
    CBatchAnalysis& operator=(const CBatchAnalysis&) = delete;

    // The result of the next file of the batch, waited for with the GUI
    // thread's events served. Only as many times as the batch has files.
    std::unique_ptr<AnalysisResult> Next();

private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
};
