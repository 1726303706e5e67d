#pragma once
// Helpers shared by the test programs: temporary files, the headless
// program's open files, and running vantrel-dump in-process.
#include <cstdint>
#include <string>
#include <vector>

#include "core/analysis_run.h"
#include "core/analyze.h"
#include "core/tree_ranges.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// A fresh directory under the system's temporary directory, removed with the
// object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Writes bytes to a file of that name in the directory; returns its path.
    std::string Write(const std::string& name, const Bytes& bytes) const;
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

Bytes ReadFile(const std::string& path);
std::string ReadText(const std::string& path);

// The options every format of the build is analysed with; decodeThreads as
// AnalysisOptions has it (0: one per processor).
AnalysisOptions AllFormatOptions(uint32_t decodeThreads = 0);

// The headless program's open files, ready to open more.
struct Headless {
    explicit Headless(uint32_t decodeThreads = 0) : app(AllFormatOptions(decodeThreads)) {}
    CHeadlessSession app;

    // The analysis tree as text: one item per line, two spaces per depth.
    std::string BarText();
    // The detailed analysis of path, run now and kept.
    const AnalysisResult& Detailed(const std::string& path) { return app.AnalyseDetailed(path); }
    // The lines of the detailed result of path, as text; empty when there
    // is none.
    std::string DetailText(const std::string& path);
    // The text of the last diagnostic given; empty when there is none.
    std::string LastDiagnostic() const;
};

// A tree as text: one line per line, two spaces per depth.
using ::TreeText;

// One analysis run outside the application, for tests that call an analyzer
// themselves: the result it writes, with the path line a detailed analysis
// starts from.
struct StandaloneRun {
    explicit StandaloneRun(AnalysisMode mode = AnalysisMode::Detailed, const char* pathLine = "/path",
                           uint32_t decodeThreads = 0);
    AnalysisResult result;
    CAnalysisRun run;
    CLineTree& Lines() { return result.lines; }
};

// The anomalies of a result, one per line: the offset in eight hex digits,
// the severity and the kind, separated by spaces.
std::string AnomalyList(const AnalysisResult& result);

struct DumpResult {
    int status = 0;
    std::string out;
    std::string err;
};
DumpResult Dump(const std::vector<std::string>& args);

// Compares text with the golden file tests/data/<name>; when the environment
// variable VANTREL_UPDATE_GOLDEN is set, rewrites the file instead.
void ExpectGolden(const std::string& name, const std::string& text);

}  // namespace testing_support
