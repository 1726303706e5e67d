#include "png/png_embedded.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/file_text.h"
#include "core/result_line.h"
#include "core/result_text.h"
#include "core/stream_size.h"
#include "core/xmp_packet.h"

namespace {

// Collects inflated bytes in memory.
class CByteSink : public IInflateSink {
public:
    explicit CByteSink(std::vector<uint8_t>& out) : out_(out) {}
    bool Write(const uint8_t* data, size_t n) override
    {
        out_.insert(out_.end(), data, data + n);
        return true;
    }

private:
    std::vector<uint8_t>& out_;
};

const char* StatusText(InflateStatus status)
{
    switch (status) {
    case InflateStatus::Complete: return "complete";
    case InflateStatus::Truncated: return "cut short";
    case InflateStatus::Malformed: return "corrupt, inflated up to the fault";
    case InflateStatus::OutputLimit: return "stopped at the size limit";
    case InflateStatus::SinkStopped: return "stopped";
    }
    return "";
}

// A text this short and of one line shows on the line of its field.
constexpr size_t kOneLineBytes = kMaxLineBytes / 2;
// A text line keeps this much of its text: the rest of the result line is
// its offset.
constexpr size_t kTextLineBytes = kMaxLineBytes - 11;

// The keyword of an iTXt chunk that holds an XMP packet.
constexpr const char* kXmpKeyword = "XML:com.adobe.xmp";

// A compression method byte of 0: zlib's deflate (PNG Third Edition 10.1).
constexpr uint32_t kDeflate = 0;

const char* MethodName(uint32_t method)
{
    return method == kDeflate ? "deflate" : "undefined";
}

}  // namespace

void CPngEmbedded::Report(const char* kind, LineId line, const ByteRange& range, const char* text)
{
    request_.run->ReportAnomaly(AnomalySeverity::Warning, kind, range, text, line);
}

LineId CPngEmbedded::Inflate(CChunkFields& f, const char* name, std::vector<uint8_t>& out)
{
    const uint64_t at = f.At();
    const size_t size = f.Left();
    const std::span<const uint8_t> compressed = f.Data().subspan(f.Position());
    f.Skip(size);
    InflateResult result;
    // fmemopen takes no empty buffer; an empty stream is a cut-short one.
    static uint8_t nothing = 0;
    FILE* stream = fmemopen(size ? const_cast<uint8_t*>(compressed.data()) : &nothing, size ? size : 1, "rb");
    if (stream) {
        if (size == 0)
            std::fgetc(stream);
        CByteSink sink(out);
        CInflater inflater;
        result = inflater.InflateToSink(stream, sink, kMaxInflatedBytes);
        std::fclose(stream);
    }
    ++unit_;
    const LineId line = out_.Insert(f.Parent(),
                                    ResultLine("[%08lx] %s (%zu [byte]) : %zu [byte] inflated (%s)", at, name, size,
                                               out.size(), StatusText(result.status)),
                                    ByteRange{at, at + size});
    if (result.status == InflateStatus::Truncated || result.status == InflateStatus::Malformed)
        Report("png.inflate-failed", line, {at, at + size}, "圧縮データを最後まで展開できません");
    return line;
}

void CPngEmbedded::TextLines(const CTreeWriter& out, LineId parent, std::span<const uint8_t> text, ByteRange range)
{
    const char* bytes = reinterpret_cast<const char*>(text.data());
    const size_t size = text.size();
    if (size == 0 || (size <= kOneLineBytes && !std::memchr(bytes, '\n', size))) {
        out.Insert(parent, ResultLine("[%08lx] Text = %s", range.start, FileText(bytes, size).c_str()), range);
        return;
    }
    const LineId head = out.Insert(parent, ResultLine("[%08lx] Text (%zu [byte])", range.start, size), range);
    size_t lines = 0;
    for (size_t pos = 0; pos < size; ++lines) {
        if (lines == kMaxTextLines) {
            out.Insert(head, ResultLine("(%zu [byte] more not shown)", size - pos));
            break;
        }
        // A line's range holds its line end; the text shown does not.
        const char* newline = static_cast<const char*>(std::memchr(bytes + pos, '\n', size - pos));
        const size_t end = newline ? static_cast<size_t>(newline - bytes) + 1 : size;
        size_t shownEnd = newline ? end - 1 : end;
        if (shownEnd > pos && bytes[shownEnd - 1] == '\r')
            --shownEnd;
        const std::string shown = FileText(bytes + pos, shownEnd - pos, kTextLineBytes);
        ByteRange lineRange = range;
        lineRange.start = range.start + pos;
        lineRange.end = range.start + end;
        out.Insert(head, ResultLine("[%08lx] %s", lineRange.start, shown.c_str()), lineRange);
        pos = end;
    }
}

