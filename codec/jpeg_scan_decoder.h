#pragma once
// Decodes the entropy-coded data of a baseline, Huffman-coded JPEG scan into
// 24-bit bottom-up pixel memory.
//
// The bits are taken exactly as CJpegBitReader would deliver them one at a
// time (a 0x00 after a 0xFF data byte is skipped as stuffing, bytes past the
// end of the file read as 0xFF), but through a buffer and a bit accumulator;
// Huffman codes are looked up in tables instead of being searched. When the
// decoding ends, the stream is left exactly where the one-bit-at-a-time reader
// would have left it: after the last byte whose bits were used (with its
// end-of-file indicator set when the bits ran past the end of the file).
#include <cstdint>
#include <cstdio>
#include <memory>

#include "codec/jpeg_records.h"

class CJpegScanDecoder {
public:
    // Components decoded in each MCU; a frame has at most three.
    static constexpr int kMaxComponents = 3;

    struct Component {
        uint32_t identifier = 0;        // 0 to 7
        uint32_t horizontal = 1;        // blocks per MCU across
        uint32_t vertical = 1;          // blocks per MCU down
        const QuantTable* quant = nullptr;
        const HuffmanTable* dc = nullptr;
        const HuffmanTable* ac = nullptr;
    };

    struct Frame {
        uint32_t width = 0;             // samples per line
        uint32_t height = 0;            // number of lines
        uint32_t restartInterval = 0;   // MCUs between restart markers; 0 for none
        int componentCount = 0;
        Component components[kMaxComponents];
        // The three components are red, green and blue, each one block an
        // MCU, with no colour conversion (TIFF JPEG data of RGB images).
        bool rgb = false;
    };

    struct Target {
        uint8_t* pixels = nullptr;      // null: decode without painting
        int32_t bitmapWidth = 0;
        int32_t bitmapHeight = 0;
        // With partial, the bitmap holds the view alone: the picture's
        // pixels (viewX + (X << shift), viewY + (Y << shift)) at (X, Y),
        // the view lying inside the picture and starting on a multiple of
        // 2^shift. From shift 3 on, a pixel is the mean of the block it
        // lies in (its DC term alone through the same transform).
        // Without, the bitmap holds the whole picture at full size.
        bool partial = false;
        uint32_t viewX = 0;
        uint32_t viewY = 0;
        uint32_t viewWidth = 0;
        uint32_t viewHeight = 0;
        uint32_t shift = 0;
    };

    // Why the decoding ended.
    enum class Outcome {
        Complete,          // every MCU decoded
        BadCode,           // a code that matches no entry of its table
        EndOfFile,         // the data ran past the end of the file
        MissingRestart,    // no RSTn marker where a restart interval ended
    };

    struct Result {
        Outcome outcome = Outcome::Complete;
        uint64_t mcusDecoded = 0;
    };

    CJpegScanDecoder();
    ~CJpegScanDecoder();
    CJpegScanDecoder(const CJpegScanDecoder&) = delete;
    CJpegScanDecoder& operator=(const CJpegScanDecoder&) = delete;

    // fp stands at the first byte of the entropy-coded data; previousByte is
    // the byte the reader took last (0x100 or more when it met the end of the
    // file), which decides whether a leading 0x00 counts as stuffing. The
    // frame must describe a layout the decoder supports (see Supported).
    Result Decode(FILE* fp, uint32_t previousByte, const Frame& frame, const Target& target);

    // The first bytes of the entropy-coded data, read by the caller, which
    // spares a strip or tile of a few bytes its own reads and seeks.
    static constexpr size_t kMaxAheadBytes = size_t{1} << 16;
    struct Ahead {
        const uint8_t* bytes = nullptr;
        size_t size = 0;                // at most kMaxAheadBytes
        uint64_t offset = 0;            // file offset of bytes[0]
    };
    // As above; fp may stand anywhere: it is moved to the end of the bytes
    // ahead only when the scan needs more than those. The stream is left
    // where the reading stopped rather than after the last byte used: the
    // caller seeks before it reads again.
    Result Decode(FILE* fp, uint32_t previousByte, const Frame& frame, const Target& target, const Ahead& ahead);

    // Keeps the whole decoding on the caller's thread, for callers that
    // decode several frames at once on threads of their own.
    void StayOnCallerThread() { stayOnCallerThread_ = true; }
    // The threads the decoding may use (CDecodeThreads::Limit; 0 the
    // default).
    void SetThreads(uint32_t threads) { threads_ = threads; }

    // True when the first component has 1 x 1, 2 x 1, 1 x 2 or 2 x 2 blocks
    // per MCU and every other component exactly one, with all tables present;
    // an RGB frame has three components of one block each.
    static bool Supported(const Frame& frame);

private:
    Result Decode(FILE* fp, uint32_t previousByte, const Frame& frame, const Target& target, const Ahead& ahead,
                  bool leaveAfterUsed);

    struct State;
    std::unique_ptr<State> state_;
    bool stayOnCallerThread_ = false;
    uint32_t threads_ = 0;
};
