#pragma once
// One chunk of a PNG file as the walk has read it (PNG Third Edition 5.3):
// a 4-byte length, a 4-byte type, the data and a CRC over type and data.
#include <cstdint>
#include <string>
#include <vector>

struct PngChunk {
    uint64_t at = 0;           // file offset of the length field
    uint32_t length = 0;       // the data's declared length
    uint32_t type = 0;         // the four type bytes, big-endian
    uint64_t available = 0;    // data bytes the file holds (length unless cut short)
    bool whole = false;        // the data and the CRC are all there
    uint32_t crcStored = 0;
    uint32_t crcComputed = 0;
    // The data, read when its layout needs it; empty for image data.
    std::vector<uint8_t> data;

    uint64_t DataAt() const { return at + 8; }
    uint64_t End() const { return at + 12 + uint64_t{length}; }
    // The type as text: its four letters, a byte that is no letter as '?'.
    std::string Name() const;
    // The type's letters are ASCII letters only.
    bool NameValid() const;
    bool Is(const char* name) const;
    // The property bits, bit 5 of each type byte (PNG Third Edition 5.4).
    bool Ancillary() const { return type >> 29 & 1; }
    bool Private() const { return type >> 21 & 1; }
    bool Reserved() const { return type >> 13 & 1; }
    bool SafeToCopy() const { return type >> 5 & 1; }
};
