#include "png/png_chunk_layout.h"

#include <algorithm>
#include <string>

#include "core/result_line.h"

namespace {

struct Named {
    uint32_t value;
    const char* name;
};

const char* NameOf(std::initializer_list<Named> names, uint32_t value, const char* otherwise = "undefined")
{
    for (const Named& n : names)
        if (n.value == value)
            return n.name;
    return otherwise;
}

// PNG Third Edition 11.2.1, Table 8.
const char* ColourTypeName(uint32_t type)
{
    return NameOf({{0, "Greyscale"}, {2, "Truecolour"}, {3, "Indexed-colour"}, {4, "Greyscale with alpha"},
                   {6, "Truecolour with alpha"}},
                  type);
}

// A fixed-point field in units of 1/divisor, as its exact decimal.
std::string Fixed(uint32_t value, uint32_t divisor, int digits)
{
    return ResultLine("%u.%0*u", value / divisor, digits, value % divisor);
}

}  // namespace

// PNG Third Edition, clause 11 (the chunk types and their names), and the
// APNG chunks of 11.3.6. IDAT and fdAT are laid out from their lengths.
const CPngChunkLayout::Entry CPngChunkLayout::kEntries[] = {
    {"IHDR", "Image header", &CPngChunkLayout::Header},
    {"PLTE", "Palette", &CPngChunkLayout::Palette},
    {"IDAT", "Image data", nullptr},
    {"IEND", "Image trailer", &CPngChunkLayout::Trailer},
    {"tRNS", "Transparency", &CPngChunkLayout::Transparency},
    {"cHRM", "Primary chromaticities and white point", &CPngChunkLayout::Chromaticities},
    {"gAMA", "Image gamma", &CPngChunkLayout::Gamma},
    {"iCCP", "Embedded ICC profile", &CPngChunkLayout::Profile},
    {"sBIT", "Significant bits", &CPngChunkLayout::SignificantBits},
    {"sRGB", "Standard RGB colour space", &CPngChunkLayout::StandardRgb},
    {"cICP", "Coding-independent code points", &CPngChunkLayout::CodePoints},
    {"mDCV", "Mastering display colour volume", &CPngChunkLayout::MasteringDisplay},
    {"cLLI", "Content light level information", &CPngChunkLayout::LightLevel},
    {"tEXt", "Textual data", &CPngChunkLayout::Text},
    {"zTXt", "Compressed textual data", &CPngChunkLayout::CompressedText},
    {"iTXt", "International textual data", &CPngChunkLayout::InternationalText},
    {"bKGD", "Background colour", &CPngChunkLayout::Background},
    {"hIST", "Image histogram", &CPngChunkLayout::Histogram},
    {"pHYs", "Physical pixel dimensions", &CPngChunkLayout::PhysicalSize},
    {"sPLT", "Suggested palette", &CPngChunkLayout::SuggestedPalette},
    {"eXIf", "Exchangeable image file format", &CPngChunkLayout::Exif},
    {"tIME", "Image last-modification time", &CPngChunkLayout::Time},
    {"acTL", "Animation control", &CPngChunkLayout::AnimationControl},
    {"fcTL", "Frame control", &CPngChunkLayout::FrameControl},
    {"fdAT", "Frame data", nullptr},
};

const CPngChunkLayout::Entry* CPngChunkLayout::EntryOf(const PngChunk& chunk)
{
    for (const Entry& entry : kEntries)
        if (chunk.Is(entry.type))
            return &entry;
    return nullptr;
}

const char* CPngChunkLayout::Description(const PngChunk& chunk)
{
    const Entry* entry = EntryOf(chunk);
    return entry ? entry->description : "Unknown chunk";
}

bool CPngChunkLayout::ReadsData(const PngChunk& chunk)
{
    return EntryOf(chunk) && !chunk.Is("IDAT") && !chunk.Is("fdAT");
}

bool CPngChunkLayout::LayOut(const PngChunk& chunk, LineId head)
{
    const Entry* entry = EntryOf(chunk);
    const uint64_t at = chunk.DataAt();
    if (!entry || !entry->layout || chunk.data.size() != chunk.available) {
        // Image data and frame data are laid out from their lengths alone.
        CChunkFields f(out_, head, chunk.data, at);
        uint64_t skip = 0;
        if (chunk.Is("fdAT") && f.Number(4, "Sequence Number"))
            skip = 4;
        const uint64_t rest = chunk.available - std::min(chunk.available, skip);
        const char* what = chunk.Is("IDAT") ? "Image Data" : chunk.Is("fdAT") ? "Frame Data" : "Data";
        if (rest > 0)
            out_.Insert(head, ResultLine("[%08lx] %s (%llu [byte])", at + skip, what, static_cast<unsigned long long>(rest)),
                        ByteRange{at + skip, at + skip + rest});
        return !(chunk.Is("fdAT") && chunk.length < 4);
    }
    CChunkFields f(out_, head, chunk.data, at);
    (this->*entry->layout)(f);
    const bool extra = f.Left() > 0;
    f.Rest("Extra Data");
    return !f.Short() && !(extra && chunk.available == chunk.length);
}

