#include "codec/batch_hand_off.h"

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
    Finish();
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
}

void CBatchHandOff::WorkOnOldest(std::unique_lock<std::mutex>& lock, uint32_t worker)
{
    const size_t slot = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    work_(worker, slot);
    lock.lock();
    busy_[slot] = false;
    --inFlight_;
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
