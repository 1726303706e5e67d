#include "jpeg/photoshop_resources.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/file_text.h"
#include "core/result_text.h"
#include "jpeg/icc_chunks.h"
#include "jpeg/iptc_records.h"

namespace {

struct ResourceName {
    uint16_t id;
    const char* name;
};

// Image resource ids: Adobe Photoshop File Formats Specification, Image
// Resource IDs.
constexpr ResourceName kResourceNames[] = {
    {0x03E8, "Channels, Rows, Columns, Depth, Mode"},
    {0x03E9, "Macintosh Print Info"},
    {0x03EA, "XML Data"},
    {0x03EB, "Indexed Color Table"},
    {0x03ED, "ResolutionInfo"},
    {0x03EE, "Alpha Channel Names"},
    {0x03EF, "DisplayInfo (obsolete)"},
    {0x03F0, "Caption"},
    {0x03F1, "Border Information"},
    {0x03F2, "Background Color"},
    {0x03F3, "Print Flags"},
    {0x03F4, "Grayscale Halftoning Information"},
    {0x03F5, "Color Halftoning Information"},
    {0x03F6, "Duotone Halftoning Information"},
    {0x03F7, "Grayscale Transfer Function"},
    {0x03F8, "Color Transfer Functions"},
    {0x03F9, "Duotone Transfer Functions"},
    {0x03FA, "Duotone Image Information"},
    {0x03FB, "Effective Black and White Values"},
    {0x03FD, "EPS Options"},
    {0x03FE, "Quick Mask Information"},
    {0x0400, "Layer State Information"},
    {0x0401, "Working Path"},
    {0x0402, "Layers Group Information"},
    {0x0404, "IPTC-NAA"},
    {0x0405, "Image Mode for Raw Format Files"},
    {0x0406, "JPEG Quality"},
    {0x0408, "Grid and Guides Information"},
    {0x0409, "Thumbnail (Photoshop 4.0)"},
    {0x040A, "Copyright Flag"},
    {0x040B, "URL"},
    {0x040C, "Thumbnail"},
    {0x040D, "Global Angle"},
    {0x040E, "Color Samplers (obsolete)"},
    {0x040F, "ICC Profile"},
    {0x0410, "Watermark"},
    {0x0411, "ICC Untagged Profile"},
    {0x0412, "Effects Visible"},
    {0x0413, "Spot Halftone"},
    {0x0414, "Document-Specific IDs Seed"},
    {0x0415, "Unicode Alpha Names"},
    {0x0416, "Indexed Color Table Count"},
    {0x0417, "Transparency Index"},
    {0x0419, "Global Altitude"},
    {0x041A, "Slices"},
    {0x041B, "Workflow URL"},
    {0x041C, "Jump To XPEP"},
    {0x041D, "Alpha Identifiers"},
    {0x041E, "URL List"},
    {0x0421, "Version Info"},
    {0x0422, "Exif Data 1"},
    {0x0423, "Exif Data 3"},
    {0x0424, "XMP Metadata"},
    {0x0425, "IPTC Digest"},
    {0x0426, "Print Scale"},
    {0x0428, "Pixel Aspect Ratio"},
    {0x0429, "Layer Comps"},
    {0x042A, "Alternate Duotone Colors"},
    {0x042B, "Alternate Spot Colors"},
    {0x042D, "Layer Selection IDs"},
    {0x042E, "HDR Toning Information"},
    {0x042F, "Print Info"},
    {0x0430, "Layer Groups Enabled ID"},
    {0x0431, "Color Samplers"},
    {0x0432, "Measurement Scale"},
    {0x0433, "Timeline Information"},
    {0x0434, "Sheet Disclosure"},
    {0x0435, "DisplayInfo"},
    {0x0436, "Onion Skins"},
    {0x0438, "Count Information"},
    {0x043A, "Print Information"},
    {0x043B, "Print Style"},
    {0x043C, "Macintosh NSPrintInfo"},
    {0x043D, "Windows DEVMODE"},
    {0x043E, "Auto Save File Path"},
    {0x043F, "Auto Save Format"},
    {0x0440, "Path Selection State"},
    {0x0BB7, "Name of Clipping Path"},
    {0x0BB8, "Origin Path Info"},
    {0x1B58, "Image Ready Variables"},
    {0x1B59, "Image Ready Data Sets"},
    {0x1B5A, "Image Ready Default Selected State"},
    {0x1B5B, "Image Ready 7 Rollover Expanded State"},
    {0x1B5C, "Image Ready Rollover Expanded State"},
    {0x1B5D, "Image Ready Save Layer Settings"},
    {0x1B5E, "Image Ready Version"},
    {0x1F40, "Lightroom Workflow"},
    {0x2710, "Print Flags Information"},
};

const char* ResourceNameOf(uint32_t id)
{
    // Ranges of ids that name one kind of resource each.
    if (id >= 0x07D0 && id <= 0x0BB6)
        return "Path Information";
    if (id >= 0x0FA0 && id <= 0x1387)
        return "Plug-In Resource";
    for (const ResourceName& r : kResourceNames)
        if (r.id == id)
            return r.name;
    return "UndefinedResource";
}

// The signatures that resource blocks carry: Photoshop's own, and those of
// the other programs that write the same blocks.
constexpr const char* kSignatures[] = {"8BIM", "PHUT", "AgHg", "DCSR", "MeSa"};

constexpr uint32_t kIptcResource = 0x0404;
constexpr uint32_t kOldThumbnailResource = 0x0409;
constexpr uint32_t kThumbnailResource = 0x040C;
constexpr uint32_t kIccResource = 0x040F;

// Signature, id, the shortest name (a length byte and a pad byte), size.
constexpr size_t kSmallestResource = 12;
// The thumbnail resource's header: format, width, height, row bytes, total
// size, compressed size (4 bytes each), bits per pixel and planes (2 each).
constexpr size_t kThumbnailHeader = 28;
constexpr uint32_t kThumbnailRaw = 0;
constexpr uint32_t kThumbnailJpeg = 1;

}  // namespace

