#pragma once
// How every analyzer writes its result lines: one formatter that makes a
// line as the line buffer holds it, and one writer that hangs lines, with
// the bytes they describe, in the active result tree.
#include <cstdarg>
#include <string>

#include "core/tree_control.h"

// Formats one result line, printf-style. A "%c" of a zero byte ends the text
// there, as it ends a C string. Text that is not UTF-8 (file bytes passed
// through "%c" or "%s") is read as code page 932. The line keeps at most
// kMaxLineBytes bytes as code page 932 counts them, cut on a character
// boundary.
__attribute__((format(printf, 1, 2))) std::string ResultLine(const char* format, ...);
std::string ResultLineV(const char* format, va_list args);

// Inserts lines into a result tree; with no tree (rough mode, or no active
// view) it writes nothing and hands out item 0, under which nothing lands.
class CTreeWriter {
public:
    explicit CTreeWriter(ITreeControl* tree) : tree_(tree) {}

    ITreeControl* Tree() const { return tree_; }

    // Appends text under parent; range is the bytes the line describes
    // (none for an interpretation line).
    HTREEITEM Insert(HTREEITEM parent, const std::string& text, const ByteRange& range = {}) const
    {
        return tree_ && parent ? tree_->InsertItem(text.c_str(), parent, range) : 0;
    }
    void Expand(HTREEITEM item) const
    {
        if (tree_ && item)
            tree_->Expand(item, TVE_EXPAND);
    }

private:
    ITreeControl* tree_;
};
