#include "jpeg/jpeg_app_layout.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "core/analysis_run.h"
#include "core/file_text.h"
#include "core/result_text.h"
#include "core/xmp_packet.h"
#include "image/image_buffer.h"
#include "jpeg/app_field_reader.h"
#include "jpeg/app_segment.h"
#include "jpeg/photoshop_resources.h"

namespace {

// Identifiers at the start of the payload, with their NUL where they have one.
constexpr const char* kJfxx = "JFXX";                                        // JFIF 1.02
constexpr const char* kXmp = "http://ns.adobe.com/xap/1.0/";                // XMP Part 3, 1.1.3
constexpr const char* kExtendedXmp = "http://ns.adobe.com/xmp/extension/";  // XMP Part 3, 1.1.3.1
constexpr const char* kIccProfile = "ICC_PROFILE";                          // ICC.1 Annex B.4
constexpr const char* kMpf = "MPF";                                         // CIPA DC-007 5.2
constexpr const char* kPhotoshop = "Photoshop 3.0";                         // Photoshop File Formats, Image Resources
constexpr const char* kAdobe = "Adobe";                                     // Adobe Technical Note 5116

constexpr uint32_t kApp0 = 0xFFE0, kApp1 = 0xFFE1, kApp2 = 0xFFE2, kApp13 = 0xFFED, kApp14 = 0xFFEE;

// An identifier longer than this is taken for no identifier at all.
constexpr size_t kMaxIdentifier = 64;

constexpr const char* kShortSegment = "セグメントが短く、ここから先のフィールドがありません";
constexpr const char* kThumbnailLabel = "サムネイル";

// JFXX extension codes (JFIF 1.02): a JPEG stream, or pixels of one byte
// (through a palette of 256 RGB triplets) or three bytes (RGB) each.
constexpr uint32_t kJfxxJpeg = 0x10, kJfxxPalette = 0x11, kJfxxRgb = 0x13;
constexpr size_t kPaletteBytes = 256 * 3;

const char* JfxxMeaning(uint32_t code)
{
    switch (code) {
    case kJfxxJpeg: return "Thumbnail coded using JPEG";
    case kJfxxPalette: return "Thumbnail stored using 1 byte/pixel";
    case kJfxxRgb: return "Thumbnail stored using 3 bytes/pixel";
    default: return "UNDEFINED !!";
    }
}

// The colour transform of the APP14 Adobe segment (Adobe Technical Note 5116,
// 18 "Adobe Application-Specific JPEG Marker").
const char* TransformMeaning(uint32_t transform)
{
    switch (transform) {
    case 0: return "RGB or CMYK";
    case 1: return "YCbCr";
    case 2: return "YCCK";
    default: return "UNDEFINED !!";
    }
}

// Whether the payload holds count bytes at position; a line under head says
// so when it does not.
bool Fits(const CAppSegment& segment, size_t position, size_t count, LineId head)
{
    if (segment.Has(position, count))
        return true;
    segment.Note(head, kShortSegment);
    return false;
}

}  // namespace

CJpegAppLayout::CJpegAppLayout(const AnalysisRequest& request, const CTreeWriter& out, uint64_t fileSize)
    : request_(request), out_(out), fileSize_(fileSize)
{
}

