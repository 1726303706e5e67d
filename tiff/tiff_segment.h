#pragma once
#include <cstdint>

// One strip or tile of a TIFF image: where its data lies and which pixels it
// covers (columns x rows from (x, y); tiles on the edges reach past the
// picture), and for planar images its sample.
struct TiffSegment {
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint32_t plane = 0;
    uint32_t index = 0;   // its place among the offsets (and byte counts)
    bool sized = false;   // size comes from a byte count, not the file's end
};
