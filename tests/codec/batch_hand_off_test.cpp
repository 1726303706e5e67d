// The hand-over of batches between a producer and one worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "codec/batch_hand_off.h"

namespace {

// A batch whose work throws on either thread is still done: nobody waits
// for it for ever, the other batches are worked on, and the producer gets
// the failure when it next waits for the work.
TEST(BatchHandOff, AThrowingBatchNeitherHangsNorStopsTheOthers)
{
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded);
        std::atomic<int> done{0};
        CBatchHandOff handOff(2, threaded, [&](uint32_t, size_t slot) {
            if (slot == 1)
                throw std::runtime_error("batch failed");
            ++done;
        });
        bool thrown = false;
        try {
            for (int i = 0; i < 8; ++i) {
                handOff.Acquire();
                handOff.Submit();
            }
            handOff.Drain();
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        EXPECT_TRUE(thrown);
        if (threaded) {
            // Every batch ran; the worker is still there for more.
            EXPECT_EQ(done.load(), 4);
            handOff.Acquire();
            handOff.Submit();
            EXPECT_NO_THROW(handOff.Drain());
            EXPECT_EQ(done.load(), 5);
        }
    }
}

}  // namespace
