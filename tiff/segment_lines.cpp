#include "tiff/segment_lines.h"

#include <algorithm>

void CSegmentLines::Write(LineId item)
{
    const CLineTree* tree = out_.Tree();
    if (!tree || !item)
        return;
    ByteRange range;
    if (tree->RangeOf(item, range))
        Take(range);
    for (LineId child = tree->FirstChild(item); child; child = tree->NextSibling(child))
        if (tree->RangeOf(child, range) && range.space == ByteSpace::File)
            Take(range);
    const size_t n = table_.offsets.size();
    const size_t listed = std::min<size_t>(n, kMaxListed);
    for (size_t k = 1; k < listed; ++k) {
        const ByteRange extent = Extent(k);
        if (extent.Empty() || Taken(extent))
            continue;
        Take(extent);
        out_.Insert(item,
                    Sized(k) ? ResultLine("[%08lx] %s #%zu = %lu [byte]", extent.start, Noun(), k,
                                          (*table_.counts)[k].unsignedValue)
                             : ResultLine("[%08lx] %s #%zu", extent.start, Noun(), k),
                    extent);
    }
    if (listed < n)
        WriteRuns(item, listed);
}

ByteRange CSegmentLines::Extent(size_t k) const
{
    const uint64_t start = table_.offsets[k].unsignedValue;
    const uint64_t end = std::min(table_.fileSize, table_.dataEnd);
    if (start >= end)
        return {};
    // Without a byte count a segment runs to the end of the data, as the
    // image data line of segment #0 does.
    if (!Sized(k))
        return {start, end};
    const uint64_t length = (*table_.counts)[k].unsignedValue;
    if (length > end - start)
        return {};
    return {start, start + length};
}

size_t CSegmentLines::RunEnd(size_t k) const
{
    const size_t n = table_.offsets.size();
    uint64_t end = Extent(k).end;
    size_t next = k + 1;
    for (; next < n; ++next) {
        const ByteRange extent = Extent(next);
        if (extent.Empty() || extent.start != end)
            break;
        end = extent.end;
    }
    return next;
}

bool CSegmentLines::Taken(const ByteRange& range) const
{
    auto after = taken_.lower_bound(range.start);
    if (after != taken_.end() && after->first < range.end)
        return true;
    if (after == taken_.begin())
        return false;
    return std::prev(after)->second > range.start;
}

void CSegmentLines::WriteRuns(LineId item, size_t from)
{
    out_.Insert(item, ResultLine("%ss #%zu and after: one line for each run of %s that follow each other in the file",
                                 Noun(), from, table_.tiled ? "tiles" : "strips"));
    const size_t n = table_.offsets.size();
    uint32_t runs = 0;
    size_t k = from;
    while (k < n && runs < kMaxRuns) {
        if (Extent(k).Empty()) {
            ++k;
            continue;
        }
        const size_t next = RunEnd(k);
        const ByteRange range{Extent(k).start, Extent(next - 1).end};
        if (!Taken(range)) {
            Take(range);
            out_.Insert(item,
                        ResultLine("[%08lx] %ss #%zu - #%zu = %lu [byte]", range.start, Noun(), k, next - 1,
                                   range.end - range.start),
                        range);
            ++runs;
        }
        k = next;
    }
    if (k < n)
        WriteSpan(item, k);
}

void CSegmentLines::WriteSpan(LineId item, size_t from)
{
    // One line over the rest: from the first byte of their data to the last,
    // with whatever lies between the segments.
    const size_t n = table_.offsets.size();
    ByteRange span{UINT64_MAX, 0};
    size_t count = 0;
    for (size_t k = from; k < n; ++k) {
        const ByteRange extent = Extent(k);
        if (extent.Empty())
            continue;
        span.start = std::min(span.start, extent.start);
        span.end = std::max(span.end, extent.end);
        ++count;
    }
    if (count == 0 || Taken(span))
        return;
    Take(span);
    out_.Insert(item,
                ResultLine("[%08lx] %ss #%zu - #%zu: the span of %zu %ss not listed one by one, gaps included",
                           span.start, Noun(), from, n - 1, count, Noun()),
                span);
}
