// The ICC profile analyzer on its own: the input is the profile, laid out
// under the path line of a fresh detailed result.
#include <cstdio>

#include "core/analysis_run.h"
#include "formats/all_formats.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = fuzz_support::WriteInput(data, size);
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        return 0;
    AnalysisResult result;
    CAnalysisRun run(AnalysisOptions{.formats = AllFormats()}, AnalysisMode::Detailed, result);
    AnalysisRequest request;
    request.run = &run;
    request.fp = fp;
    request.path = path.c_str();
    request.mode = AnalysisMode::Detailed;
    request.parent = result.lines.Append(path, kTopLevel);
    RunAnalyzer(kFormatIcc, request);
    std::fclose(fp);
    return 0;
}
