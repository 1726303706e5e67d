#pragma once
// Runs the JPEG analyzer on bytes in both modes through a headless
// application.
#include <string>

#include "support/test_support.h"

namespace jpeg_test {

struct Analysis {
    std::string rough;    // the file's branch of the analysis-tree bar, without the path line
    std::string result;   // the result column of the file's row
    std::string detail;   // the detailed result tree, without the path line
    size_t images = 0;    // pictures of the detailed analysis
};

Analysis Analyse(const testing_support::Bytes& bytes);

// The text after the first line.
std::string WithoutFirstLine(const std::string& text);

}  // namespace jpeg_test

#include <memory>

#include "headless/headless_session.h"

namespace jpeg_test {

// A detailed analysis through a session, kept alive for inspection of its
// pictures.
struct Detailed {
    testing_support::TempDir dir;
    testing_support::Headless h;
    std::string path;
    std::string detail;
    const AnalysisResult* document = nullptr;

    const ResultPicture* Window(size_t i = 0) const
    {
        return document && i < document->pictures.size() ? &document->pictures[i] : nullptr;
    }
};

std::unique_ptr<Detailed> RunDetailed(const testing_support::Bytes& bytes, const std::string& name = "t.jpg");

struct Difference {
    double mean = 0;       // mean absolute difference over every channel value
    int max = 0;
    double bias[3] = {};   // mean signed difference of red, green, blue
};

// Decodes path in a detailed analysis and compares its first image window
// with libjpeg's decoding of the same bytes (four components as inks, see
// jpeg_fixture::Decode).
Difference CompareWithLibjpeg(const std::string& path, const testing_support::Bytes& file);

}  // namespace jpeg_test