void CPngChunkLayout::Header(CChunkFields& f)
{
    f.Number(4, "Width");
    f.Number(4, "Height");
    f.Number(1, "Bit Depth");
    if (f.Need(1))
        f.Number(1, "Colour Type", nullptr, ColourTypeName(f.Peek(1)));
    if (f.Need(1))
        f.Number(1, "Compression Method", nullptr, f.Peek(1) == 0 ? "deflate" : "undefined");
    if (f.Need(1))
        f.Number(1, "Filter Method", nullptr, f.Peek(1) == 0 ? "adaptive, five filter types" : "undefined");
    if (f.Need(1))
        f.Number(1, "Interlace Method", nullptr, NameOf({{0, "none"}, {1, "Adam7"}}, f.Peek(1)));
}

void CPngChunkLayout::Palette(CChunkFields& f)
{
    f.Entries("Palette Entries", f.Left() / 3, 3, [](size_t i, const uint8_t* p) {
        return ResultLine("Entry %zu = (R %u, G %u, B %u)", i, p[0], p[1], p[2]);
    });
}

void CPngChunkLayout::Samples(CChunkFields& f, const char* what)
{
    const uint8_t type = record_.header.colourType;
    if (type == 0 || type == 4) {
        f.Number(2, ResultLine("%s Grey", what).c_str());
    } else if (type == 2 || type == 6) {
        for (const char* c : {"Red", "Green", "Blue"})
            f.Number(2, ResultLine("%s %s", what, c).c_str());
    }
}

void CPngChunkLayout::Transparency(CChunkFields& f)
{
    if (record_.header.colourType != 3) {
        Samples(f, "Transparent");
        return;
    }
    f.Entries("Palette Alpha Values", f.Left(), 1,
              [](size_t i, const uint8_t* p) { return ResultLine("Alpha %zu = %u", i, p[0]); });
}

void CPngChunkLayout::Chromaticities(CChunkFields& f)
{
    static constexpr const char* kNames[] = {"White Point x", "White Point y", "Red x", "Red y",
                                             "Green x",       "Green y",       "Blue x", "Blue y"};
    for (const char* name : kNames) {
        if (!f.Need(4))
            return;
        const uint32_t v = f.Peek(4);
        f.Put(4, ResultLine("[%08lx] %s = %u (%s)", f.At(), name, v, Fixed(v, 100000, 5).c_str()));
    }
}

void CPngChunkLayout::Gamma(CChunkFields& f)
{
    if (!f.Need(4))
        return;
    const uint32_t v = f.Peek(4);
    f.Put(4, ResultLine("[%08lx] Image Gamma = %u (%s)", f.At(), v, Fixed(v, 100000, 5).c_str()));
}

void CPngChunkLayout::SignificantBits(CChunkFields& f)
{
    static constexpr const char* kGrey[] = {"Grey"};
    static constexpr const char* kRgb[] = {"Red", "Green", "Blue"};
    static constexpr const char* kGreyAlpha[] = {"Grey", "Alpha"};
    static constexpr const char* kRgba[] = {"Red", "Green", "Blue", "Alpha"};
    std::span<const char* const> names;
    switch (record_.header.colourType) {
    case 0: names = kGrey; break;
    case 2:
    case 3: names = kRgb; break;
    case 4: names = kGreyAlpha; break;
    case 6: names = kRgba; break;
    default: return;
    }
    for (const char* name : names)
        f.Number(1, ResultLine("Significant %s Bits", name).c_str());
}

void CPngChunkLayout::StandardRgb(CChunkFields& f)
{
    if (f.Need(1))
        f.Number(1, "Rendering Intent", nullptr,
                 NameOf({{0, "Perceptual"}, {1, "Relative colorimetric"}, {2, "Saturation"},
                         {3, "Absolute colorimetric"}},
                        f.Peek(1)));
}

// The code points are those of ITU-T H.273; only the ones PNG names are
// spelled out.
void CPngChunkLayout::CodePoints(CChunkFields& f)
{
    if (f.Need(1))
        f.Number(1, "Colour Primaries", nullptr,
                 NameOf({{1, "BT.709"}, {9, "BT.2020"}, {12, "Display P3"}}, f.Peek(1), "see H.273"));
    if (f.Need(1))
        f.Number(1, "Transfer Function", nullptr,
                 NameOf({{1, "BT.709"}, {8, "linear"}, {13, "sRGB"}, {16, "PQ"}, {18, "HLG"}}, f.Peek(1),
                        "see H.273"));
    if (f.Need(1))
        f.Number(1, "Matrix Coefficients", nullptr, f.Peek(1) == 0 ? "identity (RGB)" : "not allowed in PNG");
    if (f.Need(1))
        f.Number(1, "Video Full Range Flag", nullptr, f.Peek(1) == 1 ? "full range" : f.Peek(1) == 0 ? "narrow range" : "undefined");
}