void CJpegAppLayout::LayOut(FILE* fp, uint32_t marker, uint64_t offset, uint32_t length,
                            std::span<const uint8_t> bytes, LineId head)
{
    // Once the tree takes no more lines (the analysis's limit), a segment is
    // only read for what the decoder needs of it.
    if (!head && marker != kApp14)
        return;
    const CAppSegment segment(request_, out_, fp, bytes, offset + 4, length >= 2 ? length - 2 : 0, fileSize_);
    // Segments known by the identifier that begins their payload.
    struct Kind {
        uint32_t marker;
        const char* identifier;
        bool withNul;
        void (CJpegAppLayout::*layOut)(const CAppSegment&, LineId);
    };
    static constexpr Kind kKinds[] = {
        {kApp0, kJfxx, true, &CJpegAppLayout::Jfxx},
        {kApp1, kXmp, true, &CJpegAppLayout::Xmp},
        {kApp1, kExtendedXmp, true, &CJpegAppLayout::ExtendedXmp},
        {kApp2, kIccProfile, true, &CJpegAppLayout::IccChunk},
        {kApp2, kMpf, true, &CJpegAppLayout::Mpf},
        {kApp13, kPhotoshop, true, &CJpegAppLayout::Photoshop},
        {kApp14, kAdobe, false, &CJpegAppLayout::Adobe},
    };
    // Exif is known by its first four bytes as the walk's reader takes
    // them; any other APP0 is laid out as JFIF.
    CAppFieldReader reader(bytes, length & 0xFF);
    const Kind* kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const Kind& k) {
        return k.marker == marker && segment.StartsWith(0, k.identifier, k.withNul);
    });
    if (marker == kApp1 && reader.Read(4) == (uint32_t{'E'} << 24 | uint32_t{'x'} << 16 | uint32_t{'i'} << 8 | 'f'))
        Exif(segment, length, head);
    else if (kind != std::end(kKinds))
        (this->*kind->layOut)(segment, head);
    else if (marker == kApp0)
        Jfif(segment, length, head);
    else
        Identifier(segment, head);
    out_.Expand(head);
}

void CJpegAppLayout::Finish(FILE* fp)
{
    iccChunks_.Finish(request_, out_, fp);
}

// APP0 is laid out as a JFIF header whatever its identifier says (but for
// JFXX), its fields read as they always have been, past a short segment's
// end if need be.
void CJpegAppLayout::Jfif(const CAppSegment& segment, uint32_t length, LineId head)
{
    CAppFieldReader reader(segment.Bytes(), length & 0xFF);
    const uint64_t fileSize = fileSize_;
    const auto at = [&] { return std::min(segment.Offset(reader.Position()), fileSize); };
    const auto field = [&](uint64_t p, const std::string& text) {
        out_.Insert(head, text, ByteRange{p, at()});
    };

    uint64_t p = at();
    const uint32_t identifier = reader.Read(4);
    reader.Read(1);
    const uint32_t version = reader.Read(2);
    field(p, ResultLine("[%08lx] File Format = %c%c%c%c (Version %d.%d)", p, static_cast<int>(identifier >> 24),
                        static_cast<int>((identifier >> 16) & 0xFF), static_cast<int>((identifier >> 8) & 0xFF),
                        static_cast<int>(identifier & 0xFF), static_cast<int>(version >> 8),
                        static_cast<int>(version & 0xFF)));

    p = at();
    const uint32_t unit = reader.Read(1);
    const int xDensity = static_cast<int>(reader.Read(2));
    const int yDensity = static_cast<int>(reader.Read(2));
    if (unit == 0)
        field(p, ResultLine("[%08lx] Depth = %d : %d [pixel]", p, xDensity, yDensity));
    else if (unit == 1)
        field(p, ResultLine("[%08lx] Depth = %d : %d [pixel/inch]", p, xDensity, yDensity));
    else if (unit == 2)
        field(p, ResultLine("[%08lx] Depth = %d : %d [pixel/cm]", p, xDensity, yDensity));

    p = at();
    const int width = static_cast<int>(reader.Read(1));
    const int height = static_cast<int>(reader.Read(1));
    if (width == 0 || height == 0)
        field(p, ResultLine("[%08lx] Thumbnail Size = %d x %d (No Thumbnail)", p, width, height));
    else
        field(p, ResultLine("[%08lx] Thumbnail Size = %d x %d", p, width, height));
}

void CJpegAppLayout::Jfxx(const CAppSegment& segment, LineId head)
{
    segment.Line(head, 0, 5, ResultLine("[%08lx] File Format = JFXX", segment.Offset(0)));
    if (!Fits(segment, 5, 1, head))
        return;
    const uint32_t code = segment.U8(5);
    segment.Line(head, 5, 1,
                 ResultLine("[%08lx] Extension Code = 0x%02X : %s", segment.Offset(5), code, JfxxMeaning(code)));
    if (code == kJfxxPalette || code == kJfxxRgb) {
        JfxxPixels(segment, code, head);
    } else if (code == kJfxxJpeg && segment.Size() > 6) {
        const LineId data =
            segment.Line(head, 6, segment.Size() - 6,
                         ResultLine("[%08lx] Thumbnail Data (JPEG Format) 0x%08lX - 0x%08lX", segment.Offset(6),
                                    segment.Offset(6), segment.End() - 1));
        segment.Nested(kFormatJpeg, data, 6, segment.End(), kThumbnailLabel);
    }
}

