#pragma once
// Questions asked of a result tree whose lines know their byte ranges: which
// lines describe a byte, which bytes no line describes, and the tree as text.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/tree_control.h"

// Calls visit(item, depth) for first and, in pre-order, everything under it;
// then, unless subtreeOnly, for its following siblings and theirs. depth is
// counted from first. Iterative: trees from hostile files may be deep.
void ForEachLine(const ITreeControl& tree, HTREEITEM first, bool subtreeOnly,
                 const std::function<void(HTREEITEM item, int depth)>& visit);

struct LineAt {
    HTREEITEM item = 0;
    int depth = 0;
    ByteRange range;
};

// Every line whose range holds offset (in the side file when inSideFile), in
// tree order, which puts a line before the lines nested in it.
std::vector<LineAt> LinesAt(const ITreeControl& tree, uint64_t offset, bool inSideFile);

// The line that explains offset most closely: of the lines whose range holds
// it, the one with the shortest range, the deepest of equals. 0 when none.
HTREEITEM InnermostLineAt(const ITreeControl& tree, uint64_t offset, bool inSideFile);

// The parts of [0, fileSize) that no range in the analysed file covers, in
// file order.
std::vector<ByteRange> UncoveredRanges(const ITreeControl& tree, uint64_t fileSize);

// Lines as vantrel-dump -d prints them: two spaces of indent per depth and a
// newline after each. item 0: the whole tree; otherwise item alone, or item
// with everything under it, indented from item's own depth.
std::string TreeText(const ITreeControl& tree, HTREEITEM item = 0, bool withChildren = true);
