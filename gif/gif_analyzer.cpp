#include "gif/gif_analyzer.h"

#include <algorithm>
#include <cstring>

#include "codec/alpha_compositor.h"
#include "core/result_text.h"
#include "core/stream_size.h"
#include "gif/gif_extension_layout.h"
#include "gif/gif_frame_source.h"
#include "gif/gif_sub_blocks.h"
#include "image/image_buffer.h"

namespace {

// Block introducers, GIF89a sections 20, 23 to 27.
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kTrailer = 0x3B;

constexpr uint64_t kHeaderBytes = 6;
constexpr uint64_t kScreenBytes = 7;
constexpr uint64_t kDescriptorBytes = 10;

uint32_t Le16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }

// A colour table flag's table holds 2 ^ (size + 1) entries (GIF89a 18, 20).
uint32_t TableEntries(uint8_t packed) { return (packed & 0x80) ? 2u << (packed & 7) : 0; }

}  // namespace

CGifAnalyzer::CGifAnalyzer() = default;
CGifAnalyzer::~CGifAnalyzer() = default;

LineId CGifAnalyzer::Head(const std::string& text, uint64_t start, uint64_t end)
{
    if (!Detailed()) {
        request_.run->AddEntry(request_.level + 1, text);
        return kNoLine;
    }
    return Line(request_.parent, text, start, end);
}

LineId CGifAnalyzer::Line(LineId parent, const std::string& text, uint64_t start, uint64_t end)
{
    return out_.Insert(parent, text, {std::min(start, fileSize_), std::clamp(end, start, fileSize_)});
}

void CGifAnalyzer::Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end,
                          const std::string& text, LineId line)
{
    start = std::min(start, fileSize_);
    request_.run->ReportAnomaly(severity, kind, {start, std::clamp(end, start, fileSize_)}, text, line);
}

size_t CGifAnalyzer::ReadAt(uint64_t offset, uint8_t* to, size_t n)
{
    if (offset >= fileSize_ || !SeekStream(fp_, offset))
        return 0;
    return std::fread(to, 1, static_cast<size_t>(std::min<uint64_t>(n, fileSize_ - offset)), fp_);
}

void CGifAnalyzer::Analyze(const AnalysisRequest& request)
{
    request_ = request;
    fp_ = request.fp;
    if (!fp_)
        return;
    out_ = CTreeWriter(Detailed() ? request.run->Lines() : nullptr);
    start_ = StreamPosition(fp_);
    fileSize_ = std::min(StreamSize(fp_), request.dataEnd);
    extensions_ = std::make_unique<CGifExtensionLayout>(request_, out_, fp_, fileSize_);
    if (HeaderAndScreen())
        Walk();
    if (!Detailed())
        Summary();
    else
        DrawFrames();
}

bool CGifAnalyzer::HeaderAndScreen()
{
    uint8_t d[kHeaderBytes + kScreenBytes] = {};
    const size_t n = ReadAt(start_, d, sizeof d);
    std::memcpy(version_, d + 3, 3);
    const uint64_t at = start_;
    const LineId header = Head(ResultLine("[%08lx] Header (GIF%s)", at, version_), at, at + kHeaderBytes);
    Line(header, ResultLine("[%08lx] Signature = %.3s", at, reinterpret_cast<const char*>(d)), at, at + 3);
    Line(header, ResultLine("[%08lx] Version = %s", at + 3, version_), at + 3, at + 6);
    out_.Expand(header);
    const uint64_t screenAt = at + kHeaderBytes;
    const LineId screen =
        Head(OffsetLine(screenAt, "Logical Screen Descriptor"), screenAt, screenAt + kScreenBytes);
    if (n < sizeof d) {
        pastEnd_ = true;
        Report(AnomalySeverity::Error, "gif.block-past-end", screenAt, screenAt + kScreenBytes,
               "論理画面記述子がファイルの終わりを越えています", screen);
        return false;
    }
    record_.screenWidth = static_cast<uint16_t>(Le16(d + 6));
    record_.screenHeight = static_cast<uint16_t>(Le16(d + 8));
    ScreenFields(d + kHeaderBytes, screen);
    globalEntries_ = TableEntries(d[10]);
    globalAt_ = screenAt + kScreenBytes;
    if (globalEntries_ == 0)
        return true;
    ColourTable("Global Color Table", globalAt_, globalEntries_);
    return !pastEnd_;
}

