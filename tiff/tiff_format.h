#pragma once
// TIFF and BigTIFF files (TIFF 6.0, BigTIFF) as the application knows them,
// and the TIFF-structured MP index of an MPF segment (CIPA DC-007), which is
// only ever met inside a JPEG file. CTiffAnalyzer lays out both.
#include "core/format_table.h"

bool IsTiffFile(const uint8_t* head, size_t n);
// TIFF 6.0 section 2: "II" for little-endian fields, "MM" for big-endian.
bool TiffByteOrder(const uint8_t* head, size_t n, ByteOrder& order);
void AnalyzeTiff(const AnalysisRequest& request);
void AnalyzeMpf(const AnalysisRequest& request);

inline constexpr FormatHandler kTiffFormat{
    .code = kFormatTiff,
    .name = "TIFF",
    .signatureBytes = 2,
    .detect = IsTiffFile,
    .analyze = AnalyzeTiff,
    .roughOpenError = "SA00000005",
    .detailedOpenError = "SA00000006",
    .byteOrder = ByteOrder::Big,
    .orderOfHead = TiffByteOrder,
    .filePatterns = "*.tif *.tiff",
    .pictures = "pages, reduced-resolution images, thumbnails",
};

inline constexpr FormatHandler kMpfFormat{
    .code = kFormatMpf,
    .analyze = AnalyzeMpf,
    .roughOpenError = "SA00000007",
    .detailedOpenError = "SA00000007",
    .byteOrder = ByteOrder::Big,
    .orderOfHead = TiffByteOrder,
};
