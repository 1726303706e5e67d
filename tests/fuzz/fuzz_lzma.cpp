// The LZMA decoder on a raw stream: the first five bytes are the properties,
// the next three the expected size (at most 8 MiB; the top bit picks a 4 KiB
// window, which makes the window wrap and long matches reach past it), the
// rest is the stream. A whole ZWS file, as a seed from the corpus would be,
// is read as its SWF header lays it out: the properties at offset 12, the
// expected size FileLength - 8 (at most 16 MiB), the stream from offset 17,
// at most as long as the compressed length at offset 8.
#include <cstdio>

#include "codec/lzma_decoder.h"
#include "fuzz_support.h"

namespace {

uint32_t Le(const uint8_t* p, int n)
{
    uint32_t v = 0;
    for (int i = n; i-- > 0;)
        v = (v << 8) | p[i];
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* props;
    uint64_t outputSize;
    uint64_t maxInput = UINT64_MAX;
    bool narrowWindow = false;
    size_t offset;
    if (size >= 17 && data[0] == 'Z' && data[1] == 'W' && data[2] == 'S') {
        const uint32_t fileLength = Le(data + 4, 4);
        outputSize = fileLength >= 8 ? fileLength - 8 : 0;
        if (outputSize > (1u << 24))
            outputSize = 1u << 24;
        maxInput = Le(data + 8, 4);
        props = data + 12;
        offset = 17;
    } else if (size >= 8) {
        props = data;
        const uint32_t field = Le(data + 5, 3);
        outputSize = field & 0x7FFFFF;
        narrowWindow = (field & 0x800000) != 0;
        offset = 8;
    } else {
        return 0;
    }
    LzmaProperties properties;
    if (!CLzmaDecoder::ParseProperties(props, properties))
        return 0;
    const std::string& path = fuzz_support::WriteInput(data + offset, size - offset);
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return 0;
    // Kept from input to input, as a batch of files would reuse them: each
    // stream must decode alike whatever window the one before left behind.
    static CLzmaDecoder wide;
    static CLzmaDecoder narrow(4096);
    CLzmaDecoder& decoder = narrowWindow ? narrow : wide;
    const LzmaResult r = decoder.DecodeToFile(in, properties, nullptr, outputSize, maxInput);
    // The output stays within the expected size, and the file stands right
    // after the bytes the stream consumed.
    if (r.bytesOut > outputSize || r.bytesIn > size - offset || std::ftell(in) != static_cast<long>(r.bytesIn))
        __builtin_trap();
    std::fclose(in);
    return 0;
}
