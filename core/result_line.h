#pragma once
// How every analyzer writes its result lines: one formatter that makes a
// line as the line buffer holds it, and one writer that hangs lines, with
// the bytes they describe, in the result's line tree.
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/line_tree.h"

// Formats one result line, printf-style. A "%c" of a zero byte ends the text
// there, as it ends a C string. Text that is not UTF-8 (file bytes passed
// through "%c" or "%s") is read as code page 932. The line keeps at most
// kMaxLineBytes bytes as code page 932 counts them, cut on a character
// boundary.
__attribute__((format(printf, 1, 2))) std::string ResultLine(const char* format, ...);
std::string ResultLineV(const char* format, va_list args);

// ResultLine("[%08lx] %s", offset, text), the head of most lines, made
// without the formatter when text is plain ASCII.
std::string OffsetLine(uint64_t offset, std::string_view text);

// Appends lines to a result's line tree; with no tree (rough mode) it writes
// nothing and hands out kNoLine, under which nothing lands.
class CTreeWriter {
public:
    explicit CTreeWriter(CLineTree* tree) : tree_(tree) {}

    CLineTree* Tree() const { return tree_; }

    // Appends text under parent; range is the bytes the line describes
    // (none for an interpretation line).
    LineId Insert(LineId parent, const std::string& text, const ByteRange& range = {}) const
    {
        return tree_ ? tree_->Append(text, parent, range) : kNoLine;
    }
    void Expand(LineId line) const
    {
        if (tree_)
            tree_->Expand(line);
    }

private:
    CLineTree* tree_;
};
