#pragma once
// Whole-byte reads in the byte order of a TIFF header: byteOrder 0x4949 ("II")
// is little-endian, every other value big-endian. A missing byte is OR-ed in
// as fgetc's -1, so it sets every bit from its own position upwards.
#include <cstdint>
#include <cstdio>

#include "core/bit_reader.h"

inline constexpr uint32_t kTiffLittleEndian = 0x4949;
inline constexpr uint32_t kTiffBigEndian = 0x4D4D;

class CTiffByteReader : public CBitReader {
public:
    CTiffByteReader() { Reset(); }

    // n from 0 to 4; n above 4 returns 0 and reads nothing.
    uint32_t ReadBytes(FILE* fp, uint32_t n, uint32_t byteOrder);
};
