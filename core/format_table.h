#pragma once
// The formats the application knows, as one table that the layer above the
// format folders supplies (formats/all_formats.cpp). Detection, the rough
// list's format name, the error numbers of failed opens, the analyzers, the
// byte order the hex pane shows values in, the Open dialog's filter and the
// command-line help all come from it, and a nested analysis (Exif data
// inside JPEG, JPEG data inside TIFF, an ICC profile inside TIFF) goes
// through the same table, so no format folder depends on another.
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
    // Files of their own, and also met nested: PNG or GIF89a data in the
    // bitmap tags of an SWF file.
    kFormatPng = 6,
    kFormatGif = 7,
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
    // The address space the structure's bytes lie in. A structure read from
    // data the file holds compressed (an ICC profile in a PNG file's iCCP
    // chunk) is given a stream of that data, and its lines' and anomalies'
    // offsets count in it: RunAnalyzer moves what the nested analysis
    // records in the file's space into this one.
    ByteSpace space = ByteSpace::File;
    uint16_t unit = 0;   // which inflated data, for ByteSpace::Inflated

    bool Detailed() const { return mode == AnalysisMode::Detailed; }
};

// How a structure orders the bytes of its multi-byte fields.
enum class ByteOrder : uint8_t { Big, Little };

// One format, as everything that handles files sees it: detection, the
// analyzer, the texts that name it and what it may hold. Each format's folder
// defines its own row; the layer above the format folders collects them
// (formats/all_formats.h).
struct FormatHandler {
    uint32_t code = kFormatUnsupported;
    const char* name = nullptr;   // the rough list's format column; null for a format only met nested
    // Whether a file starting with head[0, n) is of this format, n being at
    // most signatureBytes (less for a shorter file); null for a format that
    // is only met nested in another.
    size_t signatureBytes = 0;
    bool (*detect)(const uint8_t* head, size_t n) = nullptr;
    void (*analyze)(const AnalysisRequest& request) = nullptr;
    const char* roughOpenError = "";      // error number when the rough analysis cannot open the file
    const char* detailedOpenError = "";   // the same for the detailed analysis
    // The byte order of the structure's fields. Where the structure names it
    // itself in its first bytes (TIFF's "II" and "MM"), orderOfHead reads it
    // there and says false when those bytes name none.
    ByteOrder byteOrder = ByteOrder::Big;
    bool (*orderOfHead)(const uint8_t* head, size_t n, ByteOrder& order) = nullptr;
    // The Open dialog's name patterns for its files ("*.jpg *.jpeg"); null
    // for a format only met nested.
    const char* filePatterns = nullptr;
    // Address spaces its lines may count offsets in besides the file itself
    // (bits 1 << ByteSpace).
    uint8_t spaces = 0;
    // The pictures its files may hold, for the command-line help ("frames
    // and thumbnails"); null when it draws none.
    const char* pictures = nullptr;

    bool UsesSpace(ByteSpace space) const { return (spaces >> static_cast<unsigned>(space)) & 1; }
};

using FormatTable = std::span<const FormatHandler>;

// The row of the format a file starting with head[0, n) is of; null for none.
// n need be no more than DetectionBytes.
const FormatHandler* DetectedFormat(FormatTable formats, const uint8_t* head, size_t n);
// The bytes detection looks at: as many as the longest signature.
size_t DetectionBytes(FormatTable formats);

// The byte order of a structure of format whose first bytes are head[0, n).
ByteOrder StructureByteOrder(const FormatHandler& format, const uint8_t* head, size_t n);

// The formats a file can be of (those that detection knows), in table order.
std::vector<const FormatHandler*> FileFormats(FormatTable formats);
// "JPEG, TIFF and SWF": their names for a sentence.
std::string FormatNamesText(FormatTable formats);
// The Open dialog's filter for them: "JPEG、TIFF、SWF ファイル (*.jpg ...)".
std::string OpenDialogFilter(FormatTable formats);
