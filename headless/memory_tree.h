#pragma once
// An in-memory tree with the semantics of a tree control: items keep their
// insertion order, expansion state and one selected item.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/tree_control.h"

static_assert(sizeof(HTREEITEM) == 8, "item handles are kept above the 32-bit range");

class CMemoryTree final : public ITreeControl {
public:
    CMemoryTree() = default;
    ~CMemoryTree() override;
    CMemoryTree(const CMemoryTree&) = delete;
    CMemoryTree& operator=(const CMemoryTree&) = delete;

    using ITreeControl::InsertItem;
    HTREEITEM InsertItem(const char* text, HTREEITEM parent, HTREEITEM insertAfter = TVI_LAST) override;
    // Keeps the entry's stored text, pinned, instead of a copy: the bar's
    // tree then costs its items and links only.
    HTREEITEM InsertEntryItem(const AnalysisEntry& entry, HTREEITEM parent) override;
    void Expand(HTREEITEM item, unsigned code) override;
    HTREEITEM GetParentItem(HTREEITEM item) const override;
    HTREEITEM GetChildItem(HTREEITEM item) const override;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const override;
    HTREEITEM GetNextVisibleItem(HTREEITEM item) const override;
    HTREEITEM GetRootItem() const override;
    HTREEITEM GetSelectedItem() const override;
    void DeleteAllItems() override;
    std::string GetItemText(HTREEITEM item) const override;
    bool IsExpanded(HTREEITEM item) const override;
    void SetItemRange(HTREEITEM item, const ByteRange& range) override;
    bool GetItemRange(HTREEITEM item, ByteRange& range) const override;

    void SelectItem(HTREEITEM item);
    size_t ItemCount() const { return items_.size(); }
    // Depth of an item: 0 for a top-level item.
    int GetDepth(HTREEITEM item) const;
    // Every item in pre-order (display order with everything expanded).
    std::vector<HTREEITEM> PreOrder() const;

private:
    // Links are item indexes + 1, 0 for none: 30 bits hold far more items
    // than any tree the analyses make, and keep a node at 24 bytes.
    static constexpr uint32_t kMaxItems = (1u << 30) - 1;
    struct Node {
        const char* text = nullptr;   // in blocks_, or a pinned entry text
        uint32_t parent = 0;          // 0: top level
        uint32_t firstChild = 0;
        uint32_t lastChild = 0;
        uint32_t nextSibling : 30 = 0;
        uint32_t expanded : 1 = 0;
        uint32_t pinned : 1 = 0;
    };
    const Node* Find(HTREEITEM item) const;
    Node* Find(HTREEITEM item);
    HTREEITEM Append(const char* text, bool pinned, HTREEITEM parent);
    const char* CopyText(const char* text);
    void ReleaseTexts();

    // Handles are base_ + index + 1. The base lies above the 32-bit range, so
    // no handle can equal a reserved TVI_* value, and moves on at each
    // DeleteAllItems so that stale handles find nothing.
    // A deque: growing it never copies the nodes already there.
    std::deque<Node> items_;
    // Ranges by item index, beside the items rather than in them: trees
    // without ranges (the analysis-tree bar) pay nothing, and the vector
    // grows only as far as the last line that has one.
    std::vector<ByteRange> ranges_;
    // The copied texts, one after another in blocks that double in size up
    // to a limit, so that a short tree takes little and a long one few
    // allocations.
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* blockFree_ = nullptr;
    size_t blockLeft_ = 0;
    size_t nextBlockSize_ = 0;
    uint32_t firstRoot_ = 0;
    uint32_t lastRoot_ = 0;
    HTREEITEM selected_ = 0;
    HTREEITEM base_ = HTREEITEM{1} << 32;
};
