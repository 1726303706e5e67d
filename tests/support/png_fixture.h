#pragma once
// Fixtures for the PNG picture tests: a small chunk reader that gathers what
// the decoder needs from a file (IHDR, PLTE, tRNS, the image data and the
// APNG frames), decoding through CInflater and CPngDecoder the way the PNG
// analyzer does, writing PNG files from their chunks, and running the writers.
#include <cstdint>
#include <string>
#include <vector>

#include "codec/apng_composer.h"
#include "codec/inflater.h"
#include "codec/png_decoder.h"

namespace png_fixture {

using Bytes = std::vector<uint8_t>;

// One APNG frame: its fcTL and the zlib stream of its IDAT or fdAT chunks
// (fdAT without the sequence number).
struct Frame {
    ApngFrameControl control;
    Bytes zlib;
};

struct PngFile {
    bool ok = false;  // the signature and an IHDR were there
    PngImageHeader header;
    Bytes palette;
    Bytes trns;
    Bytes idat;                 // the IDAT chunks' data, concatenated
    std::vector<Frame> frames;  // APNG only, in file order
};

// Walks the chunks of a PNG file; stops at IEND or at a chunk that runs past
// the end.
PngFile ReadPng(const Bytes& file);

struct Decoded {
    uint32_t width = 0;
    uint32_t height = 0;
    Bytes rgba;                  // width x height, rows the decoder did not hand on stay zero
    std::vector<bool> rowSeen;   // which rows the callback saw
    PngDecodeResult result;
    InflateResult inflate;
};

// Inflates zlib with CInflater (through a FILE*, as the analyzer's stream over
// the chunks) into a CPngDecoder.
Decoded DecodeZlib(const PngImageHeader& header, const Bytes& palette, const Bytes& trns, const Bytes& zlib);
// The file's picture: DecodeZlib of its chunks.
Decoded DecodeFile(const PngFile& png);
// Hands already inflated image data to the decoder in pieces of piece bytes.
Decoded DecodeRaw(const PngImageHeader& header, const Bytes& palette, const Bytes& trns, const Bytes& raw,
                  size_t piece);

// zlib (RFC 1950) around data, at the given level.
Bytes Deflate(const Bytes& data, int level = 6);
// A PNG file of the given chunks; an empty palette or trns leaves the chunk
// out. The IHDR's compression and filter methods are 0.
Bytes MakePng(const PngImageHeader& header, const Bytes& palette, const Bytes& trns, const Bytes& zlib);

// A pixel as "r,g,b,a", for messages.
std::string PixelText(const uint8_t* rgba);

// Runs a shell command quietly; false when it fails (or the tool is missing).
bool RunTool(const std::string& command);
// The Python with Pillow, or empty when there is none.
const std::string& PillowPython();

}  // namespace png_fixture
