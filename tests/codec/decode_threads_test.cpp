// Running jobs on the decoding threads: every job once, no worker number on
// two threads at a time, and a job's exception thrown again only after every
// thread has ended.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "codec/decode_threads.h"

TEST(DecodeThreads, ForEachRunsEveryJobOnceAndRethrowsAfterTheThreadsEnd)
{
    for (uint32_t threads : {1u, 2u, 5u}) {
        std::vector<std::atomic<int>> runs(1000);
        std::atomic<int> busy[CDecodeThreads::kMaxThreads] = {};
        std::atomic<bool> overlapped{false};
        CDecodeThreads::ForEach(runs.size(), threads, [&](uint32_t worker, size_t job) {
            overlapped = overlapped || busy[worker]++ != 0 || worker >= threads;
            ++runs[job];
            --busy[worker];
        });
        EXPECT_FALSE(overlapped) << threads;
        for (size_t i = 0; i < runs.size(); ++i)
            ASSERT_EQ(runs[i], 1) << threads << " threads, job " << i;
    }

    std::atomic<int> running{0};
    std::atomic<int> afterThrow{0};
    EXPECT_THROW(CDecodeThreads::ForEach(200, 4,
                                         [&](uint32_t, size_t job) {
                                             ++running;
                                             if (job == 3)
                                                 throw std::runtime_error("job 3");
                                             std::this_thread::yield();
                                             --running;
                                             ++afterThrow;
                                         }),
                 std::runtime_error);
    // Only the throwing job is still counted: every other one had finished.
    EXPECT_EQ(running, 1);

    // On one thread the jobs after the throwing one are not run.
    afterThrow = 0;
    EXPECT_THROW(CDecodeThreads::ForEach(200, 1,
                                         [&](uint32_t, size_t job) {
                                             if (job == 3)
                                                 throw std::runtime_error("job 3");
                                             ++afterThrow;
                                         }),
                 std::runtime_error);
    EXPECT_EQ(afterThrow, 3);
}
