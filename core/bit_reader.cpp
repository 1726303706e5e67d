#include "core/bit_reader.h"

namespace {
inline uint32_t LowMask(uint32_t bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}
}

uint32_t CBitReader::ReadBits(FILE* fp, uint32_t n)
{
    if (n > 32)
        return 0;
    uint32_t result = 0;
    uint32_t remaining = n;
    while (remaining > 0) {
        if (bitsLeft < remaining) {
            // A shift by the full width would be undefined; bitsLeft is 8 at most.
            result = (bitsLeft ? (result << bitsLeft) : result) | (cache & LowMask(bitsLeft));
            remaining -= bitsLeft;
            cache = static_cast<uint32_t>(std::fgetc(fp));
            bitsLeft = 8;
        } else {
            result = (remaining >= 32 ? 0 : (result << remaining)) |
                     ((cache >> (bitsLeft - remaining)) & LowMask(remaining));
            bitsLeft -= remaining;
            remaining = 0;
        }
    }
    return result;
}

void CBitReader::Reset()
{
    cache = 0;
    bitsLeft = 0;
}
