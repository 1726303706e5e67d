#include "png/png_crc.h"

#include <array>

namespace {

// PNG Third Edition, Annex D: the remainders of each byte value under the
// reflected polynomial 0xEDB88320.
constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeTable();

}  // namespace

void CPngCrc::Update(const uint8_t* data, size_t n)
{
    uint32_t c = crc_;
    for (size_t i = 0; i < n; ++i)
        c = kCrcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    crc_ = c;
}
