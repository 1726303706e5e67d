#pragma once
// What the TIFF analyzer knows of field types and tags. Each kind of IFD
// has one dictionary (tiff_tags, exif_tags, gps_tags, interop_tags,
// mpf_tags), written as one list from which the tag ids, names, expected
// types and counts and the interpretations all come: each list is an
// X-macro that the dictionary's source expands into its table and that
// headers expand into named ids for the code that reads those tags.
#include <cstdint>
#include <span>

// Field types: TIFF 6.0 section 2, TIFF Technical Note 1 (IFD), BigTIFF
// (LONG8, SLONG8, IFD8) and Exif 3.0 (UTF-8).
enum FieldType : uint32_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
    kSLong = 9,
    kSRational = 10,
    kFloat = 11,
    kDouble = 12,
    kIfd = 13,
    kLong8 = 16,
    kSLong8 = 17,
    kIfd8 = 18,
    kUtf8 = 129,
};

struct TypeInfo {
    uint32_t type;
    const char* name;
    uint32_t size;   // bytes per element
};

// The type's row; null for a type no standard defines.
const TypeInfo* FindType(uint32_t type);

// Expected types that a standard gives as a choice.
inline constexpr uint16_t kShortOrLong = 0x100;
inline constexpr uint16_t kAnyType = 0;
// Expected count: any number of values.
inline constexpr uint32_t kAnyCount = 0;

// The kind of directory an entry stands in; each has its own dictionary.
enum class IfdKind : uint8_t { Tiff, Exif, Gps, Interop, Mpf };

// How the dictionary shows an entry's values.
enum class Reading : uint8_t {
    None,              // no value text lines
    SubfileBits,       // one line per bit set, "Default" for 0
    Number,            // format with the first value
    KeyedText,         // the text keyed by the first value
    Text,              // the ASCII (or UTF-8) text
    PositionedValues,  // format with each value's position, index and value
    PositionedCounts,  // the same with each value as a signed 32-bit number
    StripOffsets,      // made absolute, then as PositionedValues
    TileOffsets,       // made absolute; no line
    Resolution,        // the first real value, with ResolutionUnit's unit
    ResolutionUnit,    // the unit, with XResolution and YResolution
    ColorMap,          // three tables of 16 values a line
    JpegInterchange,   // the value field made absolute; no line
    Packet,            // the first bytes of the values as text
    Iptc,              // one line per value
    Real,              // format with the first real value
    ExposureTime,      // "1/250 sec"
    Numbers,           // format with each value, one line
    DateTimePart,      // the text, and the whole time with the tags of format
    Flash,             // the flash bits in words
    Version,           // four ASCII digits as text
    UserComment,       // an 8-byte character code, then the text
    GpsCoordinate,     // degrees, minutes, seconds with the reference tag of format
    GpsAltitude,       // metres with the reference of GPSAltitudeRef
    GpsTimeStamp,      // hours, minutes, seconds (UTC)
    // Entries with structure of their own, laid out by the analyzer.
    ExifIfd,
    GpsIfd,
    InteropIfd,
    SubIfds,
    IccProfile,
    MakerNote,
    GeoKeyDirectory,
    MpEntry,
};

// A value and its text.
struct ValueText {
    uint32_t value;
    const char* text;
};

struct TagInfo {
    uint32_t tag;
    const char* name;
    uint16_t type = kAnyType;     // as the standard defines the tag
    uint32_t count = kAnyCount;
    Reading reading = Reading::None;
    const char* format = nullptr;
    std::span<const ValueText> texts = {};
};

// The row of tag in the dictionary of an IFD of that kind; null when the
// tag is not there. TIFF and Exif IFDs also know each other's tags (cameras
// and TIFF/EP writers put Exif tags into IFD 0, and TIFF tags stand in
// Exif IFDs); GPS, Interoperability and MPF tag numbers mean other things
// elsewhere, so their dictionaries stand alone.
const TagInfo* FindTag(IfdKind kind, uint32_t tag);

// The dictionaries, one per kind of IFD.
std::span<const TagInfo> TiffTags();
std::span<const TagInfo> ExifTags();
std::span<const TagInfo> GpsTags();
std::span<const TagInfo> InteropTags();
std::span<const TagInfo> MpfTags();

// The text of value in texts; "UNDEFINED !!" when it is not there.
const char* TextFor(std::span<const ValueText> texts, uint32_t value);

inline constexpr const char* kUndefinedTag = "UndefinedTag";
inline constexpr const char* kUndefinedValue = "UNDEFINED !!";

// The X-macro lists expand into named ids, and into their tables' rows.
#define VANTREL_TAG_ID(name, id, ...) k##name = id,
#define VANTREL_TAG_ROW(name, id, ...) TagInfo{id, #name, __VA_ARGS__},
