#include "tiff/exif_tags.h"

#include "tiff/tiff_tags.h"

namespace {

// ExposureProgram: Exif 3.0 section 4.6.5, tag 0x8822.
constexpr ValueText kExposureProgramTexts[] = {
    {0, "Not defined"},      {1, "Manual"},          {2, "Normal program"},  {3, "Aperture priority"},
    {4, "Shutter priority"}, {5, "Creative program"}, {6, "Action program"}, {7, "Portrait mode"},
    {8, "Landscape mode"},
};

// MeteringMode: tag 0x9207.
constexpr ValueText kMeteringModeTexts[] = {
    {0, "Unknown"}, {1, "Average"}, {2, "CenterWeightedAverage"}, {3, "Spot"},
    {4, "MultiSpot"}, {5, "Pattern"}, {6, "Partial"},             {255, "Other"},
};

// LightSource: tag 0x9208.
constexpr ValueText kLightSourceTexts[] = {
    {0, "Unknown"},
    {1, "Daylight"},
    {2, "Fluorescent"},
    {3, "Tungsten (incandescent light)"},
    {4, "Flash"},
    {9, "Fine weather"},
    {10, "Cloudy weather"},
    {11, "Shade"},
    {12, "Daylight fluorescent (D 5700 - 7100K)"},
    {13, "Day white fluorescent (N 4600 - 5500K)"},
    {14, "Cool white fluorescent (W 3800 - 4500K)"},
    {15, "White fluorescent (WW 3250 - 3800K)"},
    {16, "Warm white fluorescent (L 2600 - 3250K)"},
    {17, "Standard light A"},
    {18, "Standard light B"},
    {19, "Standard light C"},
    {20, "D55"},
    {21, "D65"},
    {22, "D75"},
    {23, "D50"},
    {24, "ISO studio tungsten"},
    {255, "Other light source"},
};

// ColorSpace: tag 0xA001.
constexpr ValueText kColorSpaceTexts[] = {{1, "sRGB"}, {65535, "Uncalibrated"}};

// ExposureMode, WhiteBalance, SceneCaptureType: tags 0xA402, 0xA403, 0xA406.
constexpr ValueText kExposureModeTexts[] = {{0, "Auto exposure"}, {1, "Manual exposure"}, {2, "Auto bracket"}};
constexpr ValueText kWhiteBalanceTexts[] = {{0, "Auto white balance"}, {1, "Manual white balance"}};
constexpr ValueText kSceneCaptureTexts[] = {{0, "Standard"}, {1, "Landscape"}, {2, "Portrait"}, {3, "Night scene"}};

// The date-time tag that a sub-second or offset-time tag completes, and for
// sub-seconds the offset-time tag of the same moment.
constexpr ValueText kOffsetTimeParts[] = {{tiff_tag::kDateTime, "DateTime"}};
constexpr ValueText kOffsetTimeOriginalParts[] = {{0x9003, "DateTimeOriginal"}};
constexpr ValueText kOffsetTimeDigitizedParts[] = {{0x9004, "DateTimeDigitized"}};
constexpr ValueText kSubSecTimeParts[] = {{tiff_tag::kDateTime, "DateTime"}, {0x9010, "OffsetTime"}};
constexpr ValueText kSubSecTimeOriginalParts[] = {{0x9003, "DateTimeOriginal"}, {0x9011, "OffsetTimeOriginal"}};
constexpr ValueText kSubSecTimeDigitizedParts[] = {{0x9004, "DateTimeDigitized"}, {0x9012, "OffsetTimeDigitized"}};

constexpr TagInfo kExifTags[] = {VANTREL_EXIF_TAGS(VANTREL_TAG_ROW)};

}  // namespace

std::span<const TagInfo> ExifTags()
{
    return kExifTags;
}
