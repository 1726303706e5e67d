#pragma once
// SWF files: the 8-byte file header, the frame header (RECT, frame rate,
// frame count) and the list of tags. An uncompressed file ("FWS") is walked
// in place; a compressed one, zlib ("CWS") or LZMA ("ZWS", whose header
// goes on with the compressed length and the five LZMA property bytes), has
// its body decompressed into the side file "<path>.decompress", whose bytes
// are the file without its 8-byte header, and is walked there; where the
// side file cannot be written, the body is decompressed into memory and
// walked there, and the summary says so. In a detailed analysis the tag
// bodies are laid out too (CSwfTagLayout), the tags of sprites below their
// DefineSprite line.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/analysis_run.h"
#include "core/bit_reader.h"
#include "core/result_line.h"
#include "core/line_tree.h"
#include "codec/inflater.h"
#include "codec/lzma_decoder.h"
#include "swf/body_place.h"


class CSwfTagLayout;
class CInflatedBody;

class CSwfAnalyzer {
public:
    // The tag walk ends after this many tags, and the side file is never
    // longer than this (nor than the header's file length minus 8): a small
    // compressed file cannot make an analysis write gigabytes or list
    // hundreds of millions of tags.
    static constexpr uint32_t kMaxTags = 65536;
    static constexpr uint64_t kMaxSideFileBytes = uint64_t{64} << 20;
    // Sprites nested deeper than this (which the format does not allow at
    // all) are not walked.
    static constexpr uint32_t kMaxSpriteDepth = 4;

    CSwfAnalyzer();
    ~CSwfAnalyzer();

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
    struct TagHeader {
        uint32_t code = 0;
        uint32_t length = 0;
        uint32_t headerBytes = 2;
    };
    TagHeader ReadTagHeader(FILE* fp);
    void TagWalk(FILE* fp, const LineSink& emit);
    // The tags from fp's position up to size, inside depth sprites.
    void WalkTags(FILE* fp, const LineSink& emit, uint64_t size, uint32_t depth);
    void ReportPastEnd(uint64_t p, uint64_t bytes, uint64_t size, uint32_t length, uint32_t depth, LineId line);
    // The tags of a sprite at [at, end) under parent, one level deeper.
    void WalkSprite(FILE* fp, LineId parent, uint64_t at, uint64_t end);
    // Detailed mode: the tag bodies of the walk over fp are laid out.
    void StartLayout(FILE* fp, BodyPlace place);
    void DetailedLayout(FILE* fp, const char* path);
    // The compressed body after the header at offset at of a file of size
    // bytes: its zlib line under head, then the inflated body's own branch.
    void DetailedBody(FILE* fp, const char* path, LineId head, uint64_t at, uint64_t size);
    void DetailedLzmaBody(FILE* fp, const char* path, LineId head, uint64_t at, uint64_t size);
    // Reads the LZMA fields after the header and decodes the body.
    bool OpenLzmaBody(FILE* fp, const char* path, uint64_t size, CInflatedBody& body, LzmaProperties& props);
    void CheckLzma(const LzmaResult& result, uint64_t size, LineId line);
    // The frame header and the tags of a decompressed body.
    void WalkBody(CInflatedBody& body, const std::string& sideName);
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
    uint32_t compressedLength = 0;
    uint8_t lzmaProps[5] = {};
    uint32_t rectangleBits = 0;
    uint32_t xMin = 0;
    uint32_t xMax = 0;
    uint32_t yMin = 0;
    uint32_t yMax = 0;
    uint32_t frameRate = 0;
    uint32_t frameCount = 0;
    CBitReader reader;
    std::unique_ptr<CSwfTagLayout> layout_;
    uint32_t walkDepth_ = 0;
    AnalysisRequest request_;
    CTreeWriter out_{nullptr};
    LineId parentItem = kTopLevel;
};
