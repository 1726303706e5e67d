// The inflater in both modes: file output (the SWF side file) and pixel
// output into a small bitmap. The first input byte picks the mode and the
// picture's width.
#include <cstdio>
#include <vector>

#include "fuzz_support.h"
#include "codec/inflater.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string& path = fuzz_support::WriteInput(data + 1, size - 1);
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return 0;
    CInflater inflater;
    if (data[0] & 1) {
        FILE* out = std::fopen("/dev/null", "wb");
        inflater.InflateToFile(in, out, 1u << 24);
        std::fclose(out);
    } else {
        const uint32_t width = 1 + (data[0] >> 1);
        const uint32_t stride = (width & ~15u) + 16;
        const uint32_t rows = 40;
        std::vector<uint8_t> pixels(static_cast<size_t>(stride) * 3 * 48);
        inflater.Inflate(0, in, nullptr, width, rows, stride, 48, pixels.data());
    }
    std::fclose(in);
    return 0;
}
