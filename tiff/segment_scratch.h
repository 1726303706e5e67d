#pragma once
// A bitmap of its own for one strip or tile whose decoder cannot write into
// the picture in place, copied into the picture afterwards.
#include <cstdint>
#include <vector>

#include "image/sample_writer.h"

class CSegmentScratch {
public:
    // Scratch bitmaps hold at most this many pixels.
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 24;

    std::vector<uint8_t> pixels;   // 24-bit, bottom-up, padded
    uint32_t width = 0;            // bitmap size in pixels
    uint32_t height = 0;

    // A black bitmap for columns x rows pixels; false when it would be
    // empty or larger than kMaxPixels.
    bool Make(uint64_t columns, uint64_t rows);
    // Copies the top left columns x rows pixels to (x, y) of the picture,
    // cut at its edges; for a view of the picture, those the view holds.
    void CopyTo(const CSampleWriter::Picture& picture, uint32_t x, uint32_t y, uint32_t columns,
                uint32_t rows) const;
    // Whether columns x rows pixels at (x, y) hold any the picture shows:
    // false only for a view they miss.
    static bool MeetsView(const CSampleWriter::Picture& picture, uint64_t x, uint64_t y, uint64_t columns,
                          uint64_t rows);
};