void CGifAnalyzer::ScreenFields(const uint8_t* d, LineId head)
{
    if (!Detailed())
        return;
    const uint64_t at = start_ + kHeaderBytes;
    Line(head, ResultLine("[%08lx] Logical Screen Width = %u [pixels]", at, Le16(d)), at, at + 2);
    Line(head, ResultLine("[%08lx] Logical Screen Height = %u [pixels]", at + 2, Le16(d + 2)), at + 2, at + 4);
    const uint8_t packed = d[4];
    const LineId fields = Line(head, ResultLine("[%08lx] Packed Fields = 0x%02x", at + 4, packed), at + 4, at + 5);
    Line(fields, ResultLine("[%08lx] Global Color Table Flag = %u", at + 4, packed >> 7), at + 4, at + 5);
    Line(fields, ResultLine("[%08lx] Color Resolution = %u (%u bits per primary colour)", at + 4, (packed >> 4) & 7,
                            ((packed >> 4) & 7) + 1),
         at + 4, at + 5);
    Line(fields, ResultLine("[%08lx] Sort Flag = %u", at + 4, (packed >> 3) & 1), at + 4, at + 5);
    Line(fields, ResultLine("[%08lx] Size of Global Color Table = %u (%u entries)", at + 4, packed & 7, 2u << (packed & 7)),
         at + 4, at + 5);
    out_.Expand(fields);
    Line(head, ResultLine("[%08lx] Background Color Index = %u", at + 5, d[5]), at + 5, at + 6);
    // GIF89a 18: the aspect ratio is (value + 15) / 64; zero gives none.
    const std::string aspect = d[6] == 0 ? std::string("none") : ResultLine("%.4f", (d[6] + 15) / 64.0);
    Line(head, ResultLine("[%08lx] Pixel Aspect Ratio = %u (%s)", at + 6, d[6], aspect.c_str()), at + 6, at + 7);
    out_.Expand(head);
}

// One line for the whole table, and its first entries below it.
LineId CGifAnalyzer::ColourTable(const char* name, uint64_t at, uint32_t entries)
{
    const uint64_t bytes = uint64_t{3} * entries;
    const std::string text = ResultLine("[%08lx] %s : %u entries (%llu [byte])", at, name, entries,
                                        static_cast<unsigned long long>(bytes));
    const LineId table = Head(text, at, at + bytes);
    if (bytes > fileSize_ - std::min(at, fileSize_)) {
        pastEnd_ = true;
        Report(AnomalySeverity::Error, "gif.block-past-end", at, at + bytes,
               ResultLine("%s (%llu [byte]) がファイルの終わりを越えています", name,
                          static_cast<unsigned long long>(bytes)),
               table);
        return table;
    }
    if (!Detailed())
        return table;
    uint8_t rgb[3 * kShownEntries];
    const uint32_t shown = std::min(entries, kShownEntries);
    ReadAt(at, rgb, size_t{3} * shown);
    for (uint32_t i = 0; i < shown; ++i)
        Line(table, ResultLine("[%08lx] Color %u = (%u, %u, %u)", at + 3 * i, i, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]),
             at + 3 * i, at + 3 * i + 3);
    if (entries > shown)
        out_.Insert(table, ResultLine("(%u more entries)", entries - shown));
    return table;
}

uint64_t CGifAnalyzer::Image(uint64_t at)
{
    uint8_t d[kDescriptorBytes] = {};
    const size_t n = ReadAt(at, d, sizeof d);
    const size_t number = record_.frames.size() + 1;
    const LineId head = Head(ResultLine("[%08lx] Image Descriptor (Frame %zu)", at, number), at, at + kDescriptorBytes);
    if (n < sizeof d) {
        pastEnd_ = true;
        Report(AnomalySeverity::Error, "gif.block-past-end", at, at + kDescriptorBytes,
               "イメージ記述子がファイルの終わりを越えています", head);
        return 0;
    }
    GifFrameRecord frame;
    frame.descriptorAt = at;
    frame.left = static_cast<uint16_t>(Le16(d + 1));
    frame.top = static_cast<uint16_t>(Le16(d + 3));
    frame.width = static_cast<uint16_t>(Le16(d + 5));
    frame.height = static_cast<uint16_t>(Le16(d + 7));
    frame.interlaced = (d[9] & 0x40) != 0;
    DescriptorFields(at, d, head);
    // Sums of two 16-bit values: no overflow in 32 bits.
    if (uint32_t{frame.left} + frame.width > record_.screenWidth ||
        uint32_t{frame.top} + frame.height > record_.screenHeight)
        Report(AnomalySeverity::Warning, "gif.frame-outside-screen", at + 1, at + kDescriptorBytes - 1,
               ResultLine("フレーム %zu (%u, %u) %u x %u が論理画面 %u x %u からはみ出しています", number, frame.left,
                          frame.top, frame.width, frame.height, record_.screenWidth, record_.screenHeight),
               head);
    uint64_t pos = at + kDescriptorBytes;
    frame.paletteAt = globalAt_;
    frame.paletteEntries = globalEntries_;
    if (const uint32_t local = TableEntries(d[9])) {
        ColourTable("Local Color Table", pos, local);
        if (pastEnd_)
            return 0;
        frame.paletteAt = pos;
        frame.paletteEntries = local;
        pos += uint64_t{3} * local;
    }
    if (frame.paletteEntries == 0)
        Report(AnomalySeverity::Warning, "gif.no-colour-table", at, at + kDescriptorBytes,
               ResultLine("フレーム %zu にはカラーテーブルがありません(黒で描きます)", number), head);
    extensions_->TakeControl(frame.transparentIndex, frame.disposal);
    return ImageData(pos, frame);
}

