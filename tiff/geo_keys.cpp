#include "tiff/geo_keys.h"

#include <span>

#include "tiff/tag_table.h"

namespace {

// GTModelTypeGeoKey: GeoTIFF 1.1 section 7.1.1.
constexpr ValueText kModelTypes[] = {
    {1, "ModelTypeProjected"}, {2, "ModelTypeGeographic"}, {3, "ModelTypeGeocentric"}, {32767, "User-defined"},
};

// GTRasterTypeGeoKey: section 7.1.2.
constexpr ValueText kRasterTypes[] = {{1, "RasterPixelIsArea"}, {2, "RasterPixelIsPoint"}, {32767, "User-defined"}};

// Units: section 7.1.3 (EPSG unit codes).
constexpr ValueText kUnits[] = {
    {9001, "metre"},          {9002, "foot"},        {9003, "US survey foot"}, {9030, "nautical mile"},
    {9036, "kilometre"},      {9101, "radian"},      {9102, "degree"},         {9103, "arc-minute"},
    {9104, "arc-second"},     {9105, "grad"},        {9122, "degree (supplier to define representation)"},
    {32767, "User-defined"},
};

// Geodetic and projected CRS, datums, ellipsoids, prime meridians and
// vertical CRS: the EPSG codes that GeoTIFF 1.1 names.
constexpr ValueText kCrs[] = {
    {4267, "NAD27"},  {4269, "NAD83"},     {4258, "ETRS89"}, {4283, "GDA94"},  {4301, "Tokyo"},
    {4322, "WGS 72"}, {4326, "WGS 84"},    {4612, "JGD2000"}, {6668, "JGD2011"}, {3857, "WGS 84 / Pseudo-Mercator"},
    {32767, "User-defined"},
};
constexpr ValueText kDatums[] = {
    {6267, "North American Datum 1927"},  {6269, "North American Datum 1983"},
    {6258, "European Terrestrial Reference System 1989"}, {6322, "World Geodetic System 1972"},
    {6326, "World Geodetic System 1984"}, {32767, "User-defined"},
};
constexpr ValueText kEllipsoids[] = {
    {7008, "Clarke 1866"}, {7019, "GRS 1980"}, {7030, "WGS 84"}, {7043, "WGS 72"}, {32767, "User-defined"},
};
constexpr ValueText kPrimeMeridians[] = {{8901, "Greenwich"}, {32767, "User-defined"}};
constexpr ValueText kVertical[] = {
    {5030, "WGS 84 ellipsoid"}, {5703, "NAVD88 height"}, {5773, "EGM96 height"}, {32767, "User-defined"},
};
// ProjMethodGeoKey: section 7.1.6 (coordinate transformation codes).
constexpr ValueText kProjMethods[] = {
    {1, "CT_TransverseMercator"},        {7, "CT_Mercator"},
    {8, "CT_LambertConfConic_2SP"},      {9, "CT_LambertConfConic_1SP"},
    {10, "CT_LambertAzimEqualArea"},     {11, "CT_AlbersEqualArea"},
    {17, "CT_Equirectangular"},          {20, "CT_PolarStereographic"},
    {32767, "User-defined"},
};

struct GeoKey {
    uint32_t key;
    const char* name;
    std::span<const ValueText> codes;
};

// GeoTIFF 1.1 section 7.1 (names of 1.1; 1.0's GeographicTypeGeoKey is
// GeodeticCRSGeoKey, ProjectedCSTypeGeoKey is ProjectedCRSGeoKey...).
constexpr GeoKey kGeoKeys[] = {
    {1024, "GTModelTypeGeoKey", kModelTypes},
    {1025, "GTRasterTypeGeoKey", kRasterTypes},
    {1026, "GTCitationGeoKey", {}},
    {2048, "GeodeticCRSGeoKey", kCrs},
    {2049, "GeodeticCitationGeoKey", {}},
    {2050, "GeodeticDatumGeoKey", kDatums},
    {2051, "PrimeMeridianGeoKey", kPrimeMeridians},
    {2052, "GeogLinearUnitsGeoKey", kUnits},
    {2053, "GeogLinearUnitSizeGeoKey", {}},
    {2054, "GeogAngularUnitsGeoKey", kUnits},
    {2055, "GeogAngularUnitSizeGeoKey", {}},
    {2056, "EllipsoidGeoKey", kEllipsoids},
    {2057, "EllipsoidSemiMajorAxisGeoKey", {}},
    {2058, "EllipsoidSemiMinorAxisGeoKey", {}},
    {2059, "EllipsoidInvFlatteningGeoKey", {}},
    {2060, "GeogAzimuthUnitsGeoKey", kUnits},
    {2061, "PrimeMeridianLongitudeGeoKey", {}},
    {2062, "GeogTOWGS84GeoKey", {}},
    {3072, "ProjectedCRSGeoKey", kCrs},
    {3073, "ProjectedCitationGeoKey", {}},
    {3074, "ProjectionGeoKey", {}},
    {3075, "ProjMethodGeoKey", kProjMethods},
    {3076, "ProjLinearUnitsGeoKey", kUnits},
    {3077, "ProjLinearUnitSizeGeoKey", {}},
    {3078, "ProjStdParallel1GeoKey", {}},
    {3079, "ProjStdParallel2GeoKey", {}},
    {3080, "ProjNatOriginLongGeoKey", {}},
    {3081, "ProjNatOriginLatGeoKey", {}},
    {3082, "ProjFalseEastingGeoKey", {}},
    {3083, "ProjFalseNorthingGeoKey", {}},
    {3084, "ProjFalseOriginLongGeoKey", {}},
    {3085, "ProjFalseOriginLatGeoKey", {}},
    {3086, "ProjFalseOriginEastingGeoKey", {}},
    {3087, "ProjFalseOriginNorthingGeoKey", {}},
    {3088, "ProjCenterLongGeoKey", {}},
    {3089, "ProjCenterLatGeoKey", {}},
    {3090, "ProjCenterEastingGeoKey", {}},
    {3091, "ProjCenterNorthingGeoKey", {}},
    {3092, "ProjScaleAtNatOriginGeoKey", {}},
    {3093, "ProjScaleAtCenterGeoKey", {}},
    {3094, "ProjAzimuthAngleGeoKey", {}},
    {3095, "ProjStraightVertPoleLongGeoKey", {}},
    {3096, "ProjRectifiedGridAngleGeoKey", {}},
    {4096, "VerticalGeoKey", kVertical},
    {4097, "VerticalCitationGeoKey", {}},
    {4098, "VerticalDatumGeoKey", {}},
    {4099, "VerticalUnitsGeoKey", kUnits},
};

const GeoKey* FindKey(uint32_t key)
{
    for (const GeoKey& row : kGeoKeys)
        if (row.key == key)
            return &row;
    return nullptr;
}

// WGS 84 / UTM zones, which GeoTIFF 1.1 lists by number.
std::string UtmName(uint32_t code)
{
    if (code >= 32601 && code <= 32660)
        return "WGS 84 / UTM zone " + std::to_string(code - 32600) + "N";
    if (code >= 32701 && code <= 32760)
        return "WGS 84 / UTM zone " + std::to_string(code - 32700) + "S";
    if (code >= 26903 && code <= 26923)
        return "NAD83 / UTM zone " + std::to_string(code - 26900) + "N";
    if (code >= 25828 && code <= 25838)
        return "ETRS89 / UTM zone " + std::to_string(code - 25800) + "N";
    return {};
}

}  // namespace

const char* GeoKeyName(uint32_t key)
{
    const GeoKey* row = FindKey(key);
    return row ? row->name : nullptr;
}

std::string GeoKeyValueText(uint32_t key, uint32_t value)
{
    std::string text = std::to_string(value);
    const GeoKey* row = FindKey(key);
    if (!row)
        return text;
    std::string name = key == 3072 ? UtmName(value) : std::string();
    if (name.empty() && value == 0)
        name = "undefined";
    for (const ValueText& code : row->codes)
        if (name.empty() && code.value == value)
            name = code.text;
    return name.empty() ? text : text + " (" + name + ")";
}
