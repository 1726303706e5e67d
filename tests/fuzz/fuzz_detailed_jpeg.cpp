// Detailed analysis of JPEG input, decoder included. The input follows the
// SOI marker so that every run reaches the analyzer.
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes{0xFF, 0xD8};
    bytes.insert(bytes.end(), data, data + size);
    fuzz_support::Analyze(fuzz_support::WriteInput(bytes.data(), bytes.size()), true);
    return 0;
}
