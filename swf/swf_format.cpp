#include "swf/swf_format.h"

#include <memory>

#include "swf/swf_analyzer.h"

// "FWS" (uncompressed) or "CWS" (zlib-compressed body).
bool IsSwfFile(const uint8_t* head, size_t n)
{
    return n >= 3 && (head[0] == 'F' || head[0] == 'C') && head[1] == 'W' && head[2] == 'S';
}

void AnalyzeSwf(const AnalysisRequest& request)
{
    std::make_unique<CSwfAnalyzer>()->Analyze(request);
}
