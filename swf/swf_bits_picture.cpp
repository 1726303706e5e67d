#include "swf/swf_bits_picture.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "codec/inflater.h"
#include "core/stream_size.h"
#include "core/result_text.h"
#include "image/image_buffer.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kGifSignature[6] = {'G', 'I', 'F', '8', '9', 'a'};

// Collects inflated bytes up to the size the bitmap needs.
class CVectorSink : public IInflateSink {
public:
    explicit CVectorSink(std::vector<uint8_t>& out) : out_(out) {}
    bool Write(const uint8_t* data, size_t n) override
    {
        out_.insert(out_.end(), data, data + n);
        return true;
    }

private:
    std::vector<uint8_t>& out_;
};

uint8_t Blend(uint32_t colour, uint32_t alpha, uint32_t background, bool premultiplied)
{
    const uint32_t own = premultiplied ? std::min(colour, alpha) * 255 : colour * alpha;
    return static_cast<uint8_t>((own + background * (255 - alpha) + 127) / 255);
}

// Composites the rows of a picture, top-down, over a background through the
// alpha bytes it is handed, one per pixel; pixels it is handed none for stay
// as they are, opaque.
class CAlphaPlaneSink : public IInflateSink {
public:
    CAlphaPlaneSink(CImageBuffer& image, const uint8_t background[3]) : image_(image), background_(background) {}
    bool Write(const uint8_t* data, size_t n) override
    {
        const auto width = static_cast<uint32_t>(image_.PictureWidth());
        const auto height = static_cast<uint32_t>(image_.PictureHeight());
        for (size_t i = 0; i < n && y_ < height; ++i) {
            uint8_t* p = image_.Pixels() + static_cast<size_t>(image_.BitmapHeight() - 1 - static_cast<int32_t>(y_)) *
                                               image_.RowBytes() +
                         size_t{3} * x_;
            // Memory holds blue, green, red; the background is red, green,
            // blue.
            for (int c = 0; c < 3; ++c)
                p[c] = Blend(p[c], data[i], background_[2 - c], false);
            if (++x_ == width)
                x_ = 0, ++y_;
        }
        return true;
    }

private:
    CImageBuffer& image_;
    const uint8_t* background_;
    uint32_t x_ = 0;
    uint32_t y_ = 0;
};

}  // namespace

size_t CSwfBitsPicture::ErroneousHeader(const uint8_t* data, size_t n)
{
    // Writers before SWF 8 put an EOI and an SOI marker before the stream's
    // own SOI, some an SOI and EOI pair; players skip either.
    if (n >= 6 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF && data[3] == 0xD9 && data[4] == 0xFF &&
        data[5] == 0xD8)
        return 4;
    if (n >= 4 && data[0] == 0xFF && data[1] == 0xD9 && data[2] == 0xFF && data[3] == 0xD8)
        return 4;
    return 0;
}

ByteRange CSwfBitsPicture::Range(uint64_t at, uint64_t length) const
{
    return PlaceBytes(at, length, UINT64_MAX, place_);
}

void CSwfBitsPicture::Embedded(LineId parent, uint64_t at, uint64_t length, const std::string& label,
                               const std::vector<uint8_t>& tables, bool draw)
{
    Nest(parent, at, length, label, tables, draw, nullptr);
}

void CSwfBitsPicture::EmbeddedWithAlpha(LineId tag, uint64_t at, uint64_t length, const std::string& label,
                                        const Alpha& alpha)
{
    AlphaOutcome outcome;
    // Thumbnails and other pictures the JPEG data holds keep their pixels:
    // the plane is the size of the main picture, the first with the label.
    Nest(tag, at, length, label, {}, true, [&](ResultPicture& picture) {
        if (!outcome.applied && picture.label == label && picture.image.Pixels())
            Composite(picture, alpha, outcome);
    });
    LineId line = tag;
    if (alpha.length > 0)
        line = out_.Insert(tag,
                           OffsetLine(alpha.at, ResultLine("BitmapAlphaData (zlib) : %llu[byte]",
                                                           static_cast<unsigned long long>(alpha.length))),
                           Range(alpha.at, alpha.length));
    if (outcome.applied && outcome.inflated < outcome.expected)
        request_.run->ReportAnomaly(
            AnomalySeverity::Error, "swf.alpha-data-short", Range(alpha.at, alpha.length),
            ResultLine("アルファデータ %llu [byte] が画像の画素数 %llu より短くなっています(残りは不透明で描きます)",
                       static_cast<unsigned long long>(outcome.inflated),
                       static_cast<unsigned long long>(outcome.expected)),
            line);
}

