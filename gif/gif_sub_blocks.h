#pragma once
// The data sub-blocks that make up a GIF extension's body and an image's
// data (GIF89a section 15): a length byte of 1 to 255, that many bytes, and
// so on up to a zero length byte, the block terminator.
#include <cstdint>
#include <cstdio>
#include <functional>

struct GifSubBlockRun {
    uint64_t start = 0;        // the first length byte
    uint64_t end = 0;          // after the terminator, or the file's end
    uint64_t count = 0;        // sub-blocks before the terminator
    uint64_t dataBytes = 0;    // their bytes, length bytes left out
    bool terminated = false;   // the terminator was met
    bool pastEnd = false;      // a length byte said more than the file holds
};

class CGifSubBlocks {
public:
    // Receives each sub-block whole: the offset of its first data byte and
    // its bytes. False stops the walk there.
    using Visitor = std::function<bool(uint64_t at, const uint8_t* data, size_t n)>;

    // Walks the sub-blocks from at up to the terminator or the file's end
    // (size bytes): every step moves on by at least one byte. Without a
    // visitor the data is passed over unread.
    static GifSubBlockRun Walk(FILE* fp, uint64_t at, uint64_t size, const Visitor& visit = {});

    // The file offset of the data byte dataPosition bytes into the
    // sub-blocks from at (length bytes not counted); end of the run when it
    // holds fewer.
    static uint64_t OffsetOfData(FILE* fp, uint64_t at, uint64_t size, uint64_t dataPosition);
};
