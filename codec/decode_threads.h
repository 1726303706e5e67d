#pragma once
// How many threads a decoder may use for one picture: the count its caller
// asks for (the analysis options), or 0 for the default, as many as the
// machine has processors (at most kMaxThreads); 1 keeps every decoder on its
// caller's thread. Whatever the count, the decoders produce the same
// pixels and stop at the same place: more threads only finish sooner. Every
// thread a decoding starts has ended before it returns, except the fax strip
// decoder's painting thread, which waits for the decoder's next strip and
// ends with the decoder object, and the threads that draw the pages of a fax
// document side by side, which end with the TIFF analysis.
#include <cstddef>
#include <cstdint>
#include <functional>

class CDecodeThreads {
public:
    static constexpr uint32_t kMaxThreads = 8;

    // The threads a request of requested threads allows (0: the default).
    static uint32_t Limit(uint32_t requested);
    // The same for a picture of pixels pixels. By default a picture smaller
    // than kThreadedPixels keeps to one thread: starting another costs more
    // than the other saves, and a file of a thousand small pages would start
    // a thousand. A count that was asked for holds for pictures of every
    // size.
    static constexpr uint64_t kThreadedPixels = uint64_t{1} << 16;
    static uint32_t LimitFor(uint32_t requested, uint64_t pixels);

    // Runs work(worker, job) for every job from 0 to jobs - 1, on up to
    // threads threads counting the caller's (worker 0); worker numbers run
    // from 0 to threads - 1 and no two threads share one. Jobs are taken in
    // order but may finish in any order. Returns when every job is done and
    // every thread started here has ended; an exception thrown by a job is
    // thrown again here then, and the jobs not yet taken are not run.
    static void ForEach(size_t jobs, uint32_t threads, const std::function<void(uint32_t, size_t)>& work);
};
