#include "gif/gif_extension_layout.h"

#include <algorithm>
#include <cstring>

#include "core/file_text.h"
#include "core/result_text.h"
#include "core/stream_size.h"
#include "core/xmp_packet.h"

namespace {

// Extension labels, GIF89a sections 23 to 26.
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kComment = 0xFE;
constexpr uint8_t kPlainText = 0x01;
constexpr uint8_t kApplication = 0xFF;

// Disposal methods, GIF89a 23.c.iv; 4 to 7 are reserved.
constexpr const char* kDisposals[8] = {
    "No disposal specified", "Do not dispose", "Restore to background color", "Restore to previous",
    "Reserved", "Reserved", "Reserved", "Reserved",
};

// Plain text extension fields after the block size, GIF89a 25.c.
struct PlainTextField {
    uint32_t offset;
    uint32_t bytes;
    const char* name;
};
constexpr PlainTextField kPlainTextFields[] = {
    {0, 2, "Text Grid Left Position"},  {2, 2, "Text Grid Top Position"}, {4, 2, "Text Grid Width"},
    {6, 2, "Text Grid Height"},         {8, 1, "Character Cell Width"},   {9, 1, "Character Cell Height"},
    {10, 1, "Text Foreground Color Index"}, {11, 1, "Text Background Color Index"},
};

// The application extensions that carry a loop count: Netscape's, and the
// older one of the same layout.
constexpr const char* kLoopApplications[] = {"NETSCAPE2.0", "ANIMEXTS1.0"};
constexpr const char* kXmpApplication = "XMP DataXMP";


uint32_t Le16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }

}  // namespace

CGifExtensionLayout::CGifExtensionLayout(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp,
                                         uint64_t fileSize)
    : request_(request), out_(out), fp_(fp), fileSize_(fileSize)
{
}

LineId CGifExtensionLayout::Head(const std::string& text, uint64_t start, uint64_t end)
{
    if (!Detailed()) {
        request_.run->AddEntry(request_.level + 1, text);
        return kNoLine;
    }
    return Line(request_.parent, text, start, end);
}

LineId CGifExtensionLayout::Line(LineId parent, const std::string& text, uint64_t start, uint64_t end)
{
    return out_.Insert(parent, text, {std::min(start, fileSize_), std::clamp(end, start, fileSize_)});
}

void CGifExtensionLayout::Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end,
                                 const std::string& text, LineId line)
{
    start = std::min(start, fileSize_);
    request_.run->ReportAnomaly(severity, kind, {start, std::clamp(end, start, fileSize_)}, text, line);
}

void CGifExtensionLayout::TakeControl(int& transparentIndex, uint8_t& disposal)
{
    transparentIndex = control_ ? transparentIndex_ : -1;
    disposal = control_ ? disposal_ : 0;
    control_ = false;
}

std::string CGifExtensionLayout::HeadText(uint64_t at, uint8_t label, const FirstBlock& first) const
{
    switch (label) {
    case kGraphicControl: return OffsetLine(at, "Graphic Control Extension");
    case kComment: return OffsetLine(at, "Comment Extension");
    case kPlainText: return OffsetLine(at, "Plain Text Extension");
    case kApplication: {
        const std::string id = FileText(reinterpret_cast<const char*>(first.data), std::min<uint32_t>(first.size, 11));
        return ResultLine("[%08lx] Application Extension (%s)", at, id.c_str());
    }
    default: return ResultLine("[%08lx] Extension (Label 0x%02X)", at, label);
    }
}

