#include "tiff/tiff_builder.h"

#include "tiff/tiff_analyzer.h"

namespace tiff_test {

namespace {

// A new document holding the lines a caller inserted before its analysis.
void InsertBefore(testing_support::Headless& h, const std::vector<std::pair<int, std::string>>& before)
{
    h.shell.NewDocument();
    ITreeControl* tree = h.shell.ActiveTree();
    std::vector<HTREEITEM> parents{TVI_ROOT};
    for (const auto& [depth, text] : before) {
        parents.resize(static_cast<size_t>(depth) + 1);
        parents.push_back(tree->InsertItem(text.c_str(), parents[static_cast<size_t>(depth)], TVI_LAST));
    }
}

}  // namespace

DirectRun RunDirectly(uint32_t format, const Bytes& file, long start, uint32_t level,
                      const std::vector<std::pair<int, std::string>>& before,
                      const std::function<void(AnalysisRequest&)>& adjust)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("test.tif", file);
    testing_support::Headless h;
    InsertBefore(h, before);
    FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, start, SEEK_SET);
    AnalysisRequest request{.app = &h.app, .fp = fp, .path = path.c_str(), .mode = AnalysisMode::Detailed,
                            .level = level};
    if (adjust)
        adjust(request);
    RunAnalyzer(format, request);
    std::fclose(fp);
    DirectRun run;
    run.tree = testing_support::TreeText(h.shell.ActiveDocument()->tree);
    for (const auto& window : h.shell.ActiveDocument()->images)
        run.labels.push_back(window->label);
    return run;
}

std::string AnalyseDirectly(const Bytes& file, long start, uint32_t level,
                            const std::vector<std::pair<int, std::string>>& before,
                            const std::function<void(CTiffAnalyzer&)>& inspect)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("test.tif", file);
    testing_support::Headless h;
    InsertBefore(h, before);
    FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, start, SEEK_SET);
    {
        CTiffAnalyzer analyzer;
        analyzer.Analyze(AnalysisRequest{.app = &h.app, .fp = fp, .path = path.c_str(), .mode = AnalysisMode::Detailed, .level = level});
        if (inspect)
            inspect(analyzer);
    }
    std::fclose(fp);
    return testing_support::TreeText(h.shell.ActiveDocument()->tree);
}

}  // namespace tiff_test
