#pragma once
// Analyses of many files run side by side and are handed over in their
// order: the caller takes result 0, then 1, and so on, while threads work
// ahead on the ones after it; up to `threads` analyses run at once, the
// caller's own included (it analyses files ahead while the one it takes is
// not ready), and a bounded number of results wait beyond the one being
// taken, so a batch of any size holds few of them.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/analysis_result.h"

class COrderedAnalyses {
public:
    using Analyse = std::function<std::unique_ptr<AnalysisResult>(size_t index)>;

    // Rough results are small, so rough batches let the threads run this
    // far ahead of the taker: with as few as `threads` they keep waiting for
    // a taker that applies results, or that shares the processors with a
    // GUI thread, and spin meanwhile.
    static constexpr size_t kRoughAhead = 16;

    // analyse(i) runs once for each i from 0 to count - 1, on threads of
    // this object or in Take, and must touch nothing the caller touches
    // meanwhile. With threads 1 or fewer, Take runs every analysis itself.
    // At most max(threads, ahead) results wait beyond the one being taken;
    // detailed results may hold pictures, so they keep the default.
    COrderedAnalyses(size_t count, uint32_t threads, Analyse analyse, size_t ahead = 0);
    // Stops the threads after the analyses they are in.
    ~COrderedAnalyses();
    COrderedAnalyses(const COrderedAnalyses&) = delete;
    COrderedAnalyses& operator=(const COrderedAnalyses&) = delete;

    // The result of analysis index, the next in order; waits for it. An
    // exception the analysis threw is thrown here.
    std::unique_ptr<AnalysisResult> Take(size_t index);

private:
    struct Slot {
        std::unique_ptr<AnalysisResult> result;
        std::exception_ptr failure;
        bool done = false;
    };
    void Run();
    // Whether an analysis may start: one is left, and its result has a slot.
    bool CanStart() const;
    // Runs the next analysis, the lock released meanwhile, and files its
    // result.
    void RunNext(std::unique_lock<std::mutex>& lock);
    // Waits, the lock held on return, until ready() holds.
    template <class Ready>
    void WaitFor(std::unique_lock<std::mutex>& lock, Ready ready);
    // Tells the waiting threads that something changed, the lock held.
    void Changed();

    const size_t count_;
    const Analyse analyse_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Slots of the analyses from taken_ on, by index modulo their number:
    // the one being taken and threads more.
    std::vector<Slot> slots_;
    size_t taken_ = 0;   // results handed over so far
    size_t next_ = 0;    // the next analysis a thread starts
    bool stop_ = false;
    // How many times something changed, for waits that look before they
    // sleep.
    std::atomic<uint64_t> changes_{0};
    std::vector<std::thread> threads_;
};
