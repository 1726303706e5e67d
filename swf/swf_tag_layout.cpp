#include "swf/swf_tag_layout.h"

#include <algorithm>

#include "core/xmp_packet.h"

// The tags laid out field by field, by the record layouts of the SWF File
// Format Specification 19 (chapters 3 to 13); codes from its Appendix B.
const CSwfTagLayout::FieldsEntry CSwfTagLayout::kFields[] = {
    {2, &CSwfTagLayout::Shape},           {4, &CSwfTagLayout::PlaceObject},
    {5, &CSwfTagLayout::RemoveObject},    {6, &CSwfTagLayout::BitsJpeg},
    {8, &CSwfTagLayout::JpegTables},      {9, &CSwfTagLayout::BackgroundColor},
    {10, &CSwfTagLayout::Font},           {11, &CSwfTagLayout::Text},
    {12, &CSwfTagLayout::Action},         {13, &CSwfTagLayout::Font},
    {14, &CSwfTagLayout::Sound},          {18, &CSwfTagLayout::Sound},
    {20, &CSwfTagLayout::BitsLossless},   {21, &CSwfTagLayout::BitsJpeg},
    {22, &CSwfTagLayout::Shape},          {26, &CSwfTagLayout::PlaceObject2},
    {28, &CSwfTagLayout::RemoveObject},   {32, &CSwfTagLayout::Shape},
    {33, &CSwfTagLayout::Text},           {35, &CSwfTagLayout::BitsJpeg},
    {36, &CSwfTagLayout::BitsLossless},   {37, &CSwfTagLayout::Text},
    {41, &CSwfTagLayout::ProductInfo},    {43, &CSwfTagLayout::FrameLabel},
    {45, &CSwfTagLayout::Sound},          {48, &CSwfTagLayout::Font},
    {56, &CSwfTagLayout::Assets},         {57, &CSwfTagLayout::Assets},
    {58, &CSwfTagLayout::Debugger},       {59, &CSwfTagLayout::Action},
    {60, &CSwfTagLayout::VideoStream},    {62, &CSwfTagLayout::Font},
    {64, &CSwfTagLayout::Debugger},       {65, &CSwfTagLayout::ScriptLimits},
    {69, &CSwfTagLayout::FileAttributes}, {70, &CSwfTagLayout::PlaceObject3},
    {71, &CSwfTagLayout::Assets},         {73, &CSwfTagLayout::Font},
    {75, &CSwfTagLayout::Font},           {76, &CSwfTagLayout::Assets},
    {77, &CSwfTagLayout::Metadata},       {82, &CSwfTagLayout::DoAbc},
    {83, &CSwfTagLayout::Shape},          {86, &CSwfTagLayout::SceneData},
    {87, &CSwfTagLayout::BinaryData},     {88, &CSwfTagLayout::Font},
    {90, &CSwfTagLayout::BitsJpeg},       {91, &CSwfTagLayout::Font},
};

namespace {

constexpr uint32_t kDefineSprite = 39;
constexpr uint32_t kShowFrame = 1;

std::string Fixed16(int32_t value)
{
    return ResultLine("%g", value / 65536.0);
}

}  // namespace

CSwfTagLayout::CSwfTagLayout(const AnalysisRequest& request, CTreeWriter out, FILE* fp, BodyPlace place,
                             SpriteWalk walk)
    : request_(request), out_(out), fp_(fp), place_(place), walk_(std::move(walk)),
      pictures_(request_, out, fp, place)
{
}

LineId CSwfTagLayout::Field(LineId parent, uint64_t at, uint64_t length, const std::string& text) const
{
    return out_.Insert(parent, OffsetLine(at, text), PlaceBytes(at, length, UINT64_MAX, place_));
}

bool CSwfTagLayout::ReadBody(uint64_t at, uint32_t length, std::vector<uint8_t>& body) const
{
    if (length > kMaxBodyBytes || std::fseek(fp_, static_cast<long>(at), SEEK_SET) != 0)
        return false;
    body.resize(length);
    return std::fread(body.data(), 1, length, fp_) == length;
}

