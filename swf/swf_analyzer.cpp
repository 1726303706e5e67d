#include "swf/swf_analyzer.h"

void CSwfAnalyzer::Analyze(FILE*, const char*, int32_t, uint32_t, uint32_t)
{
}
