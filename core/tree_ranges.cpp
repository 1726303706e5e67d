#include "core/tree_ranges.h"

#include <algorithm>

void ForEachLine(const CLineTree& tree, LineId first, bool subtreeOnly,
                 const std::function<void(LineId, int)>& visit)
{
    LineId line = first;
    int depth = 0;
    while (line) {
        visit(line, depth);
        if (LineId child = tree.FirstChild(line)) {
            line = child;
            ++depth;
            continue;
        }
        // Climb to the nearest line with a next sibling, never above first.
        while (line) {
            if (depth == 0 && subtreeOnly)
                return;
            if (LineId next = tree.NextSibling(line)) {
                line = next;
                break;
            }
            if (depth == 0)
                return;
            line = tree.Parent(line);
            --depth;
        }
    }
}

std::vector<LineAt> LinesAt(const CLineTree& tree, uint64_t offset, ByteSpace space)
{
    std::vector<LineAt> lines;
    ForEachLine(tree, tree.First(), false, [&](LineId line, int depth) {
        ByteRange range;
        if (tree.RangeOf(line, range) && range.space == space && range.Holds(offset))
            lines.push_back({line, depth, range});
    });
    return lines;
}

LineId InnermostLineAt(const CLineTree& tree, uint64_t offset, ByteSpace space)
{
    const std::vector<LineAt> lines = LinesAt(tree, offset, space);
    const LineAt* best = nullptr;
    for (const LineAt& line : lines) {
        const uint64_t length = line.range.end - line.range.start;
        if (!best || length < best->range.end - best->range.start ||
            (length == best->range.end - best->range.start && line.depth >= best->depth))
            best = &line;
    }
    return best ? best->line : kNoLine;
}

std::vector<ByteRange> UncoveredRanges(const CLineTree& tree, uint64_t fileSize)
{
    std::vector<ByteRange> covered;
    ForEachLine(tree, tree.First(), false, [&](LineId line, int) {
        ByteRange range;
        if (tree.RangeOf(line, range) && range.space == ByteSpace::File)
            covered.push_back(range);
    });
    std::sort(covered.begin(), covered.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.start < b.start; });
    std::vector<ByteRange> gaps;
    uint64_t next = 0;   // the first byte not yet known to be covered
    for (const ByteRange& range : covered) {
        if (next >= fileSize)
            break;
        if (range.start > next)
            gaps.push_back({next, std::min(range.start, fileSize)});
        next = std::max(next, range.end);
    }
    if (next < fileSize)
        gaps.push_back({next, fileSize});
    return gaps;
}

std::string TreeText(const CLineTree& tree, LineId line, bool withChildren)
{
    std::string text;
    const auto add = [&](LineId at, int depth) {
        text.append(static_cast<size_t>(depth) * 2, ' ');
        text += tree.Text(at);
        text += '\n';
    };
    if (!line)
        ForEachLine(tree, tree.First(), false, add);
    else if (withChildren)
        ForEachLine(tree, line, true, add);
    else
        add(line, 0);
    return text;
}