void CSwfTagLayout::LayOut(LineId tag, uint32_t code, uint64_t at, uint32_t length, uint32_t frame)
{
    if (code == kShowFrame) {
        out_.Insert(tag, ResultLine("Frame %u", frame));
        return;
    }
    if (code == kDefineSprite) {
        Sprite(tag, at, length);
        return;
    }
    if (length == 0)
        return;
    std::vector<uint8_t> body;
    if (!ReadBody(at, length, body)) {
        Field(tag, at, length, ResultLine("Data : %u[byte]", length));
        return;
    }
    CSwfFieldCursor c(body, at);
    const auto entry = std::find_if(std::begin(kFields), std::end(kFields),
                                    [code](const FieldsEntry& e) { return e.code == code; });
    if (entry != std::end(kFields))
        (this->*entry->fields)(tag, c, code);
    Rest(tag, c);
}

void CSwfTagLayout::Rest(LineId tag, CSwfFieldCursor& c, const char* name) const
{
    const size_t n = c.Remaining();
    if (n > 0)
        Field(tag, c.Offset(), n, ResultLine("%s : %zu[byte]", name, n));
    c.Skip(n);
}

void CSwfTagLayout::U16Field(LineId tag, CSwfFieldCursor& c, const char* name) const
{
    if (c.Remaining() < 2)
        return;
    const uint64_t at = c.Offset();
    Field(tag, at, 2, ResultLine("%s : %u", name, c.U16()));
}

void CSwfTagLayout::ByteField(LineId tag, CSwfFieldCursor& c, const char* name) const
{
    const uint64_t at = c.Offset();
    const uint32_t value = c.U8();
    Field(tag, at, 1, ResultLine("%s : %u", name, value));
}

void CSwfTagLayout::StringField(LineId tag, CSwfFieldCursor& c, const char* name) const
{
    if (c.Remaining() == 0)
        return;
    const uint64_t at = c.Offset();
    const std::string text = c.String();
    Field(tag, at, c.Offset() - at, ResultLine("%s : %s", name, text.c_str()));
}

void CSwfTagLayout::Rect(LineId tag, CSwfFieldCursor& c, const char* name) const
{
    if (c.Remaining() == 0)
        return;
    const uint64_t at = c.Offset();
    c.BeginBits();
    const uint32_t bits = c.Bits(5);
    const int32_t x0 = c.SignedBits(bits);
    const int32_t x1 = c.SignedBits(bits);
    const int32_t y0 = c.SignedBits(bits);
    const int32_t y1 = c.SignedBits(bits);
    c.EndBits();
    Field(tag, at, c.Offset() - at,
          ResultLine("%s (RECT) : Nbits %u, (Xmin - Xmax, Ymin - Ymax) = (%d - %d, %d - %d)[twip]", name, bits, x0, x1,
                     y0, y1));
}

void CSwfTagLayout::Matrix(LineId tag, CSwfFieldCursor& c) const
{
    const uint64_t at = c.Offset();
    c.BeginBits();
    std::string text = "Matrix :";
    if (c.Bits(1)) {
        const uint32_t n = c.Bits(5);
        const int32_t sx = c.SignedBits(n);
        text += " scale (" + Fixed16(sx) + ", " + Fixed16(c.SignedBits(n)) + ")";
    }
    if (c.Bits(1)) {
        const uint32_t n = c.Bits(5);
        const int32_t r0 = c.SignedBits(n);
        text += " rotate/skew (" + Fixed16(r0) + ", " + Fixed16(c.SignedBits(n)) + ")";
    }
    const uint32_t n = c.Bits(5);
    const int32_t tx = c.SignedBits(n);
    const int32_t ty = c.SignedBits(n);
    c.EndBits();
    Field(tag, at, c.Offset() - at, text + ResultLine(" translate (%d, %d)[twip]", tx, ty));
}

