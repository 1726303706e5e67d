#pragma once
// How many threads a decoder may use for one picture. By default as many as
// the machine has processors (at most kMaxThreads); 1 keeps every decoder on
// its caller's thread. Whatever the count, the decoders produce the same
// pixels and stop at the same place: more threads only finish sooner. Every
// thread a decoder starts has ended before the decoder returns.
#include <cstdint>

class CDecodeThreads {
public:
    static constexpr uint32_t kMaxThreads = 8;

    static uint32_t Limit();
    // 0 restores the default.
    static void SetLimit(uint32_t threads);
};
