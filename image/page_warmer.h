#pragma once
// Has the system clear and map fresh memory ahead of its first writes, on a
// thread of its own. Memory mapped from the system costs nothing until it is
// first written, and then the system clears each page; on some machines that
// is as costly as the decoding that writes it. A decoder whose own thread is
// busy with work that cannot be shared (the entropy-coded data of a
// progressive picture) lets the system prepare the picture's memory
// meanwhile. The pages are populated by the system (MADV_POPULATE_WRITE),
// never written here, so the decoder may write the same memory at any time.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

class CPageWarmer {
public:
    struct Range {
        void* start = nullptr;
        size_t bytes = 0;
    };

    CPageWarmer() = default;
    ~CPageWarmer();
    CPageWarmer(const CPageWarmer&) = delete;
    CPageWarmer& operator=(const CPageWarmer&) = delete;

    // Starts populating the ranges, in order, in steps of 2 MiB; a warmer
    // already running is stopped first. Where the system cannot populate
    // memory ahead, the thread ends at once.
    void Start(std::vector<Range> ranges);
    // Lets the current step finish, then ends the thread.
    void Stop();

private:
    void Run();

    std::vector<Range> ranges_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