void CJpegAppLayout::JfxxPixels(const CAppSegment& segment, uint32_t code, LineId head)
{
    if (!Fits(segment, 6, 2, head))
        return;
    const uint32_t width = segment.U8(6), height = segment.U8(7);
    segment.Line(head, 6, 2, ResultLine("[%08lx] Thumbnail Size = %u x %u", segment.Offset(6), width, height));
    size_t at = 8;
    size_t palette = 0;
    if (code == kJfxxPalette) {
        if (!Fits(segment, at, kPaletteBytes, head))
            return;
        segment.Line(head, at, kPaletteBytes,
                     ResultLine("[%08lx] Palette 0x%08lX - 0x%08lX (%zu [byte])", segment.Offset(at),
                                segment.Offset(at), segment.Offset(at + kPaletteBytes) - 1, kPaletteBytes));
        palette = at;
        at += kPaletteBytes;
    }
    const size_t bytes = size_t{width} * height * (code == kJfxxRgb ? 3 : 1);
    if (bytes == 0 || !Fits(segment, at, bytes, head))
        return;
    segment.Line(head, at, bytes,
                 ResultLine("[%08lx] Thumbnail Data 0x%08lX - 0x%08lX (%zu [byte])", segment.Offset(at),
                            segment.Offset(at), segment.Offset(at + bytes) - 1, bytes));
    DrawThumbnail(segment, palette, at, static_cast<int32_t>(width), static_cast<int32_t>(height));
}

// Pixels of one byte go through the palette at payload position palette (0:
// there is none, the pixels are RGB triplets). The bitmap is bottom-up, blue
// green red.
void CJpegAppLayout::DrawThumbnail(const CAppSegment& segment, size_t palette, size_t pixels, int32_t width,
                                   int32_t height)
{
    if (!request_.drawPictures)
        return;
    const size_t picture =
        request_.run->AddPicture(PathFileName(request_.path ? request_.path : ""), width, height, kThumbnailLabel);
    const int32_t bitmapWidth = CImageBuffer::PaddedSize(width);
    const int32_t bitmapHeight = CImageBuffer::PaddedSize(height);
    uint8_t* const bitmap =
        request_.run->PreparePicture(bitmapWidth, bitmapWidth - width, bitmapHeight, bitmapHeight - height);
    request_.run->RecordDecode(kThumbnailLabel, bitmap ? DecodeOutcome::Complete : DecodeOutcome::NotSupported,
                               bitmap ? "" : "画素のメモリがない");
    if (!bitmap)
        return;
    const uint8_t* source = segment.Data(pixels);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap + static_cast<size_t>(bitmapHeight - 1 - y) * static_cast<size_t>(bitmapWidth) * 3;
        for (int32_t x = 0; x < width; ++x, row += 3) {
            const uint8_t* rgb = palette ? segment.Data(palette + size_t{*source++} * 3) : source;
            if (!palette)
                source += 3;
            row[0] = rgb[2];
            row[1] = rgb[1];
            row[2] = rgb[0];
        }
    }
    request_.run->PictureDone(picture);
}

