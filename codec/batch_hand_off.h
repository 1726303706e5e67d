#pragma once
// Hands batches of work from a producer (the decoder's own thread) to one
// worker thread, in order, through a ring of slots: while the producer fills
// one slot, the worker finishes earlier ones. The producer waits only when
// every slot is still in use. Without a worker (one thread allowed, or none
// could be started) each batch is worked on at once, on the producer's thread,
// so both ways do the same work in the same order.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class CBatchHandOff {
public:
    // work(slot) is called once for every submitted slot, in submission
    // order. With threaded false, or when no thread can be started, it runs
    // inside Submit.
    CBatchHandOff(size_t slots, bool threaded, std::function<void(size_t)> work);
    // Finishes the submitted work and ends the worker.
    ~CBatchHandOff();
    CBatchHandOff(const CBatchHandOff&) = delete;
    CBatchHandOff& operator=(const CBatchHandOff&) = delete;

    // The slot to fill next; waits until the worker has finished with it.
    size_t Acquire();
    // Hands the slot that Acquire returned to the worker.
    void Submit();
    // Waits until all submitted work is done and the worker has ended.
    void Finish();

    bool Threaded() const { return worker_.joinable(); }

private:
    void Run();

    const size_t slots_;
    const std::function<void(size_t)> work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t submitted_ = 0;   // slots handed over so far
    uint64_t done_ = 0;        // slots the worker has finished
    bool stop_ = false;
    std::thread worker_;
};
