#pragma once
// One APPn segment as its layouts see it: the payload's bytes at payload
// positions (0 is the byte after the length field), the lines written about
// them at file offsets, and the nested analyses started on them.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/result_line.h"
#include "core/line_tree.h"

class CAppSegment {
public:
    // bytes: the file's bytes from the payload's first byte on, as far as
    // the caller read them; payloadSize: what the length field declares.
    CAppSegment(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp, std::span<const uint8_t> bytes,
                uint64_t payloadOffset, uint64_t payloadSize, uint64_t fileSize);

    // Payload bytes at hand: the declared payload as far as the file holds it.
    size_t Size() const { return size_; }
    // Whether the file holds the whole declared payload.
    bool Whole() const { return size_ == payloadSize_; }
    bool Has(size_t position, size_t count) const { return position <= size_ && count <= size_ - position; }
    // Big-endian values at position; only for positions that Has() allows.
    uint32_t U8(size_t position) const { return bytes_[position]; }
    uint32_t U16(size_t position) const;
    uint32_t U32(size_t position) const;
    const uint8_t* Data(size_t position) const { return bytes_.data() + position; }
    // Whether the payload begins at position with text and, when withNul, a
    // NUL after it.
    bool StartsWith(size_t position, const char* text, bool withNul) const;
    // The bytes read for fields that run past the declared payload (as far
    // as the file holds them).
    std::span<const uint8_t> Bytes() const { return bytes_; }

    uint64_t Offset(size_t position) const { return payloadOffset_ + position; }
    uint64_t End() const { return payloadOffset_ + payloadSize_; }
    uint64_t FileSize() const { return fileSize_; }

    // A line about the payload bytes [position, position + count), as far as
    // they lie in the file; a note is a line about no bytes.
    LineId Line(LineId parent, size_t position, size_t count, const std::string& text) const;
    LineId Note(LineId parent, const std::string& text) const { return out_.Insert(parent, text); }
    // The bytes [position, end) after the last item of a container that its
    // walk cannot take for another: the zero bytes that writers pad with, or
    // else a note (what the walk missed there).
    void Trailing(LineId parent, size_t position, size_t end, const char* note) const;
    void Expand(LineId item) const { out_.Expand(item); }
    const CTreeWriter& Out() const { return out_; }
    const AnalysisRequest& Request() const { return request_; }
    FILE* Stream() const { return fp_; }

    // Runs the analyzer of format on the data from payload position on up to
    // the file offset dataEnd, under the line inserted last. Its pictures get
    // label; pictures, when given, receives those it finds elsewhere.
    void Nested(uint32_t format, LineId parent, size_t position, uint64_t dataEnd, const std::string& label,
                std::vector<AnalysisRequest::EmbeddedPicture>* pictures = nullptr) const;

private:
    const AnalysisRequest& request_;
    const CTreeWriter& out_;
    FILE* fp_;
    std::span<const uint8_t> bytes_;
    uint64_t payloadOffset_;
    uint64_t payloadSize_;
    uint64_t fileSize_;
    size_t size_;
};
