#pragma once
// SWF files: the 8-byte file header, the frame header (RECT, frame rate,
// frame count) and the list of tags. An uncompressed file ("FWS") is walked
// in place; a compressed one ("CWS") has its zlib-compressed body inflated
// into the side file "<path>.decompress", whose bytes are the file without its
// 8-byte header, and is walked there; where the side file cannot be written,
// the body is inflated into memory and walked there, and the summary says so.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "core/analysis_run.h"
#include "core/bit_reader.h"
#include "core/result_line.h"
#include "core/line_tree.h"
#include "codec/inflater.h"

// Where the bytes of the lines being written lie: in the analysed file, in
// its side file, or in a body held only in memory (no range at all).
enum class BodyPlace { File, SideFile, Memory };

class CSwfAnalyzer {
public:
    // The tag walk ends after this many tags, and the side file is never
    // longer than this (nor than the header's file length minus 8): a small
    // compressed file cannot make an analysis write gigabytes or list
    // hundreds of millions of tags.
    static constexpr uint32_t kMaxTags = 65536;
    static constexpr uint64_t kMaxSideFileBytes = uint64_t{64} << 20;

    // Analyzer entry: rough mode adds entries and the summary; detailed mode
    // adds the lines to the run's result.
    void Analyze(const AnalysisRequest& request);

    // The name of a tag code, "Undefined Tag" for codes without one.
    static const char* TagName(uint32_t code);

private:
    // Receives each tag line with the tag's bytes, [start, end); returns the
    // line made (kNoLine in rough mode).
    using LineSink = std::function<LineId(const std::string&, uint64_t start, uint64_t end)>;

    void HeaderStep(FILE* fp);
    void ReadFileHeader(FILE* fp);
    void ReadFrameHeader(FILE* fp);
    void TagWalk(FILE* fp, const LineSink& emit);
    void DetailedLayout(FILE* fp, const char* path);
    // The compressed body after the header at offset at of a file of size
    // bytes: its zlib line under head, then the inflated body's own branch.
    void DetailedBody(FILE* fp, const char* path, LineId head, uint64_t at, uint64_t size);
    // Lays out the frame header at fp's position; returns the offset after it.
    uint64_t DetailedFrameHeader(FILE* fp, LineId parent, BodyPlace place);
    // Hangs each tag line under parent with the tag's bytes in place.
    LineSink TreeSink(LineId parent, BodyPlace place);

    // Anomalies. The bytes of an anomaly in the walked body lie where
    // walkPlace says.
    void Report(AnomalySeverity severity, const char* kind, ByteRange range, const std::string& text,
                LineId line = kNoLine);
    // FileLength against the bytes there are: the file's own from its
    // header, or the inflated body's plus the header.
    void CheckFileLength(uint64_t actual);
    // How the zlib stream at at ended, the stream reaching to streamEnd;
    // line is its zlib line.
    void CheckStream(const InflateResult& result, uint64_t at, uint64_t streamEnd, uint64_t size, LineId line);
    BodyPlace walkPlace = BodyPlace::File;
    // The file header's position and, in a detailed analysis, its
    // FileLength line.
    uint64_t headerAt = 0;
    LineId lengthLine = kNoLine;

    uint32_t signature = 0;
    uint32_t version = 0;
    uint32_t fileLength = 0;
    uint32_t rectangleBits = 0;
    uint32_t xMin = 0;
    uint32_t xMax = 0;
    uint32_t yMin = 0;
    uint32_t yMax = 0;
    uint32_t frameRate = 0;
    uint32_t frameCount = 0;
    CBitReader reader;
    AnalysisRequest request_;
    CTreeWriter out_{nullptr};
    LineId parentItem = kTopLevel;
};
