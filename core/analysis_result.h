#pragma once
// What one analysis of one file found, as data: the shells render it, and
// nothing of it depends on any window. A rough analysis fills the entry
// lines and the row's summary; a detailed one the line tree and the
// pictures; both may give diagnostics. The analysis may run on a thread of
// its own: another thread may ask it to stop, and read how far it has come,
// while it runs; everything else is read once it has ended.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/anomaly.h"
#include "core/diagnostic.h"
#include "core/line_tree.h"
#include "image/image_buffer.h"

// One line of a rough analysis, for the entry list: its text as the entry
// keeps it, hashed as the list's pool hashes it, so that the thread that
// made the line did that work. The texts of a result's lines lie one after
// another in one string (AnalysisResult::RoughText): a line costs no
// allocation of its own.
struct RoughLine {
    uint32_t level = 0;
    uint32_t length = 0;
    size_t offset = 0;
    size_t hash = 0;
};

struct ResultPicture {
    std::string title;   // the file's name
    std::string label;   // which picture of the file it is; empty for its own
    int32_t width = 0;   // as the analyzer gave it: the picture's own size
    int32_t height = 0;
    CImageBuffer image;  // no pixels when the bitmap could not be made, or once freed
    bool drawn = false;  // whether the analysis had pixels for it
    bool done = false;   // its decoding has ended
    // A picture too large for the picture budget: its bitmap holds every
    // 2^shift-th pixel of every 2^shift-th row, and a shell decodes the part
    // it shows at a finer scale again (AnalysisOptions::region).
    uint32_t shift = 0;
};

enum class DecodeOutcome : uint8_t {
    Complete,       // every sample the picture holds was decoded
    EndedEarly,     // the data ended, or broke off, before the picture did
    NotSupported,   // a coding the decoders do not draw
    Cancelled,      // the analysis was asked to stop during the decode
};

// How one decode of a picture ended, and why when it did not complete.
struct DecodeRecord {
    std::string label;   // the picture's label, as its window has it
    DecodeOutcome outcome = DecodeOutcome::Complete;
    std::string reason;
};

// A structure embedded in the file that a nested analysis laid out (Exif
// data inside JPEG, JPEG data inside TIFF, an ICC profile inside TIFF).
struct EmbeddedStructure {
    uint32_t format = 0;
    uint32_t level = 0;          // the depth its lines begin at
    LineId parent = kNoLine;     // the line its lines hang under
    LineId linesBefore = 0;      // the lines the result held when it began
    LineId linesAfter = 0;       // and when it ended: its lines lie between
    uint64_t start = 0;          // its first byte in the file
    uint64_t end = UINT64_MAX;   // where the data it lies inside ends
    std::string pictureLabel;
};

struct AnalysisResult {
    // Detection: the format found, and whether the file could be read at all.
    uint32_t format = 0;
    bool unreadable = false;
    // Whether the analysis was run, and whether it could open the file.
    bool attempted = false;
    bool analysed = false;

    // Rough mode.
    std::vector<RoughLine> roughLines;
    std::string roughTexts;
    std::string_view RoughText(const RoughLine& line) const
    {
        return std::string_view(roughTexts).substr(line.offset, line.length);
    }
    // Appended to the row's result column, piece by piece.
    std::vector<std::string> summary;
    // Why there is no summary; empty when there is one.
    std::string summaryAbsence;
    // The row's format column when the analysis names the format itself
    // (a BigTIFF file); empty: the format table's name.
    std::string formatText;

    // Detailed mode: the path line first, then the analyzers' lines.
    CLineTree lines;
    std::vector<ResultPicture> pictures;
    std::vector<DecodeRecord> decodes;

    // Nested analyses, in the order they began.
    std::vector<EmbeddedStructure> structures;

    std::vector<Diagnostic> diagnostics;
    // What the analysis found wrong with the file, in the order it was met.
    std::vector<Anomaly> anomalies;
    // Anomalies beyond the limit of a run, counted but not kept.
    uint32_t anomaliesDropped = 0;

    // Asks the analysis to end soon: no further lines are taken, and
    // decoders stop at their next check. Any thread.
    void RequestCancel()
    {
        cancelRequested_.store(true, std::memory_order_relaxed);
        lines.Stop();
    }
    bool CancelRequested() const { return cancelRequested_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> cancelRequested_{false};
};
