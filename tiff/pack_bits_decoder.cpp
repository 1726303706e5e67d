#include "tiff/pack_bits_decoder.h"

void CPackBitsDecoder::DecodeStrip(const uint8_t* data, size_t size, CSampleWriter& out)
{
    size_t pos = 0;
    while (pos < size) {
        const auto n = static_cast<int8_t>(data[pos++]);
        if (n >= 0) {
            for (int i = 0; i <= n && pos < size; ++i)
                if (!out.Put(data[pos++]))
                    return;
        } else if (n != -128) {
            if (pos >= size)
                return;
            const uint8_t b = data[pos++];
            for (int i = 0; i < 1 - n; ++i)
                if (!out.Put(b))
                    return;
        }
    }
}
