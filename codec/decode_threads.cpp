#include "codec/decode_threads.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {
uint32_t ProcessorLimit()
{
    const uint32_t processors = std::thread::hardware_concurrency();
    if (processors == 0)
        return 1;
    return processors < CDecodeThreads::kMaxThreads ? processors : CDecodeThreads::kMaxThreads;
}

uint32_t DefaultLimit()
{
    // Asking the system reads a file each time; a picture of thousands of
    // tiny tiles asks once a tile, so the answer is kept.
    static const uint32_t limit = ProcessorLimit();
    return limit;
}
}  // namespace

uint32_t CDecodeThreads::Limit(uint32_t requested)
{
    if (requested == 0)
        return DefaultLimit();
    return requested < kMaxThreads ? requested : kMaxThreads;
}

uint32_t CDecodeThreads::LimitFor(uint32_t requested, uint64_t pixels)
{
    if (requested != 0)
        return Limit(requested);
    return pixels >= kThreadedPixels ? DefaultLimit() : 1;
}

void CDecodeThreads::ForEach(size_t jobs, uint32_t threads, const std::function<void(uint32_t, size_t)>& work)
{
    if (threads > kMaxThreads)
        threads = kMaxThreads;
    if (threads > jobs)
        threads = static_cast<uint32_t>(jobs);
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&](uint32_t worker) {
        try {
            for (size_t job = next++; job < jobs && !failed.load(); job = next++)
                work(worker, job);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure)
                failure = std::current_exception();
            failed = true;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads);
    for (uint32_t worker = 1; worker < threads; ++worker) {
        // Without another thread the ones already running share the jobs.
        try {
            helpers.emplace_back(run, worker);
        } catch (const std::system_error&) {
            break;
        }
    }
    run(0);
    for (std::thread& t : helpers)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
}
