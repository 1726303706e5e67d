#include "core/ordered_analyses.h"

#include <system_error>
#include <utility>

COrderedAnalyses::COrderedAnalyses(size_t count, uint32_t threads, Analyse analyse)
    : count_(count), analyse_(std::move(analyse))
{
    if (threads <= 1 || count <= 1)
        return;
    // The result being taken, and up to threads beyond it.
    slots_.resize(size_t{threads} + 1);
    try {
        for (uint32_t i = 1; i < threads; ++i)
            threads_.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
        // Fewer threads, or none: Take analyses what no thread started.
    }
}

COrderedAnalyses::~COrderedAnalyses()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

bool COrderedAnalyses::CanStart() const
{
    return next_ < count_ && next_ < taken_ + slots_.size();
}

void COrderedAnalyses::RunNext(std::unique_lock<std::mutex>& lock)
{
    const size_t index = next_++;
    lock.unlock();
    Slot done;
    try {
        done.result = analyse_(index);
    } catch (...) {
        done.failure = std::current_exception();
    }
    done.done = true;
    lock.lock();
    slots_[index % slots_.size()] = std::move(done);
    changed_.notify_all();
}

void COrderedAnalyses::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || CanStart(); });
        if (stop_)
            return;
        RunNext(lock);
    }
}

std::unique_ptr<AnalysisResult> COrderedAnalyses::Take(size_t index)
{
    if (threads_.empty())
        return analyse_(index);
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[index % slots_.size()];
    // While its result is not there, the caller analyses the files ahead
    // that no thread has started, as one of the analyses at once, rather
    // than wait.
    while (!slot.done) {
        if (CanStart())
            RunNext(lock);
        else
            changed_.wait(lock, [&] { return slot.done || CanStart(); });
    }
    Slot taken = std::move(slot);
    slot = Slot();
    ++taken_;
    lock.unlock();
    changed_.notify_all();
    if (taken.failure)
        std::rethrow_exception(taken.failure);
    return std::move(taken.result);
}
