#pragma once
// Lays out a JPEG stream marker by marker (ITU-T T.81 Annex B). What the
// walk has met so far decides whether a marker is accepted in its place:
// SOI first, tables, application data and comments anywhere after it, one
// frame header (or, after DHP, the frames of a hierarchical image) before
// the scans, a scan only with its frame and the Huffman tables it names,
// RSTn only inside entropy-coded data. Accepted segments become rough-mode
// entries or detailed result lines; anything else is listed in rough mode
// as an invalid marker. In detailed mode the picture is decoded from the
// scans as the walk meets them. A file's bytes after EOI are listed, and
// pictures found there (MPF images, appended previews) are laid out too.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/image_buffer.h"
#include "codec/jpeg_coefficients.h"
#include "codec/jpeg_stream_parser.h"
#include "core/anomaly.h"
#include "core/format_table.h"
#include "core/result_line.h"
#include "core/line_tree.h"
#include "jpeg/jpeg_field_checks.h"

class CJpegAppLayout;
class CJpegFrameDecoder;

class CJpegAnalyzer {
public:
    CJpegAnalyzer();
    ~CJpegAnalyzer();
    CJpegAnalyzer(const CJpegAnalyzer&) = delete;
    CJpegAnalyzer& operator=(const CJpegAnalyzer&) = delete;

    // Analyzer entry: rough mode adds entries and the summary; detailed mode
    // adds the lines to the run's result and decodes the picture. The
    // walk starts where request.fp stands and ends at EOI, at the end of the
    // file or at request.dataEnd.
    void Analyze(const AnalysisRequest& request);

    // The tables, frame and last scan the walk read.

private:
    // One marker segment: the marker at offset (its last 0xFF byte), its
    // length field (when it has one) and its payload's bytes.
    struct Segment {
        uint32_t marker = 0;
        uint64_t offset = 0;
        bool hasLength = false;
        uint32_t length = 0;       // as its field says
        uint64_t end = 0;          // offset + 2 + length
        bool pastEnd = false;      // the length runs past the end of the data
        JpegPayload payload;       // the payload's bytes at hand
    };

    // start: where the stream stands.
    uint32_t ReadMarker(FILE* fp, uint64_t start);
    uint32_t TakeMarker(FILE* fp, size_t code);
    // Handles the marker found at position - 2; false when the walk ends.
    bool Step(FILE* fp, uint32_t marker, uint64_t position);
    bool ReadSegment(FILE* fp, Segment& s);
    void ReadPayload(FILE* fp, Segment& s, uint64_t at, uint64_t bytes);
    static size_t WantedBytes(const Segment& s);
    bool Accepted(const Segment& s, const JpegScan* scan) const;
    LineId Dispatch(FILE* fp, Segment& s, const JpegScan* scan);
    // An invalid marker's entry, and its anomaly unless another says more.
    void Invalid(uint64_t offset, uint32_t marker, bool report = true);
    bool PastEnd(FILE* fp, Segment& s, const JpegScan& scan, bool accepted);

    // Anomalies: what the walk finds wrong, on the line it concerns.
    void Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end, const std::string& text,
                LineId line = kNoLine);
    void ReportFields(const std::vector<JpegFieldProblem>& problems, const Segment& s, LineId head);
    LineId FieldLine(LineId head, uint64_t at) const;
    void StrayBytes(FILE* fp, uint64_t from, uint64_t markerAt);
    void UnusableScan(const Segment& s, const JpegScan& scan);
    void QuantTablesOf(const Segment& s, const JpegScan& scan, LineId head);
    void RestartMarker(uint32_t marker, uint64_t at);
    uint64_t DataEndBefore(FILE* fp, uint64_t from, uint64_t to);
    void ScanOutcome(JpegScanOutcome outcome, uint64_t stop);
    void UnknownAfterEoi(uint64_t from, const std::vector<AnalysisRequest::EmbeddedPicture>& pictures, LineId line);

    // Segment layouts; each parses through the stream parser.
    LineId Head(const Segment& s);
    LineId FieldLength(const Segment& s, LineId head);
    void Tables(const Segment& s, LineId head);
    void Conditioning(const Segment& s, LineId head);
    void Frame(const Segment& s, LineId head);
    void FrameFields(const Segment& s, const JpegFrame& frame, LineId head);
    void Scan(FILE* fp, const Segment& s, const JpegScan& scan, LineId head);
    void ScanFields(const Segment& s, const JpegScan& scan, LineId head);
    void Comment(const Segment& s, LineId head);
    void SmallSegment(const Segment& s, LineId head);
    void App(FILE* fp, const Segment& s, LineId head);
    void Summary(const JpegFrame& frame);

    // The picture: started at the frame's first scan, painted at the end.
    void DecodeScan(FILE* fp, LineId scanHead);
    void StartPicture(LineId scanHead);
    void FinishPicture();
    void EndImageData(uint64_t end);
    // What follows the walk: the end of the data without EOI, the bytes
    // after EOI with the pictures found there.
    void EndWithoutEoi();
    void AfterEoi(FILE* fp);
    void NestedJpeg(FILE* fp, uint64_t offset, uint64_t end, LineId parent, const std::string& label);

    bool Detailed() const { return request_.Detailed(); }
    void Entry(const std::string& text);
    // A line about the bytes [start, end) as far as they lie in the file.
    LineId Line(LineId parent, const std::string& text, uint64_t start, uint64_t end);
    void SeekTo(FILE* fp, uint64_t offset);

    AnalysisRequest request_;
    LineId parentItem = 0;
    CTreeWriter out_{nullptr};
    uint64_t fileSize_ = 0;
    // Where the walk stops: the end of the file, or of the embedded data.
    uint64_t walkEnd_ = 0;
    CJpegStreamParser parser_;
    std::unique_ptr<CJpegAppLayout> app_;
    std::unique_ptr<CJpegFrameDecoder> decoder_;
    std::vector<uint8_t> bytes_;

    // What the walk has met.
    bool anySeen_ = false;
    bool soiSeen_ = false;
    bool frameSeen_ = false;
    bool hierarchical_ = false;
    uint32_t scans_ = 0;
    bool inScan_ = false;
    uint64_t eoiEnd_ = 0;
    int adobeTransform_ = -1;
    // The picture: whether the frame's first scan started it, and whether
    // it is drawn at all.
    bool pictureStarted_ = false;
    bool pictureDrawn_ = false;
    size_t pictureIndex_ = SIZE_MAX;   // in the result's pictures
    // How its scans went: the first that did not complete, and whether the
    // analysis was asked to stop before a scan was decoded.
    JpegScanOutcome scanOutcome_ = JpegScanOutcome::Complete;
    bool cancelled_ = false;
    bool noPixels_ = false;   // a picture too large to be given pixel memory
    // What a picture nobody looks at is decoded into.
    CImageBuffer workBuffer_;
    // The last scan's entropy-coded data, whose line gets its end when the
    // walk finds the next marker that is not RSTn.
    LineId imageData_ = 0;
    uint64_t imageDataStart_ = 0;
    // The restart marker that should come next in the scan's data.
    uint32_t nextRestart_ = 0;
    // A first frame with no number of lines (Y = 0) waits for DNL: where its
    // field is and its line; dnlSeen_ once a DNL segment came.
    uint64_t zeroLinesAt_ = 0;
    LineId zeroLinesHead_ = 0;
    bool dnlSeen_ = false;
    // Which quantisation tables were last defined with 16-bit values.
    bool sixteenBits_[4] = {};
    // The byte before the entropy-coded data (the last byte of the scan
    // header).
    uint32_t scanPreviousByte_ = 0;
};
