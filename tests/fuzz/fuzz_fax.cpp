// The fax decoder in both codings (T.4 one-dimensional and T.6). The first
// two input bytes pick the coding, the width and whether the strip's byte
// count is known.
#include <cstdio>
#include <vector>

#include "fuzz_support.h"
#include "codec/fax_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const std::string& path = fuzz_support::WriteInput(data + 2, size - 2);
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return 0;
    const uint32_t mode = (data[0] & 1) ? 6 : 4;
    const uint32_t width = 1 + ((data[0] >> 1) | (data[1] & 0x0F) << 7);
    const uint32_t stride = (width & ~15u) + 16;
    const uint32_t rows = 32;
    const uint32_t byteCount = (data[1] & 0x10) ? static_cast<uint32_t>(size - 2) : CFaxDecoder::kUnknownByteCount;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * 3 * (rows + 16));
    CFaxDecoder decoder;
    decoder.Decode(in, width, rows, stride, rows + 16, mode, pixels.data(), byteCount);
    std::fclose(in);
    return 0;
}
