#include "jpeg/jpeg_bit_reader.h"

JpegBits* CJpegBitReader::ReadBits(JpegBits* out, FILE* fp, uint32_t n)
{
    out->value = 0;
    out->stuffed = 0;
    if (n > 32)
        return out;
    uint32_t result = 0;
    uint32_t remaining = n;
    while (remaining > 0) {
        if (bitsLeft < remaining) {
            result = (bitsLeft ? (result << bitsLeft) : result) | (cache & ((1u << bitsLeft) - 1u));
            remaining -= bitsLeft;
            const uint32_t previous = cache;
            cache = static_cast<uint32_t>(std::fgetc(fp));
            if (previous == 0xFFu && cache == 0x00u) {
                cache = static_cast<uint32_t>(std::fgetc(fp));
                out->stuffed = 1;
            }
            bitsLeft = 8;
        } else {
            result = (remaining >= 32 ? 0 : (result << remaining)) |
                     ((cache >> (bitsLeft - remaining)) & (remaining >= 32 ? 0xFFFFFFFFu : (1u << remaining) - 1u));
            bitsLeft -= remaining;
            remaining = 0;
        }
    }
    out->value = result;
    return out;
}
