#pragma once
// The LZW coding of GIF image data (GIF89a section 22 and appendix F): codes
// packed least significant bit first, starting at minimum code size + 1 bits,
// Clear = 1 << minimum code size, End = Clear + 1, the width growing by one
// bit when the next free entry no longer fits, up to 12 bits. Once the table
// holds 4096 entries the width stays at 12 bits and no entry is added until
// the next Clear (a "deferred clear"), as browsers, giflib and Pillow read
// it.
//
// The decoded indices go to the caller's buffer in stream order; the caller
// de-interlaces. Strings are written backwards by following the prefix
// links, or copied from where they were first written when that is still in
// the buffer.
//
// Decisions where the format leaves room:
// - Minimum code sizes 0 to 8 are read (GIF89a asks for 2 to 8; giflib 5.2
//   reads 0 and 1 by the same rules as the others). Above 8 a literal would
//   not fit an index byte: giflib and Wuffs refuse such data, and so does
//   this decoder (BadCodeSize, nothing decoded).
// - Data that does not start with Clear is read as if it did, as giflib and
//   browsers do; the result notes it.
// - After the frame's last pixel only Clear and End are expected; a code that
//   would add pixels ends the decoding there (noted, the frame is complete),
//   like the browsers that ignore surplus pixel data.
// - An End code before the last pixel ends the frame early, like the end of
//   the data.
#include <cstddef>
#include <cstdint>
#include <span>

enum class GifLzwStatus {
    Complete,        // every pixel of the frame was decoded
    EndedEarly,      // the data, or an End code, came before the frame's last pixel
    CodeOutOfRange,  // a code above the next free table entry: decoding stopped before it
    BadCodeSize,     // a minimum code size above 8: nothing was decoded
};

struct GifLzwResult {
    GifLzwStatus status = GifLzwStatus::EndedEarly;
    uint64_t pixelsOut = 0;       // indices decoded, at most the frame's pixel count
    uint64_t bytesIn = 0;         // bytes given to Write
    uint64_t bytesUsed = 0;       // up to the byte holding the last code decoded
    uint64_t extraBytes = 0;      // bytesIn - bytesUsed: after End or the last pixel, from a faulty code on, or
                                  // all of them for a refused code size
    uint64_t faultBitOffset = 0;  // CodeOutOfRange: where the code starts, in bits from the first byte given
    uint32_t faultCode = 0;       // CodeOutOfRange: the code
    uint64_t codes = 0;           // codes decoded, Clear and End included
    uint64_t clearCodes = 0;
    bool endCode = false;         // the End code was read
    bool noLeadingClear = false;  // the first code was not Clear
    bool tableFilled = false;     // the string table reached 4096 entries at least once
    bool surplusPixels = false;   // the data holds more pixels than the frame; the rest was ignored
    const char* reason = "";      // why the frame is not complete, in Japanese; empty when Complete
};

class CGifLzwDecoder {
public:
    static constexpr uint32_t kTableSize = 4096;
    static constexpr uint32_t kMaxCodeBits = 12;
    static constexpr uint8_t kMaxMinCodeSize = 8;

    // pixelCount (the frame's width * height) bounds the decoding. The
    // first output.size() indices are kept in output; the rest are decoded
    // and counted but not kept, so an empty output checks a stream without
    // keeping its pixels.
    CGifLzwDecoder(uint8_t minCodeSize, uint64_t pixelCount, std::span<uint8_t> output);
    CGifLzwDecoder(const CGifLzwDecoder&) = delete;
    CGifLzwDecoder& operator=(const CGifLzwDecoder&) = delete;

    // The bytes of the image data sub-blocks without their length bytes, in
    // pieces of any size. False once decoding has ended (End code, a code
    // past the frame's last pixel, a faulty code, a refused code size): the
    // rest of the data need not be given, and is counted as extra if it is.
    bool Write(const uint8_t* data, size_t n);
    // How the decoding stands; may be called at any time.
    GifLzwResult Finish() const;
    uint64_t PixelsOut() const { return written_; }

private:
    enum class State : uint8_t { Running, Ended, Fault, BadCodeSize };

    void ResetTable();
    // One code; false when decoding ends at it.
    bool Decode(uint32_t code);
    bool Fault(uint32_t code);
    // Takes the code's bits off the pending ones.
    void Consume(uint32_t code);
    void Add(uint32_t prefix, uint8_t suffix);
    void Emit(uint32_t code);
    void EmitClipped(uint32_t code);

    // The string table: each entry is its prefix's string followed by
    // suffix_; first_ and length_ are the string's first byte and length.
    uint16_t prefix_[kTableSize];
    uint8_t suffix_[kTableSize];
    uint8_t first_[kTableSize];
    uint16_t length_[kTableSize];
    uint64_t position_[kTableSize];   // where the entry's string was first written
    uint8_t scratch_[kTableSize];     // a string that does not fit the kept output

    uint8_t* out_;
    uint64_t kept_;                   // indices that go to out_: min(pixelCount, output.size())
    uint64_t pixelCount_;
    uint64_t written_ = 0;
    uint64_t lastWritten_ = 0;        // where the last string written starts

    uint32_t minCodeSize_;
    uint32_t clear_;
    uint32_t end_;
    uint32_t next_ = 0;               // the next free entry
    uint32_t width_ = 0;
    uint32_t previous_ = 0;           // the last code decoded since Clear, or kNoCode

    uint64_t bits_ = 0;               // pending bits, the next one lowest
    uint32_t bitCount_ = 0;
    uint64_t usedBits_ = 0;           // bits of the codes decoded
    uint64_t bytesIn_ = 0;

    State state_ = State::Running;
    uint64_t codes_ = 0;
    uint64_t clearCodes_ = 0;
    uint32_t faultCode_ = 0;
    uint64_t faultBitOffset_ = 0;
    bool endCode_ = false;
    bool noLeadingClear_ = false;
    bool tableFilled_ = false;
    bool surplus_ = false;        // a string ran past the last pixel
    bool codeAfterLast_ = false;  // a code that would add pixels came after the last one
};