// The Exif identifier's NUL and pad byte, then the TIFF structure up to the
// segment's end, laid out by the TIFF analyzer.
void CJpegAppLayout::Exif(const CAppSegment& segment, uint32_t length, LineId head)
{
    CAppFieldReader reader(segment.Bytes(), length & 0xFF);
    const uint64_t fileSize = fileSize_;
    const auto at = [&] { return std::min(segment.Offset(reader.Position()), fileSize); };
    uint64_t p = at();
    reader.Read(4);
    out_.Insert(head, ResultLine("[%08lx] File Format = Exif", p), ByteRange{p, at()});
    p = at();
    const uint32_t nul = reader.Read(1);
    const uint32_t pad = reader.Read(1);
    out_.Insert(head, ResultLine("[%08lx] NULL = 0x%02x / Padding = 0x%02x", p, nul, pad), ByteRange{p, at()});
    p = at();
    const uint64_t end = segment.End();
    const LineId data = out_.Insert(
        head, ResultLine("[%08lx] Thumbnail Data (TIFF Format) 0x%08lX - 0x%08lX", p, p, end - 1),
        ByteRange{p, std::min(end, fileSize_)});
    // The TIFF header: byte order "II" with 42 little-endian, or "MM" with 42
    // big-endian (TIFF 6.0 section 2), then the first IFD's offset.
    const size_t header = reader.Position();
    const uint8_t* h = segment.Size() >= header + 8 ? segment.Data(header) : nullptr;
    if (!h || !((h[0] == 'I' && h[1] == 'I' && h[2] == 42 && h[3] == 0) ||
                (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 42)))
        request_.run->ReportAnomaly(AnomalySeverity::Error, "jpeg.app-mismatch", {p, std::min(p + 8, std::min(end, fileSize_))},
                                    "Exifセグメントの後にTIFFヘッダがありません", data);
    segment.Nested(kFormatTiff, data, reader.Position(), end, std::string());
    out_.Expand(data);
}

// The packet's text, one line of the tree for each of its lines but the
// blank ones (XMP packets end in whitespace padding for editing in place).
void CJpegAppLayout::Xmp(const CAppSegment& segment, LineId head)
{
    const size_t begin = std::strlen(kXmp) + 1;
    segment.Line(head, 0, begin, ResultLine("[%08lx] File Format = Adobe XMP metadata packet", segment.Offset(0)));
    const size_t end = segment.Size();
    if (end == begin)
        return;
    AppendXmpPacket(segment.Out(), head, {segment.Data(begin), end - begin}, segment.Offset(begin));
}

// A part of an XMP packet too big for one segment (XMP Part 3, 1.1.3.1): the
// packet's GUID (its MD5 digest in hexadecimal), full length, and the
// offset of this part in it.
void CJpegAppLayout::ExtendedXmp(const CAppSegment& segment, LineId head)
{
    const size_t guid = std::strlen(kExtendedXmp) + 1;
    constexpr size_t kGuidBytes = 32;
    segment.Line(head, 0, guid, ResultLine("[%08lx] File Format = Adobe XMP extended packet", segment.Offset(0)));
    if (!Fits(segment, guid, kGuidBytes + 8, head))
        return;
    const std::string text = FileText(reinterpret_cast<const char*>(segment.Data(guid)), kGuidBytes);
    segment.Line(head, guid, kGuidBytes, ResultLine("[%08lx] GUID = %s", segment.Offset(guid), text.c_str()));
    const size_t length = guid + kGuidBytes;
    segment.Line(head, length, 4,
                 ResultLine("[%08lx] Full Length = %u [byte]", segment.Offset(length), segment.U32(length)));
    segment.Line(head, length + 4, 4,
                 ResultLine("[%08lx] Chunk Offset = %u [byte]", segment.Offset(length + 4), segment.U32(length + 4)));
    const size_t data = length + 8;
    if (segment.Size() > data)
        segment.Line(head, data, segment.Size() - data,
                     ResultLine("[%08lx] Extended XMP Data 0x%08lX - 0x%08lX (%zu [byte])", segment.Offset(data),
                                segment.Offset(data), segment.Offset(segment.Size()) - 1, segment.Size() - data));
}

