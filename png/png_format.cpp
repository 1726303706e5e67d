#include "png/png_format.h"

#include <cstring>
#include <memory>

#include "png/png_analyzer.h"

// PNG Third Edition 5.2: the signature, 89 "PNG" CR LF SUB LF. The bytes
// catch transfers that strip the high bit or translate line ends.
bool IsPngFile(const uint8_t* head, size_t n)
{
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return n >= sizeof kSignature && std::memcmp(head, kSignature, sizeof kSignature) == 0;
}

// The analyzer holds the chunk records of the whole file; each run gets its
// own on the heap.
void AnalyzePng(const AnalysisRequest& request)
{
    std::make_unique<CPngAnalyzer>()->Analyze(request);
}
