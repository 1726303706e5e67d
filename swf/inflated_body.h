#pragma once
// The inflated body of a compressed SWF file, open for reading from its
// start. It is written to the side file "<path>.decompress" (CSideFile) when
// that can be done; when it cannot (a read-only folder or medium, a full disk,
// something other than a regular file at the name), the body is inflated
// again into memory, so that the analyses still walk it. Either way it is no
// longer than the caller's limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "codec/inflater.h"
#include "core/read_stream.h"

class CInflatedBody {
public:
    // Inflates the zlib stream at fp's position. sideName may be empty (a
    // name too long for the path buffers): the body then goes to memory at
    // once. False only when not even a stream over memory could be opened.
    bool Open(FILE* fp, const std::string& sideName, uint64_t limit);

    FILE* Stream() const { return stream_.get(); }
    // True when the body was written to the side file; false when it lives
    // in memory only.
    bool InSideFile() const { return inSideFile_; }
    const InflateResult& Result() const { return result_; }

private:
    bool InflateToSideFile(FILE* fp, const std::string& sideName, uint64_t limit);
    bool InflateToMemory(FILE* fp, uint64_t limit);

    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    // Declared before the stream, which reads it and is closed first.
    std::unique_ptr<char, Free> memory_;
    FilePtr stream_;
    bool inSideFile_ = false;
    InflateResult result_;
};