void CSwfTagLayout::Cxform(LineId tag, CSwfFieldCursor& c, bool alpha) const
{
    const uint64_t at = c.Offset();
    c.BeginBits();
    const uint32_t hasAdd = c.Bits(1);
    const uint32_t hasMult = c.Bits(1);
    const uint32_t n = c.Bits(4);
    const uint32_t channels = alpha ? 4 : 3;
    std::string text = alpha ? "ColorTransform (CXFORMWITHALPHA) :" : "ColorTransform (CXFORM) :";
    for (const auto& [present, name] : {std::pair{hasMult, " mult"}, std::pair{hasAdd, " add"}}) {
        if (!present)
            continue;
        text += name;
        for (uint32_t i = 0; i < channels; ++i)
            text += ResultLine(i == 0 ? " %d" : ", %d", c.SignedBits(n));
    }
    c.EndBits();
    Field(tag, at, c.Offset() - at, text);
}

void CSwfTagLayout::FileAttributes(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    if (c.Remaining() < 4)
        return;
    const uint64_t at = c.Offset();
    const uint32_t flags = c.U8();
    // The first byte, most significant bit first: reserved, UseDirectBlit,
    // UseGPU, HasMetadata, ActionScript3, two reserved bits, UseNetwork.
    constexpr std::pair<uint32_t, const char*> kFlags[] = {
        {0x40, "UseDirectBlit"}, {0x20, "UseGPU"}, {0x10, "HasMetadata"}, {0x08, "ActionScript3"}, {0x01, "UseNetwork"}};
    for (const auto& [mask, name] : kFlags)
        Field(tag, at, 1, ResultLine("%s : %u", name, (flags & mask) ? 1u : 0u));
    c.Skip(3);
    Field(tag, at + 1, 3, "Reserved");
}

void CSwfTagLayout::BackgroundColor(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    if (c.Remaining() < 3)
        return;
    const uint64_t at = c.Offset();
    for (uint8_t& v : background_)
        v = static_cast<uint8_t>(c.U8());
    Field(tag, at, 3, ResultLine("BackgroundColor (RGB) : #%02X%02X%02X", background_[0], background_[1], background_[2]));
}

void CSwfTagLayout::Metadata(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    CLineTree* tree = out_.Tree();
    const LineId before = tree ? static_cast<LineId>(tree->Count()) : kNoLine;
    AppendXmpPacket(out_, tag, c.Body(), c.Offset());
    c.Skip(c.Remaining());
    // The packet's lines count in the file; move them where the body lies.
    for (LineId line = before + 1; tree && place_ != BodyPlace::File && line <= tree->Count(); ++line) {
        ByteRange range;
        if (tree->RangeOf(line, range))
            tree->SetRange(line, PlaceBytes(range.start, range.end - range.start, UINT64_MAX, place_));
    }
}

void CSwfTagLayout::ScriptLimits(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    U16Field(tag, c, "MaxRecursionDepth");
    U16Field(tag, c, "ScriptTimeoutSeconds");
}

void CSwfTagLayout::ProductInfo(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    // Written by the Flex compilers: product, edition, version, build and
    // the compilation time in milliseconds since 1970.
    if (c.Remaining() < 26)
        return;
    uint64_t at = c.Offset();
    Field(tag, at, 4, ResultLine("ProductId : %u", c.U32()));
    Field(tag, at + 4, 4, ResultLine("Edition : %u", c.U32()));
    const uint32_t major = c.U8();
    Field(tag, at + 8, 2, ResultLine("Version : %u.%u", major, c.U8()));
    Field(tag, at + 10, 8, ResultLine("Build : %llu", static_cast<unsigned long long>(c.U64())));
    Field(tag, at + 18, 8, ResultLine("CompilationDate : %llu[ms]", static_cast<unsigned long long>(c.U64())));
}

void CSwfTagLayout::Debugger(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    if (code == 64)
        U16Field(tag, c, "Reserved");
    StringField(tag, c, "Password (MD5)");
}

void CSwfTagLayout::FrameLabel(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    StringField(tag, c, "Name");
    if (c.Remaining() == 1) {
        ByteField(tag, c, "NamedAnchor");
    }
}

