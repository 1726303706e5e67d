#pragma once
// The lines of an analysis result: a tree of texts, each line with the bytes
// of the file it describes. Analyzers append lines under explicit parents;
// shells render the finished tree. Lines keep their order of appending, and a
// line is known by its id, which is its place in that order (1 for the
// first). The tree also records which lines were expanded, since where a
// nested analysis begins depends on it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using LineId = uint32_t;
// No line: what appending returns when the line was not made, and, as a
// parent, a place under which nothing lands.
inline constexpr LineId kNoLine = 0;
// As a parent: the top level of the tree.
inline constexpr LineId kTopLevel = UINT32_MAX;

// Where the offsets of a range count: in the analysed file itself, in the
// side file that holds the inflated body of a compressed SWF file, or in
// data that exists only inflated (a compressed text or profile inside the
// file), of which unit says which.
enum class ByteSpace : uint8_t { File = 0, SideFile = 1, Inflated = 2 };

// "file", "side-file" or "inflated", as vantrel-dump names them.
const char* ByteSpaceName(ByteSpace space);

// The bytes a result line describes: [start, end), end exclusive. A range
// with end <= start is none: interpretation lines describe no bytes.
struct ByteRange {
    uint64_t start = 0;
    uint64_t end = 0;
    ByteSpace space = ByteSpace::File;
    uint16_t unit = 0;   // which of the inflated data of a file (ByteSpace::Inflated)

    bool Empty() const { return end <= start; }
    bool Holds(uint64_t offset) const { return start <= offset && offset < end; }
};

class CLineTree {
public:
    // Ids above this are never handed out.
    static constexpr uint32_t kMaxLines = (1u << 30) - 1;

    CLineTree() = default;
    ~CLineTree();
    CLineTree(CLineTree&& other) noexcept;
    CLineTree& operator=(CLineTree&& other) noexcept;
    CLineTree(const CLineTree&) = delete;
    CLineTree& operator=(const CLineTree&) = delete;

    // Appends text as the last child of parent (kTopLevel: the top level)
    // and returns the new line; kNoLine when parent is no line of this tree,
    // or when the tree takes no more lines (see SetLimit and Stop).
    LineId Append(std::string_view text, LineId parent, const ByteRange& range = {});
    // The same for a text that stays readable elsewhere: an entry text of
    // the entry list (CEntryTextPool), pinned while the tree holds it.
    LineId AppendPinned(const char* storedText, LineId parent);
    void Expand(LineId line);
    // Gives a line its range once its end is known.
    void SetRange(LineId line, const ByteRange& range);

    // At most count further lines are taken. Stop makes the tree take no
    // more lines; it may be called from another thread while lines are
    // appended. AppendAfterStop appends a top-level line even then.
    void SetLimit(uint32_t count);
    void Stop() { limit_.store(0, std::memory_order_relaxed); }
    LineId AppendAfterStop(std::string_view text);
    // The end of the furthest range in the analysed file appended so far:
    // how far the analysis has come. Readable from another thread.
    uint64_t Reach() const { return reach_.load(std::memory_order_relaxed); }

    size_t Count() const { return count_; }
    bool Contains(LineId line) const { return line != kNoLine && line <= count_; }
    // kNoLine where there is none (Parent of a top-level line included).
    LineId First() const { return firstTop_; }
    LineId Parent(LineId line) const;
    LineId FirstChild(LineId line) const;
    LineId NextSibling(LineId line) const;
    // The next line in display order: the first child of an expanded line,
    // else the next sibling of the line or of its nearest ancestor that has
    // one; kNoLine for a line that a collapsed ancestor hides.
    LineId NextVisible(LineId line) const;
    std::string_view Text(LineId line) const;
    bool Expanded(LineId line) const;
    // False for a line that describes no bytes.
    bool RangeOf(LineId line, ByteRange& range) const;
    // 0 for a top-level line.
    int Depth(LineId line) const;
    // Whether each line went under the line before it or one of that line's
    // parents, as lines made from an entry list's levels do: then, with
    // every branch open, the lines show in the order of their ids.
    bool InAppendOrder() const { return inAppendOrder_; }
    // Sets open[line] to 1 for each expanded line that has children, 0 for
    // the others (open[0] included), and tells whether every line that has
    // children is expanded.
    bool OpenBranches(std::vector<uint8_t>& open) const;

private:
    struct Node {
        const char* text = nullptr;   // in blocks_, or a pinned entry text
        uint32_t size = 0;
        uint32_t parent = 0;          // 0: top level
        uint32_t firstChild = 0;
        uint32_t lastChild = 0;
        uint32_t nextSibling : 30 = 0;
        uint32_t expanded : 1 = 0;
        uint32_t pinned : 1 = 0;
        uint32_t depth = 0;           // 0: top level
    };
    LineId Link(const char* text, uint32_t size, bool pinned, LineId parent);
    const char* CopyText(std::string_view text);
    void Release();

    // The nodes of lines 1, 2, ... in blocks of 32, 64, 128 and so on up to
    // 32,768 nodes, and of 32,768 from there, allocated as lines come:
    // growing never moves a node, a short tree takes little, an empty one
    // (as every rough result has) nothing, and a long one no more than one
    // block beyond its lines.
    const Node& NodeOf(LineId line) const;
    Node& NodeOf(LineId line);
    std::vector<std::unique_ptr<Node[]>> nodeBlocks_;
    uint32_t count_ = 0;
    // Ranges by line, beside the lines: the vector grows only as far as the
    // last line that has one.
    std::vector<ByteRange> ranges_;
    // The copied texts, one after another in blocks that double in size up
    // to a limit, so that a short tree takes little and a long one few
    // allocations.
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* blockFree_ = nullptr;
    size_t blockLeft_ = 0;
    size_t nextBlockSize_ = 0;
    uint32_t firstTop_ = 0;
    uint32_t lastTop_ = 0;
    bool inAppendOrder_ = true;
    std::atomic<uint32_t> limit_{kMaxLines};
    std::atomic<uint64_t> reach_{0};
};