// Runs while the JPEG analyzer finishes its picture, on the analysing
// thread (the JPEG decoder ends its work before the analyzer returns): the
// stream is read here and put back where the analyzer left it.
void CSwfBitsPicture::Composite(ResultPicture& picture, const Alpha& alpha, AlphaOutcome& outcome) const
{
    CImageBuffer& image = picture.image;
    outcome.applied = true;
    outcome.expected = uint64_t(static_cast<uint32_t>(image.PictureWidth())) *
                       static_cast<uint32_t>(image.PictureHeight());
    const uint64_t back = StreamPosition(fp_);
    if (outcome.expected > 0 && alpha.length > 0 && SeekStream(fp_, alpha.at)) {
        CAlphaPlaneSink sink(image, alpha.background);
        CInflater inflater;
        outcome.inflated = inflater.InflateToSink(fp_, sink, outcome.expected, alpha.length).bytesOut;
    }
    SeekStream(fp_, back);
}

void CSwfBitsPicture::Nest(LineId parent, uint64_t at, uint64_t length, const std::string& label,
                           const std::vector<uint8_t>& tables, bool draw,
                           const std::function<void(ResultPicture&)>& finish)
{
    uint8_t head[8] = {};
    if (std::fseek(fp_, static_cast<long>(at), SEEK_SET) != 0)
        return;
    const size_t n = std::fread(head, 1, static_cast<size_t>(std::min<uint64_t>(length, sizeof head)), fp_);
    const bool png = n == sizeof kPngSignature && std::memcmp(head, kPngSignature, n) == 0;
    const bool gif = n >= sizeof kGifSignature && std::memcmp(head, kGifSignature, sizeof kGifSignature) == 0;
    if (png || gif) {
        const LineId line = out_.Insert(parent, OffsetLine(at, png ? "PNG data" : "GIF data"), Range(at, length));
        RunNested(png ? kFormatPng : kFormatGif, line, at, length, label, {}, draw);
        return;
    }
    const size_t skip = ErroneousHeader(head, n);
    if (skip) {
        out_.Insert(parent,
                    ResultLine("[%08lx] Erroneous Header : %02X %02X %02X %02X (an SOI/EOI pair before the JPEG data)",
                               at, head[0], head[1], head[2], head[3]),
                    Range(at, skip));
    }
    const LineId line = out_.Insert(parent, OffsetLine(at + skip, "JPEG data"), Range(at + skip, length - skip));
    std::optional<CAnalysisRun::PictureFinish> scope;
    if (finish)
        scope.emplace(*request_.run, finish);
    RunNested(kFormatJpeg, line, at + skip, length - skip, label, tables, draw);
}

void CSwfBitsPicture::RunNested(uint32_t format, LineId parent, uint64_t at, uint64_t length, const std::string& label,
                                const std::vector<uint8_t>& tables, bool draw)
{
    const CAnalysisRun::NestedScope scope(*request_.run);
    if (!scope.Allowed() || std::fseek(fp_, static_cast<long>(at), SEEK_SET) != 0)
        return;
    const LineId before = out_.Tree() ? static_cast<LineId>(out_.Tree()->Count()) : kNoLine;
    const size_t anomaliesBefore = request_.run->Result().anomalies.size();
    RunAnalyzer(format, AnalysisRequest{.run = request_.run,
                                        .fp = fp_,
                                        .path = request_.path,
                                        .mode = request_.mode,
                                        .level = request_.level + 1,
                                        .parent = parent,
                                        .dataEnd = at + length,
                                        .pictureLabel = label,
                                        .jpegTables = tables,
                                        .drawPictures = draw && request_.drawPictures,
                                        .space = place_ == BodyPlace::SideFile ? ByteSpace::SideFile
                                                                               : ByteSpace::File});
    if (place_ == BodyPlace::Memory)
        ClearRangesAfter(before, anomaliesBefore);
}

void CSwfBitsPicture::ClearRangesAfter(LineId before, size_t anomaliesBefore) const
{
    std::vector<Anomaly>& anomalies = request_.run->Result().anomalies;
    for (size_t i = anomaliesBefore; i < anomalies.size(); ++i)
        anomalies[i].range = {};
    CLineTree* tree = out_.Tree();
    if (!tree)
        return;
    for (LineId line = before + 1; line <= tree->Count(); ++line)
        tree->SetRange(line, {});
}

uint64_t CSwfBitsPicture::ExpectedBytes(const Lossless& bitmap)
{
    const uint64_t w = bitmap.width;
    const uint64_t h = bitmap.height;
    // Rows of colour indices and of 15-bit pixels are padded to 32 bits.
    switch (bitmap.format) {
    case 3: return uint64_t{bitmap.colours} * (bitmap.alpha ? 4 : 3) + ((w + 3) & ~uint64_t{3}) * h;
    case 4: return ((w * 2 + 3) & ~uint64_t{3}) * h;
    case 5: return w * 4 * h;
    }
    return 0;
}

std::vector<uint8_t> CSwfBitsPicture::Inflate(const Lossless& bitmap, uint64_t expected, bool& complete)
{
    std::vector<uint8_t> data;
    complete = false;
    if (std::fseek(fp_, static_cast<long>(bitmap.at), SEEK_SET) != 0)
        return data;
    CVectorSink sink(data);
    CInflater inflater;
    const InflateResult result = inflater.InflateToSink(fp_, sink, expected, bitmap.length);
    complete = result.status == InflateStatus::Complete || result.status == InflateStatus::OutputLimit;
    return data;
}