void CSwfTagLayout::IdNamePairs(LineId tag, CSwfFieldCursor& c) const
{
    if (c.Remaining() < 2)
        return;
    const uint64_t at = c.Offset();
    const uint32_t count = c.U16();
    Field(tag, at, 2, ResultLine("Count : %u", count));
    // Each pair takes at least three bytes, so the body bounds the count.
    for (uint32_t i = 0; i < count && c.Remaining() >= 2; ++i) {
        const uint64_t p = c.Offset();
        const uint32_t id = c.U16();
        const std::string name = c.String();
        Field(tag, p, c.Offset() - p, ResultLine("Tag %u : %s", id, name.c_str()));
    }
}

void CSwfTagLayout::Assets(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    if (code == 57 || code == 71)
        StringField(tag, c, "URL");
    if (code == 71 && c.Remaining() >= 2) {
        Field(tag, c.Offset(), 2, "Reserved");
        c.Skip(2);
    }
    IdNamePairs(tag, c);
}

void CSwfTagLayout::DoAbc(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    if (c.Remaining() < 4)
        return;
    const uint64_t at = c.Offset();
    const uint32_t flags = c.U32();
    Field(tag, at, 4, ResultLine("Flags : 0x%08x%s", flags, (flags & 1) ? " (kDoAbcLazyInitializeFlag)" : ""));
    StringField(tag, c, "Name");
    Rest(tag, c, "ABCData");
}

void CSwfTagLayout::SceneData(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    for (const char* what : {"Scene", "FrameLabel"}) {
        if (c.Remaining() == 0)
            return;
        const uint64_t at = c.Offset();
        const uint32_t count = c.EncodedU32();
        Field(tag, at, c.Offset() - at, ResultLine("%sCount : %u", what, count));
        // Each entry takes two bytes at least: the body bounds the count.
        for (uint32_t i = 0; i < count && c.Remaining() > 0; ++i) {
            const uint64_t p = c.Offset();
            const uint32_t number = c.EncodedU32();
            const std::string name = c.String();
            Field(tag, p, c.Offset() - p, ResultLine("%s : Frame %u, %s", what, number, name.c_str()));
        }
    }
}

void CSwfTagLayout::BinaryData(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    U16Field(tag, c, "CharacterId");
    if (c.Remaining() >= 4) {
        Field(tag, c.Offset(), 4, "Reserved");
        c.Skip(4);
    }
    Rest(tag, c, "BinaryData");
}

void CSwfTagLayout::RemoveObject(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    if (code == 5)
        U16Field(tag, c, "CharacterId");
    U16Field(tag, c, "Depth");
}

void CSwfTagLayout::PlaceObject(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    U16Field(tag, c, "CharacterId");
    U16Field(tag, c, "Depth");
    if (c.Remaining() > 0)
        Matrix(tag, c);
    if (c.Remaining() > 0)
        Cxform(tag, c, false);
}

namespace {

// The flags of PlaceObject2 and the first flags byte of PlaceObject3, most
// significant bit first.
constexpr std::pair<uint32_t, const char*> kPlaceFlags[] = {
    {0x80, "HasClipActions"}, {0x40, "HasClipDepth"}, {0x20, "HasName"}, {0x10, "HasRatio"},
    {0x08, "HasColorTransform"}, {0x04, "HasMatrix"}, {0x02, "HasCharacter"}, {0x01, "Move"}};
// The second flags byte of PlaceObject3.
constexpr std::pair<uint32_t, const char*> kPlaceFlags3[] = {
    {0x40, "OpaqueBackground"}, {0x20, "HasVisible"}, {0x10, "HasImage"}, {0x08, "HasClassName"},
    {0x04, "HasCacheAsBitmap"}, {0x02, "HasBlendMode"}, {0x01, "HasFilterList"}};

template <size_t N>
std::string FlagNames(uint32_t flags, const std::pair<uint32_t, const char*> (&names)[N])
{
    std::string text;
    for (const auto& [mask, name] : names)
        if (flags & mask)
            text += text.empty() ? std::string(name) : std::string(", ") + name;
    return text.empty() ? "none" : text;
}

}  // namespace

