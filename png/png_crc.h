#pragma once
// The CRC-32 of PNG chunks (PNG Third Edition, Annex D; the ISO 3309 and
// ITU-T V.42 polynomial), over the chunk type and data, fed in pieces.
#include <cstddef>
#include <cstdint>

class CPngCrc {
public:
    void Update(const uint8_t* data, size_t n);
    uint32_t Value() const { return crc_ ^ 0xFFFFFFFFu; }

private:
    uint32_t crc_ = 0xFFFFFFFFu;
};
