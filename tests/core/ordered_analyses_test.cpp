#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/ordered_analyses.h"

namespace {

// Results are handed over in order whichever thread made them, and the
// threads run ahead of a slow taker by as many results as allowed and no
// more: a rough batch far enough that they seldom wait, a detailed one (the
// default) by one result per thread.
TEST(OrderedAnalyses, ResultsComeInOrderAndThreadsRunAheadOnlyAsFarAsAllowed)
{
    constexpr size_t kCount = 200;
    for (const uint32_t threads : {1u, 2u, 4u}) {
        for (const size_t ahead : {size_t{0}, COrderedAnalyses::kRoughAhead}) {
            SCOPED_TRACE("threads " + std::to_string(threads) + ", ahead " + std::to_string(ahead));
            const size_t slots = std::max<size_t>(threads, ahead) + 1;
            std::atomic<size_t> taken{0};
            std::atomic<size_t> lead{0};
            std::atomic<bool> tooFar{false};
            COrderedAnalyses analyses(
                kCount, threads,
                [&](size_t i) {
                    const size_t before = taken.load();
                    // The taker counts a result once Take has returned it.
                    tooFar = tooFar || i > before + slots;
                    size_t seen = lead.load();
                    while (i > before && i - before > seen && !lead.compare_exchange_weak(seen, i - before)) {
                    }
                    auto result = std::make_unique<AnalysisResult>();
                    result->formatText = std::to_string(i);
                    return result;
                },
                ahead);
            for (size_t i = 0; i < kCount; ++i) {
                if (i % 8 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(300));
                ASSERT_EQ(analyses.Take(i)->formatText, std::to_string(i));
                taken = i + 1;
            }
            EXPECT_FALSE(tooFar);
            if (threads > 1 && ahead > threads) {
                EXPECT_GT(lead.load(), size_t{threads} + 1);
            }
        }
    }
}

}  // namespace
