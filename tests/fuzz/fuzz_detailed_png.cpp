// Rough and detailed analysis of PNG input: the signature, then the input
// as the file's chunks. An input that starts with the signature (a seed
// from the corpus) is analysed as it is.
#include <cstring>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> bytes;
    if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0)
        bytes.assign(kSignature, kSignature + sizeof kSignature);
    bytes.insert(bytes.end(), data, data + size);
    fuzz_support::Analyze(fuzz_support::WriteInput(bytes.data(), bytes.size()), true);
    return 0;
}
