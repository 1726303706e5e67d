#pragma once
// The records the TIFF analyzer keeps while it walks a file: one IfdRecord
// per image file directory of the chain, one IfdEntry per 12-byte directory
// entry, one EntryValue per value element read in detailed mode.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "core/line_tree.h"
#include "tiff/tag_table.h"

struct EntryValue {
    // BYTE, SHORT, LONG, LONG8, IFD, IFD8; an offset made absolute may pass
    // 4 GiB.
    uint64_t unsignedValue = 0;
    int64_t signedValue = 0;      // SBYTE, SSHORT, SLONG, SLONG8: the element's bits as read
    double realValue = 0.0;       // RATIONAL, SRATIONAL, FLOAT, DOUBLE
    std::unique_ptr<char[]> text; // ASCII, UTF-8: the whole string, zero-terminated, in one element
};

struct IfdEntry {
    uint32_t tag = 0;
    uint32_t type = 0;
    uint64_t count = 0;           // 8 bytes in BigTIFF
    // The value field (bytes 8-11, or 12-19 in BigTIFF) as one number in
    // the file's byte order. Made
    // absolute in place when it is shown as an offset (in 64 bits: the
    // header of embedded data may lie near 4 GiB); a single inline value
    // smaller than the field, in a big-endian file, is shifted down to it.
    uint64_t valueField = 0;
    std::vector<EntryValue> values;
    // Where the entry stands, and where its values lie as the value field
    // said before any reading changed it (absolute; UINT64_MAX when the
    // offset passes 2^64). line is the entry's Tag line (detailed mode).
    uint64_t at = 0;
    uint64_t valuesAt = 0;
    LineId line = kNoLine;
};

// A deque keeps entries where they are while later ones are appended, so an
// entry found by FindEntry stays valid for the whole run.
using IfdEntryList = std::deque<IfdEntry>;

struct IfdRecord {
    uint64_t entryCount = 0;
    IfdEntryList entries;
    uint64_t nextIfdOffset = 0;   // absolute; 0 when the chain ends here
    uint64_t position = 0;        // absolute position of the entry count
    IfdKind kind = IfdKind::Tiff; // whose dictionary names its tags
    // The line under which the GeoKeyDirectory's keys go once the whole
    // directory, with the key parameters that follow it, has been read.
    LineId geoKeys = 0;
    uint64_t geoKeysAt = 0;       // the position of the keys' first value
    LineId line = kNoLine;        // the directory's line (detailed mode)
    // Where the next-IFD offset stands, and its line.
    uint64_t nextAt = 0;
    LineId nextLine = kNoLine;
};
