#pragma once
// Shared by the PNG analyzer tests: files built chunk by chunk, libpng and
// Pillow as the reference decoders, the compositing the analyzer applies, and
// the detailed analysis of a file with its pictures read back as RGB.
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace png_test {

using Bytes = std::vector<uint8_t>;

// ---- Files built from chunks ----
struct Chunk {
    std::string type;
    Bytes data;
};
Bytes Be32(uint32_t v);
Bytes Be16(uint32_t v);
Bytes Join(std::initializer_list<Bytes> parts);
Bytes Text(const std::string& s);
// A chunk with its length and CRC (zlib's crc32 as the reference).
Bytes ChunkBytes(const Chunk& chunk);
// The signature and the chunks.
Bytes PngFile(const std::vector<Chunk>& chunks);
// zlib (RFC 1950) around data.
Bytes Deflate(const Bytes& data);
// IHDR data.
Bytes Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType, uint8_t interlace = 0);
// The image data of an 8-bit RGB picture whose pixel (x, y) is
// (x * 40, y * 40, x * y * 16), each row with filter type 0.
Bytes RgbRows(uint32_t width, uint32_t height);

// ---- Reference pictures ----
struct Rgba {
    bool complete = false;
    uint32_t width = 0;
    uint32_t height = 0;
    Bytes pixels;          // straight 8-bit RGBA, top-down
    bool hasBackground = false;
    uint8_t background[3] = {};   // bKGD as 8 bits, from libpng's fields
};
// libpng with png_set_expand, png_set_strip_16, png_set_gray_to_rgb and an
// opaque filler.
Rgba Libpng(const Bytes& file);
// What the analyzer shows of an RGBA picture: composited over the colour, or
// over the 8 x 8 checkerboard of 0xFF and 0xCC, white first.
Bytes Composite(const Rgba& picture, const uint8_t* background);

// ---- The analyzer's result ----
struct Analysis {
    std::string text;                // the detailed lines
    std::string anomalies;           // AnomalyList
    std::vector<std::string> labels; // the pictures' labels
    std::vector<Bytes> pictures;     // each as top-down RGB of its own size
    std::vector<std::string> decodes;   // "label: outcome reason"
    std::string gaps;                // the file's bytes no line covers, "start-end " each
};
Analysis Analyse(const std::string& path);

// "" when equal, else the first differing pixel.
std::string Difference(const Bytes& ours, const Bytes& theirs, uint32_t width);

// ---- Writers ----
bool RunTool(const std::string& command);
const std::string& PillowPython();
bool HasTool(const char* path);

}  // namespace png_test