void CSwfBitsPicture::DrawLossless(LineId parent, const Lossless& bitmap, const uint8_t rgb[3])
{
    CAnalysisRun& run = *request_.run;
    const std::string label = ResultLine("Character %u", bitmap.id);
    const uint64_t expected = ExpectedBytes(bitmap);
    // Beyond the largest bitmap there is no picture to draw into, and the
    // inflated data, never more than a third larger than the bitmap, is
    // bounded with it.
    const bool tooLarge = bitmap.width > kMaxSide || bitmap.height > kMaxSide ||
                          uint64_t(CImageBuffer::PaddedSize(static_cast<int32_t>(bitmap.width))) *
                                  uint64_t(CImageBuffer::PaddedSize(static_cast<int32_t>(bitmap.height))) * 3 >
                              CImageBuffer::kMaxBytes;
    if (expected == 0 || bitmap.width == 0 || bitmap.height == 0 || tooLarge) {
        out_.Insert(parent, "この画像は描画しません");
        run.RecordDecode(label, DecodeOutcome::NotSupported, ResultLine("BitmapFormat %u", bitmap.format));
        return;
    }
    bool complete = false;
    std::vector<uint8_t> data = Inflate(bitmap, expected, complete);
    if (data.size() < expected) {
        run.ReportAnomaly(AnomalySeverity::Error, "swf.lossless-data-short", Range(bitmap.at, bitmap.length),
                          ResultLine("画像データ %llu [byte] が画像の大きさ %llu [byte] より短くなっています",
                                     static_cast<unsigned long long>(data.size()),
                                     static_cast<unsigned long long>(expected)),
                          parent);
    }
    const auto w = static_cast<int32_t>(bitmap.width);
    const auto h = static_cast<int32_t>(bitmap.height);
    const size_t index = run.AddPicture(PathFileName(request_.path ? request_.path : ""), w, h, label);
    const int32_t bitmapW = CImageBuffer::PaddedSize(w);
    uint8_t* pixels = run.PreparePicture(bitmapW, bitmapW - w, CImageBuffer::PaddedSize(h),
                                         CImageBuffer::PaddedSize(h) - h);
    if (pixels) {
        // What the data lacks draws as zero bytes.
        data.resize(expected, 0);
        Paint(pixels, bitmapW * 3, bitmap, data, rgb);
    }
    run.RecordDecode(label, complete ? DecodeOutcome::Complete : DecodeOutcome::EndedEarly,
                     complete ? std::string() : "zlib データが途中で終わっています");
    run.PictureDone(index);
}

void CSwfBitsPicture::Paint(uint8_t* pixels, int32_t stride, const Lossless& bitmap, const std::vector<uint8_t>& data,
                            const uint8_t rgb[3]) const
{
    const uint32_t entry = bitmap.alpha ? 4 : 3;
    const uint64_t table = bitmap.format == 3 ? uint64_t{bitmap.colours} * entry : 0;
    const uint64_t rowBytes = bitmap.format == 3   ? (uint64_t{bitmap.width} + 3) & ~uint64_t{3}
                              : bitmap.format == 4 ? (uint64_t{bitmap.width} * 2 + 3) & ~uint64_t{3}
                                                   : uint64_t{bitmap.width} * 4;
    // Memory rows run bottom-up over the whole bitmap, margin rows
    // included; the bitmap's rows run top-down.
    const int32_t height = CImageBuffer::PaddedSize(static_cast<int32_t>(bitmap.height));
    for (uint32_t y = 0; y < bitmap.height; ++y) {
        uint8_t* out = pixels + static_cast<size_t>(height - 1 - static_cast<int32_t>(y)) * stride;
        const uint8_t* row = data.data() + table + rowBytes * y;
        for (uint32_t x = 0; x < bitmap.width; ++x, out += 3) {
            uint32_t r = 0, g = 0, b = 0, a = 255;
            bool premultiplied = false;
            if (bitmap.format == 3) {
                // An index beyond the table draws black, as players do.
                const uint32_t i = row[x];
                if (i < bitmap.colours) {
                    const uint8_t* c = data.data() + uint64_t{i} * entry;
                    r = c[0], g = c[1], b = c[2], a = bitmap.alpha ? c[3] : 255;
                }
            } else if (bitmap.format == 4) {
                const uint32_t v = (uint32_t{row[2 * x]} << 8) | row[2 * x + 1];
                r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                r = (r << 3) | (r >> 2), g = (g << 3) | (g >> 2), b = (b << 3) | (b >> 2);
            } else {
                const uint8_t* p = row + 4 * x;
                a = bitmap.alpha ? p[0] : 255, r = p[1], g = p[2], b = p[3];
                premultiplied = true;
            }
            out[0] = Blend(b, a, rgb[2], premultiplied);
            out[1] = Blend(g, a, rgb[1], premultiplied);
            out[2] = Blend(r, a, rgb[0], premultiplied);
        }
    }
}