void CSwfTagLayout::PlaceTail(LineId tag, CSwfFieldCursor& c, uint32_t flags)
{
    if (flags & 0x02)
        U16Field(tag, c, "CharacterId");
    if ((flags & 0x04) && c.Remaining() > 0)
        Matrix(tag, c);
    if ((flags & 0x08) && c.Remaining() > 0)
        Cxform(tag, c, true);
    if (flags & 0x10)
        U16Field(tag, c, "Ratio");
    if (flags & 0x20)
        StringField(tag, c, "Name");
    if (flags & 0x40)
        U16Field(tag, c, "ClipDepth");
}

void CSwfTagLayout::PlaceObject2(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    if (c.Remaining() < 3)
        return;
    const uint64_t at = c.Offset();
    const uint32_t flags = c.U8();
    Field(tag, at, 1, ResultLine("Flags : 0x%02x (%s)", flags, FlagNames(flags, kPlaceFlags).c_str()));
    U16Field(tag, c, "Depth");
    PlaceTail(tag, c, flags);
    Rest(tag, c, (flags & 0x80) ? "ClipActions" : "Data");
}

void CSwfTagLayout::PlaceObject3(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    if (c.Remaining() < 4)
        return;
    const uint64_t at = c.Offset();
    const uint32_t flags = c.U8();
    const uint32_t flags2 = c.U8();
    Field(tag, at, 1, ResultLine("Flags : 0x%02x (%s)", flags, FlagNames(flags, kPlaceFlags).c_str()));
    Field(tag, at + 1, 1, ResultLine("Flags2 : 0x%02x (%s)", flags2, FlagNames(flags2, kPlaceFlags3).c_str()));
    U16Field(tag, c, "Depth");
    if ((flags2 & 0x08) || ((flags2 & 0x10) && (flags & 0x02)))
        StringField(tag, c, "ClassName");
    PlaceTail(tag, c, flags);
    // A filter list has no length of its own; what follows it is left as
    // one data line with it.
    if (flags2 & 0x01) {
        Rest(tag, c, "SurfaceFilterList and after");
        return;
    }
    if ((flags2 & 0x02) && c.Remaining() > 0)
        ByteField(tag, c, "BlendMode");
    if ((flags2 & 0x04) && c.Remaining() > 0)
        ByteField(tag, c, "BitmapCache");
    if ((flags2 & 0x20) && c.Remaining() >= 5) {
        const uint64_t p = c.Offset();
        Field(tag, p, 1, ResultLine("Visible : %u", c.U8()));
        const uint32_t r = c.U8(), g = c.U8(), b = c.U8();
        Field(tag, p + 1, 4, ResultLine("BackgroundColor (RGBA) : #%02X%02X%02X%02X", r, g, b, c.U8()));
    }
    Rest(tag, c, (flags & 0x80) ? "ClipActions" : "Data");
}

void CSwfTagLayout::Shape(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    U16Field(tag, c, "ShapeId");
    Rect(tag, c, "ShapeBounds");
    if (code == 83) {
        Rect(tag, c, "EdgeBounds");
        if (c.Remaining() > 0) {
            const uint64_t at = c.Offset();
            const uint32_t flags = c.U8();
            Field(tag, at, 1, ResultLine("Flags : UsesFillWindingRule %u, UsesNonScalingStrokes %u, "
                                         "UsesScalingStrokes %u", (flags >> 2) & 1, (flags >> 1) & 1, flags & 1));
        }
    }
    Rest(tag, c, "Shapes");
}

void CSwfTagLayout::SoundFormat(LineId tag, CSwfFieldCursor& c, const char* prefix) const
{
    // The playback byte of a stream head keeps four reserved bits where the
    // stream byte, and DefineSound, name the coding.
    static constexpr const char* kRates[] = {"5.5", "11", "22", "44"};
    const uint64_t at = c.Offset();
    const uint32_t v = c.U8();
    const std::string format = std::string(prefix) == "Playback" ? std::string() : ResultLine("%sFormat : %u, ", prefix, v >> 4);
    Field(tag, at, 1,
          ResultLine("%s%sRate : %s[kHz], %sSize : %u[bit], %sType : %s", format.c_str(), prefix, kRates[(v >> 2) & 3],
                     prefix, (v & 2) ? 16u : 8u, prefix, (v & 1) ? "stereo" : "mono"));
}

