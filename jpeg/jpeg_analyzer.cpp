#include "jpeg/jpeg_analyzer.h"

void CJpegAnalyzer::Analyze(FILE*, const char*, int32_t, uint32_t, uint32_t)
{
}
