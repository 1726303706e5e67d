#include "core/ordered_analyses.h"

#include <algorithm>
#include <system_error>
#include <utility>

COrderedAnalyses::COrderedAnalyses(size_t count, uint32_t threads, Analyse analyse, size_t ahead)
    : count_(count), analyse_(std::move(analyse))
{
    if (threads <= 1 || count <= 1)
        return;
    // The result being taken, and those that may wait beyond it.
    slots_.resize(std::max<size_t>(threads, ahead) + 1);
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
        Changed();
    }
    for (std::thread& t : threads_)
        t.join();
}

namespace {

// How long a wait looks for a change before it sleeps: results of small
// files come every few tens of microseconds, sooner than a thread is put to
// sleep and woken again on a shared machine.
constexpr int kLooks = 4;
constexpr int kSpinsPerLook = 4096;

void Pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

template <class Ready>
void COrderedAnalyses::WaitFor(std::unique_lock<std::mutex>& lock, Ready ready)
{
    for (int look = 0; look < kLooks && !ready(); ++look) {
        const uint64_t seen = changes_.load(std::memory_order_acquire);
        lock.unlock();
        for (int i = 0; i < kSpinsPerLook && changes_.load(std::memory_order_acquire) == seen; ++i)
            Pause();
        lock.lock();
    }
    changed_.wait(lock, ready);
}

void COrderedAnalyses::Changed()
{
    changes_.fetch_add(1, std::memory_order_release);
    changed_.notify_all();
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
    Changed();
}

void COrderedAnalyses::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        WaitFor(lock, [this] { return stop_ || CanStart(); });
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
            WaitFor(lock, [&] { return slot.done || CanStart(); });
    }
    Slot taken = std::move(slot);
    slot = Slot();
    ++taken_;
    Changed();
    lock.unlock();
    if (taken.failure)
        std::rethrow_exception(taken.failure);
    return std::move(taken.result);
}
