#pragma once
// ICC colour profiles (ICC.1), only ever met embedded in another file: a TIFF
// tag's value, or the APP2 segments of a JPEG file.
#include "core/format_table.h"

void AnalyzeIcc(const AnalysisRequest& request);

inline constexpr FormatHandler kIccFormat{
    .code = kFormatIcc,
    .analyze = AnalyzeIcc,
    .roughOpenError = "SA00000007",
    .detailedOpenError = "SA00000007",
    .byteOrder = ByteOrder::Big,
};