void CPngChunkLayout::MasteringDisplay(CChunkFields& f)
{
    static constexpr const char* kNames[] = {"Red x", "Red y", "Green x", "Green y", "Blue x", "Blue y",
                                             "White Point x", "White Point y"};
    for (const char* name : kNames) {
        if (!f.Need(2))
            return;
        const uint32_t v = f.Peek(2);
        f.Put(2, ResultLine("[%08lx] %s = %u (%s)", f.At(), name, v, Fixed(v * 2, 100000, 5).c_str()));
    }
    for (const char* name : {"Maximum Luminance", "Minimum Luminance"}) {
        if (!f.Need(4))
            return;
        const uint32_t v = f.Peek(4);
        f.Put(4, ResultLine("[%08lx] %s = %u (%s cd/m2)", f.At(), name, v, Fixed(v, 10000, 4).c_str()));
    }
}

void CPngChunkLayout::LightLevel(CChunkFields& f)
{
    for (const char* name : {"Maximum Content Light Level", "Maximum Frame-Average Light Level"}) {
        if (!f.Need(4))
            return;
        const uint32_t v = f.Peek(4);
        f.Put(4, ResultLine("[%08lx] %s = %u (%s cd/m2)", f.At(), name, v, Fixed(v, 10000, 4).c_str()));
    }
}

void CPngChunkLayout::Text(CChunkFields& f)
{
    if (!f.Terminated("Keyword", nullptr))
        return;
    CPngEmbedded::TextLines(f.Out(), f.Parent(), f.Data().subspan(f.Position()), {f.At(), f.At() + f.Left()});
    f.Skip(f.Left());
}

void CPngChunkLayout::Background(CChunkFields& f)
{
    if (record_.header.colourType == 3)
        f.Number(1, "Palette Index");
    else
        Samples(f, "Background");
}

void CPngChunkLayout::Histogram(CChunkFields& f)
{
    f.Entries("Frequencies", f.Left() / 2, 2, [](size_t i, const uint8_t* p) {
        return ResultLine("Frequency %zu = %u", i, uint32_t{p[0]} << 8 | p[1]);
    });
}

void CPngChunkLayout::PhysicalSize(CChunkFields& f)
{
    f.Number(4, "Pixels per Unit, X Axis");
    f.Number(4, "Pixels per Unit, Y Axis");
    if (f.Need(1))
        f.Number(1, "Unit", nullptr, NameOf({{0, "unknown"}, {1, "metre"}}, f.Peek(1)));
}

void CPngChunkLayout::SuggestedPalette(CChunkFields& f)
{
    uint32_t depth = 0;
    if (!f.Terminated("Palette Name", nullptr) || !f.Number(1, "Sample Depth", &depth))
        return;
    // Each entry: red, green, blue, alpha of the sample depth, then a
    // 2-byte frequency.
    const size_t bytes = depth == 16 ? 10 : 6;
    f.Entries("Entries", f.Left() / bytes, bytes, [depth](size_t i, const uint8_t* p) {
        if (depth == 16)
            return ResultLine("Entry %zu = (R %u, G %u, B %u, A %u), Frequency %u", i, uint32_t{p[0]} << 8 | p[1],
                              uint32_t{p[2]} << 8 | p[3], uint32_t{p[4]} << 8 | p[5], uint32_t{p[6]} << 8 | p[7],
                              uint32_t{p[8]} << 8 | p[9]);
        return ResultLine("Entry %zu = (R %u, G %u, B %u, A %u), Frequency %u", i, p[0], p[1], p[2], p[3],
                          uint32_t{p[4]} << 8 | p[5]);
    });
}

void CPngChunkLayout::Time(CChunkFields& f)
{
    if (!f.Need(7))
        return;
    const uint8_t* p = f.Data().data() + f.Position();
    f.Put(2, ResultLine("[%08lx] Year = %u", f.At(), uint32_t{p[0]} << 8 | p[1]));
    f.Number(1, "Month");
    f.Number(1, "Day");
    f.Number(1, "Hour");
    f.Number(1, "Minute");
    f.Number(1, "Second");
    out_.Insert(f.Parent(), ResultLine("%04u-%02u-%02u %02u:%02u:%02u UTC", uint32_t{p[0]} << 8 | p[1], p[2], p[3], p[4],
                                 p[5], p[6]));
}

void CPngChunkLayout::AnimationControl(CChunkFields& f)
{
    f.Number(4, "Number of Frames");
    if (f.Need(4))
        f.Number(4, "Number of Plays", nullptr, f.Peek(4) == 0 ? "loops without end" : nullptr);
}

void CPngChunkLayout::FrameControl(CChunkFields& f)
{
    f.Number(4, "Sequence Number");
    f.Number(4, "Width");
    f.Number(4, "Height");
    f.Number(4, "X Offset");
    f.Number(4, "Y Offset");
    f.Number(2, "Delay Numerator");
    if (f.Need(2))
        f.Number(2, "Delay Denominator", nullptr, f.Peek(2) == 0 ? "0 stands for 100" : nullptr);
    if (f.Need(1))
        f.Number(1, "Dispose Op", nullptr, NameOf({{0, "none"}, {1, "background"}, {2, "previous"}}, f.Peek(1)));
    if (f.Need(1))
        f.Number(1, "Blend Op", nullptr, NameOf({{0, "source"}, {1, "over"}}, f.Peek(1)));
}
