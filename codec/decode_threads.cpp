#include "codec/decode_threads.h"

#include <atomic>
#include <thread>

namespace {
std::atomic<uint32_t> g_limit{0};   // 0: the default

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

uint32_t CDecodeThreads::Limit()
{
    const uint32_t limit = g_limit.load(std::memory_order_relaxed);
    return limit != 0 ? limit : DefaultLimit();
}

void CDecodeThreads::SetLimit(uint32_t threads)
{
    g_limit.store(threads < kMaxThreads ? threads : kMaxThreads, std::memory_order_relaxed);
}
