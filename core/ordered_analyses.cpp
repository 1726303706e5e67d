#include "core/ordered_analyses.h"

#include <system_error>
#include <utility>

COrderedAnalyses::COrderedAnalyses(size_t count, uint32_t threads, Analyse analyse)
    : count_(count), analyse_(std::move(analyse))
{
    if (threads <= 1 || count <= 1)
        return;
    // The results from the one being taken on.
    slots_.resize(threads);
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

void COrderedAnalyses::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || (next_ < count_ && next_ < taken_ + slots_.size()); });
        if (stop_)
            return;
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
}

std::unique_ptr<AnalysisResult> COrderedAnalyses::Take(size_t index)
{
    if (threads_.empty())
        return analyse_(index);
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[index % slots_.size()];
    // An analysis no thread has started yet the caller runs itself rather
    // than wait: it is one of the analyses at once.
    changed_.wait(lock, [&] { return slot.done || next_ <= index; });
    if (!slot.done) {
        next_ = index + 1;
        lock.unlock();
        std::unique_ptr<AnalysisResult> result = analyse_(index);
        lock.lock();
        ++taken_;
        changed_.notify_all();
        return result;
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
