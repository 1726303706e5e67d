#include "png/png_analyzer.h"

#include <algorithm>
#include <string>

#include "core/stream_size.h"
#include "png/png_chunk_layout.h"
#include "png/png_crc.h"
#include "png/png_picture_painter.h"

namespace {

constexpr uint64_t kSignatureBytes = 8;
// Reads of chunk data go through a buffer of this size.
constexpr size_t kReadBlock = 65536;

uint32_t Be32(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// PNG Third Edition 11.2.1, Table 8, as the summary names colour types.
const char* ColourTypeText(uint8_t type)
{
    switch (type) {
    case 0: return "グレースケール";
    case 2: return "トゥルーカラー";
    case 3: return "インデックスカラー";
    case 4: return "グレースケール+アルファ";
    case 6: return "トゥルーカラー+アルファ";
    }
    return "不明";
}

// A sample of the given depth (1 to 16 bits) as 8 bits, as the decoder
// widens image samples: bit replication below 8, the high byte of 16.
uint8_t To8Bits(uint32_t sample, uint8_t depth)
{
    if (depth >= 16)
        return static_cast<uint8_t>(sample >> 8);
    if (depth == 0 || depth >= 8)
        return static_cast<uint8_t>(sample);
    const uint32_t max = (1u << depth) - 1;
    return static_cast<uint8_t>((sample & max) * 255 / max);
}

}  // namespace

CPngAnalyzer::CPngAnalyzer() = default;
CPngAnalyzer::~CPngAnalyzer() = default;

void CPngAnalyzer::Analyze(const AnalysisRequest& request)
{
    request_ = request;
    fp_ = request.fp;
    if (!fp_)
        return;
    start_ = StreamPosition(fp_);
    fileSize_ = std::min(StreamSize(fp_), request.dataEnd);
    out_ = CTreeWriter(Detailed() ? request.run->Lines() : nullptr);
    order_ = std::make_unique<CPngChunkOrder>(*request.run);
    embedded_ = std::make_unique<CPngEmbedded>(request_, out_);
    Signature();
    Walk();
    if (!Detailed()) {
        Summary();
        return;
    }
    order_->Finish(fileSize_, iend_, record_.headerRead ? record_.header.colourType : -1);
    if (request_.drawPictures && record_.headerRead && !request_.run->CancelRequested())
        DrawPictures();
}

void CPngAnalyzer::Signature()
{
    const std::string text = ResultLine("[%08lx] PNG Signature", start_);
    if (!Detailed()) {
        request_.run->AddEntry(request_.level + 1, text);
        return;
    }
    const uint64_t end = std::min(start_ + kSignatureBytes, fileSize_);
    const LineId line = out_.Insert(request_.parent, text, {start_, end});
    out_.Insert(line, "89 50 4E 47 0D 0A 1A 0A (\\x89 PNG CR LF SUB LF)");
}

bool CPngAnalyzer::ReadChunk(uint64_t at, PngChunk& chunk)
{
    uint8_t head[8];
    if (fileSize_ - std::min(fileSize_, at) < 8 || !SeekStream(fp_, at) || std::fread(head, 1, 8, fp_) != 8)
        return false;
    chunk.at = at;
    chunk.length = Be32(head);
    chunk.type = Be32(head + 4);
    const uint64_t room = fileSize_ - (at + 8);
    chunk.available = std::min<uint64_t>(chunk.length, room);
    chunk.whole = chunk.length <= kMaxChunkLength && room - chunk.available >= 4;
    ReadData(chunk);
    return true;
}

void CPngAnalyzer::ReadData(PngChunk& chunk)
{
    // The rough walk reads only what its summary needs.
    const bool summary = chunk.Is("IHDR") || chunk.Is("acTL");
    if (!Detailed() && !summary)
        return;
    uint64_t hold = 0;
    if (CPngChunkLayout::ReadsData(chunk) && chunk.available <= kMaxHeldBytes)
        hold = chunk.available;
    else if (chunk.Is("fdAT"))
        hold = std::min<uint64_t>(chunk.available, 4);
    const uint64_t read = Detailed() ? chunk.available : hold;
    chunk.data.reserve(static_cast<size_t>(hold));
    CPngCrc crc;
    uint8_t type[4] = {static_cast<uint8_t>(chunk.type >> 24), static_cast<uint8_t>(chunk.type >> 16),
                       static_cast<uint8_t>(chunk.type >> 8), static_cast<uint8_t>(chunk.type)};
    crc.Update(type, 4);
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(kReadBlock, std::max<uint64_t>(read, 1))));
    for (uint64_t done = 0; done < read;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), read - done));
        const size_t got = std::fread(block.data(), 1, want, fp_);
        if (got == 0)
            break;
        crc.Update(block.data(), got);
        if (done < hold)
            chunk.data.insert(chunk.data.end(), block.begin(),
                              block.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(got, hold - done)));
        done += got;
    }
    chunk.crcComputed = crc.Value();
    uint8_t stored[4];
    if (chunk.whole && std::fread(stored, 1, 4, fp_) == 4)
        chunk.crcStored = Be32(stored);
}

