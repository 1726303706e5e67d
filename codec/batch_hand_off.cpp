#include "codec/batch_hand_off.h"

#include <exception>
#include <system_error>
#include <utility>

CBatchHandOff::CBatchHandOff(size_t slots, bool threaded, std::function<void(uint32_t, size_t)> work)
    : slots_(slots == 0 ? 1 : slots), work_(std::move(work)), busy_(slots_, false)
{
    if (!threaded)
        return;
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the work is done inline.
    }
}

CBatchHandOff::~CBatchHandOff()
{
    try {
        Finish();
    } catch (...) {
        // A failure nobody asked for any more: the work is over either way.
    }
}

void CBatchHandOff::RethrowFailure()
{
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure = std::exchange(failure_, nullptr);
    }
    if (failure)
        std::rethrow_exception(failure);
}

size_t CBatchHandOff::Acquire()
{
    const size_t slot = static_cast<size_t>(submitted_ % slots_);
    if (!worker_.joinable())
        return slot;
    std::unique_lock<std::mutex> lock(mutex_);
    while (busy_[slot]) {
        if (!waiting_.empty())
            WorkOnOldest(lock, 0);
        else
            changed_.wait(lock);
    }
    return slot;
}

void CBatchHandOff::Submit()
{
    const size_t slot = static_cast<size_t>(submitted_ % slots_);
    ++submitted_;
    if (!worker_.joinable()) {
        work_(0, slot);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_[slot] = true;
        ++inFlight_;
        waiting_.push_back(slot);
    }
    changed_.notify_all();
}

void CBatchHandOff::Drain()
{
    if (!worker_.joinable())
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!waiting_.empty())
        WorkOnOldest(lock, 0);
    changed_.wait(lock, [this] { return inFlight_ == 0; });
    lock.unlock();
    RethrowFailure();
}

void CBatchHandOff::Finish()
{
    if (!worker_.joinable())
        return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        stop_ = true;
        // The producer has nothing else to do: it shares the rest.
        while (!waiting_.empty())
            WorkOnOldest(lock, 0);
    }
    changed_.notify_all();
    worker_.join();
    RethrowFailure();
}

void CBatchHandOff::WorkOnOldest(std::unique_lock<std::mutex>& lock, uint32_t worker)
{
    const size_t slot = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    // A failing batch still counts as done, so that nobody waits for it;
    // the first failure is handed to the producer when it next waits.
    std::exception_ptr failure;
    try {
        work_(worker, slot);
    } catch (...) {
        failure = std::current_exception();
    }
    lock.lock();
    busy_[slot] = false;
    --inFlight_;
    if (failure && !failure_)
        failure_ = failure;
    changed_.notify_all();
}

void CBatchHandOff::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !waiting_.empty() || stop_; });
        if (waiting_.empty())
            return;   // stopped with nothing left to do
        WorkOnOldest(lock, 1);
    }
}
