#include "app/batch_analysis.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iterator>
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
    // How many waiting results wake the GUI thread; 0 while it does not
    // sleep on them.
    size_t wakeAt = 0;
};

CBatchAnalysis::CBatchAnalysis(CAnalysisWorker& worker, const CFileBatch& batch)
    : queue_(std::make_shared<Queue>()), left_(batch.Size())
{
    worker.Post([queue = queue_, plan = batch.Plan()] {
        // The worker takes the results in order while threads beside it
        // work ahead on the files after them.
        const uint32_t threads = std::max(1u, std::thread::hardware_concurrency());
        COrderedAnalyses analyses(
            plan->items.size(), threads, [&](size_t i) { return plan->Analyse(i); }, COrderedAnalyses::kRoughAhead);
        for (size_t i = 0; i < plan->items.size(); ++i) {
            {
                std::unique_lock lock(queue->mutex);
                queue->taken.wait(lock, [&] { return queue->stop || queue->results.size() < kAhead; });
                if (queue->stop)
                    return;
            }
            std::unique_ptr<AnalysisResult> result = analyses.Take(i);
            std::lock_guard lock(queue->mutex);
            queue->results.push_back(std::move(result));
            if (queue->wakeAt > 0 && queue->results.size() >= queue->wakeAt) {
                queue->wakeAt = 0;
                CAnalysisWorker::WakeGuiThread();
            }
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
    if (taken_.empty())
        TakeGroup();
    std::unique_ptr<AnalysisResult> result = std::move(taken_.front());
    taken_.pop_front();
    --left_;
    return result;
}

void CBatchAnalysis::TakeGroup()
{
    Queue& queue = *queue_;
    const size_t group = std::clamp<size_t>(left_, 1, kGroup);
    const auto late = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGroupWaitMs);
    // Its expiry is an event, after which the first result will do.
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(kGroupWaitMs);
    CAnalysisWorker::WaitServingEvents([&] {
        std::lock_guard lock(queue.mutex);
        const size_t wanted = std::chrono::steady_clock::now() >= late ? 1 : group;
        queue.wakeAt = queue.results.size() >= wanted ? 0 : wanted;
        return queue.wakeAt == 0;
    });
    {
        std::lock_guard lock(queue.mutex);
        std::move(queue.results.begin(), queue.results.end(), std::back_inserter(taken_));
        queue.results.clear();
    }
    queue.taken.notify_one();
}