void CPngAnalyzer::Walk()
{
    uint64_t at = start_ + kSignatureBytes;
    uint32_t chunks = 0;
    bool headerCut = false;
    // Each pass moves at past one chunk of at least 12 bytes, or ends.
    for (; chunks < kMaxChunks && at < fileSize_ && !iend_; ++chunks) {
        if (request_.run->CancelRequested())
            return;
        PngChunk chunk;
        if (!ReadChunk(at, chunk)) {
            headerCut = true;
            break;
        }
        Take(chunk);
        if (!chunk.whole) {
            at = fileSize_;
            break;
        }
        at = chunk.End();
    }
    Tail(at, headerCut);
}

void CPngAnalyzer::Take(const PngChunk& chunk)
{
    LineId head = kNoLine;
    if (Detailed()) {
        head = ChunkLines(chunk);
    } else {
        request_.run->AddEntry(request_.level + 1,
                               ResultLine("[%08lx] %s, Length = %u [byte]", chunk.at, chunk.Name().c_str(), chunk.length));
    }
    Record(chunk, head);
    if (chunk.Is("IEND"))
        iend_ = true;
}

LineId CPngAnalyzer::ChunkLines(const PngChunk& chunk)
{
    const std::string name = chunk.Name();
    const LineId head = out_.Insert(request_.parent,
                                    ResultLine("[%08lx] %s (%s), Length = %u [byte]", chunk.at, name.c_str(),
                                               CPngChunkLayout::Description(chunk), chunk.length),
                                    {chunk.at, std::min(chunk.End(), fileSize_)});
    out_.Insert(head, ResultLine("[%08lx] Chunk Length = %u [byte]", chunk.at, chunk.length), {chunk.at, chunk.at + 4});
    TypeLines(chunk, head);
    CPngChunkLayout layout(out_, record_, *embedded_);
    const bool fieldsFit = layout.LayOut(chunk, head);
    if (chunk.whole) {
        const bool match = chunk.crcStored == chunk.crcComputed;
        const uint64_t crcAt = chunk.End() - 4;
        out_.Insert(head,
                    match ? ResultLine("[%08lx] CRC = 0x%08x (matches)", crcAt, chunk.crcStored)
                          : ResultLine("[%08lx] CRC = 0x%08x (does not match the computed 0x%08x)", crcAt,
                                       chunk.crcStored, chunk.crcComputed),
                    {crcAt, crcAt + 4});
    }
    out_.Expand(head);
    CheckChunk(chunk, head, fieldsFit);
    order_->Take(chunk, head, record_.headerRead ? record_.header.colourType : -1);
    return head;
}

void CPngAnalyzer::TypeLines(const PngChunk& chunk, LineId head)
{
    const uint64_t at = chunk.at + 4;
    const LineId type = out_.Insert(head, ResultLine("[%08lx] Chunk Type = %s (0x%08x)", at, chunk.Name().c_str(), chunk.type),
                                    {at, at + 4});
    // Bit 5 of each type byte (PNG Third Edition 5.4), a byte each.
    out_.Insert(type, ResultLine("[%08lx] Ancillary Bit = %d (%s)", at, chunk.Ancillary(),
                                 chunk.Ancillary() ? "ancillary" : "critical"), {at, at + 1});
    out_.Insert(type, ResultLine("[%08lx] Private Bit = %d (%s)", at + 1, chunk.Private(),
                                 chunk.Private() ? "private" : "public"), {at + 1, at + 2});
    out_.Insert(type, ResultLine("[%08lx] Reserved Bit = %d (%s)", at + 2, chunk.Reserved(),
                                 chunk.Reserved() ? "not allowed" : "as required"), {at + 2, at + 3});
    out_.Insert(type, ResultLine("[%08lx] Safe-to-copy Bit = %d (%s)", at + 3, chunk.SafeToCopy(),
                                 chunk.SafeToCopy() ? "safe to copy" : "unsafe to copy"), {at + 3, at + 4});
}

