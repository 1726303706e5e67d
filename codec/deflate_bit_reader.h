#pragma once
// Reads a deflate stream's bits from a C stream. Deflate packs its fields
// starting at the least significant bit of each byte, so the reader keeps a
// 64-bit buffer whose lowest bit is the next bit of the stream. Bytes come
// from the file in blocks; End puts the file back right after the last byte
// the stream consumed, so callers see the same position as with byte-wise
// reading.
//
// Past the end of the file the reader delivers 1-bits (each missing byte acts
// as 0xFF). Overrun() tells whether a consumer has taken any of those made-up
// bits, which is how the inflater notices a truncated stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

class CDeflateBitReader {
public:
    CDeflateBitReader();

    // The n low bits of v in reverse order: deflate's Huffman codes are
    // packed starting at their most significant bit (RFC 1951 3.1.1).
    static uint32_t ReverseBits(uint32_t v, uint32_t n);

    // Starts reading fp at its current position; forgets any earlier stream.
    // Bytes beyond maxBytes from there are treated as the end of the file (a
    // TIFF strip's byte count).
    void Begin(FILE* fp, uint64_t maxBytes = UINT64_MAX);
    // Puts fp right after the last byte consumed (bits of a partly used byte
    // count as consumed). After an overrun fp is left at the end of the file.
    void End(FILE* fp);

    // The next n bits (0 to 32; above 32 returns 0 and reads nothing). With
    // keepOrder set the first bit of the stream is the most significant bit of
    // the result (the order in which Huffman codes are written); with it clear
    // the first bit is the least significant (header fields and extra bits).
    uint32_t ReadBits(FILE* fp, uint32_t n, bool keepOrder);
    // Drops the rest of the current byte.
    void Reset() { Drop(count_ & 7u); }

    // True once a read has used bits from beyond the end of the file.
    bool Overrun() const { return count_ < padBits_; }
    // True when the next n bits reach beyond the end of the file.
    bool PaddingWithin(uint32_t n) const { return count_ < padBits_ + n; }

    // Fast access for the decoder: after Fill at least 56 bits are buffered.
    void Fill(FILE* fp)
    {
        if (count_ >= 56)
            return;
        if (end_ - pos_ >= 8) {
            uint64_t v = LoadLittle64(buffer_.data() + pos_);
            bits_ |= v << count_;
            pos_ += (63u - count_) >> 3;
            count_ |= 56u;
            return;
        }
        FillSlow(fp);
    }
    uint64_t Peek() const { return bits_; }
    void Drop(uint32_t n)
    {
        bits_ >>= n;
        count_ -= n;
    }

    // Copies up to n whole bytes to dst; the reader must stand on a byte
    // boundary. Returns the number of bytes copied, fewer only at the end of
    // the file.
    size_t CopyBytes(FILE* fp, uint8_t* dst, size_t n);

private:
    static uint64_t LoadLittle64(const uint8_t* p);
    void FillSlow(FILE* fp);
    bool LoadBlock(FILE* fp);

    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;          // next unread byte in buffer_
    size_t end_ = 0;          // bytes valid in buffer_
    uint64_t bits_ = 0;       // buffered bits, next one lowest
    uint32_t count_ = 0;      // how many bits of bits_ are valid
    uint64_t padBits_ = 0;    // made-up 1-bits appended past the end of file
    bool eof_ = false;
    long start_ = -1;         // file position of the stream's first byte
    uint64_t fetched_ = 0;    // bytes taken from the file since Begin
    uint64_t maxBytes_ = UINT64_MAX;
};
