#pragma once
// The structures PNG chunks carry: the ICC profile of iCCP (inflated, then
// laid out by the ICC analyzer), the Exif data of eXIf (laid out by the TIFF
// analyzer where it lies in the file), and the texts of tEXt, zTXt and iTXt,
// inflated where they are compressed; an iTXt holding an XMP packet is laid
// out as one. Inflated data is numbered in the file's order from 1: the
// lines of what lies in it count their offsets in that data.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "codec/inflater.h"
#include "core/analysis_run.h"
#include "png/chunk_fields.h"

class CPngEmbedded {
public:
    // An inflated profile or text is never longer than this: a small
    // compressed chunk cannot make the analysis hold gigabytes.
    static constexpr uint64_t kMaxInflatedBytes = uint64_t{64} << 20;
    // A text shows at most this many of its lines.
    static constexpr size_t kMaxTextLines = 256;

    CPngEmbedded(const AnalysisRequest& request, const CTreeWriter& out) : request_(request), out_(out) {}

    void Profile(CChunkFields& f);
    void CompressedText(CChunkFields& f);
    void InternationalText(CChunkFields& f);
    void Exif(CChunkFields& f);

    // The lines of text, whose bytes are range: one line for a short text of
    // one line; else one for all, with its text lines below it.
    static void TextLines(const CTreeWriter& out, LineId parent, std::span<const uint8_t> text, ByteRange range);

private:
    // The compressed bytes left in f as one line, inflated into out; returns
    // the line, whose inflated data is unit_.
    LineId Inflate(CChunkFields& f, const char* name, std::vector<uint8_t>& out);
    void Report(const char* kind, LineId line, const ByteRange& range, const char* text);

    const AnalysisRequest& request_;
    CTreeWriter out_;
    uint16_t unit_ = 0;   // the last inflated data's number
};