void CPngAnalyzer::CheckChunk(const PngChunk& chunk, LineId head, bool fieldsFit)
{
    const std::string name = chunk.Name();
    if (chunk.length > kMaxChunkLength)
        Report(AnomalySeverity::Error, "png.chunk-length-too-large", chunk.at, chunk.at + 4,
               ResultLine("チャンクの長さ %u [byte] が 2^31-1 を越えています", chunk.length), head);
    else if (!chunk.whole)
        Report(AnomalySeverity::Error, "png.chunk-past-end", chunk.at, fileSize_,
               ResultLine("%s チャンクの長さ %u [byte] がファイルの終わりを越えています", name.c_str(), chunk.length), head);
    if (!chunk.NameValid())
        Report(AnomalySeverity::Error, "png.chunk-type-invalid", chunk.at + 4, chunk.at + 8,
               ResultLine("チャンクの種類 0x%08x に英字以外のバイトがあります", chunk.type), head);
    if (chunk.whole && chunk.crcStored != chunk.crcComputed)
        Report(AnomalySeverity::Error, "png.crc-mismatch", chunk.End() - 4, chunk.End(),
               ResultLine("%s チャンクの CRC 0x%08x が計算値 0x%08x と一致しません", name.c_str(), chunk.crcStored,
                          chunk.crcComputed), head);
    if (!fieldsFit && chunk.whole)
        Report(chunk.Ancillary() ? AnomalySeverity::Warning : AnomalySeverity::Error, "png.chunk-data-length",
               chunk.DataAt(), chunk.End() - 4,
               ResultLine("%s チャンクのデータ長 %u [byte] がフィールドと合いません", name.c_str(), chunk.length), head);
}

void CPngAnalyzer::Record(const PngChunk& chunk, LineId head)
{
    const std::vector<uint8_t>& d = chunk.data;
    if (chunk.Is("IHDR") && d.size() >= 13 && !record_.headerRead) {
        record_.header = {Be32(d.data()), Be32(d.data() + 4), d[8], d[9], d[12]};
        record_.unknownMethod = d[10] != 0 || d[11] != 0;
        record_.headerRead = true;
    } else if (chunk.Is("PLTE") && record_.palette.empty()) {
        record_.palette = d;
    } else if (chunk.Is("tRNS") && record_.trns.empty()) {
        record_.trns = d;
    } else if (chunk.Is("bKGD")) {
        RecordBackground(chunk);
    } else if (chunk.Is("IDAT")) {
        if (!idatSeen_)
            imageLine_ = head;
        idatSeen_ = true;
        record_.imageData.push_back({chunk.DataAt(), chunk.available});
    } else if (chunk.Is("acTL") && d.size() >= 8 && frameCount_ == 0) {
        frameCount_ = Be32(d.data());
        record_.animated = !idatSeen_;
    } else if (chunk.Is("fcTL") && d.size() >= 26) {
        const uint8_t* p = d.data();
        const ApngFrameControl control{Be32(p + 4),  Be32(p + 8), Be32(p + 12), Be32(p + 16),
                                       static_cast<uint16_t>(p[20] << 8 | p[21]),
                                       static_cast<uint16_t>(p[22] << 8 | p[23]), p[24], p[25]};
        record_.frames.push_back({control, {}, !idatSeen_});
        frameLines_.push_back(head);
        CheckFrame(chunk, control, head);
    } else if (chunk.Is("fdAT") && !record_.frames.empty() && chunk.available > 4) {
        record_.frames.back().data.push_back({chunk.DataAt() + 4, chunk.available - 4});
    }
}

// A frame lies inside the canvas and holds pixels (APNG, fcTL).
void CPngAnalyzer::CheckFrame(const PngChunk& chunk, const ApngFrameControl& c, LineId head)
{
    const PngImageHeader& h = record_.header;
    const bool inside = c.width > 0 && c.height > 0 && uint64_t{c.xOffset} + c.width <= h.width &&
                        uint64_t{c.yOffset} + c.height <= h.height;
    if (Detailed() && record_.headerRead && !inside)
        Report(AnomalySeverity::Error, "png.frame-outside-canvas", chunk.DataAt() + 4, chunk.DataAt() + 20,
               ResultLine("APNG フレーム %zu (%u x %u, 位置 %u, %u) が画像 (%u x %u) の範囲を越えています",
                          record_.frames.size(), c.width, c.height, c.xOffset, c.yOffset, h.width, h.height),
               head);
}