void CPhotoshopResources::LayOut(size_t begin, size_t end, LineId parent) const
{
    size_t position = begin;
    while (position < end) {
        const bool signed_ = std::any_of(std::begin(kSignatures), std::end(kSignatures), [&](const char* s) {
            return end - position >= 4 && std::memcmp(segment_.Data(position), s, 4) == 0;
        });
        if (!signed_) {
            segment_.Trailing(parent, position, end, "リソースの署名(8BIM)がありません");
            return;
        }
        if (end - position < kSmallestResource) {
            segment_.Note(parent, "リソースのヘッダがセグメントの終わりで切れています");
            return;
        }
        position = Resource(position, end, parent);
        if (position == 0)
            return;
    }
}

size_t CPhotoshopResources::Resource(size_t position, size_t end, LineId parent) const
{
    const uint32_t id = segment_.U16(position + 4);
    const size_t nameAt = position + 6;
    const size_t nameLength = segment_.U8(nameAt);
    // The name's length byte and characters, padded to an even count.
    const size_t nameBytes = (nameLength + 2) & ~size_t{1};
    const size_t sizeAt = nameAt + nameBytes;
    if (sizeAt + 4 > end) {
        segment_.Note(parent, "リソースのヘッダがセグメントの終わりで切れています");
        return 0;
    }
    const uint64_t size = segment_.U32(sizeAt);
    const size_t dataAt = sizeAt + 4;
    const uint64_t padded = (size + 1) & ~uint64_t{1};
    const bool fits = size <= end - dataAt;
    const size_t dataBytes = static_cast<size_t>(fits ? std::min<uint64_t>(padded, end - dataAt) : 0);
    const LineId item = segment_.Line(parent, position, dataAt + dataBytes - position,
                                         ResultLine("[%08lx] Image Resource 0x%04X : %s", segment_.Offset(position),
                                                    id, ResourceNameOf(id)));
    segment_.Line(item, position, 4,
                  ResultLine("[%08lx] Signature = %.4s", segment_.Offset(position),
                             reinterpret_cast<const char*>(segment_.Data(position))));
    segment_.Line(item, position + 4, 2,
                  ResultLine("[%08lx] Resource ID = 0x%04X : %s", segment_.Offset(position + 4), id, ResourceNameOf(id)));
    const std::string name = FileText(reinterpret_cast<const char*>(segment_.Data(nameAt + 1)),
                                      nameLength);
    segment_.Line(item, nameAt, nameBytes,
                  name.empty() ? ResultLine("[%08lx] Name (0 [byte])", segment_.Offset(nameAt))
                               : ResultLine("[%08lx] Name (%zu [byte]) = %s", segment_.Offset(nameAt), nameLength,
                                            name.c_str()));
    segment_.Line(item, sizeAt, 4,
                  ResultLine("[%08lx] Data Size = %lu [byte]", segment_.Offset(sizeAt), static_cast<unsigned long>(size)));
    if (!fits) {
        segment_.Note(item, "リソースのサイズがセグメントの終わりを越えています");
        segment_.Expand(item);
        return 0;
    }
    const LineId data = segment_.Line(
        item, dataAt, dataBytes,
        ResultLine("[%08lx] Resource Data 0x%08lX - 0x%08lX", segment_.Offset(dataAt), segment_.Offset(dataAt),
                   segment_.Offset(dataAt + dataBytes) - 1));
    Data(id, dataAt, static_cast<size_t>(size), data);
    segment_.Expand(data);
    segment_.Expand(item);
    return dataAt + dataBytes;
}

