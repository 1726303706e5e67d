#pragma once
// The entropy-coded data of one JPEG scan as the progressive and arithmetic
// decoders take it: bytes from the file in chunks, a 0x00 after a 0xFF data
// byte dropped as stuffing (ITU-T T.81 B.1.1.5), and the data ending at the
// first marker. Past that marker the source delivers zero bits and zero
// bytes, as T.81 D.2.6 prescribes for arithmetic decoding and as a Huffman
// decoder needs to finish a damaged interval; the marker itself is left for
// the marker walk, or taken by Restart when it is the RSTn that ends a
// restart interval.
#include <cstddef>
#include <cstdint>
#include <cstdio>

class CJpegEntropySource {
public:
    CJpegEntropySource() = default;
    CJpegEntropySource(const CJpegEntropySource&) = delete;
    CJpegEntropySource& operator=(const CJpegEntropySource&) = delete;

    // Starts at fp's position, with no bits taken.
    void Start(FILE* fp);

    // Huffman decoding: the bits of the data, most significant first, in a
    // 64-bit accumulator. Refill leaves at least 32 bits in it (filling it
    // to more than 56 when it has fewer), enough for a code and the value
    // bits after it.
    void Refill()
    {
        if (bits_ < 32)
            RefillSlow();
    }
    uint32_t Peek(int n) const { return static_cast<uint32_t>(acc_ >> (64 - n)); }
    void Skip(int n)
    {
        acc_ <<= n;
        bits_ -= n;
    }
    // n from 1 to 16, after a Refill, no more than 32 bits in all before
    // the next.
    uint32_t Take(int n)
    {
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }

    // Arithmetic decoding: the next data byte, 0 once the data has ended.
    uint32_t NextByte();

    // At the end of a restart interval: drops what is left of the current
    // byte and the bits taken ahead, skips to the next marker and takes it
    // when it is RSTn (T.81 E.2.4). False when the data ends in another
    // marker or in the end of the file; the source then stays at it.
    bool Restart();

    // Whether bits or bytes have been delivered from beyond the data (the
    // marker or the end of the file that ends it).
    bool PastEnd() const { return pastEnd_; }
    // Whether more bits have been used than the data held: the zero bits
    // delivered past its end reach into what was taken.
    bool Exhausted() const { return zeros_ * 8 > static_cast<uint64_t>(bits_ > 0 ? bits_ : 0); }

    // Leaves the stream at the first byte the decoding did not take: the
    // marker that ended the data, or the byte after the last one used.
    void Finish();

private:
    void RefillSlow();
    // The next byte of the file, -1 at its end.
    int RawByte()
    {
        if (pos_ == length_ && !Fill())
            return -1;
        return buffer_[pos_++];
    }
    bool Fill();
    // The next data byte, or -1 when the data has ended (the source then
    // stands at the marker, or at the end of the file).
    int DataByte();
    uint64_t Offset() const { return bufferStart_ + pos_; }
    void SeekTo(uint64_t offset);

    static constexpr size_t kChunk = size_t{1} << 16;
    uint8_t buffer_[kChunk];
    uint64_t bufferStart_ = 0;   // file offset of buffer_[0]
    size_t length_ = 0;
    size_t pos_ = 0;
    bool fileEnd_ = false;
    FILE* fp_ = nullptr;

    uint64_t acc_ = 0;
    int bits_ = 0;
    // Bytes of the file delivered, the zero bytes delivered past the data's
    // end, and the file offset after each of the last bytes, for Finish:
    // the accumulator holds at most eight bytes.
    uint64_t taken_ = 0;
    uint64_t zeros_ = 0;
    uint64_t after_[16] = {};
    uint64_t startOffset_ = 0;

    bool ended_ = false;         // the data has ended
    uint32_t marker_ = 0;        // the marker that ended it (its second byte), 0 at the file's end
    uint64_t markerAt_ = 0;      // offset of the marker's 0xFF
    bool pastEnd_ = false;
};
