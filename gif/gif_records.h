#pragma once
// What a GIF's analysis records of its images, enough to decode any frame
// again later without walking the blocks: where each image's colour table and
// data sub-blocks lie, and the graphic control fields that decide how it is
// composed.
#include <cstdint>
#include <vector>

struct GifFrameRecord {
    uint64_t descriptorAt = 0;   // the image separator (0x2C)
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    bool interlaced = false;
    // The colour table the image is drawn with: its local one, or the
    // global one; 0 entries for none. The bytes are all in the file.
    uint64_t paletteAt = 0;
    uint32_t paletteEntries = 0;
    uint8_t minCodeSize = 0;
    // The first sub-block's length byte, and where the sub-blocks end (after
    // their terminator, or at the file's end).
    uint64_t dataAt = 0;
    uint64_t dataEnd = 0;
    // From the graphic control extension before the image, if any.
    int transparentIndex = -1;   // -1: none
    uint8_t disposal = 0;
};

struct GifPictureRecord {
    uint16_t screenWidth = 0;
    uint16_t screenHeight = 0;
    std::vector<GifFrameRecord> frames;
};
