#pragma once
// A read-only stream of the data of several chunks, one after another, read
// where each piece lies in the file: the zlib stream of a picture is split
// over its IDAT (or one frame's fdAT) chunks, between their lengths, types
// and CRCs, and the inflater reads it as one stream.
#include <cstdio>
#include <span>
#include <vector>

#include "core/format_table.h"

class CChunkDataStream {
public:
    // The pieces are copied; file must stay open while the stream is used.
    CChunkDataStream(FILE* file, std::span<const FilePiece> pieces);
    ~CChunkDataStream();
    CChunkDataStream(const CChunkDataStream&) = delete;
    CChunkDataStream& operator=(const CChunkDataStream&) = delete;

    // Null when the stream could not be made.
    FILE* Stream() const { return stream_; }

private:
    struct Source {
        FILE* file = nullptr;
        std::vector<FilePiece> pieces;
        size_t piece = 0;        // the piece being read
        uint64_t inPiece = 0;    // bytes of it already read
    };
    static ssize_t Read(void* cookie, char* buffer, size_t size);

    Source source_;
    FILE* stream_ = nullptr;
};
