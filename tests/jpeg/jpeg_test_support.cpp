#include "jpeg/jpeg_test_support.h"

#include "jpeg/jpeg_analyzer.h"

namespace jpeg_test {

std::string WithoutFirstLine(const std::string& text)
{
    const size_t newline = text.find('\n');
    return newline == std::string::npos ? std::string() : text.substr(newline + 1);
}

// The analyzer is called directly, as the dispatcher would call it, so that
// byte sequences that do not begin with SOI can be analysed too.
Analysis Analyse(const testing_support::Bytes& bytes)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("t.jpg", bytes);
    testing_support::Headless h;
    Analysis a;

    h.app.AddEntry(0, path.c_str());
    h.shell.InsertFileRow(path.c_str());
    if (FilePtr fp = OpenAnalysisFile(path.c_str())) {
        CJpegAnalyzer analyzer;
        analyzer.Analyze({&h.app, fp.get(), path.c_str(), AnalysisMode::Rough});
    }
    h.shell.RebuildTree(h.app.Entries().GetEntryListHead());
    a.rough = WithoutFirstLine(h.BarText());
    a.result = h.shell.Rows()[0].result;

    h.shell.NewDocument();
    h.shell.SetDocumentTitle(0, path);
    h.shell.ActiveTree()->InsertItem(path.c_str(), TVI_ROOT, TVI_LAST);
    if (FilePtr fp = OpenAnalysisFile(path.c_str())) {
        CJpegAnalyzer analyzer;
        analyzer.Analyze({&h.app, fp.get(), path.c_str(), AnalysisMode::Detailed});
    }
    a.detail = WithoutFirstLine(h.DetailText(path));
    a.images = h.shell.ActiveDocument()->images.size();
    return a;
}

}  // namespace jpeg_test

namespace jpeg_test {

std::unique_ptr<Detailed> RunDetailed(const testing_support::Bytes& bytes, const std::string& name)
{
    auto d = std::make_unique<Detailed>();
    d->path = d->dir.Write(name, bytes);
    d->h.app.OpenFiles({d->path});
    d->h.app.RunDetailedAnalysis(d->path.c_str());
    d->detail = WithoutFirstLine(d->h.DetailText(d->path));
    d->document = d->h.shell.FindDocument(d->path);
    return d;
}

}  // namespace jpeg_test
