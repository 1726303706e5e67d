#pragma once
// The LZW coding of TIFF 6.0 section 13: codes of 9 to 12 bits, most
// significant bit first, Clear (256) and EndOfInformation (257), the code
// width growing one code early (after entries 510, 1022 and 2046 are added).
// The string table is kept as prefix links and as the position where each
// string was first written: while that is still in the output buffer, a
// string is copied from there instead of being followed link by link.
#include <cstddef>
#include <cstdint>

#include "image/sample_writer.h"

class CLzwDecoder {
public:
    static constexpr uint32_t kTableSize = 4096;
    static constexpr uint32_t kClear = 256;
    static constexpr uint32_t kEndOfInformation = 257;

    CLzwDecoder();

    // Decodes one strip's bytes into out; stops at EndOfInformation, at the
    // end of the data, at a code that cannot occur, or when the strip's rows
    // are complete.
    void DecodeStrip(const uint8_t* data, size_t size, CSampleWriter& out);

private:
    void ResetTable();
    void DecodeCodes(const uint8_t* data, size_t size, CSampleWriter& out);
    // Writes the string of code; false once the strip is complete.
    bool Emit(uint32_t code, CSampleWriter& out);
    bool Flush(CSampleWriter& out);
    void Add(uint32_t prefix, uint8_t suffix);

    uint16_t prefix_[kTableSize];
    uint8_t suffix_[kTableSize];
    uint8_t first_[kTableSize];      // first byte of each string
    uint16_t length_[kTableSize];
    uint64_t position_[kTableSize];  // bytes written before the string's first copy
    uint32_t lastEntry_ = kEndOfInformation;
    uint32_t width_ = 9;
    // Decoded bytes collect here and go to the writer in runs; a string is
    // at most kTableSize bytes long, so one always fits after kChunk.
    static constexpr size_t kChunk = 1 << 16;
    uint8_t output_[kChunk + kTableSize];
    size_t fill_ = 0;
    uint64_t base_ = 0;          // bytes written before output_[0]
    uint64_t lastWritten_ = 0;   // where the last string written starts
};
