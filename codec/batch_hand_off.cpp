#include "codec/batch_hand_off.h"

#include <system_error>
#include <utility>

CBatchHandOff::CBatchHandOff(size_t slots, bool threaded, std::function<void(size_t)> work)
    : slots_(slots == 0 ? 1 : slots), work_(std::move(work))
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
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return submitted_ - done_ < slots_; });
    return static_cast<size_t>(submitted_ % slots_);
}

void CBatchHandOff::Submit()
{
    if (!worker_.joinable()) {
        const size_t slot = static_cast<size_t>(submitted_ % slots_);
        ++submitted_;
        work_(slot);
        ++done_;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++submitted_;
    }
    changed_.notify_all();
}

void CBatchHandOff::Finish()
{
    if (!worker_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void CBatchHandOff::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return done_ < submitted_ || stop_; });
        if (done_ == submitted_)
            return;   // stopped with nothing left to do
        const size_t slot = static_cast<size_t>(done_ % slots_);
        lock.unlock();
        work_(slot);
        lock.lock();
        ++done_;
        changed_.notify_all();
    }
}
