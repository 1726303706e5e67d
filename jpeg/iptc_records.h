#pragma once
// The datasets of an IPTC-NAA record (IPTC IIM 4.2), as Photoshop keeps them
// in its IPTC resource: each a tag marker 0x1C, the record and dataset
// numbers, the data's length (two bytes, or the extended form) and the data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/line_tree.h"
#include "jpeg/app_segment.h"

class CIptcRecords {
public:
    explicit CIptcRecords(const CAppSegment& segment) : segment_(segment) {}

    // Lays out the datasets in the payload bytes [begin, end) under parent.
    void LayOut(size_t begin, size_t end, LineId parent) const;

    enum class IptcValue : uint8_t;
    struct IptcDataSet;

private:
    // One dataset at position, known to hold its five header bytes; the
    // position after it, or 0 when the walk ends there.
    size_t DataSet(size_t position, size_t end, LineId parent) const;
    // The dataset's data as the line shows it.
    static std::string Value(const IptcDataSet* known, const uint8_t* data, size_t size);

    const CAppSegment& segment_;
};
