#include "core/byte_order_map.h"

#include <algorithm>

#include "core/analyze.h"

namespace {

// Enough of a structure's first bytes for any row's orderOfHead.
constexpr size_t kHeadBytes = 16;

ByteOrder OrderOf(const FormatHandler* format, uint64_t start, const CByteOrderMap::ReadAt& read)
{
    if (!format)
        return ByteOrder::Big;
    uint8_t head[kHeadBytes];
    const size_t n = format->orderOfHead && read ? read(start, head, sizeof head) : 0;
    return StructureByteOrder(*format, head, n);
}

}  // namespace

CByteOrderMap::CByteOrderMap(FormatTable formats, uint32_t format, const AnalysisResult& result, const ReadAt& read)
    : file_(OrderOf(FindFormat(formats, format), 0, read))
{
    const CLineTree& lines = result.lines;
    for (const EmbeddedStructure& s : result.structures) {
        // What the structure's lines describe in the file itself.
        Span span{UINT64_MAX, 0, OrderOf(FindFormat(formats, s.format), s.start, read)};
        const LineId last = std::min<LineId>(s.linesAfter, static_cast<LineId>(lines.Count()));
        for (LineId line = s.linesBefore + 1; line <= last; ++line) {
            ByteRange range;
            if (lines.RangeOf(line, range) && range.space == ByteSpace::File) {
                span.start = std::min(span.start, range.start);
                span.end = std::max(span.end, range.end);
            }
        }
        if (span.start < span.end)
            spans_.push_back(span);
    }
}

ByteOrder CByteOrderMap::At(uint64_t offset) const
{
    for (auto it = spans_.rbegin(); it != spans_.rend(); ++it)
        if (it->start <= offset && offset < it->end)
            return it->order;
    return file_;
}
