#pragma once
// The tree operations through which the analyzers and the analysis-tree bar
// write their trees. The headless shell keeps a tree in memory; the desktop
// program maps the same operations onto its tree widgets.
#include <cstdint>
#include <string>

#include "core/analysis_entry_list.h"

using HTREEITEM = std::uintptr_t;

// Reserved handles: as a parent, TVI_ROOT means the top level of the tree; as
// the insert-after position, TVI_LAST means after all existing children.
inline constexpr HTREEITEM TVI_ROOT = 0xFFFF0000u;
inline constexpr HTREEITEM TVI_LAST = 0xFFFF0002u;
inline constexpr unsigned TVE_EXPAND = 0x0002u;

// The bytes a result line describes: [start, end), end exclusive. A range
// with end <= start is none: interpretation lines describe no bytes.
// inSideFile marks offsets in the side file that holds the inflated body of
// a compressed SWF file rather than in the analysed file itself.
struct ByteRange {
    uint64_t start = 0;
    uint64_t end = 0;
    bool inSideFile = false;

    bool Empty() const { return end <= start; }
    bool Holds(uint64_t offset) const { return start <= offset && offset < end; }
};

class ITreeControl {
public:
    virtual ~ITreeControl() = default;

    // Appends a text-only item under parent (TVI_ROOT: top level); returns the
    // new item, or 0 when parent is not an item of this tree.
    virtual HTREEITEM InsertItem(const char* text, HTREEITEM parent, HTREEITEM insertAfter = TVI_LAST) = 0;
    virtual void Expand(HTREEITEM item, unsigned code) = 0;
    virtual HTREEITEM GetParentItem(HTREEITEM item) const = 0;
    virtual HTREEITEM GetChildItem(HTREEITEM item) const = 0;
    virtual HTREEITEM GetNextSiblingItem(HTREEITEM item) const = 0;
    // Next item in display order: the first child of an expanded item, else
    // the next sibling of the item or of its nearest ancestor that has one.
    virtual HTREEITEM GetNextVisibleItem(HTREEITEM item) const = 0;
    virtual HTREEITEM GetRootItem() const = 0;
    virtual HTREEITEM GetSelectedItem() const = 0;
    virtual void DeleteAllItems() = 0;
    virtual std::string GetItemText(HTREEITEM item) const = 0;
    virtual bool IsExpanded(HTREEITEM item) const = 0;

    // The byte range of a line. Trees that keep no ranges (the analysis-tree
    // bar) ignore SetItemRange and answer false.
    virtual void SetItemRange(HTREEITEM, const ByteRange&) {}
    virtual bool GetItemRange(HTREEITEM, ByteRange&) const { return false; }

    // Appends an item showing the text of an entry of a CAnalysisEntryList
    // (the analysis-tree bar). A tree may keep the list's own stored text
    // instead of a copy; it pins it (CEntryTextPool::Pin) for as long as it
    // keeps it.
    virtual HTREEITEM InsertEntryItem(const AnalysisEntry& entry, HTREEITEM parent)
    {
        return InsertItem(entry.text, parent, TVI_LAST);
    }

    // Appends a line that describes the bytes of range (see InsertItem above).
    HTREEITEM InsertItem(const char* text, HTREEITEM parent, const ByteRange& range)
    {
        const HTREEITEM item = InsertItem(text, parent, TVI_LAST);
        if (item && !range.Empty())
            SetItemRange(item, range);
        return item;
    }
};
