#include "headless/memory_tree.h"

#include <algorithm>
#include <cstring>

#include "core/entry_text_pool.h"

namespace {
constexpr HTREEITEM kHandleStep = 0x01000000u;
constexpr size_t kFirstBlockBytes = 256;
constexpr size_t kLargestBlockBytes = 64 * 1024;
}

CMemoryTree::~CMemoryTree()
{
    ReleaseTexts();
}

const CMemoryTree::Node* CMemoryTree::Find(HTREEITEM item) const
{
    if (item <= base_ || item - base_ > items_.size())
        return nullptr;
    return &items_[item - base_ - 1];
}

CMemoryTree::Node* CMemoryTree::Find(HTREEITEM item)
{
    return const_cast<Node*>(static_cast<const CMemoryTree*>(this)->Find(item));
}

const char* CMemoryTree::CopyText(const char* text)
{
    const size_t bytes = std::strlen(text) + 1;
    if (bytes > blockLeft_) {
        nextBlockSize_ = std::clamp(nextBlockSize_ * 2, kFirstBlockBytes, kLargestBlockBytes);
        const size_t size = std::max(nextBlockSize_, bytes);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        blockFree_ = blocks_.back().get();
        blockLeft_ = size;
    }
    char* copy = blockFree_;
    std::memcpy(copy, text, bytes);
    blockFree_ += bytes;
    blockLeft_ -= bytes;
    return copy;
}

void CMemoryTree::ReleaseTexts()
{
    for (const Node& n : items_)
        if (n.pinned)
            CEntryTextPool::Unpin(n.text);
    blocks_.clear();
    blockFree_ = nullptr;
    blockLeft_ = 0;
    nextBlockSize_ = 0;
}

HTREEITEM CMemoryTree::InsertItem(const char* text, HTREEITEM parent, HTREEITEM)
{
    return Append(text ? text : "", false, parent);
}

HTREEITEM CMemoryTree::InsertEntryItem(const AnalysisEntry& entry, HTREEITEM parent)
{
    return Append(entry.text, true, parent);
}

HTREEITEM CMemoryTree::Append(const char* text, bool pinned, HTREEITEM parent)
{
    uint32_t parentIndex = 0;
    if (parent != TVI_ROOT && parent != 0) {
        if (!Find(parent))
            return 0;
        parentIndex = static_cast<uint32_t>(parent - base_);
    }
    if (items_.size() >= kMaxItems)
        return 0;
    Node& node = items_.emplace_back();
    node.text = pinned ? CEntryTextPool::Pin(text) : CopyText(text);
    node.pinned = pinned;
    node.parent = parentIndex;
    const auto index = static_cast<uint32_t>(items_.size());
    if (parentIndex == 0) {
        if (lastRoot_)
            items_[lastRoot_ - 1].nextSibling = index;
        else
            firstRoot_ = index;
        lastRoot_ = index;
    } else {
        Node& p = items_[parentIndex - 1];
        if (p.lastChild)
            items_[p.lastChild - 1].nextSibling = index;
        else
            p.firstChild = index;
        p.lastChild = index;
    }
    return base_ + index;
}

void CMemoryTree::Expand(HTREEITEM item, unsigned code)
{
    if (Node* n = Find(item); n && code == TVE_EXPAND)
        n->expanded = true;
}

HTREEITEM CMemoryTree::GetParentItem(HTREEITEM item) const
{
    const Node* n = Find(item);
    return n && n->parent ? base_ + n->parent : 0;
}

HTREEITEM CMemoryTree::GetChildItem(HTREEITEM item) const
{
    if (item == TVI_ROOT)
        return GetRootItem();
    const Node* n = Find(item);
    return n && n->firstChild ? base_ + n->firstChild : 0;
}

HTREEITEM CMemoryTree::GetNextSiblingItem(HTREEITEM item) const
{
    const Node* n = Find(item);
    return n && n->nextSibling ? base_ + n->nextSibling : 0;
}

HTREEITEM CMemoryTree::GetNextVisibleItem(HTREEITEM item) const
{
    const Node* n = Find(item);
    if (!n)
        return 0;
    // A collapsed ancestor hides the item itself: it has no next visible item.
    for (size_t p = n->parent; p; p = items_[p - 1].parent)
        if (!items_[p - 1].expanded)
            return 0;
    if (n->expanded && n->firstChild)
        return base_ + n->firstChild;
    for (const Node* cur = n;;) {
        if (cur->nextSibling)
            return base_ + cur->nextSibling;
        if (!cur->parent)
            return 0;
        cur = &items_[cur->parent - 1];
    }
}

HTREEITEM CMemoryTree::GetRootItem() const
{
    return firstRoot_ ? base_ + firstRoot_ : 0;
}

HTREEITEM CMemoryTree::GetSelectedItem() const
{
    return Find(selected_) ? selected_ : 0;
}

void CMemoryTree::SelectItem(HTREEITEM item)
{
    selected_ = Find(item) ? item : 0;
}

void CMemoryTree::DeleteAllItems()
{
    base_ += (items_.size() / kHandleStep + 1) * kHandleStep;
    ReleaseTexts();
    items_.clear();
    ranges_.clear();
    firstRoot_ = lastRoot_ = 0;
    selected_ = 0;
}

std::string CMemoryTree::GetItemText(HTREEITEM item) const
{
    const Node* n = Find(item);
    return n ? std::string(n->text) : std::string();
}

bool CMemoryTree::IsExpanded(HTREEITEM item) const
{
    const Node* n = Find(item);
    return n && n->expanded;
}

void CMemoryTree::SetItemRange(HTREEITEM item, const ByteRange& range)
{
    if (!Find(item))
        return;
    const size_t index = item - base_ - 1;
    if (ranges_.size() <= index)
        ranges_.resize(index + 1);
    ranges_[index] = range;
}

bool CMemoryTree::GetItemRange(HTREEITEM item, ByteRange& range) const
{
    if (!Find(item))
        return false;
    const size_t index = item - base_ - 1;
    if (index >= ranges_.size() || ranges_[index].Empty())
        return false;
    range = ranges_[index];
    return true;
}

int CMemoryTree::GetDepth(HTREEITEM item) const
{
    const Node* n = Find(item);
    int depth = 0;
    while (n && n->parent) {
        ++depth;
        n = &items_[n->parent - 1];
    }
    return depth;
}

std::vector<HTREEITEM> CMemoryTree::PreOrder() const
{
    std::vector<HTREEITEM> out;
    out.reserve(items_.size());
    // Iterative walk: trees from hostile files may be deep.
    std::vector<size_t> stack;
    if (firstRoot_)
        stack.push_back(firstRoot_);
    while (!stack.empty()) {
        const size_t index = stack.back();
        stack.pop_back();
        out.push_back(base_ + index);
        const Node& n = items_[index - 1];
        if (n.nextSibling)
            stack.push_back(n.nextSibling);
        if (n.firstChild)
            stack.push_back(n.firstChild);
    }
    return out;
}
