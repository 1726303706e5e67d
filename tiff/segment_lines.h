#pragma once
// The lines of an image's strips or tiles below its image data line: one a
// segment, numbered as the offsets table numbers them, with the bytes of its
// data, so that every byte of every segment belongs to a line. The image
// data line itself covers segment #0, and the JPEG layout of that segment
// hangs below it; the lines of the others follow.
//
// A picture of very many segments would fill the line tree with them: past
// kMaxListed segments, one line covers each run of segments that follow each
// other in the file, and past kMaxRuns runs one line spans all the rest.
#include <cstdint>
#include <map>
#include <vector>

#include "core/result_line.h"
#include "tiff/ifd_record.h"

class CSegmentLines {
public:
    static constexpr uint32_t kMaxListed = 16384;
    static constexpr uint32_t kMaxRuns = 16384;

    struct Table {
        const std::vector<EntryValue>& offsets;   // absolute
        const std::vector<EntryValue>* counts;    // null when the IFD has none
        bool tiled;
        // Segments that do not lie wholly before dataEnd (embedded data) are
        // another structure's bytes and get no line.
        uint64_t dataEnd;
        uint64_t fileSize;
    };

    CSegmentLines(const CTreeWriter& out, const Table& table) : out_(out), table_(table) {}

    // The lines under item, the image data line.
    void Write(LineId item);

private:
    // The bytes of segment k as far as the file holds them; empty when the
    // segment has no line.
    ByteRange Extent(size_t k) const;
    bool Sized(size_t k) const { return table_.counts && k < table_.counts->size(); }
    // The first segment after the run of adjacent segments that begins at k.
    size_t RunEnd(size_t k) const;
    void WriteRuns(LineId item, size_t from);
    void WriteSpan(LineId item, size_t from);
    // Whether range overlaps a line already below item (or item itself):
    // overlapping segments, or a JPEG stream that runs on past segment #0,
    // are shown once.
    bool Taken(const ByteRange& range) const;
    void Take(const ByteRange& range) { taken_[range.start] = range.end; }
    const char* Noun() const { return table_.tiled ? "Tile" : "Strip"; }

    const CTreeWriter& out_;
    const Table& table_;
    // The ranges covered so far, by start.
    std::map<uint64_t, uint64_t> taken_;
};