void CJpegAppLayout::IccChunk(const CAppSegment& segment, LineId head)
{
    const size_t numbers = std::strlen(kIccProfile) + 1;
    segment.Line(head, 0, numbers, ResultLine("[%08lx] File Format = ICC_PROFILE", segment.Offset(0)));
    if (!Fits(segment, numbers, 2, head))
        return;
    CIccChunks::Chunk chunk;
    chunk.sequence = segment.U8(numbers);
    chunk.count = segment.U8(numbers + 1);
    chunk.item = segment.Line(
        head, numbers, 2,
        ResultLine("[%08lx] Chunk = %u / %u", segment.Offset(numbers), chunk.sequence, chunk.count));
    // Chunks count from 1 up to their number (ICC.1 B.4).
    if (chunk.sequence == 0 || chunk.sequence > chunk.count)
        request_.run->ReportAnomaly(AnomalySeverity::Error, "jpeg.app-mismatch",
                                    {segment.Offset(numbers), segment.Offset(numbers + 2)},
                                    ResultLine("ICCプロファイルのチャンク番号が%u / %uです", chunk.sequence, chunk.count),
                                    chunk.item);
    const size_t data = numbers + 2;
    chunk.data = {segment.Offset(data), segment.Size() - data};
    chunk.whole = segment.Whole();
    if (segment.Size() > data)
        chunk.item = segment.Line(head, data, segment.Size() - data,
                                  ResultLine("[%08lx] Profile Data 0x%08lX - 0x%08lX (%zu [byte])",
                                             segment.Offset(data), segment.Offset(data),
                                             segment.Offset(segment.Size()) - 1, segment.Size() - data));
    iccChunks_.Add(chunk);
}

// The MP header and IFDs are a TIFF structure; the TIFF analyzer lays them
// out and lists the pictures that the MP entries point to.
void CJpegAppLayout::Mpf(const CAppSegment& segment, LineId head)
{
    const size_t data = std::strlen(kMpf) + 1;
    segment.Line(head, 0, data, ResultLine("[%08lx] File Format = MPF", segment.Offset(0)));
    if (segment.Size() <= data)
        return;
    const LineId item = segment.Line(head, data, segment.Size() - data,
                                        ResultLine("[%08lx] MP Data (TIFF Format) 0x%08lX - 0x%08lX",
                                                   segment.Offset(data), segment.Offset(data), segment.End() - 1));
    segment.Nested(kFormatMpf, item, data, segment.End(), std::string(), &mpfPictures_);
    out_.Expand(item);
}

void CJpegAppLayout::Photoshop(const CAppSegment& segment, LineId head)
{
    const size_t resources = std::strlen(kPhotoshop) + 1;
    segment.Line(head, 0, resources, ResultLine("[%08lx] File Format = Photoshop 3.0", segment.Offset(0)));
    CPhotoshopResources(segment).LayOut(resources, segment.Size(), head);
}

// Version, two flag words and the colour transform, which says how the
// decoder turns the components into colours.
void CJpegAppLayout::Adobe(const CAppSegment& segment, LineId head)
{
    const size_t version = std::strlen(kAdobe);
    segment.Line(head, 0, version, ResultLine("[%08lx] File Format = Adobe", segment.Offset(0)));
    if (!Fits(segment, version, 7, head))
        return;
    segment.Line(head, version, 2,
                 ResultLine("[%08lx] DCTEncode Version = %u", segment.Offset(version), segment.U16(version)));
    segment.Line(head, version + 2, 2,
                 ResultLine("[%08lx] Flags0 = 0x%04X", segment.Offset(version + 2), segment.U16(version + 2)));
    segment.Line(head, version + 4, 2,
                 ResultLine("[%08lx] Flags1 = 0x%04X", segment.Offset(version + 4), segment.U16(version + 4)));
    const uint32_t transform = segment.U8(version + 6);
    segment.Line(head, version + 6, 1,
                 ResultLine("[%08lx] Color Transform = %u : %s", segment.Offset(version + 6), transform,
                            TransformMeaning(transform)));
}

// The NUL-terminated text that names the segment's content, when it is
// printable ASCII of reasonable length.
void CJpegAppLayout::Identifier(const CAppSegment& segment, LineId head)
{
    const size_t limit = std::min(segment.Size(), kMaxIdentifier + 1);
    const uint8_t* text = segment.Data(0);
    const uint8_t* nul = std::find(text, text + limit, uint8_t{0});
    const bool printable = std::all_of(text, nul, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
    if (nul == text + limit || nul == text || !printable) {
        segment.Note(head, "識別子がありません");
        return;
    }
    const std::string identifier(reinterpret_cast<const char*>(text), static_cast<size_t>(nul - text));
    segment.Line(head, 0, identifier.size() + 1,
                 ResultLine("[%08lx] Identifier = %s", segment.Offset(0), identifier.c_str()));
}