void CGifAnalyzer::DescriptorFields(uint64_t at, const uint8_t* d, LineId head)
{
    if (!Detailed())
        return;
    Line(head, ResultLine("[%08lx] Image Separator = 0x%02X", at, d[0]), at, at + 1);
    Line(head, ResultLine("[%08lx] Image Left Position = %u", at + 1, Le16(d + 1)), at + 1, at + 3);
    Line(head, ResultLine("[%08lx] Image Top Position = %u", at + 3, Le16(d + 3)), at + 3, at + 5);
    Line(head, ResultLine("[%08lx] Image Width = %u [pixels]", at + 5, Le16(d + 5)), at + 5, at + 7);
    Line(head, ResultLine("[%08lx] Image Height = %u [pixels]", at + 7, Le16(d + 7)), at + 7, at + 9);
    const uint8_t packed = d[9];
    const uint64_t p = at + 9;
    const LineId fields = Line(head, ResultLine("[%08lx] Packed Fields = 0x%02x", p, packed), p, p + 1);
    Line(fields, ResultLine("[%08lx] Local Color Table Flag = %u", p, packed >> 7), p, p + 1);
    Line(fields, ResultLine("[%08lx] Interlace Flag = %u", p, (packed >> 6) & 1), p, p + 1);
    Line(fields, ResultLine("[%08lx] Sort Flag = %u", p, (packed >> 5) & 1), p, p + 1);
    Line(fields, ResultLine("[%08lx] Reserved = %u", p, (packed >> 3) & 3), p, p + 1);
    Line(fields, ResultLine("[%08lx] Size of Local Color Table = %u (%u entries)", p, packed & 7, 2u << (packed & 7)),
         p, p + 1);
    out_.Expand(fields);
    out_.Expand(head);
}

// The LZW minimum code size and the data sub-blocks: one line for all the
// sub-blocks, however many there are.
uint64_t CGifAnalyzer::ImageData(uint64_t at, GifFrameRecord& frame)
{
    uint8_t codeSize = 0;
    const bool haveSize = ReadAt(at, &codeSize, 1) == 1;
    const GifSubBlockRun run = haveSize ? CGifSubBlocks::Walk(fp_, at + 1, fileSize_) : GifSubBlockRun{};
    const uint64_t end = haveSize ? run.end : at + 1;
    const LineId head = Head(OffsetLine(at, "Image Data"), at, end);
    dataLines_.push_back(head);
    const LineId sizeLine = Line(head, ResultLine("[%08lx] LZW Minimum Code Size = %u", at, codeSize), at, at + 1);
    const uint64_t blocksEnd = run.terminated ? end - 1 : end;
    if (haveSize && blocksEnd > at + 1)
        Line(head, ResultLine("[%08lx] Data Sub-blocks : %llu blocks, %llu [byte] of data%s", at + 1,
                              static_cast<unsigned long long>(run.count), static_cast<unsigned long long>(run.dataBytes),
                              run.pastEnd ? ", cut by the end of the file" : ""),
             at + 1, blocksEnd);
    if (run.terminated)
        Line(head, OffsetLine(end - 1, "Block Terminator"), end - 1, end);
    out_.Expand(head);
    if (codeSize > CGifLzwDecoder::kMaxMinCodeSize)
        Report(AnomalySeverity::Error, "gif.bad-code-size", at, at + 1,
               ResultLine("LZW 最小符号サイズ %u が 8 を越えています", codeSize), sizeLine);
    if (!haveSize || run.pastEnd) {
        pastEnd_ = true;
        Report(AnomalySeverity::Error, "gif.block-past-end", at, end, "画像データがファイルの終わりを越えています", head);
    }
    frame.minCodeSize = codeSize;
    frame.dataAt = at + 1;
    frame.dataEnd = end;
    // A frame cut by the file's end is still drawn as far as it goes.
    record_.frames.push_back(frame);
    return pastEnd_ ? 0 : end;
}

