#include "tiff/tiff_tags.h"

#include <iterator>

#include "tiff/exif_tags.h"
#include "tiff/gps_tags.h"
#include "tiff/interop_tags.h"
#include "tiff/mpf_tags.h"

namespace {

// Field types: TIFF 6.0 section 2, TIFF Technical Note 1, BigTIFF, Exif 3.0.
constexpr TypeInfo kTypes[] = {
    {kByte, "BYTE", 1},       {kAscii, "ASCII", 1},   {kShort, "SHORT", 2},         {kLong, "LONG", 4},
    {kRational, "RATIONAL", 8}, {kSByte, "SBYTE", 1}, {kUndefined, "UNDEFINED", 1}, {kSShort, "SSHORT", 2},
    {kSLong, "SLONG", 4},     {kSRational, "SRATIONAL", 8}, {kFloat, "FLOAT", 4},   {kDouble, "DOUBLE", 8},
    {kIfd, "IFD", 4},         {kLong8, "LONG8", 8},   {kSLong8, "SLONG8", 8},       {kIfd8, "IFD8", 8},
    {kUtf8, "UTF-8", 1},
};

// Compression: the Compression entry's texts, from the one list of schemes.
#define VANTREL_COMPRESSION_TEXT(name, code, text, summary) ValueText{code, text},
constexpr ValueText kCompressionTexts[] = {VANTREL_COMPRESSIONS(VANTREL_COMPRESSION_TEXT)};
#undef VANTREL_COMPRESSION_TEXT

// PhotometricInterpretation: TIFF 6.0 sections 8, 16, 21 and 23.
constexpr ValueText kPhotometricTexts[] = {
    {0, "White is Zero"},    {1, "Black is Zero"}, {2, "RGB Full Color"},           {3, "Palette Color"},
    {4, "Transparency Mask"}, {5, "Separated - usually CMYK"}, {6, "YCbCr"},        {7, "1976 CIE L*a*b*"},
};

// SamplesPerPixel 1 to 4, by what the samples of a pixel usually are.
constexpr ValueText kSamplesPerPixelTexts[] = {
    {1, "Grayscale, Bilevel or Palette"},
    {2, "Grayscale with Extra Sample"},
    {3, "RGB Full Color"},
    {4, "RGB with Extra Sample or CMYK"},
};

// Orientation: TIFF 6.0 section 8.
constexpr ValueText kOrientationTexts[] = {
    {1, "The 0th row represents the visual top of the image, and the 0th column represents the visual left-hand side"},
    {2, "The 0th row represents the visual top of the image, and the 0th column represents the visual right-hand side"},
    {3, "The 0th row represents the visual bottom of the image, and the 0th column represents the visual right-hand "
        "side"},
    {4, "The 0th row represents the visual bottom of the image, and the 0th column represents the visual left-hand "
        "side"},
    {5, "The 0th row represents the visual left-hand side of the image, and the 0th column represents the visual top"},
    {6, "The 0th row represents the visual right-hand side of the image, and the 0th column represents the visual top"},
    {7, "The 0th row represents the visual right-hand side of the image, and the 0th column represents the visual "
        "bottom"},
    {8, "The 0th row represents the visual left-hand side of the image, and the 0th column represents the visual "
        "bottom"},
};

// PlanarConfiguration: TIFF 6.0 section 8.
constexpr ValueText kPlanarTexts[] = {
    {1, "Chunky Format (RGB RGB RGB...)"},
    {2, "Planar Format (RRR... GGG... BBB...)"},
};

// Predictor: TIFF 6.0 section 14 and TIFF Technical Note 3.
constexpr ValueText kPredictorTexts[] = {
    {1, "No prediction scheme used before coding"},
    {2, "Horizontal differencing"},
    {3, "Floating point horizontal differencing"},
};

// ExtraSamples: TIFF 6.0 section 18.
constexpr ValueText kExtraSampleTexts[] = {
    {0, "Unspecified data"},
    {1, "Associated alpha data (with pre-multiplied color)"},
    {2, "Unassociated alpha data"},
};

constexpr TagInfo kTiffTags[] = {VANTREL_TIFF_TAGS(VANTREL_TAG_ROW)};

const TagInfo* FindIn(std::span<const TagInfo> table, uint32_t tag)
{
    for (const TagInfo& row : table)
        if (row.tag == tag)
            return &row;
    return nullptr;
}

}  // namespace

const TypeInfo* FindType(uint32_t type)
{
    for (const TypeInfo& row : kTypes)
        if (row.type == type)
            return &row;
    return nullptr;
}

std::span<const TagInfo> TiffTags()
{
    return kTiffTags;
}

const TagInfo* FindTag(IfdKind kind, uint32_t tag)
{
    switch (kind) {
    case IfdKind::Tiff:
        if (const TagInfo* row = FindIn(TiffTags(), tag))
            return row;
        return FindIn(ExifTags(), tag);
    case IfdKind::Exif:
        if (const TagInfo* row = FindIn(ExifTags(), tag))
            return row;
        return FindIn(TiffTags(), tag);
    case IfdKind::Gps: return FindIn(GpsTags(), tag);
    case IfdKind::Interop: return FindIn(InteropTags(), tag);
    case IfdKind::Mpf: return FindIn(MpfTags(), tag);
    }
    return nullptr;
}

const char* TextFor(std::span<const ValueText> texts, uint32_t value)
{
    for (const ValueText& row : texts)
        if (row.value == value)
            return row.text;
    return kUndefinedValue;
}

const char* CompressionSummary(uint32_t compression)
{
#define VANTREL_COMPRESSION_SUMMARY(name, code, text, summary) \
    case code: return summary;
    switch (compression) {
        VANTREL_COMPRESSIONS(VANTREL_COMPRESSION_SUMMARY)
    default: return "[圧縮形式] 非対応の形式 】";
    }
#undef VANTREL_COMPRESSION_SUMMARY
}
