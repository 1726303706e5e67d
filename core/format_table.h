#pragma once
// The formats the application knows, as one table that the layer above the
// format folders supplies (formats/all_formats.cpp). Detection, the rough
// list's format name, the error numbers of failed opens and the analyzers
// are all looked up here, and a nested analysis (Exif data inside JPEG, JPEG
// data inside TIFF, an ICC profile inside TIFF) goes through the same table,
// so no format folder depends on another.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "core/line_tree.h"

enum FormatCode : uint32_t {
    kFormatUnsupported = 0,
    kFormatJpeg = 1,
    kFormatTiff = 2,
    kFormatSwf = 3,
    kFormatIcc = 4,   // only ever nested: not detected, never a file of its own
    // Only ever nested: the MP index and attribute IFDs of an MPF segment
    // (APP2 of a JPEG file, CIPA DC-007), laid out by the TIFF analyzer.
    kFormatMpf = 5,
};

class CAnalysisRun;

// A run of bytes of the analysed file.
struct FilePiece {
    uint64_t offset = 0;   // file offset of its first byte
    uint64_t size = 0;
};

// Rough mode makes the entry lines and the summary of the file's row;
// detailed mode makes the result's line tree and decodes the pictures.
enum class AnalysisMode : uint8_t { Rough, Detailed };

// The state of one analysis run of one analyzer over an open stream: what it
// reads, and the run that takes its output and holds the limits and the
// nesting of analyses.
struct AnalysisRequest {
    CAnalysisRun* run = nullptr;
    FILE* fp = nullptr;
    const char* path = nullptr;
    AnalysisMode mode = AnalysisMode::Rough;
    uint32_t level = 0;           // depth at which the analyzer's lines begin
    LineId parent = kTopLevel;    // the line the analyzer's lines hang under
    // Where the embedded data that the analysis runs inside ends (the APPn
    // segment that carries Exif or MPF data): nothing beyond it belongs to
    // the structure. The file's end for a whole file.
    uint64_t dataEnd = UINT64_MAX;
    // Says which picture of the file the image windows of this analysis show
    // ("サムネイル", "IFD 1", "MPF 2"); empty for the file's own picture.
    std::string pictureLabel{};
    // Tables that a JPEG stream uses without defining them (a TIFF file's
    // JPEGTables stream), read before the stream's own segments.
    std::span<const uint8_t> jpegTables{};
    // False when the caller draws the picture itself (the strips of a TIFF
    // image in new-style JPEG coding): the analysis only lays it out.
    bool drawPictures = true;
    // A nested analysis that finds pictures elsewhere in the file (the MP
    // entries of an MPF segment) lists them here for its caller to lay out.
    struct EmbeddedPicture {
        uint64_t offset = 0;        // absolute file offset of its first byte
        uint64_t size = 0;
        LineId item = kNoLine;      // the line the picture's layout goes under
        std::string label;          // its pictureLabel
    };
    std::vector<EmbeddedPicture>* pictures = nullptr;
    // A structure that the file holds in pieces (an ICC profile split over
    // the APP2 segments of a JPEG file): its bytes, in order, are those of
    // these pieces, and nothing lies beyond the last. The analyzer reads each
    // byte, and shows its offset, where it lies in the file. Empty: the
    // structure runs on from fp's position.
    std::span<const FilePiece> pieces{};

    bool Detailed() const { return mode == AnalysisMode::Detailed; }
};

struct FormatHandler {
    uint32_t code;
    const char* name;   // the rough list's format column
    // Whether a file starting with head[0, n) is of this format; null for a
    // format that is only met nested in another.
    bool (*detect)(const uint8_t* head, size_t n);
    void (*analyze)(const AnalysisRequest& request);
    const char* roughOpenError;      // error number when the rough analysis cannot open the file
    const char* detailedOpenError;   // the same for the detailed analysis
};

using FormatTable = std::span<const FormatHandler>;

// The bytes detection looks at; every detect function reads no further.
inline constexpr size_t kDetectionBytes = 3;
