#pragma once
// One analysis of one file, as the analyzers see it: where their output goes
// (an AnalysisResult), the format table through which they start nested
// analyses, and the limits that keep a hostile file from swamping either. A
// run touches nothing but its result, so runs of different files may go on
// side by side on different threads.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "core/analysis_options.h"
#include "core/analysis_result.h"
#include "core/format_table.h"

class CAnalysisRun {
public:
    // A file's rough analysis adds at most this many entries, and a detailed
    // analysis at most this many result lines; what lies beyond is not listed.
    // Each entry holds one line, and tree widgets slow down long
    // before memory runs out, so a hostile file cannot swamp either.
    static constexpr uint32_t kMaxEntriesPerFile = 65536;
    static constexpr uint32_t kMaxTreeItems = 262144;

    // Nested analyses (Exif data inside JPEG, JPEG data inside TIFF) may go
    // this deep, and one top-level analysis may start this many of them: a
    // file whose embedded structures contain each other again cannot make
    // the analysis branch without end.
    static constexpr uint32_t kMaxNestedDepth = 4;
    static constexpr uint32_t kMaxNestedAnalyses = 64;

    // A file keeps at most this many anomalies: a file broken everywhere
    // says so without its list outgrowing its lines.
    static constexpr uint32_t kMaxAnomalies = 1024;

    CAnalysisRun(const AnalysisOptions& options, AnalysisMode mode, AnalysisResult& result);
    CAnalysisRun(const CAnalysisRun&) = delete;
    CAnalysisRun& operator=(const CAnalysisRun&) = delete;

    // The row of format; null when the table has none.
    const FormatHandler* Format(uint32_t format) const;
    AnalysisMode Mode() const { return mode_; }
    // Threads one picture's decoding may use (AnalysisOptions::decodeThreads).
    uint32_t DecodeThreads() const { return options_.decodeThreads; }
    AnalysisResult& Result() { return result_; }

    // Rough mode: an entry line (beyond the limit, none), and a piece of the
    // row's summary.
    void AddEntry(uint32_t level, std::string_view text);
    void AppendSummary(std::string_view text);

    // Detailed mode: the result's lines; null in rough mode.
    CLineTree* Lines() { return mode_ == AnalysisMode::Detailed ? &result_.lines : nullptr; }

    // A picture of width x height pixels; returns its index. PreparePicture
    // gives the last picture its bitmap and returns the pixel memory, null
    // when the bitmap could not be made or the picture is not wanted
    // (AnalysisOptions::wantPicture). PictureDone says that the decoding of
    // picture index has ended, from any thread: the picture is handed on
    // (AnalysisOptions::takePicture) and, unless the result keeps pixels,
    // freed. Pictures the analyzers leave undone are done when the analysis
    // ends (FinishPictures).
    size_t AddPicture(const std::string& title, int32_t width, int32_t height, const std::string& label);
    // Whether anybody looks at the pixels drawn: the result keeps them, a
    // shell takes them as they are done or asks for a region of them, or a
    // picture-finish scope works on them (and may find what is wrong there).
    bool PixelsLookedAt() const
    {
        return options_.keepPixels || options_.takePicture || options_.hasRegion || finishes_ != nullptr;
    }
    // For an analyzer that decodes a picture nobody looks at into a small
    // working buffer of its own: gives the last picture the sizes of the
    // bitmap PreparePicture would make, without memory, and whether it
    // would have had pixels.
    bool DescribePicture(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight, int32_t marginHeight);
    uint8_t* PreparePicture(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight, int32_t marginHeight);
    void PictureDone(size_t index);
    void FinishPictures();
    void RecordDecode(const std::string& label, DecodeOutcome outcome, std::string reason = {});

    // For an analyzer that can draw a picture in part: which part of picture
    // index (width x height, the last added) its bitmap holds, and at which
    // reduction. The whole picture, reduced when its bitmap would exceed the
    // picture budget (and marked so in the result); a wanted picture that a
    // shell asked a region of, that region. A picture a picture-finish scope
    // completes is always the whole picture, unreduced.
    PictureRegion ViewOf(size_t index, uint32_t width, uint32_t height);
    // The reduction at which a picture of width x height fits the budget:
    // 0 when its bitmap takes at most budget bytes, else the least shift
    // whose bitmap takes at most a quarter of it.
    static uint32_t ReducedShift(uint64_t width, uint64_t height, uint64_t budget);

    // Held by a caller around a nested analysis whose pictures it completes
    // itself (an SWF tag keeps the alpha plane of its JPEG data outside the
    // JPEG stream): while it lives, PictureDone calls finish on each picture
    // added since it was made, before the picture is handed on, whether or
    // not it has pixels. Scopes nest, each on the pictures of its own life,
    // the innermost first; they end in the reverse order they began. finish
    // runs on the thread that calls PictureDone, with the pictures locked:
    // it may change the picture given, and must not call the run's picture
    // functions. A picture done after its scope has ended is handed on as it
    // is.
    class PictureFinish {
    public:
        PictureFinish(CAnalysisRun& run, std::function<void(ResultPicture&)> finish);
        ~PictureFinish();
        PictureFinish(const PictureFinish&) = delete;
        PictureFinish& operator=(const PictureFinish&) = delete;

    private:
        friend class CAnalysisRun;
        CAnalysisRun& run_;
        std::function<void(ResultPicture&)> finish_;
        size_t first_;             // the index of the first picture it finishes
        PictureFinish* outer_;     // the scope it began in, or null
    };

    // Records an anomaly (beyond the limit, counts it). line is the line it
    // concerns in a detailed analysis, kNoLine for the file as a whole.
    void ReportAnomaly(AnomalySeverity severity, std::string_view kind, const ByteRange& range,
                       std::string_view text, LineId line = kNoLine);

    bool CancelRequested() const { return result_.CancelRequested(); }

    // Held by an analyzer around a nested analysis; Allowed() says whether
    // the nested analysis may run. RunAnalyzer records each one it runs.
    class NestedScope {
    public:
        explicit NestedScope(CAnalysisRun& run);
        ~NestedScope();
        NestedScope(const NestedScope&) = delete;
        NestedScope& operator=(const NestedScope&) = delete;
        bool Allowed() const { return allowed_; }

    private:
        CAnalysisRun& run_;
        bool allowed_;
    };

    // Notes a nested analysis about to run in the result's structures, and
    // returns its index there; EndNested notes where its lines end.
    size_t RecordNested(uint32_t format, const AnalysisRequest& request);
    void EndNested(size_t index);

private:
    AnalysisOptions options_;
    AnalysisMode mode_;
    // Pictures are added on the analysing thread and finished on the threads
    // that decode them.
    std::mutex pictures_;
    PictureFinish* finishes_ = nullptr;   // the innermost scope, under pictures_
    AnalysisResult& result_;
    uint32_t nestedDepth_ = 0;
    uint32_t nestedAnalyses_ = 0;
};

// Runs the analyzer of format through the format table of request.run
// (nothing without one). A nested analysis passes its own request on with
// the fields it changes.
void RunAnalyzer(uint32_t format, const AnalysisRequest& request);

// The line under which a nested analysis of the given level begins by the
// rule the lines were once placed by: kTopLevel for level 0; otherwise the
// line reached from the first top-level line's next visible line by taking
// next siblings, or first children where there is no sibling.
LineId BaseParentLine(const CLineTree& lines, uint32_t level);
