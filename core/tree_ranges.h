#pragma once
// Questions asked of a result tree whose lines know their byte ranges: which
// lines describe a byte, which bytes no line describes, and the tree as text.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/line_tree.h"

// Calls visit(line, depth) for first and, in pre-order, everything under it;
// then, unless subtreeOnly, for its following siblings and theirs. depth is
// counted from first. Iterative: trees from hostile files may be deep.
void ForEachLine(const CLineTree& tree, LineId first, bool subtreeOnly,
                 const std::function<void(LineId line, int depth)>& visit);

struct LineAt {
    LineId line = kNoLine;
    int depth = 0;
    ByteRange range;
};

// Every line whose range holds offset of the given space, in tree order,
// which puts a line before the lines nested in it.
std::vector<LineAt> LinesAt(const CLineTree& tree, uint64_t offset, ByteSpace space = ByteSpace::File);

// The line that explains offset most closely: of the lines whose range holds
// it, the one with the shortest range, the deepest of equals. kNoLine when
// none.
LineId InnermostLineAt(const CLineTree& tree, uint64_t offset, ByteSpace space = ByteSpace::File);

// The parts of [0, fileSize) that no range in the analysed file covers, in
// file order.
std::vector<ByteRange> UncoveredRanges(const CLineTree& tree, uint64_t fileSize);

// Lines as vantrel-dump -d prints them: two spaces of indent per depth and a
// newline after each. kNoLine: the whole tree; otherwise line alone, or line
// with everything under it, indented from line's own depth.
std::string TreeText(const CLineTree& tree, LineId line = kNoLine, bool withChildren = true);
