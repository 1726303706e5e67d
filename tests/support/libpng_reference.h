#pragma once
// libpng's decode of a PNG file, the reference the PNG decoder and analyzer
// are compared with: expanded, 16-bit samples stripped to 8, grey made RGB
// and an opaque alpha added where there is none.
#include <cstdint>
#include <vector>

namespace libpng_reference {

struct Picture {
    bool complete = false;  // read to the last row without an error
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rows = 0;      // rows read before an error (pictures without interlacing)
    std::vector<uint8_t> rgba;   // straight 8-bit RGBA, top-down
    bool hasBackground = false;
    uint8_t background[3] = {};   // bKGD as 8 bits
};

Picture Decode(const std::vector<uint8_t>& file);

}  // namespace libpng_reference
