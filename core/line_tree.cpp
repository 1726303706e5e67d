#include "core/line_tree.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/entry_text_pool.h"

namespace {
constexpr size_t kFirstBlockBytes = 256;
constexpr size_t kLargestBlockBytes = 64 * 1024;
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
    nodes_ = std::move(other.nodes_);
    ranges_ = std::move(other.ranges_);
    blocks_ = std::move(other.blocks_);
    blockFree_ = std::exchange(other.blockFree_, nullptr);
    blockLeft_ = std::exchange(other.blockLeft_, 0);
    nextBlockSize_ = std::exchange(other.nextBlockSize_, 0);
    firstTop_ = std::exchange(other.firstTop_, 0);
    lastTop_ = std::exchange(other.lastTop_, 0);
    limit_.store(other.limit_.exchange(kMaxLines, std::memory_order_relaxed), std::memory_order_relaxed);
    reach_.store(other.reach_.exchange(0, std::memory_order_relaxed), std::memory_order_relaxed);
    other.nodes_.clear();
    other.ranges_.clear();
    return *this;
}

void CLineTree::Release()
{
    for (const Node& n : nodes_)
        if (n.pinned)
            CEntryTextPool::Unpin(n.text);
    nodes_.clear();
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
    limit_.store(static_cast<uint32_t>(std::min<uint64_t>(uint64_t{nodes_.size()} + count, kMaxLines)),
                 std::memory_order_relaxed);
}

LineId CLineTree::Append(std::string_view text, LineId parent, const ByteRange& range)
{
    // A line is a C string to the controls that show it: a zero byte ends it.
    if (const void* nul = std::memchr(text.data(), 0, text.size()))
        text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
    if (nodes_.size() >= limit_.load(std::memory_order_relaxed) || text.size() >= UINT32_MAX)
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
    if (!range.inSideFile && range.end > reach_.load(std::memory_order_relaxed))
        reach_.store(range.end, std::memory_order_relaxed);
}

LineId CLineTree::AppendPinned(const char* storedText, LineId parent)
{
    if (nodes_.size() >= limit_.load(std::memory_order_relaxed) || (parent != kTopLevel && !Contains(parent)))
        return kNoLine;
    const size_t size = std::strlen(storedText);
    return Link(CEntryTextPool::Pin(storedText), static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX - 1)),
                true, parent);
}

LineId CLineTree::AppendAfterStop(std::string_view text)
{
    if (nodes_.size() >= kMaxLines + size_t{1} || text.size() >= UINT32_MAX)
        return kNoLine;
    return Link(CopyText(text), static_cast<uint32_t>(text.size()), false, kTopLevel);
}

LineId CLineTree::Link(const char* text, uint32_t size, bool pinned, LineId parent)
{
    Node& node = nodes_.emplace_back();
    node.text = text;
    node.size = size;
    node.pinned = pinned;
    node.parent = parent == kTopLevel ? 0 : parent;
    const auto line = static_cast<LineId>(nodes_.size());
    if (node.parent == 0) {
        if (lastTop_)
            nodes_[lastTop_ - 1].nextSibling = line;
        else
            firstTop_ = line;
        lastTop_ = line;
    } else {
        Node& p = nodes_[node.parent - 1];
        if (p.lastChild)
            nodes_[p.lastChild - 1].nextSibling = line;
        else
            p.firstChild = line;
        p.lastChild = line;
    }
    return line;
}

void CLineTree::Expand(LineId line)
{
    if (Contains(line))
        nodes_[line - 1].expanded = true;
}

LineId CLineTree::Parent(LineId line) const
{
    return Contains(line) ? nodes_[line - 1].parent : kNoLine;
}

LineId CLineTree::FirstChild(LineId line) const
{
    return Contains(line) ? nodes_[line - 1].firstChild : kNoLine;
}

LineId CLineTree::NextSibling(LineId line) const
{
    return Contains(line) ? nodes_[line - 1].nextSibling : kNoLine;
}

LineId CLineTree::NextVisible(LineId line) const
{
    if (!Contains(line))
        return kNoLine;
    const Node* n = &nodes_[line - 1];
    for (uint32_t p = n->parent; p; p = nodes_[p - 1].parent)
        if (!nodes_[p - 1].expanded)
            return kNoLine;
    if (n->expanded && n->firstChild)
        return n->firstChild;
    for (;;) {
        if (n->nextSibling)
            return n->nextSibling;
        if (!n->parent)
            return kNoLine;
        n = &nodes_[n->parent - 1];
    }
}

std::string_view CLineTree::Text(LineId line) const
{
    return Contains(line) ? std::string_view(nodes_[line - 1].text, nodes_[line - 1].size) : std::string_view();
}

bool CLineTree::Expanded(LineId line) const
{
    return Contains(line) && nodes_[line - 1].expanded;
}

bool CLineTree::RangeOf(LineId line, ByteRange& range) const
{
    if (!Contains(line) || line > ranges_.size() || ranges_[line - 1].Empty())
        return false;
    range = ranges_[line - 1];
    return true;
}

int CLineTree::Depth(LineId line) const
{
    int depth = 0;
    for (uint32_t p = Parent(line); p; p = nodes_[p - 1].parent)
        ++depth;
    return depth;
}
