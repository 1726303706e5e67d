#include "app/batch_analysis.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "app/analysis_worker.h"
#include "core/ordered_analyses.h"

// Shared by the worker's job and the GUI thread: the job may outlive the
// batch's owner by the file it is at.
struct CBatchAnalysis::Queue {
    std::mutex mutex;
    std::condition_variable taken;
    std::deque<std::unique_ptr<AnalysisResult>> results;
    bool stop = false;
    bool guiWaiting = false;
};

CBatchAnalysis::CBatchAnalysis(CAnalysisWorker& worker, const CAnalysisApp& analysis,
                               const std::vector<BatchPath>& batch, std::vector<bool> analyse)
    : queue_(std::make_shared<Queue>())
{
    worker.Post([queue = queue_, &analysis, batch, analyse = std::move(analyse)] {
        // The worker takes the results in order while threads beside it
        // work ahead on the files after them.
        const uint32_t threads = std::max(1u, std::thread::hardware_concurrency());
        COrderedAnalyses analyses(batch.size(), threads,
                                  [&](size_t i) { return analysis.AnalyseBatchFile(batch[i], analyse[i]); });
        for (size_t i = 0; i < batch.size(); ++i) {
            {
                std::unique_lock lock(queue->mutex);
                queue->taken.wait(lock, [&] { return queue->stop || queue->results.size() < kAhead; });
                if (queue->stop)
                    return;
            }
            std::unique_ptr<AnalysisResult> result = analyses.Take(i);
            std::lock_guard lock(queue->mutex);
            queue->results.push_back(std::move(result));
            if (std::exchange(queue->guiWaiting, false))
                CAnalysisWorker::WakeGuiThread();
        }
    });
}

CBatchAnalysis::~CBatchAnalysis()
{
    {
        std::lock_guard lock(queue_->mutex);
        queue_->stop = true;
    }
    queue_->taken.notify_one();
}

std::unique_ptr<AnalysisResult> CBatchAnalysis::Next()
{
    Queue& queue = *queue_;
    CAnalysisWorker::WaitServingEvents([&queue] {
        std::lock_guard lock(queue.mutex);
        queue.guiWaiting = queue.results.empty();
        return !queue.guiWaiting;
    });
    std::unique_ptr<AnalysisResult> result;
    {
        std::lock_guard lock(queue.mutex);
        result = std::move(queue.results.front());
        queue.results.pop_front();
    }
    queue.taken.notify_one();
    return result;
}