void CGifAnalyzer::Walk()
{
    uint64_t pos = globalAt_ + uint64_t{3} * globalEntries_;
    for (; blocks_ < kMaxBlocks; ++blocks_) {
        if (pos >= fileSize_) {
            End(pos, false);
            return;
        }
        uint8_t introducer = 0;
        ReadAt(pos, &introducer, 1);
        if (introducer == kTrailer) {
            Head(OffsetLine(pos, "Trailer"), pos, pos + 1);
            End(pos + 1, true);
            return;
        }
        if (introducer == kImageSeparator) {
            pos = Image(pos);
        } else if (introducer == kExtensionIntroducer) {
            pos = extensions_->LayOut(pos);
        } else {
            const LineId line = Head(ResultLine("[%08lx] 不正なブロック(0x%02X)", pos, introducer), pos, fileSize_);
            Report(AnomalySeverity::Error, "gif.unknown-block", pos, pos + 1,
                   ResultLine("不明なブロック識別子 0x%02X があります(以降は読めません)", introducer), line);
            return;
        }
        if (pos == 0 || request_.run->CancelRequested())
            return;
    }
}

// The end of the walk: at the trailer, with what follows it, or at the end
// of the file without one.
void CGifAnalyzer::End(uint64_t at, bool trailer)
{
    if (trailer) {
        if (at >= fileSize_)
            return;
        const auto extra = static_cast<unsigned long long>(fileSize_ - at);
        const LineId line = Head(ResultLine("[%08lx] Data after Trailer (%llu [byte])", at, extra), at, fileSize_);
        Report(AnomalySeverity::Warning, "gif.data-after-trailer", at, fileSize_,
               ResultLine("トレーラの後に %llu [byte] のデータがあります", extra), line);
        return;
    }
    // The end of the file names where the trailer would stand; it describes
    // no bytes.
    const std::string text = ResultLine("[%08lx] トレーラの前にデータが終わっています", at);
    if (!Detailed())
        request_.run->AddEntry(request_.level + 1, text);
    const LineId line = out_.Insert(request_.parent, text);
    Report(AnomalySeverity::Error, "gif.no-trailer", at, at, "トレーラ(0x3B)がありません", line);
}

void CGifAnalyzer::Summary()
{
    if (fileSize_ - std::min(start_, fileSize_) < kHeaderBytes + kScreenBytes)
        return;
    request_.run->AppendSummary(ResultLine("[画像サイズ]%5d x %5d ", static_cast<int>(record_.screenWidth),
                                           static_cast<int>(record_.screenHeight)));
    request_.run->AppendSummary(ResultLine("[フレーム数]%zu ", record_.frames.size()));
}

std::string CGifAnalyzer::Label(size_t k) const
{
    if (k == 0)
        return request_.pictureLabel;
    const std::string own = "Frame " + std::to_string(k + 1);
    return request_.pictureLabel.empty() ? own : request_.pictureLabel + " " + own;
}

void CGifAnalyzer::DrawFrames()
{
    if (!request_.drawPictures || record_.frames.empty())
        return;
    CGifFrameSource source(fp_, record_);
    const uint64_t bitmapBytes = uint64_t{3} * static_cast<uint64_t>(CImageBuffer::PaddedSize(record_.screenWidth)) *
                                 static_cast<uint64_t>(CImageBuffer::PaddedSize(record_.screenHeight));
    const bool screen = record_.screenWidth > 0 && record_.screenHeight > 0;
    GifFrameOutcome outcome;
    for (size_t k = 0; k < record_.frames.size(); ++k) {
        if (request_.run->CancelRequested()) {
            request_.run->RecordDecode(Label(k), DecodeOutcome::Cancelled);
            return;
        }
        const bool draw = screen && k < kMaxPictures && pictureBytes_ + bitmapBytes <= kMaxPictureBytes;
        source.Next(draw, outcome);
        CheckFrame(k, outcome);
        if (!outcome.drawn) {
            const char* reason = !screen           ? "論理画面の大きさが 0"
                                 : source.Refused() ? source.Reason()
                                                    : "フレームが多すぎる";
            request_.run->RecordDecode(Label(k), DecodeOutcome::NotSupported, reason);
            continue;
        }
        pictureBytes_ += bitmapBytes;
        if (WritePicture(k, source))
            RecordFrame(k, outcome);
        else
            request_.run->RecordDecode(Label(k), DecodeOutcome::NotSupported, "画像が大きすぎる");
    }
}

