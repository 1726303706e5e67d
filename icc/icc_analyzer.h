#pragma once
// Lays out an ICC colour profile embedded in an analysed file: the 128-byte
// profile header field by field, then the tag table. All values are
// big-endian; unknown signatures are named "UNDEFINED !!". What breaks the
// profile's structure is reported as anomalies: a size field that
// disagrees with the data, a wrong file signature, tag data outside the
// profile or on top of its header or tag table, a tag of a type its tag
// does not allow.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "core/anomaly.h"

#include "core/bit_reader.h"
#include "core/format_table.h"
#include "core/result_line.h"
#include "core/line_tree.h"

class CIccAnalyzer {
public:
    // request.fp stands on the profile's first byte, or request.pieces say
    // where the profile's bytes lie; the profile's lines go under
    // request.parent in the run's result. On return fp
    // stands after the last tag-table entry read.
    void Analyze(const AnalysisRequest& request);

    enum class HeaderField;
    struct HeaderRow;

private:
    void AnalyzeHeader(FILE* fp, LineId parent);
    void AnalyzeTagTable(FILE* fp, LineId parent);
    // Takes the result's lines and the file's size for the lines that follow.
    void Begin(FILE* fp);
    // A line about the bytes [start, end), as far as they lie in the file.
    LineId Insert(LineId parent, const std::string& text, uint64_t start, uint64_t end) const;
    // A header field's lines; returns its line.
    LineId HeaderLines(FILE* fp, const HeaderRow& row, LineId heading);
    std::string ValueLine(FILE* fp, HeaderField field, uint32_t pos);
    static std::string SignatureLine(uint32_t value, uint32_t pos, const HeaderRow& row);
    void FlagLines(FILE* fp, uint32_t pos, LineId heading);
    void AttributeLines(FILE* fp, uint32_t pos, LineId heading);
    void ProfileIdLines(FILE* fp, LineId heading);

    // A tag-table entry, kept for the checks after the table.
    struct TagEntry {
        uint32_t signature;
        uint32_t offset;
        uint32_t size;
        uint64_t at;   // file offset of the entry
        LineId line;
    };
    void Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t length,
                const std::string& text, LineId line) const;
    // The profile's bytes in the file (or its pieces), as far as the data
    // that holds it reaches; whether that is its exact extent.
    uint64_t DataBytes(FILE* fp) const;
    bool ExactData() const { return !pieces_.empty() || request_.dataEnd != UINT64_MAX; }
    void CheckHeader(FILE* fp);
    void CheckTags(FILE* fp, const std::vector<TagEntry>& tags, uint32_t count, LineId countLine);
    // The type signature at the start of a tag's data.
    uint32_t TypeAt(FILE* fp, uint32_t offset);

    // Reading the profile's bytes, 16 or 32 bits at a time, and the file
    // offsets of what is read.
    uint32_t Read(FILE* fp, uint32_t bits);
    void Skip(FILE* fp, uint32_t bytes);
    // The file offset of the profile's byte at position.
    uint64_t FileOffset(uint64_t position) const;
    // The file offset of the next byte, and the one after the last byte read.
    uint32_t Tell(FILE* fp) const;
    uint32_t FieldEnd(FILE* fp) const;
    // Where reading stands in the profile, how many of its bytes there are,
    // and whether reading has gone past them.
    uint64_t ProfilePosition(FILE* fp) const;
    uint64_t Available(FILE* fp) const;
    bool Ended(FILE* fp) const;

    uint32_t profileStart = 0;
    // Declared profile size, read by the header dump; bounds the tag table.
    uint32_t profileSize = 0;
    // The profile's pieces in the file (none when it runs on from where the
    // stream stood), their total size, and the position reached in them.
    std::span<const FilePiece> pieces_;
    uint64_t piecesSize_ = 0;
    uint64_t at_ = 0;
    bool pastPieces_ = false;
    // The header's size and file signature lines, and the signature read.
    LineId sizeLine_ = kNoLine;
    LineId signatureLine_ = kNoLine;
    uint32_t fileSignature_ = 0;
    uint32_t lastSignature_ = 0;
    AnalysisRequest request_;
    CTreeWriter out_{nullptr};
    uint64_t size_ = 0;
    // The profile is read byte by byte, big-endian, through this reader.
    CBitReader bits_;
};
