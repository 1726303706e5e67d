#include "codec/pack_bits_decoder.h"

#include <algorithm>
#include <cstring>

void CPackBitsDecoder::DecodeStrip(const uint8_t* data, size_t size, CSampleWriter& out)
{
    size_t pos = 0;
    while (pos < size) {
        const auto n = static_cast<int8_t>(data[pos++]);
        if (n >= 0) {
            const size_t literal = std::min<size_t>(size_t(n) + 1, size - pos);
            if (!out.PutRun(data + pos, literal))
                return;
            pos += literal;
        } else if (n != -128) {
            if (pos >= size)
                return;
            uint8_t run[128];
            std::memset(run, data[pos++], sizeof run);
            if (!out.PutRun(run, size_t(1 - n)))
                return;
        }
    }
}
