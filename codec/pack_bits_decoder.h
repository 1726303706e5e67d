#pragma once
// PackBits run-length decoding (TIFF 6.0 section 9): a header byte n read as
// a signed number, then n + 1 literal bytes (0 to 127), or one byte repeated
// 1 - n times (-127 to -1); -128 is skipped.
#include <cstddef>
#include <cstdint>

#include "image/sample_writer.h"

class CPackBitsDecoder {
public:
    // Decodes one strip's bytes into out; stops at the end of the data or
    // when the strip's rows are complete.
    static void DecodeStrip(const uint8_t* data, size_t size, CSampleWriter& out);
};
