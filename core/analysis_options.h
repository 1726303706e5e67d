#pragma once
// The knobs of an analysis, given to it rather than kept anywhere in the
// process: two analyses with different options may run side by side.
#include <cstdint>

#include "core/format_table.h"

struct AnalysisOptions {
    // The formats detection tries and nested analyses go through.
    FormatTable formats;
    // Threads one picture's decoding may use: 0 as many as the machine has
    // processors (at most CDecodeThreads::kMaxThreads), 1 the analysing
    // thread alone. The pixels and the lines are the same for every count.
    uint32_t decodeThreads = 0;
    // Whether a file of no known format gives a diagnostic; the files found
    // inside a folder are only counted.
    bool reportUnsupported = true;
};
