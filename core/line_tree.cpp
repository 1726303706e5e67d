#include "core/line_tree.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "core/entry_text_pool.h"

namespace {
constexpr size_t kFirstBlockBytes = 256;
constexpr size_t kLargestBlockBytes = 64 * 1024;

// Node blocks: 32, 64, 128 and so on up to 32,768 nodes, then 32,768 each.
constexpr unsigned kFirstNodeBlockShift = 5;
constexpr unsigned kLargestNodeBlockShift = 15;
constexpr size_t kGrowingNodeBlocks = kLargestNodeBlockShift - kFirstNodeBlockShift + 1;
// Nodes before this index are in the growing blocks.
constexpr size_t kGrowingNodes = ((size_t{1} << kGrowingNodeBlocks) - 1) << kFirstNodeBlockShift;

size_t NodeBlockOf(size_t index)
{
    return index < kGrowingNodes ? std::bit_width((index >> kFirstNodeBlockShift) + 1) - 1
                                 : kGrowingNodeBlocks + ((index - kGrowingNodes) >> kLargestNodeBlockShift);
}

size_t NodeBlockStart(size_t block)
{
    return block < kGrowingNodeBlocks ? ((size_t{1} << block) - 1) << kFirstNodeBlockShift
                                      : kGrowingNodes + ((block - kGrowingNodeBlocks) << kLargestNodeBlockShift);
}

size_t NodeBlockSize(size_t block)
{
    return size_t{1} << (std::min(block, kGrowingNodeBlocks - 1) + kFirstNodeBlockShift);
}
}  // namespace

inline const CLineTree::Node& CLineTree::NodeOf(LineId line) const
{
    const size_t block = NodeBlockOf(line - 1);
    return nodeBlocks_[block][line - 1 - NodeBlockStart(block)];
}

inline CLineTree::Node& CLineTree::NodeOf(LineId line)
{
    return const_cast<Node&>(std::as_const(*this).NodeOf(line));
}

CLineTree::~CLineTree()
{
    Release();
}

CLineTree::CLineTree(CLineTree&& other) noexcept
{
    *this = std::move(other);
}

CLineTree& CLineTree::operator=(CLineTree&& other) noexcept
{
    if (this == &other)
        return *this;
    Release();
    nodeBlocks_ = std::move(other.nodeBlocks_);
    other.nodeBlocks_.clear();
    count_ = std::exchange(other.count_, 0);
    ranges_ = std::move(other.ranges_);
    blocks_ = std::move(other.blocks_);
    blockFree_ = std::exchange(other.blockFree_, nullptr);
    blockLeft_ = std::exchange(other.blockLeft_, 0);
    nextBlockSize_ = std::exchange(other.nextBlockSize_, 0);
    firstTop_ = std::exchange(other.firstTop_, 0);
    lastTop_ = std::exchange(other.lastTop_, 0);
    inAppendOrder_ = std::exchange(other.inAppendOrder_, true);
    limit_.store(other.limit_.exchange(kMaxLines, std::memory_order_relaxed), std::memory_order_relaxed);
    reach_.store(other.reach_.exchange(0, std::memory_order_relaxed), std::memory_order_relaxed);
    other.ranges_.clear();
    return *this;
}

void CLineTree::Release()
{
    for (LineId line = 1; line <= count_; ++line)
        if (const Node& n = NodeOf(line); n.pinned)
            CEntryTextPool::Unpin(n.text);
    nodeBlocks_.clear();
    count_ = 0;
    blocks_.clear();
    blockFree_ = nullptr;
    blockLeft_ = 0;
    nextBlockSize_ = 0;
}

const char* CLineTree::CopyText(std::string_view text)
{
    const size_t bytes = text.size() + 1;
    if (bytes > blockLeft_) {
        nextBlockSize_ = std::clamp(nextBlockSize_ * 2, kFirstBlockBytes, kLargestBlockBytes);
        const size_t size = std::max(nextBlockSize_, bytes);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        blockFree_ = blocks_.back().get();
        blockLeft_ = size;
    }
    char* copy = blockFree_;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    blockFree_ += bytes;
    blockLeft_ -= bytes;
    return copy;
}

void CLineTree::SetLimit(uint32_t count)
{
    limit_.store(static_cast<uint32_t>(std::min<uint64_t>(uint64_t{count_} + count, kMaxLines)),
                 std::memory_order_relaxed);
}

LineId CLineTree::Append(std::string_view text, LineId parent, const ByteRange& range)
{
    // A line is a C string to the controls that show it: a zero byte ends it.
    if (const void* nul = std::memchr(text.data(), 0, text.size()))
        text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
    if (count_ >= limit_.load(std::memory_order_relaxed) || text.size() >= UINT32_MAX)
        return kNoLine;
    if (parent != kTopLevel && !Contains(parent))
        return kNoLine;
    const LineId line = Link(CopyText(text), static_cast<uint32_t>(text.size()), false, parent);
    if (!range.Empty())
        SetRange(line, range);
    return line;
}

