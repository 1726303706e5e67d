#include "jpeg/jpeg_app_layout.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/analysis_app.h"

namespace {

// The identifier that starts an XMP packet in APP1: 28 characters and a NUL.
constexpr const char* kXmpIdentifier = "http://ns.adobe.com/xap/1.0/";
constexpr size_t kXmpIdentifierBytes = 29;

// Reads big-endian fields from the bytes at hand; past them a byte reads as
// 0xFF, as reading past the end of the file always has.
class Fields {
public:
    Fields(std::span<const uint8_t> bytes, uint64_t at) : bytes_(bytes), at_(at) {}
    uint32_t Read(size_t n)
    {
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i, ++pos_)
            v = v << 8 | (pos_ < bytes_.size() ? bytes_[pos_] : 0xFFu);
        return v;
    }
    uint64_t Position() const { return at_ + std::min(pos_, bytes_.size()); }
    ByteRange From(uint64_t start) const { return {start, Position()}; }

private:
    std::span<const uint8_t> bytes_;
    uint64_t at_;
    size_t pos_ = 0;
};

}  // namespace

CJpegAppLayout::CJpegAppLayout(const AnalysisRequest& request, const CTreeWriter& out, uint64_t fileSize)
    : request_(request), out_(out), fileSize_(fileSize)
{
}

void CJpegAppLayout::LayOut(FILE* fp, uint32_t marker, uint64_t offset, uint32_t length,
                            std::span<const uint8_t> bytes, HTREEITEM head)
{
    const uint64_t at = offset + 4;
    if (marker == 0xFFE0)
        Jfif(at, bytes, head);
    else if (marker == 0xFFE1)
        App1(fp, at, offset + 2 + length, bytes, head);
    else if (marker == 0xFFEE && bytes.size() >= 12 && length >= 14 && std::memcmp(bytes.data(), "Adobe", 5) == 0 &&
             adobeTransform_ < 0)
        adobeTransform_ = bytes[11];
}

void CJpegAppLayout::Finish(FILE*) {}

// APP0 is laid out as a JFIF header whatever its identifier says.
void CJpegAppLayout::Jfif(uint64_t at, std::span<const uint8_t> bytes, HTREEITEM head)
{
    Fields f(bytes, at);
    uint64_t p = f.Position();
    const uint32_t identifier = f.Read(4);
    f.Read(1);
    const uint32_t version = f.Read(2);
    out_.Insert(head,
                ResultLine("[%08lx] File Format = %c%c%c%c (Version %d.%d)", p, static_cast<int>(identifier >> 24),
                           static_cast<int>((identifier >> 16) & 0xFF), static_cast<int>((identifier >> 8) & 0xFF),
                           static_cast<int>(identifier & 0xFF), static_cast<int>(version >> 8),
                           static_cast<int>(version & 0xFF)),
                f.From(p));
    p = f.Position();
    const uint32_t unit = f.Read(1);
    const uint32_t x = f.Read(2);
    const uint32_t y = f.Read(2);
    const char* units[] = {"[pixel]", "[pixel/inch]", "[pixel/cm]"};
    if (unit < 3)
        out_.Insert(head, ResultLine("[%08lx] Depth = %d : %d %s", p, static_cast<int>(x), static_cast<int>(y), units[unit]),
                    f.From(p));
    p = f.Position();
    const uint32_t width = f.Read(1);
    const uint32_t height = f.Read(1);
    const char* none = width == 0 || height == 0 ? " (No Thumbnail)" : "";
    out_.Insert(head,
                ResultLine("[%08lx] Thumbnail Size = %d x %d%s", p, static_cast<int>(width), static_cast<int>(height),
                           none),
                f.From(p));
}

void CJpegAppLayout::App1(FILE* fp, uint64_t at, uint64_t segmentEnd, std::span<const uint8_t> bytes, HTREEITEM head)
{
    Fields f(bytes, at);
    char identifier[kXmpIdentifierBytes + 1] = {};
    for (int i = 0; i < 4; ++i)
        identifier[i] = static_cast<char>(f.Read(1));
    if (std::strcmp(identifier, "Exif") == 0) {
        out_.Insert(head, ResultLine("[%08lx] File Format = %s", at, identifier), f.From(at));
        const uint64_t p = f.Position();
        const uint32_t null = f.Read(1);
        const uint32_t pad = f.Read(1);
        out_.Insert(head, ResultLine("[%08lx] NULL = 0x%02x / Padding = 0x%02x", p, null, pad), f.From(p));
        const uint64_t tiffAt = f.Position();
        const HTREEITEM data =
            out_.Insert(head, ResultLine("[%08lx] Thumbnail Data (TIFF Format) 0x%08lX - 0x%08lX", tiffAt, tiffAt, segmentEnd - 1),
                        {tiffAt, std::min(segmentEnd, fileSize_)});
        // The TIFF structure of Exif data hangs under the line inserted
        // last, the thumbnail data's.
        if (const CAnalysisApp::NestedScope scope(*request_.app); scope.Allowed() && tiffAt < fileSize_) {
            AnalysisRequest tiff = request_;
            std::fseek(fp, static_cast<long>(tiffAt), SEEK_SET);
            tiff.fp = fp;
            tiff.level = request_.level + 1;
            tiff.parent = 0;
            tiff.dataEnd = segmentEnd;
            tiff.pictureLabel.clear();
            RunAnalyzer(kFormatTiff, tiff);
        }
        out_.Expand(data);
        return;
    }
    Fields again(bytes, at);
    std::memset(identifier, 0, sizeof identifier);
    for (size_t i = 0; i < kXmpIdentifierBytes; ++i)
        identifier[i] = static_cast<char>(again.Read(1));
    if (std::strcmp(identifier, kXmpIdentifier) == 0)
        out_.Insert(head, ResultLine("[%08lx] File Format = Adobe XMP metadata packet", at), again.From(at));
}
