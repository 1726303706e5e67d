#include "tiff/tiff_builder.h"

#include "tiff/tiff_analyzer.h"

namespace tiff_test {

namespace {

// The lines a caller inserted before its analysis; returns the line a
// nested analysis of that level hangs under.
LineId InsertBefore(CLineTree& tree, const std::vector<std::pair<int, std::string>>& before, uint32_t level)
{
    std::vector<LineId> parents{kTopLevel};
    for (const auto& [depth, text] : before) {
        parents.resize(static_cast<size_t>(depth) + 1);
        parents.push_back(tree.Append(text, parents[static_cast<size_t>(depth)]));
    }
    return BaseParentLine(tree, level);
}

}  // namespace

DirectRun RunDirectly(uint32_t format, const Bytes& file, long start, uint32_t level,
                      const std::vector<std::pair<int, std::string>>& before,
                      const std::function<void(AnalysisRequest&)>& adjust)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("test.tif", file);
    testing_support::StandaloneRun standalone(AnalysisMode::Detailed, nullptr);
    const LineId parent = InsertBefore(standalone.Lines(), before, level);
    FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, start, SEEK_SET);
    AnalysisRequest request{.run = &standalone.run, .fp = fp, .path = path.c_str(), .mode = AnalysisMode::Detailed,
                            .level = level, .parent = parent};
    if (adjust)
        adjust(request);
    RunAnalyzer(format, request);
    std::fclose(fp);
    DirectRun run;
    run.tree = testing_support::TreeText(standalone.Lines());
    for (const ResultPicture& picture : standalone.result.pictures)
        run.labels.push_back(picture.label);
    return run;
}

std::string AnalyseDirectly(const Bytes& file, long start, uint32_t level,
                            const std::vector<std::pair<int, std::string>>& before,
                            const std::function<void(CTiffAnalyzer&)>& inspect)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("test.tif", file);
    testing_support::StandaloneRun standalone(AnalysisMode::Detailed, nullptr);
    const LineId parent = InsertBefore(standalone.Lines(), before, level);
    FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, start, SEEK_SET);
    {
        CTiffAnalyzer analyzer;
        analyzer.Analyze(AnalysisRequest{.run = &standalone.run, .fp = fp, .path = path.c_str(),
                                         .mode = AnalysisMode::Detailed, .level = level, .parent = parent});
        if (inspect)
            inspect(analyzer);
    }
    std::fclose(fp);
    return testing_support::TreeText(standalone.Lines());
}

std::string FileAnomalies(const std::string& path)
{
    std::string list;
    const Bytes head = testing_support::ReadFile(path);
    const uint32_t format = head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8 ? kFormatJpeg : kFormatTiff;
    for (AnalysisMode mode : {AnalysisMode::Rough, AnalysisMode::Detailed}) {
        testing_support::StandaloneRun standalone(mode, path.c_str());
        FILE* fp = std::fopen(path.c_str(), "rb");
        RunAnalyzer(format, AnalysisRequest{.run = &standalone.run, .fp = fp, .path = path.c_str(), .mode = mode});
        std::fclose(fp);
        list += (mode == AnalysisMode::Rough ? "rough:\n" : "detailed:\n") +
                testing_support::AnomalyList(standalone.result);
    }
    return list;
}

}  // namespace tiff_test
