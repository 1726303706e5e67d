#include "core/stream_size.h"

uint64_t StreamSize(FILE* fp)
{
    const long here = std::ftell(fp);
    if (here < 0 || std::fseek(fp, 0, SEEK_END) != 0)
        return 0;
    const long end = std::ftell(fp);
    std::fseek(fp, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

uint64_t StreamPosition(FILE* fp)
{
    const long here = std::ftell(fp);
    return here < 0 ? 0 : static_cast<uint64_t>(here);
}
