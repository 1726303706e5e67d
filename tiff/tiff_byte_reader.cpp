#include "tiff/tiff_byte_reader.h"

uint32_t CTiffByteReader::ReadBytes(FILE* fp, uint32_t n, uint32_t byteOrder)
{
    Reset();
    if (n > 4)
        return 0;
    uint32_t value = 0;
    if (byteOrder == kTiffLittleEndian) {
        for (uint32_t i = 0; i < n; ++i)
            value |= static_cast<uint32_t>(std::fgetc(fp)) << (8 * i);
    } else {
        for (uint32_t i = 0; i < n; ++i)
            value = (value << 8) | static_cast<uint32_t>(std::fgetc(fp));
    }
    return value;
}
