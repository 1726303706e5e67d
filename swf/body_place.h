#pragma once
// Where the bytes of the SWF lines being written lie: in the analysed file,
// in its side file, or in a body held only in memory (no range at all).
#include <algorithm>
#include <cstdint>

#include "core/line_tree.h"

enum class BodyPlace { File, SideFile, Memory };

// The bytes [start, start + length) as far as they lie inside a stream of
// size bytes, in place's space.
inline ByteRange PlaceBytes(uint64_t start, uint64_t length, uint64_t size, BodyPlace place = BodyPlace::File)
{
    if (place == BodyPlace::Memory)
        return {};
    const uint64_t end = length > size - std::min(size, start) ? size : start + length;
    return {start, std::max(start, end), place == BodyPlace::SideFile ? ByteSpace::SideFile : ByteSpace::File};
}
