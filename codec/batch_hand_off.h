#pragma once
// Hands batches of work from a producer (the decoder's own thread) to a
// worker thread through a ring of slots: while the producer fills one slot,
// the worker finishes earlier ones. When every slot is still in use, the
// producer takes the oldest waiting batch and works on it itself rather than
// wait, so that a worker slower than the producer does not hold it up.
// Batches may therefore finish in any order; the caller's work must not
// depend on it (each batch writes its own pixels). Without a worker (one
// thread allowed, or none could be started) each batch is worked on at once,
// on the producer's thread.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CBatchHandOff {
public:
    // work(worker, slot) is called once for every submitted slot: worker 0
    // is the producer's thread, 1 the worker thread; calls with the same
    // worker number never overlap. With threaded false, or when no thread
    // can be started, it runs inside Submit, always as worker 0.
    CBatchHandOff(size_t slots, bool threaded, std::function<void(uint32_t, size_t)> work);
    // Finishes the submitted work and ends the worker.
    ~CBatchHandOff();
    CBatchHandOff(const CBatchHandOff&) = delete;
    CBatchHandOff& operator=(const CBatchHandOff&) = delete;

    // The slot to fill next, once no batch occupies it.
    size_t Acquire();
    // Hands the slot that Acquire returned over.
    void Submit();
    // Waits until all submitted work is done; the worker stays for more.
    // Drain and Finish throw what a batch's work threw (the first, when
    // several did); the other batches are done all the same.
    void Drain();
    // Waits until all submitted work is done and the worker has ended.
    void Finish();

    bool Threaded() const { return worker_.joinable(); }

private:
    void Run();
    // With the lock held: takes the oldest waiting slot and works on it as
    // worker, unlocking meanwhile.
    void WorkOnOldest(std::unique_lock<std::mutex>& lock, uint32_t worker);
    void RethrowFailure();

    const size_t slots_;
    const std::function<void(uint32_t, size_t)> work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t submitted_ = 0;          // slots handed over so far
    std::vector<bool> busy_;          // submitted and not yet finished
    std::deque<size_t> waiting_;      // submitted, not yet taken, oldest first
    size_t inFlight_ = 0;             // submitted and not yet finished
    bool stop_ = false;
    std::exception_ptr failure_;
    std::thread worker_;
};
