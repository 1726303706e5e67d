#pragma once
// The files of one opening batch analysed on the worker thread, and on
// threads beside it, ahead of the GUI thread, which takes their results one
// by one in the batch's order and applies them (entries, rows, messages).
// At most kAhead results wait in the queue, and as many more on the GUI
// thread's side, so that a batch of any length holds little memory.
//
// Results of small files come every few microseconds, faster than the GUI
// thread is woken for each: a wake-up costs it, and the analysing thread it
// displaces, tens of microseconds on a virtual machine. It sleeps until
// kGroup results wait, or until the first result once kGroupWaitMs have
// passed, and then takes all that wait at once. The analyses read nothing
// but the batch and the format table.
#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "core/file_batch.h"

class CAnalysisWorker;

class CBatchAnalysis {
public:
    static constexpr size_t kAhead = 256;
    static constexpr size_t kGroup = 64;
    static constexpr int kGroupWaitMs = 10;

    // The batch's analyses (CFileBatch::Analyse) run on the worker while the
    // batch lives.
    CBatchAnalysis(CAnalysisWorker& worker, const CFileBatch& batch);
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
    // Waits for the next group of results and moves them to taken_.
    void TakeGroup();

    std::shared_ptr<Queue> queue_;
    std::deque<std::unique_ptr<AnalysisResult>> taken_;
    size_t left_;   // results Next has yet to hand out
};
