#pragma once
// The JPEG reader: like CBitReader, but a 0x00 byte that follows 0xFF is
// skipped as byte stuffing while refilling, and the read reports whether it
// skipped one. The rule holds for every read through this reader.
#include <cstdint>
#include <cstdio>

#include "core/bit_reader.h"

struct JpegBits {
    uint32_t value = 0;
    uint32_t stuffed = 0;   // 1 when a stuffed 0x00 was skipped during the read
};

class CJpegBitReader : public CBitReader {
public:
    CJpegBitReader() { Reset(); }

    JpegBits* ReadBits(JpegBits* out, FILE* fp, uint32_t n);
};
