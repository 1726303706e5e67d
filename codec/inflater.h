#pragma once
// Decodes one zlib stream (RFC 1950 framing around RFC 1951 deflate data)
// read from an open file, handing the inflated bytes to a sink: a file (the
// SWF side file), the sample placement of Deflate-coded TIFF strips, or any
// IInflateSink of the caller's.
//
// Stored, fixed-Huffman and dynamic-Huffman blocks are decoded; a block
// whose Huffman codes zlib refuses (over-subscribed, or incomplete beyond
// the single one-bit code it allows) is malformed here too. A malformed
// or truncated stream ends quietly: everything decoded before the fault has
// been handed on, and the result says why the stream ended. Nothing in the
// input can make the decoder loop without consuming input or write past its
// buffers.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "codec/deflate_bit_reader.h"
#include "codec/inflate_sink.h"

enum class InflateStatus {
    Complete,     // the final block and the Adler-32 trailer were read
    Truncated,    // the input ended inside the stream
    Malformed,    // a field or code no valid stream contains
    OutputLimit,  // the output reached the caller's limit
    SinkStopped,  // the sink refused more bytes
};

struct InflateResult {
    InflateStatus status = InflateStatus::Truncated;
    uint64_t bytesOut = 0;       // bytes handed to the sink
    uint32_t cmf = 0;
    uint32_t flg = 0;
    uint32_t dictionaryId = 0;   // present when FLG has FDICT (0x20)
    uint32_t windowSize = 0;     // 1 << (CINFO + 8)
    uint32_t blocks = 0;         // block headers read
    uint32_t adlerStored = 0;    // the trailer, when it was read
    uint32_t adlerComputed = 1;  // Adler-32 of the bytes handed on
    bool incompleteCode = false; // Malformed: a block's Huffman code set was incomplete
};

class CInflater {
public:
    CInflater();
    ~CInflater();
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;

    // Writes at most maxBytes inflated bytes to output.
    InflateResult InflateToFile(FILE* input, FILE* output, uint64_t maxBytes = UINT64_MAX);
    // Hands at most maxBytes inflated bytes to sink, reading at most
    // maxInputBytes bytes of input (more counts as a cut-short stream).
    InflateResult InflateToSink(FILE* input, IInflateSink& sink, uint64_t maxBytes = UINT64_MAX,
                                uint64_t maxInputBytes = UINT64_MAX);

    struct Tables;

private:
    CDeflateBitReader reader_;
    std::unique_ptr<Tables> tables_;
    std::vector<uint8_t> buffer_;  // LZ77 history followed by fresh output
};
