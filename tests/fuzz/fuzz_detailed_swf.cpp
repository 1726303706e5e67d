// Rough and detailed analysis of SWF input, compressed or not: the first
// input byte picks the signature (low two bits 2: "ZWS"; otherwise odd
// "CWS", even "FWS"), the rest follows it.
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t first = (data[0] & 3) == 2 ? 'Z' : (data[0] & 1) ? 'C' : 'F';
    std::vector<uint8_t> bytes{first, 'W', 'S'};
    bytes.insert(bytes.end(), data + 1, data + size);
    fuzz_support::Analyze(fuzz_support::WriteInput(bytes.data(), bytes.size()), true);
    return 0;
}