uint64_t CGifExtensionLayout::LayOut(uint64_t at)
{
    uint8_t head2[2] = {};
    FirstBlock first;
    first.at = at + 2;
    if (SeekStream(fp_, at) && std::fread(head2, 1, 2, fp_) == 2) {
        const int size = std::getc(fp_);
        first.size = size == EOF ? 0 : static_cast<uint32_t>(size);
        first.size = static_cast<uint32_t>(std::fread(first.data, 1, first.size, fp_));
    }
    const uint8_t label = head2[1];
    const GifSubBlockRun run = CGifSubBlocks::Walk(fp_, at + 2, fileSize_);
    const LineId head = Head(HeadText(at, label, first), at, run.end);
    Line(head, ResultLine("[%08lx] Extension Introducer = 0x%02X", at, head2[0]), at, at + 1);
    Line(head, ResultLine("[%08lx] Extension Label = 0x%02X", at + 1, label), at + 1, at + 2);
    if (run.pastEnd || at + 2 > fileSize_) {
        Report(AnomalySeverity::Error, "gif.block-past-end", at, run.end,
               "拡張ブロックがファイルの終わりを越えています", head);
        out_.Expand(head);
        return 0;
    }
    if (label == kGraphicControl) {
        GraphicControl(first, head);
    } else if (label == kComment) {
        TextLines(at + 2, "Comment", head);
    } else if (label == kPlainText) {
        PlainText(first, head);
    } else if (label == kApplication) {
        Application(first, run, head);
    } else {
        Report(AnomalySeverity::Warning, "gif.unknown-extension", at + 1, at + 2,
               ResultLine("不明な拡張ブロック(ラベル 0x%02X)があります", label), head);
        Rest(at + 2, "Data Sub-blocks", head);
    }
    out_.Expand(head);
    return run.end;
}

bool CGifExtensionLayout::CheckSize(const FirstBlock& first, uint32_t expected, const char* name, LineId head)
{
    const LineId line = Line(head, ResultLine("[%08lx] Block Size = %u", first.at, first.size), first.at, first.at + 1);
    if (first.size == expected)
        return true;
    Report(AnomalySeverity::Error, "gif.bad-block-size", first.at, first.at + 1,
           ResultLine("%s のブロックサイズ %u が %u ではありません", name, first.size, expected),
           line);
    return false;
}

void CGifExtensionLayout::GraphicControl(const FirstBlock& first, LineId head)
{
    const bool whole = CheckSize(first, 4, "Graphic Control Extension", head);
    // The fields of a block of another size are read as far as it holds
    // them; a block too short for them governs nothing.
    if (first.size >= 4) {
        control_ = true;
        const uint8_t packed = first.data[0];
        transparentIndex_ = (packed & 1) ? first.data[3] : -1;
        disposal_ = static_cast<uint8_t>((packed >> 2) & 7);
        ControlFields(first, head);
    }
    Rest(whole ? first.End() : first.at, "Data Sub-blocks", head);
}

void CGifExtensionLayout::ControlFields(const FirstBlock& first, LineId head)
{
    if (!Detailed())
        return;
    const uint64_t p = first.at + 1;
    const uint8_t packed = first.data[0];
    const LineId fields = Line(head, ResultLine("[%08lx] Packed Fields = 0x%02x", p, packed), p, p + 1);
    Line(fields, ResultLine("[%08lx] Reserved = %u", p, packed >> 5), p, p + 1);
    Line(fields, ResultLine("[%08lx] Disposal Method = %u (%s)", p, (packed >> 2) & 7, kDisposals[(packed >> 2) & 7]),
         p, p + 1);
    Line(fields, ResultLine("[%08lx] User Input Flag = %u", p, (packed >> 1) & 1), p, p + 1);
    Line(fields, ResultLine("[%08lx] Transparent Color Flag = %u", p, packed & 1), p, p + 1);
    out_.Expand(fields);
    Line(head, ResultLine("[%08lx] Delay Time = %u [1/100 s]", p + 1, Le16(first.data + 1)), p + 1, p + 3);
    Line(head, ResultLine("[%08lx] Transparent Color Index = %u%s", p + 3, first.data[3], (packed & 1) ? "" : " (unused)"),
         p + 3, p + 4);
}