void CLineTree::SetRange(LineId line, const ByteRange& range)
{
    if (!Contains(line))
        return;
    if (ranges_.size() < line)
        ranges_.resize(line);
    ranges_[line - 1] = range;
    if (range.space == ByteSpace::File && range.end > reach_.load(std::memory_order_relaxed))
        reach_.store(range.end, std::memory_order_relaxed);
}

LineId CLineTree::AppendPinned(const char* storedText, LineId parent)
{
    if (count_ >= limit_.load(std::memory_order_relaxed) || (parent != kTopLevel && !Contains(parent)))
        return kNoLine;
    const size_t size = std::strlen(storedText);
    return Link(CEntryTextPool::Pin(storedText), static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX - 1)),
                true, parent);
}

LineId CLineTree::AppendAfterStop(std::string_view text)
{
    if (count_ >= kMaxLines + size_t{1} || text.size() >= UINT32_MAX)
        return kNoLine;
    return Link(CopyText(text), static_cast<uint32_t>(text.size()), false, kTopLevel);
}

LineId CLineTree::Link(const char* text, uint32_t size, bool pinned, LineId parent)
{
    if (NodeBlockOf(count_) == nodeBlocks_.size())
        nodeBlocks_.push_back(std::make_unique<Node[]>(NodeBlockSize(nodeBlocks_.size())));
    const auto line = static_cast<LineId>(++count_);
    Node& node = NodeOf(line);
    node.text = text;
    node.size = size;
    node.pinned = pinned;
    node.parent = parent == kTopLevel ? 0 : parent;
    if (node.parent == 0) {
        if (lastTop_)
            NodeOf(lastTop_).nextSibling = line;
        else
            firstTop_ = line;
        lastTop_ = line;
    } else {
        Node& p = NodeOf(node.parent);
        node.depth = p.depth + 1;
        // The parent must be the line before or one of its parents. While
        // that holds, each step up here closes a level an earlier line
        // opened, so the walks take as many steps as there are lines.
        if (inAppendOrder_) {
            LineId at = line - 1;
            while (at != kNoLine && NodeOf(at).depth > p.depth)
                at = NodeOf(at).parent;
            inAppendOrder_ = at == node.parent;
        }
        if (p.lastChild)
            NodeOf(p.lastChild).nextSibling = line;
        else
            p.firstChild = line;
        p.lastChild = line;
    }
    return line;
}

void CLineTree::Expand(LineId line)
{
    if (Contains(line))
        NodeOf(line).expanded = true;
}

LineId CLineTree::Parent(LineId line) const
{
    return Contains(line) ? NodeOf(line).parent : kNoLine;
}

LineId CLineTree::FirstChild(LineId line) const
{
    return Contains(line) ? NodeOf(line).firstChild : kNoLine;
}

LineId CLineTree::NextSibling(LineId line) const
{
    return Contains(line) ? NodeOf(line).nextSibling : kNoLine;
}

LineId CLineTree::NextVisible(LineId line) const
{
    if (!Contains(line))
        return kNoLine;
    const Node* n = &NodeOf(line);
    for (uint32_t p = n->parent; p; p = NodeOf(p).parent)
        if (!NodeOf(p).expanded)
            return kNoLine;
    if (n->expanded && n->firstChild)
        return n->firstChild;
    for (;;) {
        if (n->nextSibling)
            return n->nextSibling;
        if (!n->parent)
            return kNoLine;
        n = &NodeOf(n->parent);
    }
}

std::string_view CLineTree::Text(LineId line) const
{
    return Contains(line) ? std::string_view(NodeOf(line).text, NodeOf(line).size) : std::string_view();
}

bool CLineTree::Expanded(LineId line) const
{
    return Contains(line) && NodeOf(line).expanded;
}

bool CLineTree::RangeOf(LineId line, ByteRange& range) const
{
    if (!Contains(line) || line > ranges_.size() || ranges_[line - 1].Empty())
        return false;
    range = ranges_[line - 1];
    return true;
}

bool CLineTree::OpenBranches(std::vector<uint8_t>& open) const
{
    open.assign(size_t{count_} + 1, 0);
    bool allOpen = true;
    for (size_t block = 0, line = 1; line <= count_; ++block) {
        const Node* nodes = nodeBlocks_[block].get();
        const size_t end = std::min<size_t>(count_, line - 1 + NodeBlockSize(block));
        for (size_t i = 0; line <= end; ++i, ++line) {
            const bool hasChildren = nodes[i].firstChild != 0;
            open[line] = nodes[i].expanded && hasChildren ? 1 : 0;
            allOpen = allOpen && (nodes[i].expanded || !hasChildren);
        }
    }
    return allOpen;
}

int CLineTree::Depth(LineId line) const
{
    return Contains(line) ? static_cast<int>(NodeOf(line).depth) : 0;
}

const char* ByteSpaceName(ByteSpace space)
{
    switch (space) {
    case ByteSpace::File: return "file";
    case ByteSpace::SideFile: return "side-file";
    case ByteSpace::Inflated: return "inflated";
    }
    return "file";
}
