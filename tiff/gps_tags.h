#pragma once
// The dictionary of GPS IFDs: Exif 3.0 (CIPA DC-008-2023) section 4.6.6.
// Columns: name, id, expected type, expected count, interpretation.
#include "tiff/tag_table.h"

#define VANTREL_GPS_TAGS(X)                                                                         \
    X(GPSVersionID, 0, kByte, 4, Reading::Numbers, "%.0f")                                          \
    X(GPSLatitudeRef, 1, kAscii, 2, Reading::Text)                                                  \
    X(GPSLatitude, 2, kRational, 3, Reading::GpsCoordinate, nullptr, kLatitudeReference)            \
    X(GPSLongitudeRef, 3, kAscii, 2, Reading::Text)                                                 \
    X(GPSLongitude, 4, kRational, 3, Reading::GpsCoordinate, nullptr, kLongitudeReference)          \
    X(GPSAltitudeRef, 5, kByte, 1, Reading::KeyedText, nullptr, kAltitudeReferenceTexts)            \
    X(GPSAltitude, 6, kRational, 1, Reading::GpsAltitude)                                           \
    X(GPSTimeStamp, 7, kRational, 3, Reading::GpsTimeStamp)                                         \
    X(GPSSatellites, 8, kAscii, kAnyCount, Reading::Text)                                           \
    X(GPSStatus, 9, kAscii, 2, Reading::Text)                                                       \
    X(GPSMeasureMode, 10, kAscii, 2, Reading::Text)                                                 \
    X(GPSDOP, 11, kRational, 1, Reading::Real, "%.2f")                                              \
    X(GPSSpeedRef, 12, kAscii, 2, Reading::Text)                                                    \
    X(GPSSpeed, 13, kRational, 1, Reading::Real, "%.2f")                                            \
    X(GPSTrackRef, 14, kAscii, 2, Reading::Text)                                                    \
    X(GPSTrack, 15, kRational, 1, Reading::Real, "%.2f deg")                                        \
    X(GPSImgDirectionRef, 16, kAscii, 2, Reading::Text)                                             \
    X(GPSImgDirection, 17, kRational, 1, Reading::Real, "%.2f deg")                                 \
    X(GPSMapDatum, 18, kAscii, kAnyCount, Reading::Text)                                            \
    X(GPSDestLatitudeRef, 19, kAscii, 2, Reading::Text)                                             \
    X(GPSDestLatitude, 20, kRational, 3, Reading::GpsCoordinate, nullptr, kDestLatitudeReference)   \
    X(GPSDestLongitudeRef, 21, kAscii, 2, Reading::Text)                                            \
    X(GPSDestLongitude, 22, kRational, 3, Reading::GpsCoordinate, nullptr, kDestLongitudeReference) \
    X(GPSDestBearingRef, 23, kAscii, 2, Reading::Text)                                              \
    X(GPSDestBearing, 24, kRational, 1, Reading::Real, "%.2f deg")                                  \
    X(GPSDestDistanceRef, 25, kAscii, 2, Reading::Text)                                             \
    X(GPSDestDistance, 26, kRational, 1, Reading::Real, "%.2f")                                     \
    X(GPSProcessingMethod, 27, kUndefined, kAnyCount, Reading::UserComment)                         \
    X(GPSAreaInformation, 28, kUndefined, kAnyCount, Reading::UserComment)                          \
    X(GPSDateStamp, 29, kAscii, 11, Reading::Text)                                                  \
    X(GPSDifferential, 30, kShort, 1)                                                               \
    X(GPSHPositioningError, 31, kRational, 1, Reading::Real, "%.2f m")

namespace gps_tag {
enum : uint32_t { VANTREL_GPS_TAGS(VANTREL_TAG_ID) };
}
