#include "jpeg/jpeg_test_support.h"

#include <gtest/gtest.h>

#include "core/analysis_tree.h"
#include "core/result_text.h"
#include "jpeg/jpeg_analyzer.h"

#include <algorithm>
#include <cstdlib>

#include "support/libjpeg_fixture.h"

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

    testing_support::StandaloneRun rough(AnalysisMode::Rough);
    if (FilePtr fp = OpenAnalysisFile(path.c_str())) {
        CJpegAnalyzer analyzer;
        analyzer.Analyze({&rough.run, fp.get(), path.c_str(), AnalysisMode::Rough});
    }
    CAnalysisEntryList entries;
    entries.AddEntry(0, path.c_str());
    for (const RoughLine& line : rough.result.roughLines)
        entries.AddEntry(line.level, rough.result.RoughText(line), line.hash);
    CLineTree bar;
    Diagnostic fatal;
    RebuildAnalysisTree(bar, entries.GetEntryListHead(), fatal);
    a.rough = WithoutFirstLine(TreeText(bar));
    for (const std::string& piece : rough.result.summary)
        AppendWithinLimit(a.result, piece.c_str());

    testing_support::StandaloneRun detailed(AnalysisMode::Detailed, path.c_str());
    if (FilePtr fp = OpenAnalysisFile(path.c_str())) {
        CJpegAnalyzer analyzer;
        analyzer.Analyze({&detailed.run, fp.get(), path.c_str(), AnalysisMode::Detailed});
    }
    a.detail = WithoutFirstLine(testing_support::TreeText(detailed.Lines()));
    a.images = detailed.result.pictures.size();
    return a;
}

}  // namespace jpeg_test

namespace jpeg_test {

std::unique_ptr<Detailed> RunDetailed(const testing_support::Bytes& bytes, const std::string& name)
{
    auto d = std::make_unique<Detailed>();
    d->path = d->dir.Write(name, bytes);
    d->h.app.OpenFiles({d->path});
    d->document = &d->h.Detailed(d->path);
    d->detail = WithoutFirstLine(d->h.DetailText(d->path));
    return d;
}

// Decodes path in a detailed analysis and compares the image window of the
// file's own picture (not a thumbnail's: the unlabelled window of libjpeg's
// picture size) with libjpeg's decoding of the bytes of file.
Difference CompareWithLibjpeg(const std::string& path, const testing_support::Bytes& file)
{
    testing_support::Headless h;
    h.app.OpenFiles({path});
    const AnalysisResult* doc = &h.Detailed(path);
    Difference d;
    d.max = 1000;
    int width = 0, height = 0;
    const testing_support::Bytes reference = jpeg_fixture::Decode(file, &width, &height);
    const ResultPicture* window = nullptr;
    for (size_t i = 0; doc && i < doc->pictures.size() && !window; ++i)
        if (doc->pictures[i].label.empty() && doc->pictures[i].width == width && doc->pictures[i].height == height)
            window = &doc->pictures[i];
    if (!window || !window->image.Pixels()) {
        ADD_FAILURE() << "no decoded picture";
        return d;
    }
    const CImageBuffer& image = window->image;
    EXPECT_EQ(image.PictureWidth(), width);
    EXPECT_EQ(image.PictureHeight(), height);
    if (reference.empty() || image.PictureWidth() != width || image.PictureHeight() != height)
        return d;
    uint64_t sum = 0;
    int64_t signedSum[3] = {0, 0, 0};
    d.max = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* bgr = image.PixelAt(x, y);
            const uint8_t* rgb = &reference[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(int(bgr[2 - c]) - int(rgb[c]));
                sum += static_cast<uint64_t>(diff);
                signedSum[c] += int(bgr[2 - c]) - int(rgb[c]);
                d.max = std::max(d.max, diff);
            }
        }
    }
    d.mean = static_cast<double>(sum) / (double(width) * height * 3);
    for (int c = 0; c < 3; ++c)
        d.bias[c] = static_cast<double>(signedSum[c]) / (double(width) * height);
    return d;
}


}  // namespace jpeg_test
