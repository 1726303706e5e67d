// Rough and detailed analysis of GIF input. Input that starts with a GIF
// signature (the seeds, which are whole files) is analysed as it is; any
// other input follows a signature whose version its first byte picks
// ("GIF87a" or "GIF89a").
#include <cstring>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
        fuzz_support::Analyze(fuzz_support::WriteInput(data, size), true);
        return 0;
    }
    const uint8_t version = (data[0] & 1) ? '9' : '7';
    std::vector<uint8_t> bytes{'G', 'I', 'F', '8', version, 'a'};
    bytes.insert(bytes.end(), data + 1, data + size);
    fuzz_support::Analyze(fuzz_support::WriteInput(bytes.data(), bytes.size()), true);
    return 0;
}
