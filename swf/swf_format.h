#pragma once
// SWF files, uncompressed ("FWS") or with a zlib ("CWS") or LZMA ("ZWS")
// compressed body, as
// the application knows them. CSwfAnalyzer inflates a compressed body into
// the side file beside the file and walks it there.
#include "core/format_table.h"

bool IsSwfFile(const uint8_t* head, size_t n);
void AnalyzeSwf(const AnalysisRequest& request);

inline constexpr FormatHandler kSwfFormat{
    .code = kFormatSwf,
    .name = "SWF",
    .signatureBytes = 3,
    .detect = IsSwfFile,
    .analyze = AnalyzeSwf,
    .roughOpenError = "SA00000007",
    .detailedOpenError = "SA00000007",
    .byteOrder = ByteOrder::Little,
    .filePatterns = "*.swf",
    // PNG data in a bitmap tag brings the inflated bytes of its chunks.
    .spaces = 1u << static_cast<unsigned>(ByteSpace::SideFile) | 1u << static_cast<unsigned>(ByteSpace::Inflated),
};
