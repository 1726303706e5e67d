#include "tiff/tiff_format.h"

#include <memory>

#include "tiff/tiff_analyzer.h"

bool TiffByteOrder(const uint8_t* head, size_t n, ByteOrder& order)
{
    if (n < 2 || head[0] != head[1] || (head[0] != 'I' && head[0] != 'M'))
        return false;
    order = head[0] == 'I' ? ByteOrder::Little : ByteOrder::Big;
    return true;
}

bool IsTiffFile(const uint8_t* head, size_t n)
{
    ByteOrder order;
    return TiffByteOrder(head, n, order);
}

// The analyzer is a large object; each run gets its own on the heap.
void AnalyzeTiff(const AnalysisRequest& request)
{
    std::make_unique<CTiffAnalyzer>()->Analyze(request);
}

// The MP index of an MPF segment is TIFF-structured; the TIFF analyzer lays
// it out with the MPF dictionary.
void AnalyzeMpf(const AnalysisRequest& request)
{
    std::make_unique<CTiffAnalyzer>()->AnalyzeMpf(request);
}
