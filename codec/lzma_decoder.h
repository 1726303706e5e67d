#pragma once
// Decodes a raw LZMA stream (the LZMA1 coding of the LZMA SDK, without the
// 13-byte .lzma header) read from an open file, handing the decoded bytes to
// a sink. This is how an LZMA-compressed SWF file ("ZWS") stores its body:
// the five property bytes sit in the SWF header, the range-coded data follows.
//
// The caller says how many bytes to expect. A stream ends at that size, at
// its end marker (a match of distance 0xFFFFFFFF, which writers may or may
// not put), at the end of the input, or at the first sign of damage. Like
// the inflater, the decoder ends quietly: everything decoded before the end
// has been handed on, and the result says why the stream ended. Nothing in
// the input can make it loop without consuming input or producing output,
// and every distance is checked against the bytes written before it is used.
//
// The window (the dictionary the matches copy from) holds the last
// min(dictionary size, expected size) bytes, at most maxWindowBytes (64 MiB
// unless the caller chose less). It grows with the output instead of being
// allocated at full size up front, so that a short file declaring a huge
// size costs only what it really decodes to. A stream whose dictionary is
// larger than the limit still decodes as long as its matches reach no
// further back than the limit; the first one that does ends it with
// WindowLimit.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "codec/inflate_sink.h"

struct LzmaProperties {
    uint32_t lc = 3;                   // literal context bits: high bits of the previous byte
    uint32_t lp = 0;                   // literal position bits: low bits of the output position
    uint32_t pb = 2;                   // position bits of the match and length models
    uint32_t dictionarySize = 1 << 16; // as declared, raised to at least 4 KiB
};

enum class LzmaStatus {
    Complete,     // the expected size was reached (an end marker right there is read too)
    EndMarker,    // the end marker came before the expected size
    Truncated,    // the input ended inside the stream
    Malformed,    // a distance beyond the bytes written or the dictionary, a bad range-coder start, ...
    SinkStopped,  // the sink refused more bytes
    InputLimit,   // the stream ran past the caller's input limit
    WindowLimit,  // a match reached further back than the window this decoder keeps
};

struct LzmaResult {
    LzmaStatus status = LzmaStatus::Truncated;
    uint64_t bytesOut = 0;    // bytes handed to the sink
    uint64_t bytesIn = 0;     // stream bytes consumed, the properties not counted
    bool endMarker = false;   // the stream ended with its end marker
    const char* reason = "";  // why the stream ended, for a result line; empty when Complete
};

class CLzmaDecoder {
public:
    // The largest window kept; see above.
    static constexpr size_t kMaxDictionaryBytes = size_t{64} << 20;
    // The LZMA SDK raises smaller dictionary sizes to this.
    static constexpr uint32_t kMinDictionarySize = 1u << 12;

    // maxWindowBytes lowers the window limit (at least 4 KiB, at most
    // kMaxDictionaryBytes). The buffers are kept for the next stream.
    explicit CLzmaDecoder(size_t maxWindowBytes = kMaxDictionaryBytes);
    ~CLzmaDecoder();
    CLzmaDecoder(const CLzmaDecoder&) = delete;
    CLzmaDecoder& operator=(const CLzmaDecoder&) = delete;

    // Reads the five property bytes: (pb * 5 + lp) * 9 + lc, then the
    // dictionary size as a little-endian UI32. Accepts what the LZMA SDK's
    // decoder accepts: any first byte below 9 * 5 * 5, so lc <= 8, lp <= 4,
    // pb <= 4 and lc + lp up to 12 (a literal model of 0x300 << 12
    // probabilities, 6 MiB). liblzma refuses lc + lp > 4, an LZMA2 rule that
    // LZMA1 does not have. False leaves out unchanged.
    static bool ParseProperties(const uint8_t props[5], LzmaProperties& out);

    // Hands at most outputSize decoded bytes to sink, reading at most
    // maxInputBytes bytes of input (a stream that needs more ends with
    // InputLimit). An outputSize of UINT64_MAX means the size is unknown:
    // the stream then ends with its end marker. The sink's BeginBlock is
    // never called. On return input stands right after the last byte the
    // stream consumed.
    LzmaResult DecodeToSink(FILE* input, const LzmaProperties& props, IInflateSink& sink, uint64_t outputSize,
                            uint64_t maxInputBytes = UINT64_MAX);
    // The same, writing to output (a null output drops the bytes).
    LzmaResult DecodeToFile(FILE* input, const LzmaProperties& props, FILE* output, uint64_t outputSize,
                            uint64_t maxInputBytes = UINT64_MAX);

    struct Model;

private:
    size_t maxWindow_;
    std::vector<uint8_t> input_;          // the input block being read
    std::vector<uint8_t> window_;         // grows up to the stream's window size
    std::vector<uint16_t> literalProbs_;  // 0x300 << (lc + lp) probabilities
    std::unique_ptr<Model> model_;        // the other probabilities
};