void CSwfTagLayout::Sound(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    if (code == 14) {
        U16Field(tag, c, "SoundId");
        if (c.Remaining() < 5)
            return;
        SoundFormat(tag, c, "Sound");
        const uint64_t at = c.Offset();
        Field(tag, at, 4, ResultLine("SoundSampleCount : %u", c.U32()));
        Rest(tag, c, "SoundData");
        return;
    }
    if (c.Remaining() < 4)
        return;
    SoundFormat(tag, c, "Playback");
    const uint32_t compression = c.Body()[c.Position()] >> 4;
    SoundFormat(tag, c, "StreamSound");
    U16Field(tag, c, "StreamSoundSampleCount");
    // MP3 streams name the samples to skip at their start.
    if (compression == 2 && c.Remaining() >= 2) {
        const uint64_t at = c.Offset();
        Field(tag, at, 2, ResultLine("LatencySeek : %d", static_cast<int16_t>(c.U16())));
    }
}

void CSwfTagLayout::VideoStream(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    static constexpr const char* kCodecs[] = {"", "", "Sorenson H.263", "Screen video", "VP6", "VP6 with alpha",
                                              "Screen video V2", "AVC"};
    U16Field(tag, c, "CharacterId");
    U16Field(tag, c, "NumFrames");
    U16Field(tag, c, "Width");
    U16Field(tag, c, "Height");
    if (c.Remaining() < 2)
        return;
    const uint64_t at = c.Offset();
    const uint32_t flags = c.U8();
    Field(tag, at, 1, ResultLine("VideoFlagsDeblocking : %u, VideoFlagsSmoothing : %u", (flags >> 1) & 7, flags & 1));
    const uint32_t codec = c.U8();
    Field(tag, at + 1, 1, ResultLine("CodecID : %u (%s)", codec, codec < 8 ? kCodecs[codec] : ""));
}

void CSwfTagLayout::Font(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    U16Field(tag, c, "FontId");
    if (code == 73 || code == 10)
        return;
    if (code == 88) {
        StringField(tag, c, "FontName");
        StringField(tag, c, "FontCopyright");
        return;
    }
    if (code == 48 || code == 75 || code == 91) {
        if (c.Remaining() == 0)
            return;
        const uint64_t at = c.Offset();
        const uint32_t flags = c.U8();
        Field(tag, at, 1, ResultLine("Flags : 0x%02x", flags));
        if (code == 91) {
            StringField(tag, c, "FontName");
            Rest(tag, c, "FontData");
            return;
        }
        if (c.Remaining() > 0)
            ByteField(tag, c, "LanguageCode");
    }
    // DefineFontInfo, DefineFontInfo2, DefineFont2 and DefineFont3: the
    // name's length, then the name without a terminator.
    if (c.Remaining() == 0)
        return;
    const uint64_t at = c.Offset();
    const uint32_t n = std::min<uint32_t>(c.U8(), static_cast<uint32_t>(c.Remaining()));
    const std::string name(reinterpret_cast<const char*>(c.Body().data() + c.Position()), n);
    c.Skip(n);
    Field(tag, at, 1 + uint64_t{n}, ResultLine("FontName : %s", name.c_str()));
}

void CSwfTagLayout::Text(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    U16Field(tag, c, "CharacterId");
    Rect(tag, c, "Bounds");
}

void CSwfTagLayout::Action(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    if (code == 59)
        U16Field(tag, c, "SpriteId");
    Rest(tag, c, "Actions");
}

