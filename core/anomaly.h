#pragma once
// Something wrong with a file, found while it was analysed: a length that
// runs past the end, a loop in a chain of directories, a table nobody
// defined. An anomaly names its place in the file and, in a detailed
// analysis, the line it concerns, so that shells can flag that line, list
// the anomalies beside the tree and let scripts check files.
#include <cstdint>
#include <string>

#include "core/line_tree.h"

enum class AnomalySeverity : uint8_t {
    Error,     // the file breaks its format: readers fail or guess
    Warning,   // unusual, or against the letter of a standard writers differ on
};

struct Anomaly {
    uint64_t offset = 0;    // where in the file (or in the side file, by range)
    ByteRange range;        // the bytes concerned; may be empty
    std::string kind;       // a stable identifier such as "jpeg.segment-past-end"
    AnomalySeverity severity = AnomalySeverity::Error;
    std::string text;       // for the user, in Japanese
    LineId line = kNoLine;  // the line it concerns; kNoLine: the file as a whole
};

// "エラー" or "警告".
const char* AnomalySeverityText(AnomalySeverity severity);
