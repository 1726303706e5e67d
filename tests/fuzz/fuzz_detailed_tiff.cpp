// Detailed analysis of TIFF input in either byte order, decoders included:
// the first input byte picks the order, the rest follows "II" or "MM".
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t order = (data[0] & 1) ? 'M' : 'I';
    std::vector<uint8_t> bytes{order, order};
    bytes.insert(bytes.end(), data + 1, data + size);
    fuzz_support::Analyze(fuzz_support::WriteInput(bytes.data(), bytes.size()), true);
    return 0;
}
