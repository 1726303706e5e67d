#include "tiff/tiff_analyzer.h"

void CTiffAnalyzer::Analyze(FILE*, const char*, int32_t, uint32_t, uint32_t)
{
}
