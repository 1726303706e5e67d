#include "swf/swf_format.h"

#include <memory>

#include "swf/swf_analyzer.h"

// "FWS" (uncompressed), "CWS" (zlib-compressed body) or "ZWS" (LZMA).
bool IsSwfFile(const uint8_t* head, size_t n)
{
    return n >= 3 && (head[0] == 'F' || head[0] == 'C' || head[0] == 'Z') && head[1] == 'W' && head[2] == 'S';
}

void AnalyzeSwf(const AnalysisRequest& request)
{
    std::make_unique<CSwfAnalyzer>()->Analyze(request);
}
