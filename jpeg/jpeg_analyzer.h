#pragma once
// Lays out a JPEG stream marker by marker. A set of the markers seen so far
// decides whether a marker is accepted in its place; accepted segments become
// rough-mode entries or detailed result lines, and in detailed mode the
// baseline scan is decoded into an image window.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "jpeg/jpeg_app_layout.h"
#include "jpeg/jpeg_bit_reader.h"
#include "core/format_table.h"
#include "core/result_line.h"
#include "core/tree_control.h"
#include "codec/jpeg_records.h"

class CJpegAnalyzer {
public:
    // Members of the seen-marker set.
    static constexpr uint32_t kSeenSOI = 0x1;
    static constexpr uint32_t kSeenDQT = 0x2;
    static constexpr uint32_t kSeenDHT = 0x4;
    static constexpr uint32_t kSeenDRI = 0x8;
    static constexpr uint32_t kSeenSOF0 = 0x10;
    static constexpr uint32_t kSeenSOS = 0x20;
    static constexpr uint32_t kSeenEOI = 0x40;
    static constexpr uint32_t kSeenCOM = 0x80;
    static constexpr uint32_t kSeenImageData = 0x10000000;


    CJpegAnalyzer() = default;
    CJpegAnalyzer(const CJpegAnalyzer&) = delete;
    CJpegAnalyzer& operator=(const CJpegAnalyzer&) = delete;

    // Analyzer entry: rough mode adds entries and the summary; detailed mode
    // writes the result tree of the active view and decodes the picture. The
    // walk starts where request.fp stands.
    void Analyze(const AnalysisRequest& request);

    // The tables and components kept by the segment handlers.
    const std::vector<QuantTable>& QuantTables() const { return quantTables_; }
    const std::vector<HuffmanTable>& HuffmanTables() const { return huffmanTables_; }
    const std::vector<FrameComponent>& FrameComponents() const { return frameComponents_; }
    const std::vector<ScanComponent>& ScanComponents() const { return scanComponents_; }
    uint32_t RestartInterval() const { return restartInterval_; }
    uint32_t FrameWidth() const { return sofSamples_; }
    uint32_t FrameHeight() const { return sofLines_; }

private:
    uint32_t ReadMarker(FILE* fp);
    // Sends the marker to its handler when the seen-marker set accepts it
    // there, else to OnInvalidMarker; false when the walk ends (EOI).
    bool Dispatch(FILE* fp, uint32_t marker, uint64_t position, uint32_t& seenMarkers);
    // End of the segment that the marker at position - 2 begins, by its
    // length field; 0 when the marker carries no length, or the length is
    // below 2 or runs past the end of the file.
    uint64_t SegmentEnd(FILE* fp, uint32_t marker, uint64_t position);
    void OnSOI(FILE* fp, uint64_t position);
    void OnEOI(FILE* fp, uint64_t position);
    void OnInvalidMarker(FILE* fp, uint64_t position, uint32_t marker);
    void OnAPPn(FILE* fp, uint64_t position, uint32_t marker);
    void OnDQT(FILE* fp, uint64_t position);
    void OnDHT(FILE* fp, uint64_t position);
    void OnSOF(FILE* fp, uint64_t position);
    void OnDRI(FILE* fp, uint64_t position);
    void OnSOS(FILE* fp, uint64_t position);
    void OnCOM(FILE* fp, uint64_t position);
    void OnImageData(FILE* fp);

    HuffmanTable ReadHuffmanTable(FILE* fp);
    // Reads a segment's length field at position and notes where the
    // segment ends by it; SegmentLength also writes the field's line.
    uint32_t ReadLength(FILE* fp, uint64_t position);
    uint32_t SegmentLength(FILE* fp, HTREEITEM head);

    // Where each mode's output goes: a segment's head line is a rough-mode
    // entry or a detailed line, an invalid marker only an entry, the frame's
    // summary only rough-mode result text; other lines go to out_, which
    // holds no tree in rough mode.
    bool Detailed() const { return request_.Detailed(); }
    void Entry(const std::string& text);
    void Summary(const char* text);

    uint32_t Read(FILE* fp, uint32_t bits);
    // The bytes [start, end) as far as they lie in the file.
    ByteRange Span(uint64_t start, uint64_t end) const;
    // A line about the bytes from start to fp's position.
    HTREEITEM Field(FILE* fp, HTREEITEM parent, uint64_t start, const std::string& text);
    // A segment's head line at the marker's offset; in the tree, the walk
    // gives it the segment's range once the handler is done.
    HTREEITEM Head(uint64_t offset, const std::string& text);
    void SetRange(HTREEITEM item, uint64_t start, uint64_t end);
    // Gives the "Image Data" line, if one waits for it, its end.
    void EndImageData(uint64_t end);
    // Places the stream at offset, or at the end of the file when offset lies
    // beyond it.
    void SeekTo(FILE* fp, uint64_t offset);

    // Keeps a table unless one of its selector is kept already: the decoder
    // only ever uses the first match, and the cap bounds memory.
    void KeepQuantTable(const QuantTable& table);
    void KeepHuffmanTable(HuffmanTable&& table);

    CJpegBitReader reader;
    AnalysisRequest request_;
    HTREEITEM parentItem = 0;
    CTreeWriter out_{nullptr};
    // The length field of the segment being handled, for rough mode's skip.
    bool lengthRead_ = false;
    uint64_t skipTo_ = 0;
    CJpegBitReader afterLength_;
    HTREEITEM head_ = 0;
    uint64_t headOffset_ = 0;
    HTREEITEM imageData_ = 0;
    uint64_t imageDataStart_ = 0;
    uint64_t fileSize_ = 0;
    // Lays out the APPn segments' payloads (detailed mode), read into
    // appBytes_.
    std::unique_ptr<CJpegAppLayout> appLayout_;
    std::vector<uint8_t> appBytes_;

    // File offsets of the segments' markers; a scan can carry the walk past
    // 4 GiB.
    uint64_t soiOffset_ = 0;
    uint64_t eoiOffset_ = 0;
    uint64_t dqtOffset_ = 0, dhtOffset_ = 0, sofOffset_ = 0, sosOffset_ = 0, comOffset_ = 0, driOffset_ = 0;
    uint32_t dqtLength_ = 0, dhtLength_ = 0;
    uint32_t sofLength_ = 0, sofPrecision_ = 0, sofLines_ = 0, sofSamples_ = 0, sofCount_ = 0;
    uint32_t sosLength_ = 0, sosCount_ = 0, sosStart_ = 0, sosEnd_ = 0, sosApprox_ = 0;
    uint32_t comLength_ = 0;
    uint32_t driLength_ = 0, restartInterval_ = 0;
    // The byte the reader took last in the scan header (0x100 at end of file).
    uint32_t scanPreviousByte_ = 0;

    std::vector<QuantTable> quantTables_;
    std::vector<HuffmanTable> huffmanTables_;
    std::vector<FrameComponent> frameComponents_;
    std::vector<ScanComponent> scanComponents_;
};
