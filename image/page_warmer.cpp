#include "image/page_warmer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace {
constexpr size_t kStepBytes = size_t{2} << 20;
}  // namespace

CPageWarmer::~CPageWarmer()
{
    Stop();
}

void CPageWarmer::Start(std::vector<Range> ranges)
{
    Stop();
    ranges_ = std::move(ranges);
    stop_ = false;
    try {
        thread_ = std::thread(&CPageWarmer::Run, this);
    } catch (...) {
        // Without a thread the memory is cleared as it is first written.
    }
}

void CPageWarmer::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void CPageWarmer::Run()
{
#ifdef MADV_POPULATE_WRITE
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    for (const Range& r : ranges_) {
        // Whole pages only: the start rounded down, the end up, both inside
        // the mapping that holds the range.
        uintptr_t at = reinterpret_cast<uintptr_t>(r.start) & ~(page - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(r.start) + r.bytes + page - 1) & ~(page - 1);
        for (; at < end && !stop_; at += kStepBytes)
            if (madvise(reinterpret_cast<void*>(at), std::min<uintptr_t>(kStepBytes, end - at), MADV_POPULATE_WRITE) != 0)
                return;
    }
#endif
}
