#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/dump_command.h"
#include "core/tree_ranges.h"

namespace testing_support {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const
{
    const std::string path = path_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const
{
    return Write(name, Bytes(bytes.begin(), bytes.end()));
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

AnalysisOptions AllFormatOptions(uint32_t decodeThreads)
{
    return AnalysisOptions{.formats = AllFormats(), .decodeThreads = decodeThreads};
}

StandaloneRun::StandaloneRun(AnalysisMode mode, const char* pathLine, uint32_t decodeThreads)
    : run(AllFormatOptions(decodeThreads), mode, result)
{
    if (mode == AnalysisMode::Detailed && pathLine)
        result.lines.Append(pathLine, kTopLevel);
}

std::string Headless::BarText()
{
    return TreeText(app.Tree());
}

std::string Headless::DetailText(const std::string& path)
{
    const AnalysisResult* result = app.Detailed(path);
    return result ? TreeText(result->lines) : std::string();
}

std::string Headless::LastDiagnostic() const
{
    return app.Diagnostics().empty() ? std::string() : app.Diagnostics().back().text;
}

std::string AnomalyList(const AnalysisResult& result)
{
    std::string list;
    for (const Anomaly& anomaly : result.anomalies) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "%08llx ", static_cast<unsigned long long>(anomaly.offset));
        list += offset + std::string(AnomalySeverityText(anomaly.severity)) + " " + anomaly.kind + "\n";
    }
    return list;
}

DumpResult Dump(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    DumpResult result;
    result.status = RunDump(args, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

void ExpectGolden(const std::string& name, const std::string& text)
{
    const std::string path = std::string(VANTREL_TEST_DATA) + "/" + name;
    if (std::getenv("VANTREL_UPDATE_GOLDEN")) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    EXPECT_EQ(ReadText(path), text) << "golden file " << path;
}

}  // namespace testing_support
