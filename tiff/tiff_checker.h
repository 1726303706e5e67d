#pragma once
// What the TIFF analyzer finds wrong with the structure it walks, reported
// as anomalies of the run: IFD pointers that lead outside the data, back to
// an IFD already read or to an odd offset; directories whose entries are
// out of order, repeated, of the wrong count or with values outside the
// file or on top of other structures; image IFDs without the fields every
// reader needs; strips and tiles outside the data, on top of each other or
// shorter than their rows.
//
// The checks look only at what the walk has read anyway: in a rough
// analysis the chain's entries without their values, in a detailed one
// everything with the values.
#include <cstdint>
#include <vector>

#include "core/anomaly.h"
#include "core/format_table.h"
#include "tiff/ifd_record.h"

class CAnalysisRun;

class CTiffChecker {
public:
    // Where the structure lies: its header at base, its data ending at
    // dataEnd (the segment that embeds it) inside a file of fileSize bytes.
    struct Geometry {
        uint64_t base = 0;
        uint64_t dataEnd = UINT64_MAX;
        uint64_t fileSize = 0;
        bool bigTiff = false;
        bool littleEndian = true;
        bool embedded = false;   // Exif data inside a JPEG file
    };
    void Begin(CAnalysisRun* run, const Geometry& geometry);

    // An IFD pointer: the absolute offset it holds, whether that IFD was
    // read before (a loop), and the pointer field with its line.
    void CheckIfdPointer(uint64_t offset, bool loop, uint64_t pointerAt, LineId line);
    // One directory just read: its entries, their values' places, and the
    // fields an image needs; entriesEnd is where its next-IFD offset stands.
    void CheckDirectory(const IfdRecord& record, uint64_t entriesEnd);
    // The strips or tiles of an image IFD, whose values (offsets made
    // absolute) have been read; counts may be null.
    struct ImageLayout {
        const IfdEntry& offsets;
        const IfdEntry* counts;
        bool tiled;
        uint32_t compression;
        uint64_t width;
        uint64_t height;
        uint64_t segmentWidth;
        uint64_t segmentLength;
        uint64_t bitsPerPixel;   // of one plane's pixel
    };
    void CheckSegments(const ImageLayout& layout);
    // A Deflate strip or tile (index) whose stream runs on past its byte
    // count (from counts) inside the file.
    void CheckCodedSegment(bool tiled, uint32_t index, const IfdEntry* counts);
    // The JPEG interchange data of a thumbnail: its offset entry and length.
    void CheckJpegData(const IfdEntry& offset, uint64_t length);
    // After the walk: values that lie on top of each other or of an IFD.
    void Finish();

    // The first value of an entry: read, or in rough mode taken from the
    // value field, where a big-endian value sits in the high-order bytes.
    uint64_t FirstNumber(const IfdEntry& entry) const;

private:
    void Report(AnomalySeverity severity, const char* kind, const ByteRange& range, const std::string& text,
                LineId line);
    void CheckOrder(const IfdRecord& record);
    void CheckValues(const IfdRecord& record);
    void CheckRequired(const IfdRecord& record);
    void CheckSampleCounts(const IfdRecord& record);
    void CheckStripCount(const IfdRecord& record);
    void CheckSegmentPlaces(const ImageLayout& layout);
    void CheckSegmentOverlap(const ImageLayout& layout);
    void CheckSegmentSizes(const ImageLayout& layout);
    uint64_t OffsetBytes() const { return geometry_.bigTiff ? 8 : 4; }
    uint64_t EntryBytes() const { return geometry_.bigTiff ? 20 : 12; }
    // The absolute position of value i of an entry, whose values lie at
    // its value field or at the offset it holds.
    uint64_t ValueAt(const IfdEntry& entry, uint64_t i) const;
    bool Inline(const IfdEntry& entry) const;
    // Whether [start, start + length) lies in the file, and in the data.
    bool InFile(uint64_t start, uint64_t length) const;
    bool InData(uint64_t start, uint64_t length) const;

    // A byte range that an IFD or an entry's values take.
    struct Place {
        uint64_t start;
        uint64_t end;
        const IfdEntry* entry;   // null for an IFD
    };

    CAnalysisRun* run_ = nullptr;
    Geometry geometry_;
    std::vector<Place> places_;
};
