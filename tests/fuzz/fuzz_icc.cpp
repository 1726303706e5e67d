// The ICC profile analyzer on its own: the input is the profile, laid out
// under a path item of a fresh detailed-analysis tree.
#include <cstdio>

#include "core/analysis_app.h"
#include "formats/all_formats.h"
#include "headless/headless_shell.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = fuzz_support::WriteInput(data, size);
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        return 0;
    CHeadlessShell shell;
    CAnalysisApp app(shell, AllFormats());
    shell.NewDocument();
    const HTREEITEM parent = shell.ActiveTree()->InsertItem(path.c_str(), TVI_ROOT, TVI_LAST);
    RunAnalyzer(kFormatIcc, {&app, fp, nullptr, AnalysisMode::Detailed, 0, parent});
    std::fclose(fp);
    return 0;
}
