#include "jpeg/jpeg_format.h"

#include <memory>

#include "jpeg/jpeg_analyzer.h"

// ITU-T T.81 B.1.1.3: the SOI marker.
bool IsJpegFile(const uint8_t* head, size_t n)
{
    return n >= 2 && head[0] == 0xFF && head[1] == 0xD8;
}

// The analyzer is a large object; each run gets its own on the heap.
void AnalyzeJpeg(const AnalysisRequest& request)
{
    std::make_unique<CJpegAnalyzer>()->Analyze(request);
}
