#include "swf/swf_field_cursor.h"

uint32_t CSwfFieldCursor::U8()
{
    if (pos_ >= body_.size()) {
        failed_ = true;
        return 0;
    }
    return body_[pos_++];
}

uint32_t CSwfFieldCursor::U16()
{
    const uint32_t low = U8();
    return low | (U8() << 8);
}

uint32_t CSwfFieldCursor::U32()
{
    const uint32_t low = U16();
    return low | (U16() << 16);
}

uint64_t CSwfFieldCursor::U64()
{
    const uint64_t low = U32();
    return low | (uint64_t{U32()} << 32);
}

uint32_t CSwfFieldCursor::EncodedU32()
{
    // Seven bits a byte, least significant group first; the high bit says
    // another byte follows. Five bytes at most.
    uint32_t value = 0;
    for (uint32_t i = 0; i < 5; ++i) {
        const uint32_t b = U8();
        value |= (b & 0x7Fu) << (7 * i);
        if (!(b & 0x80u))
            break;
    }
    return value;
}

std::string CSwfFieldCursor::String()
{
    std::string text;
    while (pos_ < body_.size()) {
        const char c = static_cast<char>(body_[pos_++]);
        if (c == 0)
            return text;
        text += c;
    }
    return text;
}

void CSwfFieldCursor::Skip(size_t n)
{
    if (n > Remaining()) {
        failed_ = true;
        n = Remaining();
    }
    pos_ += n;
}

void CSwfFieldCursor::BeginBits()
{
    bitPos_ = uint64_t{pos_} * 8;
}

uint32_t CSwfFieldCursor::Bits(uint32_t n)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < n && i < 32; ++i) {
        const uint64_t byte = bitPos_ >> 3;
        uint32_t bit = 0;
        if (byte < body_.size())
            bit = (body_[byte] >> (7 - (bitPos_ & 7))) & 1u;
        else
            failed_ = true;
        value = (value << 1) | bit;
        ++bitPos_;
    }
    return value;
}

int32_t CSwfFieldCursor::SignedBits(uint32_t n)
{
    const uint32_t value = Bits(n);
    if (n == 0 || n >= 32)
        return static_cast<int32_t>(value);
    if (value & (1u << (n - 1)))
        return static_cast<int32_t>(static_cast<int64_t>(value) - (int64_t{1} << n));
    return static_cast<int32_t>(value);
}

void CSwfFieldCursor::EndBits()
{
    const uint64_t next = (bitPos_ + 7) / 8;
    pos_ = static_cast<size_t>(next < body_.size() ? next : body_.size());
}
