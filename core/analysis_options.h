#pragma once
// The knobs of an analysis, given to it rather than kept anywhere in the
// process: two analyses with different options may run side by side.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/format_table.h"

struct ResultPicture;

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

    // Pictures. Each is decoded once during the analysis, whatever these say,
    // so that its decode record, its anomalies and the lines are the same.
    // With keepPixels the result holds every picture's pixels; without, it
    // holds what describes them (their sizes, and whether they had pixels),
    // and each picture's memory is freed as soon as its decoding ends. What
    // a shell shows it decodes again when it is looked at.
    bool keepPixels = true;
    // Called for each picture as soon as its decoding ends, before its
    // pixels are freed, with its index in the result's pictures: on the
    // thread that decoded it, but for one analysis one call at a time.
    std::function<void(size_t index, ResultPicture& picture)> takePicture = nullptr;
    // Which pictures get pixel memory; null: every one. The others are
    // described and their data walked as ever, but nothing is drawn: for
    // decoding one picture of a file again.
    std::function<bool(size_t index)> wantPicture = nullptr;
};
