#pragma once
// JPEG files (ITU-T T.81) as the application knows them: found by their SOI
// marker, laid out and drawn by CJpegAnalyzer.
#include "core/format_table.h"

bool IsJpegFile(const uint8_t* head, size_t n);
void AnalyzeJpeg(const AnalysisRequest& request);

inline constexpr FormatHandler kJpegFormat{
    .code = kFormatJpeg,
    .name = "JPEG",
    .signatureBytes = 2,
    .detect = IsJpegFile,
    .analyze = AnalyzeJpeg,
    .roughOpenError = "SA00000003",
    .detailedOpenError = "SA00000005",
    .byteOrder = ByteOrder::Big,
    .filePatterns = "*.jpg *.jpeg *.jpe *.jfif",
    .pictures = "frames, thumbnails, MPF pictures",
};
