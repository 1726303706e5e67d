#pragma once
// The byte order of the fields at each offset of an analysed file: that of
// the innermost embedded structure whose lines describe the offset (the
// little-endian Exif data inside a JPEG file, a big-endian JPEG stream inside
// a little-endian TIFF file), or else the file's own. The formats' rows say
// each structure's order, or how its first bytes name it.
#include <cstdint>
#include <functional>
#include <vector>

#include "core/analysis_result.h"
#include "core/format_table.h"

class CByteOrderMap {
public:
    // Reads up to n bytes of the analysed file from offset into out and
    // returns how many it read.
    using ReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t n)>;

    CByteOrderMap() = default;
    // The map of a file of format (an unknown one counts as big-endian)
    // whose detailed analysis gave result.
    CByteOrderMap(FormatTable formats, uint32_t format, const AnalysisResult& result, const ReadAt& read);

    ByteOrder At(uint64_t offset) const;
    ByteOrder FileOrder() const { return file_; }

private:
    struct Span {
        uint64_t start = 0;
        uint64_t end = 0;
        ByteOrder order = ByteOrder::Big;
    };
    ByteOrder file_ = ByteOrder::Big;
    // In the order the structures began: a structure nested in another
    // comes after it.
    std::vector<Span> spans_;
};
