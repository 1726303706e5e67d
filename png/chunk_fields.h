#pragma once
// Reads the fields of one chunk's data in order and writes a line for each,
// with the bytes it covers. A field that the data is too short for is not
// read: Short() then says so, and the layout stops there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/result_line.h"

class CChunkFields {
public:
    // Arrays show this many entries under their line; the line itself
    // covers all of them.
    static constexpr size_t kShownEntries = 8;

    // data is the chunk's data (as much of it as the file holds), the first
    // byte at file offset dataAt; the lines go under parent.
    CChunkFields(const CTreeWriter& out, LineId parent, std::span<const uint8_t> data, uint64_t dataAt);

    const CTreeWriter& Out() const { return out_; }
    LineId Parent() const { return parent_; }
    std::span<const uint8_t> Data() const { return data_; }
    size_t Position() const { return pos_; }
    size_t Left() const { return data_.size() - pos_; }
    uint64_t At() const { return dataAt_ + pos_; }
    uint64_t OffsetOf(size_t position) const { return dataAt_ + position; }
    bool Short() const { return short_; }

    // Whether n more bytes are there; when not, the data is short.
    bool Need(size_t n);
    // The big-endian value of the next n (at most 4) bytes; Need(n) first.
    uint32_t Peek(size_t n) const;
    // A line for the next n bytes (as many as there are), and past them.
    LineId Put(size_t n, const std::string& text);
    // Past n bytes that other lines describe.
    void Skip(size_t n) { pos_ += std::min(n, Left()); }
    // "Name = value (note)" for an n-byte big-endian number; false, with
    // nothing written, when the data is short. value receives the number.
    bool Number(size_t n, const char* name, uint32_t* value = nullptr, const char* note = nullptr);
    // A text that a NUL ends (a keyword, a language tag): its line covers
    // the text and the NUL. Without a NUL, the text runs to the data's end
    // and missing says so.
    bool Terminated(const char* name, std::string* text, bool* missing = nullptr);
    // Count entries of entryBytes each: one line for all, the first
    // kShownEntries below it, each described by show(index, bytes).
    template <typename Show>
    void Entries(const char* name, size_t count, size_t entryBytes, Show show);
    // The bytes left, if any, as one line.
    void Rest(const char* name);

private:
    CTreeWriter out_;
    LineId parent_;
    std::span<const uint8_t> data_;
    uint64_t dataAt_;
    size_t pos_ = 0;
    bool short_ = false;
};

template <typename Show>
void CChunkFields::Entries(const char* name, size_t count, size_t entryBytes, Show show)
{
    if (count == 0)
        return;
    const size_t start = pos_;
    const uint64_t at = At();
    const LineId line = out_.Insert(parent_,
                                    ResultLine("[%08lx] %s = %zu (%zu [byte])", at, name, count, count * entryBytes),
                                    ByteRange{at, at + count * entryBytes});
    for (size_t i = 0; i < count && i < kShownEntries; ++i) {
        const size_t p = start + i * entryBytes;
        out_.Insert(line, ResultLine("[%08lx] %s", OffsetOf(p), show(i, data_.data() + p).c_str()),
                    ByteRange{OffsetOf(p), OffsetOf(p + entryBytes)});
    }
    pos_ = start + count * entryBytes;
}
