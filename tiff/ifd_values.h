#pragma once
// The entries of a TIFF structure read so far, as the tag interpretations
// look at them: the IFDs being read, where each value lies in the file, and
// the bytes of a value. It is a view of the TIFF analyzer's own state, kept
// up to date by it, so that interpreting an entry needs nothing else of the
// analyzer.
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

#include "core/line_tree.h"
#include "tiff/ifd_record.h"
#include "tiff/tiff_byte_reader.h"

class CIfdValues {
public:
    CIfdValues(const std::deque<IfdRecord>& records, const std::vector<uint32_t>& open, const uint64_t& baseOffset,
               const uint32_t& byteOrder, const bool& bigTiff, const uint64_t& fileSize, FILE* const& fp,
               CTiffByteReader& reader)
        : records_(records), open_(open), baseOffset_(baseOffset), byteOrder_(byteOrder), bigTiff_(bigTiff),
          fileSize_(fileSize), fp_(fp), reader_(reader)
    {
    }

    // Offsets inside the structure count from the position of its header.
    uint64_t BaseOffset() const { return baseOffset_; }
    bool LittleEndian() const;
    uint64_t OffsetBytes() const { return bigTiff_ ? 8 : 4; }
    uint64_t EntryBytes() const { return bigTiff_ ? 20 : 12; }

    // The first entry with tag in the IFD being read, or in it and the IFDs
    // it hangs below (innermost first), among the entries read so far.
    const IfdEntry* FindCurrent(uint32_t tag) const;
    const IfdEntry* FindOpen(uint32_t tag) const;
    // Whether the entry's values sit in its own value field.
    bool ValuesInline(const IfdEntry& entry) const;
    // Absolute file position of value i of an entry read at e, and its bytes.
    uint64_t ValuePosition(const IfdEntry& entry, uint64_t e, uint64_t i) const;
    ByteRange ValueBytes(const IfdEntry& entry, uint64_t e, uint64_t i) const;
    // The bytes [start, start + length) as far as they lie in the file.
    ByteRange Bytes(uint64_t start, uint64_t length) const;
    // The entry's value bytes, at most maxBytes of them, as far as the file
    // holds them. The stream is left where it was.
    std::vector<uint8_t> RawValueBytes(const IfdEntry& entry, uint64_t e, uint64_t maxBytes) const;

private:
    const std::deque<IfdRecord>& records_;
    const std::vector<uint32_t>& open_;
    const uint64_t& baseOffset_;
    const uint32_t& byteOrder_;
    const bool& bigTiff_;
    const uint64_t& fileSize_;
    FILE* const& fp_;
    CTiffByteReader& reader_;
};

// An offset of the structure as a file position; one that would pass 2^64
// lies outside every file.
inline uint64_t AbsoluteOffset(uint64_t offset, uint64_t base)
{
    return offset > UINT64_MAX - base ? UINT64_MAX : offset + base;
}
