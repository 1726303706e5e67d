#include "codec/lzw_decoder.h"

#include <cstring>

namespace {
constexpr uint32_t kNoCode = 0xFFFFFFFF;
}

CLzwDecoder::CLzwDecoder()
{
    for (uint32_t i = 0; i < 256; ++i) {
        prefix_[i] = 0;
        suffix_[i] = static_cast<uint8_t>(i);
        first_[i] = static_cast<uint8_t>(i);
        length_[i] = 1;
    }
    ResetTable();
}

void CLzwDecoder::ResetTable()
{
    lastEntry_ = kEndOfInformation;
    width_ = 9;
}

void CLzwDecoder::Add(uint32_t prefix, uint8_t suffix)
{
    // A full table takes no more entries; the width stays at 12 bits.
    if (lastEntry_ + 1 >= kTableSize)
        return;
    const uint32_t code = ++lastEntry_;
    prefix_[code] = static_cast<uint16_t>(prefix);
    suffix_[code] = suffix;
    first_[code] = first_[prefix];
    length_[code] = static_cast<uint16_t>(length_[prefix] + 1);
    // The new string is the prefix's string as it was just written, followed
    // by the first byte of what is written next: its bytes start there.
    position_[code] = lastWritten_;
    if ((lastEntry_ == 510 || lastEntry_ == 1022 || lastEntry_ == 2046) && width_ < 12)
        ++width_;
}

bool CLzwDecoder::Emit(uint32_t code, CSampleWriter& out)
{
    const uint32_t n = length_[code];
    uint8_t* const at = output_ + fill_;
    lastWritten_ = base_ + fill_;
    if (code < 256) {
        *at = static_cast<uint8_t>(code);
    } else if (position_[code] >= base_) {
        // All but the last byte are still in the buffer, where the string
        // was first written; the last byte is the entry's own. The source
        // ends at or before the destination's start.
        const uint8_t* from = output_ + (position_[code] - base_);
        if (n <= 16) {
            uint8_t head[16];
            std::memcpy(head, from, sizeof head);
            std::memcpy(at, head, sizeof head);
        } else {
            std::memcpy(at, from, n - 1);
        }
        at[n - 1] = suffix_[code];
    } else {
        // Written before the last flush: follow the prefix links back.
        uint32_t c = code;
        for (uint8_t* p = at + n; p > at; c = prefix_[c])
            *--p = suffix_[c];
    }
    fill_ += n;
    return fill_ < kChunk || Flush(out);
}

bool CLzwDecoder::Flush(CSampleWriter& out)
{
    const bool more = out.PutRun(output_, fill_);
    base_ += fill_;
    fill_ = 0;
    return more;
}

void CLzwDecoder::DecodeStrip(const uint8_t* data, size_t size, CSampleWriter& out)
{
    // Every strip is coded on its own, starting with an empty table.
    ResetTable();
    fill_ = 0;
    DecodeCodes(data, size, out);
    Flush(out);
}

void CLzwDecoder::DecodeCodes(const uint8_t* data, size_t size, CSampleWriter& out)
{
    uint64_t bits = 0;
    uint32_t bitCount = 0;
    size_t pos = 0;
    uint32_t previous = kNoCode;
    for (;;) {
        while (bitCount < width_ && pos < size) {
            bits = (bits << 8) | data[pos++];
            bitCount += 8;
        }
        if (bitCount < width_)
            return;   // the strip's data ends without EndOfInformation
        const auto code = static_cast<uint32_t>(bits >> (bitCount - width_)) & ((1u << width_) - 1);
        bitCount -= width_;

        if (code == kEndOfInformation)
            return;
        if (code == kClear) {
            ResetTable();
            previous = kNoCode;
            continue;
        }
        if (previous == kNoCode) {
            // The first code after Clear is a single byte.
            if (code > 255)
                return;
            if (!Emit(code, out))
                return;
            previous = code;
            continue;
        }
        if (code > lastEntry_) {
            // The code being defined: the previous string and its own first byte.
            if (code != lastEntry_ + 1)
                return;   // a code from nowhere: the data is damaged
            Add(previous, first_[previous]);
            if (!Emit(lastEntry_, out))
                return;
            previous = lastEntry_;
            continue;
        }
        Add(previous, first_[code]);
        if (!Emit(code, out))
            return;
        previous = code;
    }
}
