#include "png/png_chunk.h"

namespace {

bool Letter(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string PngChunk::Name() const
{
    std::string name(4, '?');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<uint8_t>(type >> (24 - 8 * i));
        if (Letter(c))
            name[i] = static_cast<char>(c);
    }
    return name;
}

bool PngChunk::NameValid() const
{
    for (int i = 0; i < 4; ++i)
        if (!Letter(static_cast<uint8_t>(type >> (24 - 8 * i))))
            return false;
    return true;
}

bool PngChunk::Is(const char* name) const
{
    const uint32_t t = uint32_t{static_cast<uint8_t>(name[0])} << 24 | uint32_t{static_cast<uint8_t>(name[1])} << 16 |
                       uint32_t{static_cast<uint8_t>(name[2])} << 8 | static_cast<uint8_t>(name[3]);
    return type == t;
}