// What decoding found wrong with frame k, on its image data line.
void CGifAnalyzer::CheckFrame(size_t k, const GifFrameOutcome& outcome)
{
    const GifFrameRecord& frame = record_.frames[k];
    const LineId line = dataLines_[k];
    const GifLzwResult& lzw = outcome.lzw;
    if (lzw.status == GifLzwStatus::CodeOutOfRange) {
        const uint64_t at = CGifSubBlocks::OffsetOfData(fp_, frame.dataAt, frame.dataEnd, lzw.faultBitOffset / 8);
        Report(AnomalySeverity::Error, "gif.lzw-code-out-of-range", at, at + 1,
               ResultLine("フレーム %zu の LZW 符号 %u が符号表の範囲を越えています", k + 1, lzw.faultCode), line);
    } else if (lzw.status == GifLzwStatus::EndedEarly) {
        Report(AnomalySeverity::Error, "gif.image-data-short", frame.dataAt, frame.dataEnd,
               ResultLine("フレーム %zu の画像データが %llu / %llu 画素で終わっています", k + 1,
                          static_cast<unsigned long long>(lzw.pixelsOut),
                          static_cast<unsigned long long>(uint64_t{frame.width} * frame.height)),
               line);
    }
    if (outcome.composed.outOfPalette > 0 && frame.paletteEntries > 0)
        Report(AnomalySeverity::Warning, "gif.index-beyond-table", frame.dataAt, frame.dataEnd,
               ResultLine("フレーム %zu にカラーテーブル(%u 色)にない色番号の画素が %llu 個あります", k + 1,
                          frame.paletteEntries, static_cast<unsigned long long>(outcome.composed.outOfPalette)),
               line);
}

void CGifAnalyzer::RecordFrame(size_t k, const GifFrameOutcome& outcome)
{
    const GifLzwResult& lzw = outcome.lzw;
    switch (lzw.status) {
    case GifLzwStatus::Complete: request_.run->RecordDecode(Label(k), DecodeOutcome::Complete); break;
    case GifLzwStatus::EndedEarly:
    case GifLzwStatus::CodeOutOfRange: request_.run->RecordDecode(Label(k), DecodeOutcome::EndedEarly, lzw.reason); break;
    case GifLzwStatus::BadCodeSize: request_.run->RecordDecode(Label(k), DecodeOutcome::NotSupported, lzw.reason); break;
    }
}

// The canvas of the frame just composed, in front of the checkerboard where
// it is transparent, as a bitmap of blue, green, red rows, bottom-up.
bool CGifAnalyzer::WritePicture(size_t k, const CGifFrameSource& source)
{
    const int32_t width = record_.screenWidth;
    const int32_t height = record_.screenHeight;
    const size_t index =
        request_.run->AddPicture(PathFileName(request_.path ? request_.path : ""), width, height, Label(k));
    const int32_t bitmapWidth = CImageBuffer::PaddedSize(width);
    const int32_t bitmapHeight = CImageBuffer::PaddedSize(height);
    uint8_t* pixels =
        request_.run->PreparePicture(bitmapWidth, bitmapWidth - width, bitmapHeight, bitmapHeight - height);
    if (!pixels)
        return false;
    const CAlphaCompositor checkerboard;
    std::vector<uint8_t> rgb(size_t{3} * static_cast<size_t>(width));
    const size_t rowBytes = size_t{3} * static_cast<size_t>(bitmapWidth);
    source.Rows([&](uint32_t y, const uint8_t* rgba, uint32_t n) {
        checkerboard.CompositeRow(y, rgba, n, rgb.data());
        uint8_t* row = pixels + static_cast<size_t>(bitmapHeight - 1 - static_cast<int32_t>(y)) * rowBytes;
        for (uint32_t x = 0; x < n; ++x) {
            row[3 * x] = rgb[3 * x + 2];
            row[3 * x + 1] = rgb[3 * x + 1];
            row[3 * x + 2] = rgb[3 * x];
        }
    });
    request_.run->PictureDone(index);
    return true;
}
