#include "core/tree_ranges.h"

#include <algorithm>

void ForEachLine(const ITreeControl& tree, HTREEITEM first, bool subtreeOnly,
                 const std::function<void(HTREEITEM, int)>& visit)
{
    HTREEITEM item = first;
    int depth = 0;
    while (item) {
        visit(item, depth);
        if (HTREEITEM child = tree.GetChildItem(item)) {
            item = child;
            ++depth;
            continue;
        }
        // Climb to the nearest item with a next sibling, never above first.
        while (item) {
            if (depth == 0 && subtreeOnly)
                return;
            if (HTREEITEM next = tree.GetNextSiblingItem(item)) {
                item = next;
                break;
            }
            if (depth == 0)
                return;
            item = tree.GetParentItem(item);
            --depth;
        }
    }
}

std::vector<LineAt> LinesAt(const ITreeControl& tree, uint64_t offset, bool inSideFile)
{
    std::vector<LineAt> lines;
    ForEachLine(tree, tree.GetRootItem(), false, [&](HTREEITEM item, int depth) {
        ByteRange range;
        if (tree.GetItemRange(item, range) && range.inSideFile == inSideFile && range.Holds(offset))
            lines.push_back({item, depth, range});
    });
    return lines;
}

HTREEITEM InnermostLineAt(const ITreeControl& tree, uint64_t offset, bool inSideFile)
{
    const std::vector<LineAt> lines = LinesAt(tree, offset, inSideFile);
    const LineAt* best = nullptr;
    for (const LineAt& line : lines) {
        const uint64_t length = line.range.end - line.range.start;
        if (!best || length < best->range.end - best->range.start ||
            (length == best->range.end - best->range.start && line.depth >= best->depth))
            best = &line;
    }
    return best ? best->item : 0;
}

std::vector<ByteRange> UncoveredRanges(const ITreeControl& tree, uint64_t fileSize)
{
    std::vector<ByteRange> covered;
    ForEachLine(tree, tree.GetRootItem(), false, [&](HTREEITEM item, int) {
        ByteRange range;
        if (tree.GetItemRange(item, range) && !range.inSideFile)
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

std::string TreeText(const ITreeControl& tree, HTREEITEM item, bool withChildren)
{
    std::string text;
    const auto add = [&](HTREEITEM line, int depth) {
        text.append(static_cast<size_t>(depth) * 2, ' ');
        text += tree.GetItemText(line);
        text += '\n';
    };
    if (!item)
        ForEachLine(tree, tree.GetRootItem(), false, add);
    else if (withChildren)
        ForEachLine(tree, item, true, add);
    else
        add(item, 0);
    return text;
}
