#pragma once
// Reads the fixed fields of the JFIF header and of the Exif identifier as the
// marker walk's JPEG reader always has: a 0x00 byte after a 0xFF byte is
// dropped as stuffing, bytes past the end of the file read as 0xFF, and the
// fields may run past the segment's declared end into the bytes after it.
// Their lines, offsets and ranges stay those the analysis has always shown.
#include <cstddef>
#include <cstdint>
#include <span>

class CAppFieldReader {
public:
    // bytes: the file's bytes from the payload on, to the end of the file or
    // well past the fields; previous: the byte read before them (the length
    // field's low byte).
    CAppFieldReader(std::span<const uint8_t> bytes, uint32_t previous) : bytes_(bytes), previous_(previous) {}

    // The next count bytes (at most 4) as a big-endian value.
    uint32_t Read(size_t count);
    // How many bytes the reads took, past the end of the file not counted.
    size_t Position() const { return at_; }

private:
    uint32_t Byte();

    std::span<const uint8_t> bytes_;
    uint32_t previous_;
    size_t at_ = 0;
};
