// Format detection plus rough analysis of any input.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_support::Analyze(fuzz_support::WriteInput(data, size), false);
    return 0;
}
