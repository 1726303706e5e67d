#pragma once
// Fixtures for the fax decoder tests: strips written as bit strings, decoding
// them into a bitmap the way the TIFF image-data step does, and the decoded
// picture as rows of text.
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_buffer.h"
#include "codec/fax_decoder.h"

namespace fax_fixture {

using Bytes = std::vector<uint8_t>;

// Packs a string of '0' and '1' (other characters are ignored, so codes can
// be separated by spaces) into bytes, most significant bit first; the last
// byte is filled with padBit.
Bytes PackBits(const std::string& bits, int padBit = 0);

// Pixel memory filled with a byte that no decoder writes, so that pixels the
// decoder leaves alone can be told from white and black ones.
constexpr uint8_t kUntouched = 0x55;

struct Picture {
    CImageBuffer buffer;
    uint32_t width = 0;
    uint32_t height = 0;

    Picture(uint32_t width, uint32_t height);
    uint32_t Stride() const { return static_cast<uint32_t>(buffer.BitmapWidth()); }
    // Memory row just above picture row `topRow` (counted from 0 at the top).
    uint32_t BaseRow(uint32_t topRow) const { return static_cast<uint32_t>(buffer.BitmapHeight()) - topRow; }
    // Picture row y as text: '.' white, '#' black, '?' untouched, '!' any
    // other value (or the three bytes of a pixel differing).
    std::string Row(uint32_t y) const;
    std::vector<std::string> Rows() const;
    // True when no byte outside the picture was written.
    bool MarginUntouched() const;
};

// Writes the strip to a file, positions it at `offset` bytes of leading
// filler and decodes it as the picture's only strip (or the strip starting
// at picture row topRow). Returns the file position after decoding,
// relative to the strip's start.
long DecodeInto(Picture& picture, const Bytes& strip, uint32_t mode, uint32_t rows,
                uint32_t byteCount = CFaxDecoder::kUnknownByteCount, uint32_t topRow = 0);

// A picture of width x height decoded from one strip; returns its rows.
std::vector<std::string> DecodeRows(const Bytes& strip, uint32_t width, uint32_t height, uint32_t mode,
                                    uint32_t byteCount = CFaxDecoder::kUnknownByteCount);

}  // namespace fax_fixture