// The background as the pictures are drawn over it: 8-bit RGB, samples
// widened as the image's are; a palette index past the palette gives none.
void CPngAnalyzer::RecordBackground(const PngChunk& chunk)
{
    const std::vector<uint8_t>& d = chunk.data;
    const PngImageHeader& h = record_.header;
    uint8_t* rgb = record_.background;
    if (h.colourType == 3 && d.size() >= 1 && size_t{d[0]} * 3 + 3 <= record_.palette.size()) {
        std::copy_n(record_.palette.begin() + d[0] * 3, 3, rgb);
    } else if ((h.colourType == 0 || h.colourType == 4) && d.size() >= 2) {
        rgb[0] = rgb[1] = rgb[2] = To8Bits(uint32_t{d[0]} << 8 | d[1], h.bitDepth);
    } else if ((h.colourType == 2 || h.colourType == 6) && d.size() >= 6) {
        for (int c = 0; c < 3; ++c)
            rgb[c] = To8Bits(uint32_t{d[2 * c]} << 8 | d[2 * c + 1], h.bitDepth);
    } else {
        return;
    }
    record_.hasBackground = true;
}

void CPngAnalyzer::Tail(uint64_t at, bool headerCut)
{
    if (at >= fileSize_)
        return;
    const auto rest = static_cast<unsigned long long>(fileSize_ - at);
    const std::string text =
        headerCut ? ResultLine("[%08lx] Chunk Header cut short (%llu [byte])", at, rest)
        : iend_   ? ResultLine("[%08lx] Data after IEND (%llu [byte])", at, rest)
                  : ResultLine("[%08lx] Chunks after the first %u, not listed (%llu [byte])", at, kMaxChunks, rest);
    if (!Detailed()) {
        request_.run->AddEntry(request_.level + 1, text);
        return;
    }
    const LineId line = out_.Insert(request_.parent, text, {at, fileSize_});
    if (headerCut)
        Report(AnomalySeverity::Error, "png.chunk-past-end", at, fileSize_,
               "チャンクのヘッダがファイルの終わりで切れています", line);
    else if (iend_)
        Report(AnomalySeverity::Warning, "png.data-after-iend", at, fileSize_,
               ResultLine("IEND の後にデータがあります (%llu [byte])", rest), line);
}

void CPngAnalyzer::Summary()
{
    if (!record_.headerRead)
        return;
    const PngImageHeader& h = record_.header;
    CAnalysisRun& run = *request_.run;
    run.AppendSummary(ResultLine("[画像サイズ]%5d x %5d ", static_cast<int>(h.width), static_cast<int>(h.height)));
    run.AppendSummary(ResultLine("[カラータイプ]%s [ビット深度]%u ", ColourTypeText(h.colourType), h.bitDepth));
    if (h.interlace == 1)
        run.AppendSummary("[インターレース]Adam7 ");
    if (record_.animated)
        run.AppendSummary(ResultLine("[APNG]%u フレーム ", frameCount_));
}

void CPngAnalyzer::DrawPictures()
{
    CPngPicturePainter painter(request_, record_);
    painter.DrawAll([this](size_t picture, const PngPictureOutcome& outcome) { DataProblem(picture, outcome); });
}

void CPngAnalyzer::DataProblem(size_t picture, const PngPictureOutcome& outcome)
{
    // The picture's data: the IDAT chunks, or the frame's fdAT chunks.
    size_t frame = SIZE_MAX;
    if (record_.animated && !record_.frames.empty())
        frame = record_.frames.front().defaultImage ? picture : picture - 1;
    const bool own = frame >= record_.frames.size() || record_.frames[frame].defaultImage;
    const std::vector<FilePiece>& data = own ? record_.imageData : record_.frames[frame].data;
    // A picture without any data is the missing chunk's anomaly.
    if (data.empty())
        return;
    const uint64_t start = data.front().offset;
    const uint64_t end = data.back().offset + data.back().size;
    const LineId line = own ? imageLine_ : frameLines_[frame];
    const std::string what = own ? std::string("画像データ") : ResultLine("APNG フレーム %zu のデータ", frame + 1);
    if (outcome.endedEarly)
        Report(AnomalySeverity::Error, "png.image-data-short", start, end,
               what + "が画像の終わりより前に終わっています", line);
    if (outcome.badFilter)
        Report(AnomalySeverity::Error, "png.bad-filter-type", start, end,
               what + "の行のフィルタの種類が 4 を超えています", line);
    // Readers ignore what follows the last row; writers do not put it there.
    if (outcome.extraBytes > 0)
        Report(AnomalySeverity::Warning, "png.image-data-extra", start, end,
               ResultLine("%sが画像の終わりの後に %llu [byte] 続いています", what.c_str(),
                          static_cast<unsigned long long>(outcome.extraBytes)),
               line);
}

void CPngAnalyzer::Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end,
                          const std::string& text, LineId line)
{
    start = std::min(start, fileSize_);
    request_.run->ReportAnomaly(severity, kind, {start, std::clamp(end, start, fileSize_)}, text, line);
}
