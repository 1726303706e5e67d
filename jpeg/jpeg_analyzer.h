#pragma once
#include <cstdint>
#include <cstdio>

class CJpegAnalyzer {
public:
    // Analyzer entry: rough mode (detailed 0) adds entries and the summary;
    // detailed mode (1) writes the result tree of the active view.
    void Analyze(FILE* fp, const char* path, int32_t entryId, uint32_t detailed, uint32_t level);
};