void CGifExtensionLayout::PlainText(const FirstBlock& first, LineId head)
{
    // A plain text block is a graphic rendering block: it takes the
    // graphic control extension before it, and no image gets that one.
    control_ = false;
    if (!CheckSize(first, 12, "Plain Text Extension", head)) {
        Rest(first.at, "Data Sub-blocks", head);
        return;
    }
    for (const PlainTextField& f : kPlainTextFields) {
        const uint64_t p = first.at + 1 + f.offset;
        const uint32_t value = f.bytes == 2 ? Le16(first.data + f.offset) : first.data[f.offset];
        Line(head, ResultLine("[%08lx] %s = %u", p, f.name, value), p, p + f.bytes);
    }
    TextLines(first.End(), "Plain Text Data", head);
}

void CGifExtensionLayout::Application(const FirstBlock& first, const GifSubBlockRun& run, LineId head)
{
    if (!CheckSize(first, 11, "Application Extension", head)) {
        Rest(first.at, "Data Sub-blocks", head);
        return;
    }
    const char* data = reinterpret_cast<const char*>(first.data);
    Line(head, ResultLine("[%08lx] Application Identifier = %s", first.at + 1, FileText(data, 8).c_str()),
         first.at + 1, first.at + 9);
    Line(head, ResultLine("[%08lx] Application Authentication Code = %s", first.at + 9, FileText(data + 8, 3).c_str()),
         first.at + 9, first.at + 12);
    uint64_t rest = first.End();
    for (const char* loop : kLoopApplications)
        if (std::memcmp(data, loop, 11) == 0)
            rest = LoopCount(rest, head);
    if (std::memcmp(data, kXmpApplication, 11) == 0 && Xmp(rest, run, head))
        return;
    Rest(rest, "Application Data", head);
}

// The loop count sub-block: 3 bytes, the sub-block number 1 and the count
// (0: forever).
uint64_t CGifExtensionLayout::LoopCount(uint64_t at, LineId head)
{
    uint8_t d[4] = {};
    if (!SeekStream(fp_, at) || std::fread(d, 1, 4, fp_) != 4 || d[0] != 3 || d[1] != 1)
        return at;
    Line(head, ResultLine("[%08lx] Sub-block Size = %u", at, d[0]), at, at + 1);
    Line(head, ResultLine("[%08lx] Sub-block ID = %u", at + 1, d[1]), at + 1, at + 2);
    const uint32_t count = Le16(d + 2);
    Line(head, ResultLine("[%08lx] Loop Count = %u%s", at + 2, count, count == 0 ? " (forever)" : ""), at + 2, at + 4);
    return at + 4;
}

// XMP data: the packet's bytes follow the identifier as they are, not cut
// into sub-blocks, up to the magic trailer. False when the trailer is not
// there.
bool CGifExtensionLayout::Xmp(uint64_t at, const GifSubBlockRun& run, LineId head)
{
    if (!run.terminated || run.end < at + kXmpTrailerBytes) {
        Report(AnomalySeverity::Error, "gif.xmp-no-trailer", at, run.end,
               "XMP データの後にマジックトレーラがありません", head);
        return false;
    }
    const uint64_t trailerAt = run.end - kXmpTrailerBytes;
    uint8_t trailer[kXmpTrailerBytes] = {};
    bool ramp = SeekStream(fp_, trailerAt) && std::fread(trailer, 1, sizeof trailer, fp_) == sizeof trailer &&
                trailer[0] == 1 && trailer[kXmpTrailerBytes - 1] == 0;
    for (uint32_t i = 0; ramp && i < 256; ++i)
        ramp = trailer[1 + i] == 255 - i;
    if (!ramp) {
        Report(AnomalySeverity::Error, "gif.xmp-no-trailer", at, run.end,
               "XMP データの後にマジックトレーラがありません", head);
        return false;
    }
    if (!Detailed())
        return true;
    const uint64_t size = trailerAt - at;
    if (size > kMaxXmpBytes) {
        Line(head, ResultLine("[%08lx] XMP Packet (%llu [byte])", at, static_cast<unsigned long long>(size)), at,
             trailerAt);
    } else {
        std::vector<uint8_t> packet(static_cast<size_t>(size));
        if (!packet.empty() && (!SeekStream(fp_, at) || std::fread(packet.data(), 1, packet.size(), fp_) != packet.size()))
            return false;
        AppendXmpPacket(out_, head, packet, at);
    }
    Line(head, ResultLine("[%08lx] XMP Magic Trailer (%llu [byte])", trailerAt,
                          static_cast<unsigned long long>(kXmpTrailerBytes)),
         trailerAt, run.end);
    return true;
}

