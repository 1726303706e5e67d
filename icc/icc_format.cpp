#include "icc/icc_format.h"

#include <memory>

#include "icc/icc_analyzer.h"

void AnalyzeIcc(const AnalysisRequest& request)
{
    std::make_unique<CIccAnalyzer>()->Analyze(request);
}
