#pragma once
// Reads the fields of one SWF tag body held in memory: little-endian
// integers, null-terminated strings, EncodedU32 and the bit-packed records
// (RECT, MATRIX, CXFORM) whose fields run most significant bit first. A read
// past the body's end yields zeros and marks the cursor failed, so that a
// short tag never reads beyond its bytes.
#include <cstdint>
#include <span>
#include <string>

class CSwfFieldCursor {
public:
    CSwfFieldCursor(std::span<const uint8_t> body, uint64_t offset) : body_(body), offset_(offset) {}

    // The file offset of the next unread byte.
    uint64_t Offset() const { return offset_ + pos_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return pos_ < body_.size() ? body_.size() - pos_ : 0; }
    bool Failed() const { return failed_; }
    std::span<const uint8_t> Body() const { return body_; }

    uint32_t U8();
    uint32_t U16();
    uint32_t U32();
    uint64_t U64();
    uint32_t EncodedU32();
    // A string up to its terminating zero, which is consumed too; a string
    // without one runs to the body's end.
    std::string String();
    void Skip(size_t n);

    // Bit fields start at the next whole byte; EndBits moves past the last
    // byte touched.
    void BeginBits();
    uint32_t Bits(uint32_t n);
    int32_t SignedBits(uint32_t n);
    void EndBits();

private:
    std::span<const uint8_t> body_;
    uint64_t offset_;
    size_t pos_ = 0;
    uint64_t bitPos_ = 0;
    bool failed_ = false;
};