void CPhotoshopResources::Data(uint32_t id, size_t position, size_t size, LineId item) const
{
    if (id == kIptcResource)
        CIptcRecords(segment_).LayOut(position, position + size, item);
    else if (id == kThumbnailResource || id == kOldThumbnailResource)
        Thumbnail(position, size, item);
    else if (id == kIccResource)
        Profile(position, size, item);
}

void CPhotoshopResources::Thumbnail(size_t position, size_t size, LineId item) const
{
    if (size < kThumbnailHeader) {
        segment_.Note(item, "サムネイルのヘッダがリソースに収まっていません");
        return;
    }
    struct Field {
        const char* format;
        size_t bytes;
    };
    static constexpr Field kFields[] = {
        {"[%08lx] Format = %u", 4},           {"[%08lx] Width = %u [pixel]", 4},
        {"[%08lx] Height = %u [pixel]", 4},   {"[%08lx] Width Bytes = %u [byte]", 4},
        {"[%08lx] Total Size = %u [byte]", 4}, {"[%08lx] Compressed Size = %u [byte]", 4},
        {"[%08lx] Bits Per Pixel = %u", 2},   {"[%08lx] Planes = %u", 2},
    };
    size_t at = position;
    for (const Field& field : kFields) {
        const uint32_t value = field.bytes == 4 ? segment_.U32(at) : segment_.U16(at);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        const LineId line = segment_.Line(item, at, field.bytes, ResultLine(field.format, segment_.Offset(at), value));
#pragma GCC diagnostic pop
        if (at == position)
            segment_.Note(line, value == kThumbnailJpeg ? "JPEG (kJpegRGB)"
                                : value == kThumbnailRaw ? "Raw RGB (kRawRGB)"
                                                         : "UNDEFINED !!");
        at += field.bytes;
    }
    if (segment_.U32(position) != kThumbnailJpeg || size == kThumbnailHeader)
        return;
    const uint64_t end = segment_.Offset(position + size);
    const LineId data = segment_.Line(item, at, position + size - at,
                                      ResultLine("[%08lx] Thumbnail Data (JPEG Format) 0x%08lX - 0x%08lX",
                                                 segment_.Offset(at), segment_.Offset(at), end - 1));
    segment_.Nested(kFormatJpeg, data, at, end, "サムネイル");
}

// The profile is contiguous: one piece, so that the ICC analysis reads
// nothing beyond the resource.
void CPhotoshopResources::Profile(size_t position, size_t size, LineId item) const
{
    const FilePiece piece{segment_.Offset(position), size};
    CIccChunks::LayOutProfile(segment_.Request(), segment_.Out(), segment_.Stream(),
                              std::span<const FilePiece>(&piece, 1), item);
}
