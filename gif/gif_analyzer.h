#pragma once
// Lays out a GIF file block by block (GIF89a): the header, the logical
// screen descriptor and its global colour table, then extensions and images
// up to the trailer. Rough mode lists one entry per block and sums the
// screen up in the row's summary; detailed mode lays out every field, with
// the extensions' bodies laid out by CGifExtensionLayout, and draws every
// frame as a viewer shows it. Bytes after the trailer get one line. The walk
// starts at the stream's position, the first byte of a file of its own or of
// GIF data another file holds (an SWF bitmap tag), and ends at the request's
// dataEnd; every offset it shows is the stream's.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/analysis_run.h"
#include "core/anomaly.h"
#include "core/format_table.h"
#include "core/line_tree.h"
#include "core/result_line.h"
#include "gif/gif_records.h"
#include "image/image_buffer.h"

class CGifExtensionLayout;
class CGifFrameSource;
struct GifFrameOutcome;

class CGifAnalyzer {
public:
    // The walk ends after this many blocks: a file of empty extensions
    // cannot keep it going for hundreds of millions of steps.
    static constexpr uint32_t kMaxBlocks = 1u << 20;
    // Frames drawn as pictures: at most this many, and their bitmaps take at
    // most this much memory together (as much as one picture may take).
    // Later frames are still decoded and checked, but not composed: the
    // composing, which may copy the whole screen for each frame, costs at
    // most a few times the bitmaps' bytes, however many tiny frames a small
    // file holds.
    static constexpr uint32_t kMaxPictures = 512;
    static constexpr uint64_t kMaxPictureBytes = CImageBuffer::kMaxBytes;
    // A colour table line shows this many of its entries below it.
    static constexpr uint32_t kShownEntries = 16;

    CGifAnalyzer();
    ~CGifAnalyzer();
    CGifAnalyzer(const CGifAnalyzer&) = delete;
    CGifAnalyzer& operator=(const CGifAnalyzer&) = delete;

    // Analyzer entry: rough mode adds entries and the summary; detailed mode
    // adds the lines to the run's result and draws the frames.
    void Analyze(const AnalysisRequest& request);

    // What the walk recorded of the images.
    const GifPictureRecord& Record() const { return record_; }

private:
    bool Detailed() const { return request_.Detailed(); }
    // A block's head: a rough entry, or a top-level line over [start, end).
    LineId Head(const std::string& text, uint64_t start, uint64_t end);
    LineId Line(LineId parent, const std::string& text, uint64_t start, uint64_t end);
    void Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end, const std::string& text,
                LineId line = kNoLine);
    // Reads n bytes at offset; how many there were.
    size_t ReadAt(uint64_t offset, uint8_t* to, size_t n);

    // The header, the screen and its global table; false when the walk
    // cannot go on after them.
    bool HeaderAndScreen();
    void ScreenFields(const uint8_t* d, LineId head);
    LineId ColourTable(const char* name, uint64_t at, uint32_t entries);
    // The blocks after the screen; each returns where the walk goes on, or
    // 0 when it ends there.
    uint64_t Image(uint64_t at);
    void DescriptorFields(uint64_t at, const uint8_t* d, LineId head);
    uint64_t ImageData(uint64_t at, GifFrameRecord& frame);
    uint64_t Extension(uint64_t at);
    void Walk();
    void End(uint64_t at, bool trailer);
    void Summary();

    // The frames: decoded one after the other, each composed frame drawn as
    // a picture.
    void DrawFrames();
    void CheckFrame(size_t k, const GifFrameOutcome& outcome);
    void RecordFrame(size_t k, const GifFrameOutcome& outcome);
    bool WritePicture(size_t k, const CGifFrameSource& source);
    std::string Label(size_t k) const;

    AnalysisRequest request_;
    CTreeWriter out_{nullptr};
    FILE* fp_ = nullptr;
    uint64_t start_ = 0;      // the header's offset
    uint64_t fileSize_ = 0;   // where the data ends
    std::unique_ptr<CGifExtensionLayout> extensions_;

    char version_[4] = {};
    uint32_t globalEntries_ = 0;   // 0: no global colour table
    uint64_t globalAt_ = 0;
    uint32_t blocks_ = 0;
    bool pastEnd_ = false;         // a block ran past the file's end
    GifPictureRecord record_;
    std::vector<LineId> dataLines_;   // each frame's image data line
    uint64_t pictureBytes_ = 0;
};
