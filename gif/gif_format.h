#pragma once
// GIF files (GIF87a and GIF89a) as the application knows them: found by
// their six-byte header, laid out block by block and drawn frame by frame
// by CGifAnalyzer.
#include "core/format_table.h"

bool IsGifFile(const uint8_t* head, size_t n);
void AnalyzeGif(const AnalysisRequest& request);

inline constexpr FormatHandler kGifFormat{
    .code = kFormatGif,
    .name = "GIF",
    .signatureBytes = 6,
    .detect = IsGifFile,
    .analyze = AnalyzeGif,
    .roughOpenError = "SA00000010",
    .detailedOpenError = "SA00000011",
    .byteOrder = ByteOrder::Little,
    .filePatterns = "*.gif",
    .pictures = "frames",
};
