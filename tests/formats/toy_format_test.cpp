// A format defined here, outside the format folders, and registered as a
// plug-in would be: detection, both analyses, vantrel-dump's output, the
// command-line help and the Open dialog's filter all find it through its
// row, with no other file knowing of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "cli/dump_command.h"
#include "core/analysis_run.h"
#include "core/analyze.h"
#include "formats/all_formats.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;

constexpr uint32_t kFormatToy = 90;
constexpr uint32_t kFormatToyInner = 91;

bool IsToyFile(const uint8_t* head, size_t n)
{
    return n >= 7 && std::memcmp(head, "TOYFILE", 7) == 0;
}

// The toy's one structure lies in data that the file holds "compressed":
// here the bytes after the signature, reversed. It is laid out from a stream
// of the expanded bytes, so its offsets count in that data.
void AnalyzeToyInner(const AnalysisRequest& request)
{
    char head[2] = {};
    if (std::fread(head, 1, 2, request.fp) != 2)
        return;
    request.run->Lines()->Append(std::string("Inner ") + head[0] + head[1], request.parent, ByteRange{0, 2});
    request.run->ReportAnomaly(AnomalySeverity::Warning, "toy.inner", ByteRange{1, 2}, "inner anomaly");
}

void AnalyzeToy(const AnalysisRequest& request)
{
    CAnalysisRun& run = *request.run;
    if (!request.Detailed()) {
        run.AddEntry(request.level, "TOY signature");
        run.AppendSummary("[toy] ");
        return;
    }
    const LineId header = run.Lines()->Append("Toy signature", request.parent, ByteRange{0, 7});
    std::string rest(16, '\0');
    std::fseek(request.fp, 7, SEEK_SET);
    rest.resize(std::fread(rest.data(), 1, rest.size(), request.fp));
    std::string expanded(rest.rbegin(), rest.rend());
    FILE* inner = fmemopen(expanded.data(), expanded.size(), "rb");
    ASSERT_NE(inner, nullptr);
    AnalysisRequest nested = request;
    nested.fp = inner;
    nested.level = request.level + 1;
    nested.parent = header;
    nested.space = ByteSpace::Inflated;
    nested.unit = 3;
    CAnalysisRun::NestedScope scope(run);
    if (scope.Allowed())
        RunAnalyzer(kFormatToyInner, nested);
    std::fclose(inner);
}

constexpr FormatHandler kToyFormat = {
    .code = kFormatToy,
    .name = "TOY",
    .signatureBytes = 7,
    .detect = IsToyFile,
    .analyze = AnalyzeToy,
    .roughOpenError = "T-1",
    .detailedOpenError = "T-2",
    .filePatterns = "*.toy",
    .spaces = 1u << static_cast<unsigned>(ByteSpace::Inflated),
};

constexpr FormatHandler kToyInnerFormat = {
    .code = kFormatToyInner,
    .analyze = AnalyzeToyInner,
};

class ToyFormat : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        RegisterFormat(kToyFormat);
        RegisterFormat(kToyInnerFormat);
    }

    // vantrel-dump's output and status for args, run in this process so
    // that it sees the registered rows.
    static std::pair<int, std::string> Dump(std::vector<std::string> args)
    {
        std::ostringstream out, err;
        const int status = RunDump(args, out, err);
        return {status, out.str() + err.str()};
    }

    TempDir dir_;
};

TEST_F(ToyFormat, IsDetectedAndAnalysedThroughItsRow)
{
    const std::string path = dir_.Write("a.toy", "TOYFILEzyx");
    EXPECT_EQ(DetectedFormat(AllFormats(), reinterpret_cast<const uint8_t*>("TOYFILE"), 7)->code, kFormatToy);
    EXPECT_GE(DetectionBytes(AllFormats()), 7u);

    const auto [status, rows] = Dump({"--rows", path});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rows, path + "\tTOY\t[toy] \n");

    const auto [treeStatus, tree] = Dump({"--tree", path});
    EXPECT_EQ(treeStatus, 0);
    EXPECT_NE(tree.find("TOY signature"), std::string::npos) << tree;
}

TEST_F(ToyFormat, NestedLinesCountInTheDataTheyWereReadFrom)
{
    const std::string path = dir_.Write("b.toy", "TOYFILEzyx");
    const auto [status, detailed] = Dump({"-d", path});
    EXPECT_EQ(status, 0);
    EXPECT_NE(detailed.find("Toy signature\n"), std::string::npos) << detailed;
    EXPECT_NE(detailed.find("Inner xy\n"), std::string::npos) << detailed;

    const auto [jsonStatus, json] = Dump({"--json", "-d", path});
    EXPECT_EQ(jsonStatus, 0);
    EXPECT_NE(json.find(R"("text":"Toy signature","range":[0,7],"children")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("text":"Inner xy","range":[0,2],"in":"inflated","unit":3)"), std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("offset":1,"end":2,"in":"inflated","unit":3,"severity":"警告","kind":"toy.inner")"),
              std::string::npos)
        << json;

    // Bytes of the inflated data are not the file's: the file's own bytes
    // after the signature are a gap.
    const auto [gapStatus, gaps] = Dump({"--gaps", path});
    EXPECT_EQ(gapStatus, 0);
    EXPECT_NE(gaps.find("7 10 3\n"), std::string::npos) << gaps;
}

TEST_F(ToyFormat, IsOfferedWhereverFormatsAreNamed)
{
    const std::string filter = OpenDialogFilter(AllFormats());
    EXPECT_NE(filter.find("TOY"), std::string::npos) << filter;
    EXPECT_NE(filter.find("*.toy"), std::string::npos) << filter;
    EXPECT_NE(FormatNamesText(AllFormats()).find("TOY"), std::string::npos);

    const auto [status, help] = Dump({"--help"});
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("TOY"), std::string::npos) << help;

    // A nested-only row is never detected, named or offered.
    EXPECT_EQ(FileFormats(AllFormats()).back()->code, kFormatToy);
}

}  // namespace
