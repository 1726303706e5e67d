#pragma once
// The knobs of an analysis, given to it rather than kept anywhere in the
// process: two analyses with different options may run side by side.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/format_table.h"

struct ResultPicture;

// A part of a picture, in the picture's own pixels, and the reduction it is
// drawn at: every 2^shift-th pixel of every 2^shift-th row.
struct PictureRegion {
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t shift = 0;
};

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
    // A picture whose bitmap would take more than this many bytes is never
    // held whole: it is drawn reduced to a quarter of it at most
    // (ResultPicture::shift), and shells decode the part they show again.
    // Pictures no analyzer can reduce stay bounded by CImageBuffer::kMaxBytes.
    uint64_t pictureBudget = uint64_t{256} << 20;
    // With a region, wanted pictures that can be drawn in part are drawn
    // there alone, at its reduction: what a window shows of a reduced picture.
    bool hasRegion = false;
    PictureRegion region{};
};
