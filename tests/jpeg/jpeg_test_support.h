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
    size_t images = 0;    // image windows made by the detailed analysis
};

Analysis Analyse(const testing_support::Bytes& bytes);

// The text after the first line.
std::string WithoutFirstLine(const std::string& text);

}  // namespace jpeg_test
