#pragma once
// A read stream for each of the threads that decode one file at once. Each
// has its own position and reads the file under a shared lock (see
// shared_read_stream.h); with one thread, or when no second stream can be
// made, the only stream is the file itself. The file is not read otherwise
// while the streams are in use.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

class CThreadStreams {
public:
    CThreadStreams(FILE* fp, uint32_t threads);
    ~CThreadStreams();
    CThreadStreams(const CThreadStreams&) = delete;
    CThreadStreams& operator=(const CThreadStreams&) = delete;

    // How many threads may read: threads, or fewer when streams ran out.
    uint32_t Count() const { return static_cast<uint32_t>(streams_.size()); }
    FILE* operator[](uint32_t thread) const { return streams_[thread]; }

private:
    std::mutex lock_;
    std::vector<FILE*> streams_;
    bool own_ = false;
};
