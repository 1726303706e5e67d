#pragma once
// PNG files: the signature, then the chunks up to IEND (PNG Third Edition
// 5.2 and 5.3). Rough mode lists each chunk with its offset, type and length
// and sums the picture up; detailed mode lays out every chunk's length, type
// (with its property bits), data and CRC, checks the chunk order, lays out
// the structures chunks carry and draws the pictures: the file's own and,
// for an animated file, each frame as a viewer shows it.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/analysis_run.h"
#include "core/result_line.h"
#include "png/png_chunk.h"
#include "png/png_chunk_order.h"
#include "png/png_embedded.h"
#include "png/png_picture_decoder.h"

class CPngAnalyzer {
public:
    // The walk ends after this many chunks; what follows gets one line.
    static constexpr uint32_t kMaxChunks = 65536;
    // A chunk's length may not exceed 2^31 - 1 (PNG Third Edition 5.3).
    static constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
    // Chunk data read into memory to be laid out is at most this long;
    // longer data gets one line.
    static constexpr uint64_t kMaxHeldBytes = uint64_t{64} << 20;

    CPngAnalyzer();
    ~CPngAnalyzer();

    void Analyze(const AnalysisRequest& request);

private:
    bool Detailed() const { return request_.Detailed(); }
    // Reads the chunk whose length field is at at: false when its 8-byte
    // header does not fit in the file.
    bool ReadChunk(uint64_t at, PngChunk& chunk);
    // Reads the data (keeping what the layout needs) and computes the CRC.
    void ReadData(PngChunk& chunk);
    void Walk();
    void Signature();
    // The chunk's lines (detailed) or entry (rough).
    void Take(const PngChunk& chunk);
    LineId ChunkLines(const PngChunk& chunk);
    void TypeLines(const PngChunk& chunk, LineId head);
    void CheckChunk(const PngChunk& chunk, LineId head, bool fieldsFit);
    void Record(const PngChunk& chunk, LineId head);
    void RecordBackground(const PngChunk& chunk);
    void CheckFrame(const PngChunk& chunk, const ApngFrameControl& control, LineId head);
    // What lies after the walk: data after IEND, a chunk header cut short,
    // or chunks beyond the limit.
    void Tail(uint64_t at, bool headerCut);
    void Summary();
    void DrawPictures();
    // A picture whose data ended before its last row, ran on after it or
    // held a filter type above 4.
    void DataProblem(size_t picture, const PngPictureOutcome& outcome);
    void Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end, const std::string& text,
                LineId line);

    AnalysisRequest request_;
    FILE* fp_ = nullptr;
    uint64_t start_ = 0;
    uint64_t fileSize_ = 0;
    CTreeWriter out_{nullptr};
    PngPictureRecord record_;
    std::unique_ptr<CPngChunkOrder> order_;
    std::unique_ptr<CPngEmbedded> embedded_;
    bool iend_ = false;
    bool idatSeen_ = false;
    uint32_t frameCount_ = 0;     // acTL's number of frames
    LineId imageLine_ = kNoLine;  // the first IDAT chunk's line
    std::vector<LineId> frameLines_;   // each frame's fcTL line
};
