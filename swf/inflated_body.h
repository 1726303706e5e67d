#pragma once
// The inflated body of a compressed SWF file, open for reading from its
// start. It is written to the side file "<path>.decompress" (CSideFile) when
// that can be done; when it cannot (a read-only folder or medium, a full disk,
// something other than a regular file at the name), the body is inflated
// again into memory, so that the analyses still walk it. Either way it is no
// longer than the caller's limit. An LZMA-compressed body ("ZWS") is decoded
// the same way, by CLzmaDecoder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "codec/inflater.h"
#include "codec/lzma_decoder.h"
#include "core/read_stream.h"

class CInflatedBody {
public:
    // Inflates the zlib stream at fp's position. sideName may be empty (a
    // name too long for the path buffers): the body then goes to memory at
    // once. False only when not even a stream over memory could be opened.
    bool Open(FILE* fp, const std::string& sideName, uint64_t limit);
    // The same for the raw LZMA stream of an LZMA-compressed body ("ZWS"),
    // decoded to limit bytes (the size its header declares) with props,
    // reading at most inputBytes.
    bool OpenLzma(FILE* fp, const std::string& sideName, uint64_t limit, const LzmaProperties& props,
                  uint64_t inputBytes);

    FILE* Stream() const { return stream_.get(); }
    // True when the body was written to the side file; false when it lives
    // in memory only.
    bool InSideFile() const { return inSideFile_; }
    const InflateResult& Result() const { return result_; }
    const LzmaResult& Lzma() const { return lzma_; }

private:
    bool OpenEither(FILE* fp, const std::string& sideName, uint64_t limit);
    bool InflateToSideFile(FILE* fp, const std::string& sideName, uint64_t limit);
    bool InflateToMemory(FILE* fp, uint64_t limit);
    // Decodes the body to out with the body's codec; false when out refused
    // a write.
    bool Decode(FILE* fp, FILE* out, uint64_t limit);

    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    // Declared before the stream, which reads it and is closed first.
    std::unique_ptr<char, Free> memory_;
    FilePtr stream_;
    bool inSideFile_ = false;
    InflateResult result_;
    // Set for an LZMA body.
    bool lzmaBody_ = false;
    LzmaProperties props_;
    uint64_t inputBytes_ = UINT64_MAX;
    LzmaResult lzma_;
};