void CPngEmbedded::Profile(CChunkFields& f)
{
    uint32_t method = 0;
    if (!f.Terminated("Profile Name", nullptr) || !f.Number(1, "Compression Method", &method, MethodName(f.Peek(1))))
        return;
    if (method != kDeflate) {
        f.Rest("Compressed Profile");
        return;
    }
    std::vector<uint8_t> profile;
    const LineId line = Inflate(f, "Compressed Profile", profile);
    const CAnalysisRun::NestedScope scope(*request_.run);
    if (profile.empty() || !scope.Allowed())
        return;
    FILE* stream = fmemopen(profile.data(), profile.size(), "rb");
    if (!stream)
        return;
    RunAnalyzer(kFormatIcc, {.run = request_.run,
                             .fp = stream,
                             .mode = AnalysisMode::Detailed,
                             .level = request_.level + 1,
                             .parent = line,
                             .dataEnd = profile.size(),
                             .space = ByteSpace::Inflated,
                             .unit = unit_});
    std::fclose(stream);
    out_.Expand(line);
}

void CPngEmbedded::CompressedText(CChunkFields& f)
{
    uint32_t method = 0;
    if (!f.Terminated("Keyword", nullptr) || !f.Number(1, "Compression Method", &method, MethodName(f.Peek(1))))
        return;
    if (method != kDeflate) {
        f.Rest("Compressed Text");
        return;
    }
    std::vector<uint8_t> text;
    const LineId line = Inflate(f, "Compressed Text", text);
    TextLines(out_, line, text, {0, text.size(), ByteSpace::Inflated, unit_});
    out_.Expand(line);
}

void CPngEmbedded::InternationalText(CChunkFields& f)
{
    std::string keyword;
    uint32_t compressed = 0;
    uint32_t method = 0;
    if (!f.Terminated("Keyword", &keyword) ||
        !f.Number(1, "Compression Flag", &compressed, f.Peek(1) ? "compressed" : "uncompressed") ||
        !f.Number(1, "Compression Method", &method, MethodName(f.Peek(1))) || !f.Terminated("Language Tag", nullptr) ||
        !f.Terminated("Translated Keyword", nullptr))
        return;
    const bool xmp = keyword == kXmpKeyword;
    if (!compressed) {
        const std::span<const uint8_t> text = f.Data().subspan(f.Position());
        const ByteRange range{f.At(), f.At() + text.size()};
        f.Skip(text.size());
        if (xmp && !text.empty())
            AppendXmpPacket(out_, f.Parent(), text, range.start);
        else if (!text.empty())
            TextLines(out_, f.Parent(), text, range);
        return;
    }
    if (method != kDeflate) {
        f.Rest("Compressed Text");
        return;
    }
    std::vector<uint8_t> text;
    const LineId line = Inflate(f, "Compressed Text", text);
    if (!xmp || text.empty()) {
        TextLines(out_, line, text, {0, text.size(), ByteSpace::Inflated, unit_});
    } else if (CLineTree* tree = out_.Tree()) {
        // The packet's lines count in the inflated text.
        const LineId head = AppendXmpPacket(out_, line, text, 0);
        for (LineId l = head; head != kNoLine && l <= tree->Count(); ++l) {
            ByteRange range;
            if (tree->RangeOf(l, range)) {
                range.space = ByteSpace::Inflated;
                range.unit = unit_;
                tree->SetRange(l, range);
            }
        }
    }
    out_.Expand(line);
}

void CPngEmbedded::Exif(CChunkFields& f)
{
    const uint64_t at = f.At();
    const uint64_t end = at + f.Left();
    const LineId data = f.Put(f.Left(), ResultLine("[%08lx] Exif Data (TIFF Format) 0x%08lX - 0x%08lX", at, at,
                                                   end - std::min<uint64_t>(end, 1)));
    const CAnalysisRun::NestedScope scope(*request_.run);
    if (end == at || !scope.Allowed())
        return;
    SeekStream(request_.fp, at);
    RunAnalyzer(kFormatTiff, {.run = request_.run,
                              .fp = request_.fp,
                              .path = request_.path,
                              .mode = request_.mode,
                              .level = request_.level + 1,
                              .parent = data,
                              .dataEnd = end,
                              .drawPictures = request_.drawPictures});
    out_.Expand(data);
}