void CGifExtensionLayout::Rest(uint64_t at, const char* name, LineId head)
{
    if (!Detailed())
        return;
    const GifSubBlockRun run = CGifSubBlocks::Walk(fp_, at, fileSize_);
    const uint64_t blocksEnd = run.terminated ? run.end - 1 : run.end;
    if (blocksEnd > at)
        Line(head, ResultLine("[%08lx] %s : %llu blocks, %llu [byte] of data%s", at, name,
                              static_cast<unsigned long long>(run.count), static_cast<unsigned long long>(run.dataBytes),
                              run.pastEnd ? ", cut by the end of the file" : ""),
             at, blocksEnd);
    if (run.terminated)
        Line(head, OffsetLine(blocksEnd, "Block Terminator"), blocksEnd, run.end);
}

void CGifExtensionLayout::TextLines(uint64_t at, const char* name, LineId head)
{
    if (!Detailed())
        return;
    // The text as the sub-blocks hold it, and where each sub-block's bytes
    // start in it and in the file.
    std::string text;
    std::vector<std::pair<size_t, uint64_t>> blocks;
    CGifSubBlocks::Walk(fp_, at, fileSize_, [&](uint64_t offset, const uint8_t* data, size_t n) {
        blocks.emplace_back(text.size(), offset);
        text.append(reinterpret_cast<const char*>(data), std::min(n, kMaxTextBytes - text.size()));
        return text.size() < kMaxTextBytes;
    });
    const auto offsetOf = [&](size_t pos) {
        const auto block = std::upper_bound(blocks.begin(), blocks.end(), std::make_pair(pos, UINT64_MAX)) - 1;
        return block->second + (pos - block->first);
    };
    const size_t room = kMaxLineBytes - std::min<size_t>(kMaxLineBytes - 64, 14 + std::strlen(name));
    size_t pos = 0;
    for (size_t lines = 0; pos < text.size() && lines < kMaxTextLines; ++lines) {
        const size_t newline = text.find('\n', pos);
        const size_t lineEnd = newline == std::string::npos ? text.size() : newline;
        const size_t shownEnd = lineEnd > pos && text[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
        size_t used = 0;
        const std::string shown = FileText(text.data() + pos, shownEnd - pos, room, &used);
        // A line cut short goes on after what was shown; otherwise the next
        // line starts after the newline.
        const size_t next = used > 0 && pos + used < shownEnd ? pos + used
                            : newline == std::string::npos  ? text.size()
                                                            : newline + 1;
        const uint64_t end = next < text.size() ? offsetOf(next) : offsetOf(next - 1) + 1;
        Line(head, ResultLine("[%08lx] %s = %s", offsetOf(pos), name, shown.c_str()), offsetOf(pos), end);
        pos = next;
    }
    const GifSubBlockRun run = CGifSubBlocks::Walk(fp_, at, fileSize_);
    if (run.dataBytes > pos)
        out_.Insert(head, ResultLine("(%llu more [byte])", static_cast<unsigned long long>(run.dataBytes - pos)));
    if (run.terminated)
        Line(head, OffsetLine(run.end - 1, "Block Terminator"), run.end - 1, run.end);
}
