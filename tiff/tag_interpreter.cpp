#include "tiff/tag_interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "core/file_text.h"
#include "core/result_line.h"
#include "core/result_text.h"
#include "tiff/ifd_values.h"
#include "tiff/tiff_tags.h"

namespace {

// NewSubfileType bits 0 to 2: TIFF 6.0 section 8.
constexpr const char* kSubfileBitTexts[] = {
    "Bit0 : The image is a reduced-resolution version of another image in this TIFF file",
    "Bit1 : The image is a single page of a multi-page image",
    "Bit2 : The image defines a transparency mask for another image in this TIFF file",
};

// The value as a number, whatever its type.
double RealOf(const IfdEntry& entry, size_t i)
{
    const EntryValue& v = entry.values[i];
    switch (entry.type) {
    case kRational:
    case kSRational:
    case kFloat:
    case kDouble: return v.realValue;
    case kSByte: return static_cast<int8_t>(v.signedValue);
    case kSShort: return static_cast<int16_t>(v.signedValue);
    case kSLong: return static_cast<int32_t>(v.signedValue);
    case kSLong8: return static_cast<double>(v.signedValue);
    default: return static_cast<double>(v.unsignedValue);
    }
}

// Red, green and blue thirds of a colour map of count values, 16 values a
// line.
void ColorMapLines(const std::vector<EntryValue>& values, uint64_t count, std::vector<TagValueLine>& lines)
{
    static constexpr const char* kHeadings[] = {"< Look Up Table - Red >", "< Look Up Table - Green >",
                                                "< Look Up Table - Blue >"};
    const uint64_t n = count / 3;
    for (uint32_t channel = 0; channel < 3; ++channel) {
        lines.emplace_back(kHeadings[channel]);
        std::string line;
        const uint64_t begin = uint64_t{channel} * n;
        const uint64_t end = std::min<uint64_t>(begin + n, values.size());
        for (uint64_t i = begin; i < end; ++i) {
            if (line.empty())
                line = "    ";
            line += ResultLine("%lx ", values[i].unsignedValue);
            if ((i - begin) % 16 == 15) {
                lines.emplace_back(std::move(line));
                line.clear();
            }
        }
        if (!line.empty())
            lines.emplace_back(std::move(line));
    }
}

// The first bytes of the values as text (an XMP or Photoshop packet).
std::string PacketText(const std::vector<EntryValue>& values)
{
    constexpr size_t kShown = 512;
    std::string text;
    for (size_t i = 0; i < std::min(values.size(), kShown); ++i)
        text += static_cast<char>(values[i].unsignedValue & 0xFF);
    return FileText(text.c_str(), std::strlen(text.c_str()), kMaxLineBytes);
}

std::string ExposureTimeText(double seconds)
{
    if (seconds > 0 && seconds <= 0.5)
        return ResultLine("1/%.0f sec", 1 / seconds);
    return ResultLine("%g sec", seconds);
}

// Values as numbers on one line, as many as it holds.
std::string NumbersLine(const IfdEntry& entry, const char* format)
{
    std::string line;
    for (size_t i = 0; i < entry.values.size() && line.size() < kMaxLineBytes; ++i) {
        if (i > 0)
            line += ' ';
        line += ResultLine(format, RealOf(entry, i));
    }
    return ResultLine("%s", line.c_str());
}

// JIS X 0208 text, in two-byte codes or switched by ISO 2022 escapes, as
// Shift_JIS (code page 932).
std::string JisToShiftJis(const std::vector<uint8_t>& jis)
{
    std::string out;
    bool twoByte = true;
    for (size_t i = 0; i < jis.size(); ++i) {
        const uint8_t c = jis[i];
        if (c == 0x1B && i + 2 < jis.size()) {
            twoByte = jis[i + 1] == '$';
            i += 2;
        } else if (!twoByte || c < 0x21 || c > 0x7E || i + 1 >= jis.size()) {
            out += static_cast<char>(c);
        } else {
            const uint8_t d = jis[++i];
            out += static_cast<char>(((c + 1) >> 1) + (c <= 0x5E ? 0x70 : 0xB0));
            out += static_cast<char>(d + ((c & 1) ? (d >= 0x60 ? 0x20 : 0x1F) : 0x7E));
        }
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UCS-2 (with surrogate pairs) in the given byte order, as UTF-8.
std::string Ucs2ToUtf8(const std::vector<uint8_t>& bytes, size_t from, bool littleEndian)
{
    std::string out;
    auto unit = [&](size_t i) -> uint32_t {
        return littleEndian ? bytes[i] | bytes[i + 1] << 8 : bytes[i] << 8 | bytes[i + 1];
    };
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        uint32_t code = unit(i);
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        AppendUtf8(out, code);
    }
    return out;
}

void TrimEnd(std::string& text)
{
    while (!text.empty() && (text.back() == '\0' || text.back() == ' '))
        text.pop_back();
    if (const size_t nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
}

}  // namespace

std::string EntryText(const IfdEntry& entry)
{
    if (entry.values.empty() || !entry.values.front().text)
        return {};
    const char* text = entry.values.front().text.get();
    return FileText(text, std::strlen(text), kMaxLineBytes);
}

std::string VersionText(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (uint8_t b : bytes)
        text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '?';
    return text;
}

std::pair<std::string, std::string> CodedText(const std::vector<uint8_t>& bytes, bool littleEndian)
{
    // Exif 3.0 section 4.6.5, Table 9: the character codes of UserComment.
    if (bytes.size() < 8)
        return {kUndefinedValue, {}};
    const std::string code(bytes.begin(), bytes.begin() + 8);
    const std::vector<uint8_t> body(bytes.begin() + 8, bytes.end());
    std::string text;
    std::string name;
    if (code == std::string("ASCII\0\0\0", 8)) {
        name = "ASCII";
        text.assign(body.begin(), body.end());
    } else if (code == std::string("JIS\0\0\0\0\0", 8)) {
        name = "JIS";
        text = JisToShiftJis(body);
    } else if (code == std::string("UNICODE\0", 8)) {
        name = "Unicode";
        text = Ucs2ToUtf8(bytes, 8, littleEndian);
    } else if (code == std::string(8, '\0')) {
        name = "Undefined";
        text.assign(body.begin(), body.end());
    } else {
        return {kUndefinedValue, {}};
    }
    TrimEnd(text);
    return {name, FileText(text.data(), text.size(), kMaxLineBytes)};
}

std::vector<std::string> FlashLines(uint32_t flash)
{
    // Exif 3.0 section 4.6.5, tag 0x9209: bit 0 fired, bits 1-2 strobe
    // return, bits 3-4 mode, bit 5 no flash function, bit 6 red-eye.
    static constexpr const char* kReturn[] = {"No strobe return detection function", "Reserved",
                                              "Strobe return light not detected", "Strobe return light detected"};
    static constexpr const char* kMode[] = {"Unknown flash mode", "Compulsory flash firing",
                                            "Compulsory flash suppression", "Auto mode"};
    std::vector<std::string> lines;
    lines.emplace_back(flash & 1 ? "Flash fired" : "Flash did not fire");
    lines.emplace_back(kReturn[flash >> 1 & 3]);
    lines.emplace_back(kMode[flash >> 3 & 3]);
    if (flash & 0x20)
        lines.emplace_back("No flash function");
    if (flash & 0x40)
        lines.emplace_back("Red-eye reduction supported");
    return lines;
}

std::vector<TagValueLine> CTagInterpreter::Interpret(const TagInfo& info, IfdEntry& entry, uint64_t e)
{
    std::vector<TagValueLine> lines;
    InterpretLayout(info, entry, e, lines);
    InterpretExif(info, entry, e, lines);
    return lines;
}

void CTagInterpreter::InterpretLayout(const TagInfo& info, IfdEntry& entry, uint64_t e,
                                      std::vector<TagValueLine>& lines)
{
    std::vector<EntryValue>& values = entry.values;
    const bool any = !values.empty();
    const uint64_t value = any ? values.front().unsignedValue : 0;
    switch (info.reading) {
    case Reading::SubfileBits:
        if (any && value == 0)
            lines.emplace_back("Default");
        for (uint32_t bit = 0; any && bit < std::size(kSubfileBitTexts); ++bit)
            if (value & (1u << bit))
                lines.emplace_back(kSubfileBitTexts[bit]);
        break;
    case Reading::Number:
        if (any)
            lines.emplace_back(ResultLine(info.format, static_cast<int32_t>(value)));
        break;
    case Reading::KeyedText:
        if (any)
            lines.emplace_back(TextFor(info.texts, static_cast<uint32_t>(value)));
        break;
    case Reading::Text:
        if (any && values.front().text)
            lines.emplace_back(EntryText(entry));
        break;
    case Reading::StripOffsets:
    case Reading::TileOffsets:
        // Made absolute here, so the image data is found whatever the
        // header's position.
        for (EntryValue& v : values)
            v.unsignedValue += walk_.BaseOffset();
        if (info.reading == Reading::StripOffsets)
            PositionedLines(entry, e,
                            entry.type == kShort ? "[%08lx]Strip #%d = 0x%04lx" : "[%08lx]Strip #%d = 0x%08lx", false,
                            lines);
        break;
    case Reading::PositionedValues:
    case Reading::PositionedCounts:
        PositionedLines(entry, e, info.format, info.reading == Reading::PositionedCounts, lines);
        break;
    case Reading::Resolution:
    case Reading::ResolutionUnit:
        if (any)
            lines.emplace_back(ResolutionLine(entry));
        break;
    case Reading::ColorMap: ColorMapLines(values, entry.count, lines); break;
    case Reading::JpegInterchange:
        entry.valueField += walk_.BaseOffset();
        if (any)
            values.front().unsignedValue = entry.valueField;
        break;
    case Reading::Packet: lines.emplace_back(PacketText(values)); break;
    case Reading::Iptc:
        for (const EntryValue& v : values)
            lines.emplace_back(ResultLine("0x%08lx", v.unsignedValue));
        break;
    default: break;
    }
}

void CTagInterpreter::InterpretExif(const TagInfo& info, IfdEntry& entry, uint64_t e,
                                    std::vector<TagValueLine>& lines)
{
    const bool any = !entry.values.empty();
    switch (info.reading) {
    case Reading::Real:
        if (any)
            lines.emplace_back(ResultLine(info.format, RealOf(entry, 0)));
        break;
    case Reading::ExposureTime:
        if (any)
            lines.emplace_back(ExposureTimeText(RealOf(entry, 0)));
        break;
    case Reading::Numbers:
        if (any)
            lines.emplace_back(NumbersLine(entry, info.format));
        break;
    case Reading::DateTimePart:
        if (any && entry.values.front().text) {
            lines.emplace_back(EntryText(entry));
            if (std::string whole = DateTimeLine(info, entry); !whole.empty())
                lines.emplace_back(std::move(whole));
        }
        break;
    case Reading::Flash:
        if (any)
            for (std::string& line : FlashLines(static_cast<uint32_t>(entry.values.front().unsignedValue)))
                lines.emplace_back(std::move(line));
        break;
    case Reading::Version: lines.emplace_back(VersionText(walk_.RawValueBytes(entry, e, 4))); break;
    case Reading::UserComment: CommentLines(entry, e, lines); break;
    case Reading::GpsCoordinate:
        if (entry.values.size() >= 3)
            lines.emplace_back(GpsCoordinateLine(info, entry));
        break;
    case Reading::GpsAltitude:
        if (any)
            lines.emplace_back(GpsAltitudeLine(entry));
        break;
    case Reading::GpsTimeStamp:
        if (entry.values.size() >= 3)
            lines.emplace_back(ResultLine("%02.0f:%02.0f:%05.2f UTC", RealOf(entry, 0), RealOf(entry, 1),
                                          RealOf(entry, 2)));
        break;
    default: break;
    }
}

void CTagInterpreter::PositionedLines(const IfdEntry& entry, uint64_t e, const char* format, bool asSigned,
                                      std::vector<TagValueLine>& lines) const
{
    for (uint32_t i = 0; i < entry.values.size(); ++i) {
        const uint64_t value = entry.values[i].unsignedValue;
        const uint64_t at = walk_.ValuePosition(entry, e, i);
        std::string text = asSigned ? ResultLine(format, at, i, static_cast<int32_t>(value))
                                    : ResultLine(format, at, i, value);
        lines.emplace_back(std::move(text), walk_.ValueBytes(entry, e, i));
    }
}

std::string CTagInterpreter::ResolutionLine(const IfdEntry& entry) const
{
    const uint64_t value = entry.values.front().unsignedValue;
    if (entry.tag == tiff_tag::kResolutionUnit) {
        const IfdEntry* x = walk_.FindCurrent(tiff_tag::kXResolution);
        const IfdEntry* y = walk_.FindCurrent(tiff_tag::kYResolution);
        if (!x || !y || x->values.empty() || y->values.empty())
            return value == 2 ? "Inch per pixel" : value == 3 ? "Centimeter per pixel" : "No Unit";
        const char* format = value == 2   ? "%.3f : %.3f (Inch per pixel)"
                             : value == 3 ? "%.3f : %.3f (Centimeter per pixel)"
                                          : "%.3f : %.3f (No Unit)";
        return ResultLine(format, x->values.front().realValue, y->values.front().realValue);
    }
    // Only a ResolutionUnit read before this entry gives the unit.
    const IfdEntry* unit = walk_.FindCurrent(tiff_tag::kResolutionUnit);
    const char* format = "%.3f";
    if (unit)
        format = unit->valueField == 2   ? "%.3f Inch per Pixel"
                 : unit->valueField == 3 ? "%.3f Centimeter per Pixel"
                                         : "%.3f (No Unit)";
    return ResultLine(format, entry.values.front().realValue);
}

std::string CTagInterpreter::DateTimeLine(const TagInfo& info, const IfdEntry& entry) const
{
    // A sub-second or offset-time tag completes the date-time tag of the
    // same moment, which an IFD being read holds before it; sub-seconds also
    // take the offset time read before them.
    if (info.texts.empty())
        return {};
    const IfdEntry* date = walk_.FindOpen(info.texts[0].value);
    if (!date || date->values.empty() || !date->values.front().text)
        return {};
    std::string whole = EntryText(*date);
    whole.append(info.format).append(EntryText(entry));
    if (info.texts.size() > 1)
        if (const IfdEntry* offset = walk_.FindOpen(info.texts[1].value); offset && !offset->values.empty())
            whole.append(" ").append(EntryText(*offset));
    return ResultLine("%s", whole.c_str());
}

std::string CTagInterpreter::GpsCoordinateLine(const TagInfo& info, const IfdEntry& entry) const
{
    // Degrees, minutes and seconds; the reference tag (N, S, E or W) is
    // read before the coordinate.
    const double d = RealOf(entry, 0);
    const double m = RealOf(entry, 1);
    const double s = RealOf(entry, 2);
    std::string reference;
    if (const IfdEntry* ref = info.texts.empty() ? nullptr : walk_.FindCurrent(info.texts[0].value))
        reference = EntryText(*ref);
    const double sign = reference == "S" || reference == "W" ? -1 : 1;
    return ResultLine("%g°%g'%.2f\" %s (%.6f)", d, m, s, reference.c_str(), sign * (d + m / 60 + s / 3600));
}

std::string CTagInterpreter::GpsAltitudeLine(const IfdEntry& entry) const
{
    const IfdEntry* ref = walk_.FindCurrent(5);
    if (!ref || ref->values.empty())
        return ResultLine("%.2f m", RealOf(entry, 0));
    const TagInfo* refInfo = FindTag(IfdKind::Gps, 5);
    return ResultLine("%.2f m (%s)", RealOf(entry, 0),
                      TextFor(refInfo->texts, static_cast<uint32_t>(ref->values.front().unsignedValue)));
}

void CTagInterpreter::CommentLines(const IfdEntry& entry, uint64_t e, std::vector<TagValueLine>& lines) const
{
    // The code and as much text as a line can show (UCS-2 takes two bytes
    // a character, JIS two a kanji).
    const auto [code, text] = CodedText(walk_.RawValueBytes(entry, e, 8 + 2 * kMaxLineBytes), walk_.LittleEndian());
    lines.emplace_back(ResultLine("Character Code = %s", code.c_str()));
    if (!text.empty())
        lines.emplace_back(text);
}