void CSwfTagLayout::JpegTables(LineId tag, CSwfFieldCursor& c, uint32_t)
{
    // The tables DefineBits streams share; the erroneous header some writers
    // put before them is no part of them.
    const std::span<const uint8_t> body = c.Body();
    const size_t skip = CSwfBitsPicture::ErroneousHeader(body.data(), body.size());
    jpegTables_.assign(body.begin() + static_cast<std::ptrdiff_t>(skip), body.end());
    pictures_.Embedded(tag, c.Offset(), c.Remaining(), std::string(), {}, false);
    c.Skip(c.Remaining());
}

void CSwfTagLayout::BitsJpeg(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    if (c.Remaining() < 2)
        return;
    const uint64_t idAt = c.Offset();
    const uint32_t id = c.U16();
    Field(tag, idAt, 2, ResultLine("CharacterId : %u", id));
    const std::string label = ResultLine("Character %u", id);
    if (code != 35 && code != 90) {
        pictures_.Embedded(tag, c.Offset(), c.Remaining(), label, code == 6 ? jpegTables_ : std::vector<uint8_t>{},
                           true);
        c.Skip(c.Remaining());
        return;
    }
    if (c.Remaining() < 4)
        return;
    const uint64_t at = c.Offset();
    const uint32_t alphaOffset = c.U32();
    Field(tag, at, 4, ResultLine("AlphaDataOffset : %u", alphaOffset));
    if (code == 90)
        U16Field(tag, c, "DeblockParam");
    // The image data ends where the alpha plane begins, which runs to the
    // tag's end.
    const uint64_t imageBytes = std::min<uint64_t>(alphaOffset, c.Remaining());
    CSwfBitsPicture::Alpha alpha;
    alpha.at = c.Offset() + imageBytes;
    alpha.length = c.Remaining() - imageBytes;
    std::copy(std::begin(background_), std::end(background_), alpha.background);
    pictures_.EmbeddedWithAlpha(tag, c.Offset(), imageBytes, label, alpha);
    c.Skip(c.Remaining());
}

void CSwfTagLayout::BitsLossless(LineId tag, CSwfFieldCursor& c, uint32_t code)
{
    if (c.Remaining() < 7)
        return;
    CSwfBitsPicture::Lossless bitmap;
    bitmap.alpha = code == 36;
    const uint64_t at = c.Offset();
    bitmap.id = c.U16();
    bitmap.format = c.U8();
    bitmap.width = c.U16();
    bitmap.height = c.U16();
    static constexpr const char* kFormats[] = {"", "", "", "colour-mapped", "15-bit RGB", "32-bit"};
    Field(tag, at, 2, ResultLine("CharacterId : %u", bitmap.id));
    Field(tag, at + 2, 1,
          ResultLine("BitmapFormat : %u (%s)", bitmap.format, bitmap.format <= 5 ? kFormats[bitmap.format] : ""));
    Field(tag, at + 3, 2, ResultLine("BitmapWidth : %u", bitmap.width));
    Field(tag, at + 5, 2, ResultLine("BitmapHeight : %u", bitmap.height));
    if (bitmap.format == 3) {
        if (c.Remaining() == 0)
            return;
        bitmap.colours = c.U8() + 1;
        Field(tag, at + 7, 1, ResultLine("BitmapColorTableSize : %u", bitmap.colours - 1));
    }
    bitmap.at = c.Offset();
    bitmap.length = c.Remaining();
    const LineId data = Field(tag, bitmap.at, bitmap.length, ResultLine("ZlibBitmapData : %llu[byte]",
                                                                      static_cast<unsigned long long>(bitmap.length)));
    c.Skip(c.Remaining());
    pictures_.DrawLossless(data, bitmap, background_);
}

void CSwfTagLayout::Sprite(LineId tag, uint64_t at, uint32_t length)
{
    std::vector<uint8_t> head;
    if (length < 4 || !ReadBody(at, 4, head)) {
        if (length > 0)
            Field(tag, at, length, ResultLine("Data : %u[byte]", length));
        return;
    }
    CSwfFieldCursor c(head, at);
    U16Field(tag, c, "SpriteId");
    U16Field(tag, c, "FrameCount");
    walk_(tag, at + 4, at + length);
}
