#include "core/file_text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

using Byte = unsigned char;

constexpr char32_t kReplacement = 0xFFFD;

// Length of the UTF-8 sequence at s (1 to 4), or 0 when the bytes there are
// not UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing above
// U+10FFFF). *unfinished is set when they are the start of a sequence that
// the end of the text cut.
size_t Utf8SequenceLength(const Byte* s, size_t left, bool* unfinished = nullptr)
{
    const Byte b = s[0];
    if (b < 0x80)
        return 1;
    size_t n = 0;
    Byte low = 0x80, high = 0xBF;   // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (size_t i = 1; i < n; ++i) {
        if (i >= left) {
            if (unfinished)
                *unfinished = true;
            return 0;
        }
        const Byte c = s[i];
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF))
            return 0;
    }
    return n;
}

char32_t Utf8CodePoint(const Byte* s, size_t n)
{
    static constexpr Byte kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t cp = s[0] & kLeadMask[n];
    for (size_t i = 1; i < n; ++i)
        cp = (cp << 6) | (s[i] & 0x3F);
    return cp;
}

// Whether the text is UTF-8; with tolerateCut, a sequence cut by the end of
// the text does not count against it.
bool Utf8(const Byte* s, size_t length, bool tolerateCut)
{
    for (size_t i = 0; i < length;) {
        bool unfinished = false;
        const size_t n = Utf8SequenceLength(s + i, length - i, &unfinished);
        if (n == 0)
            return tolerateCut && unfinished;
        i += n;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Code page 932 double-byte characters: a lead byte 0x81-0x9F or 0xE0-0xFC
// and a trail byte 0x40-0x7E or 0x80-0xFC. Single bytes 0xA1-0xDF are
// half-width katakana, U+FF61 to U+FF9F.
constexpr bool Cp932Lead(Byte b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool Cp932Trail(Byte b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }
constexpr bool Cp932HalfWidthKatakana(Byte b) { return b >= 0xA1 && b <= 0xDF; }

constexpr size_t kLeadCount = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);
constexpr size_t kTrailCount = (0x7E - 0x40 + 1) + (0xFC - 0x80 + 1);

constexpr size_t LeadIndex(Byte b) { return b <= 0x9F ? b - 0x81u : b - 0xE0u + (0x9F - 0x81 + 1); }
constexpr size_t TrailIndex(Byte b) { return b <= 0x7E ? b - 0x40u : b - 0x80u + (0x7E - 0x40 + 1); }

using Cp932Table = std::array<char16_t, kLeadCount * kTrailCount>;

// The double-byte characters as the C library's converter maps them (all of
// them lie in the Basic Multilingual Plane); 0 where it maps none, or where
// the converter is missing.
Cp932Table BuildCp932Table()
{
    Cp932Table table{};
    const iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return table;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!Cp932Lead(static_cast<Byte>(lead)))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!Cp932Trail(static_cast<Byte>(trail)))
                continue;
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char out[4] = {};
            char* inPtr = in;
            char* outPtr = out;
            size_t inLeft = sizeof in, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
                outLeft != 2)
                continue;
            table[LeadIndex(static_cast<Byte>(lead)) * kTrailCount + TrailIndex(static_cast<Byte>(trail))] =
                static_cast<char16_t>(static_cast<Byte>(out[0]) | (static_cast<Byte>(out[1]) << 8));
        }
    }
    iconv_close(cd);
    return table;
}

// The code page 932 character at s: its length in bytes and code point
// (U+FFFD, one byte long, for a byte that starts no character).
size_t Cp932Character(const Byte* s, size_t left, char32_t* cp)
{
    static const Cp932Table table = BuildCp932Table();
    const Byte b = s[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    if (Cp932HalfWidthKatakana(b)) {
        *cp = 0xFF61 + (b - 0xA1u);
        return 1;
    }
    if (Cp932Lead(b) && left >= 2 && Cp932Trail(s[1])) {
        const char16_t mapped = table[LeadIndex(b) * kTrailCount + TrailIndex(s[1])];
        if (mapped != 0) {
            *cp = mapped;
            return 2;
        }
    }
    *cp = kReplacement;
    return 1;
}

// Bytes that the UTF-8 character at s takes in code page 932; *n receives
// its length in UTF-8.
size_t Cp932Width(const Byte* s, size_t left, size_t* n)
{
    *n = Utf8SequenceLength(s, left);
    if (*n == 0) {
        *n = 1;
        return 1;
    }
    if (*n == 1)
        return 1;
    const char32_t cp = Utf8CodePoint(s, *n);
    return (cp >= 0xFF61 && cp <= 0xFF9F) || cp == kReplacement ? 1 : 2;
}

}  // namespace

bool IsUtf8(const char* bytes, size_t length)
{
    return Utf8(reinterpret_cast<const Byte*>(bytes), length, false);
}

std::string FileText(const char* bytes, size_t length, size_t maxBytes, size_t* used)
{
    const auto* s = reinterpret_cast<const Byte*>(bytes);
    std::string out;
    size_t i = 0;
    if (Utf8(s, length, length > maxBytes)) {
        while (i < length) {
            const size_t n = Utf8SequenceLength(s + i, length - i);
            if (n == 0 || i + n > maxBytes)
                break;
            i += n;
        }
        out.assign(bytes, i);
    } else {
        while (i < length) {
            char32_t cp = 0;
            const size_t n = Cp932Character(s + i, length - i, &cp);
            if (i + n > maxBytes)
                break;
            AppendUtf8(out, cp);
            i += n;
        }
    }
    if (used)
        *used = i;
    return out;
}

size_t Cp932Prefix(const char* text, size_t length, size_t maxBytes)
{
    const auto* s = reinterpret_cast<const Byte*>(text);
    // ASCII counts one byte a character in both encodings: most lines are
    // all ASCII, and are measured eight bytes at a time.
    size_t i = 0;
    const size_t ascii = std::min(length, maxBytes);
    for (uint64_t word; i + 8 <= ascii; i += 8) {
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080u)
            break;
    }
    while (i < ascii && s[i] < 0x80)
        ++i;
    size_t counted = i;
    while (i < length) {
        size_t n = 0;
        const size_t width = Cp932Width(s + i, length - i, &n);
        if (counted + width > maxBytes)
            break;
        counted += width;
        i += n;
    }
    return i;
}

size_t Cp932Length(const char* text, size_t length)
{
    const auto* s = reinterpret_cast<const Byte*>(text);
    size_t counted = 0;
    for (size_t i = 0; i < length;) {
        size_t n = 0;
        counted += Cp932Width(s + i, length - i, &n);
        i += n;
    }
    return counted;
}
