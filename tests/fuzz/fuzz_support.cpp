#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/analyze.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"

namespace fuzz_support {

const std::string& WriteInput(const uint8_t* data, size_t size, const char* suffix)
{
    static std::string dir;
    static std::string path;
    if (dir.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        dir = pattern;
    }
    path = dir + "/input" + suffix;
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        std::abort();
    if (size)
        std::fwrite(data, 1, size, fp);
    std::fclose(fp);
    return path;
}

void Analyze(const std::string& path, bool detailed)
{
    CHeadlessSession app(AnalysisOptions{.formats = AllFormats()});
    app.OpenFiles({path});
    if (detailed)
        app.AnalyseDetailed(path);
    // Only a fatal condition of the program itself ends the process; no file
    // content may, so the fuzzer counts it as a failure.
    if (app.ExitCode())
        std::abort();
}

}  // namespace fuzz_support
