#pragma once
// Reads a C stream bit by bit, most significant bit first, with a one-byte
// cache. Reading past the end of the file yields 1-bits (each missing byte is
// 0xFF) and sets the stream's end-of-file indicator, which callers test.
#include <cstdint>
#include <cstdio>

class CBitReader {
public:
    CBitReader() = default;

    // The next n bits (0 to 32), right-aligned; n above 32 returns 0 and
    // reads nothing.
    uint32_t ReadBits(FILE* fp, uint32_t n);
    // Drops the rest of a partly read byte.
    void Reset();


protected:
    uint32_t cache = 0;      // last byte taken, as fgetc returned it
    uint32_t bitsLeft = 0;   // unread low bits of cache (0 to 8)
};
