#include "tiff/gps_tags.h"

namespace {

// The reference tag that gives a coordinate's hemisphere.
constexpr ValueText kLatitudeReference[] = {{1, "GPSLatitudeRef"}};
constexpr ValueText kLongitudeReference[] = {{3, "GPSLongitudeRef"}};
constexpr ValueText kDestLatitudeReference[] = {{19, "GPSDestLatitudeRef"}};
constexpr ValueText kDestLongitudeReference[] = {{21, "GPSDestLongitudeRef"}};

// GPSAltitudeRef: Exif 3.0 section 4.6.6, tag 5.
constexpr ValueText kAltitudeReferenceTexts[] = {
    {0, "Above sea level"},
    {1, "Below sea level"},
    {2, "Positive sea level value"},
    {3, "Negative sea level value"},
};

constexpr TagInfo kGpsTags[] = {VANTREL_GPS_TAGS(VANTREL_TAG_ROW)};

}  // namespace

std::span<const TagInfo> GpsTags()
{
    return kGpsTags;
}
