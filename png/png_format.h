#pragma once
// PNG files (PNG Third Edition), animated ones (APNG) included, as the
// application knows them: found by their 8-byte signature, laid out chunk by
// chunk and drawn by CPngAnalyzer.
#include "core/format_table.h"

bool IsPngFile(const uint8_t* head, size_t n);
void AnalyzePng(const AnalysisRequest& request);

inline constexpr FormatHandler kPngFormat{
    .code = kFormatPng,
    .name = "PNG",
    .signatureBytes = 8,
    .detect = IsPngFile,
    .analyze = AnalyzePng,
    .roughOpenError = "SA00000008",
    .detailedOpenError = "SA00000009",
    .byteOrder = ByteOrder::Big,
    .filePatterns = "*.png *.apng",
    // iCCP profiles and compressed texts are laid out in their inflated
    // bytes.
    .spaces = 1u << static_cast<unsigned>(ByteSpace::Inflated),
    .pictures = "pictures and APNG frames",
};
