#pragma once
// The dictionary of the MP Index and MP Attribute IFDs of a Multi-Picture
// Format segment: CIPA DC-007-2009 sections 5.2.3 and 5.2.4.
// Columns: name, id, expected type, expected count, interpretation.
#include "tiff/tag_table.h"

#define VANTREL_MPF_TAGS(X)                                                                         \
    X(MPFVersion, 0xB000, kUndefined, 4, Reading::Version)                                          \
    X(NumberOfImages, 0xB001, kLong, 1, Reading::Number, "%d")                                      \
    X(MPEntry, 0xB002, kUndefined, kAnyCount, Reading::MpEntry)                                     \
    X(ImageUIDList, 0xB003, kUndefined, kAnyCount)                                                  \
    X(TotalFrames, 0xB004, kLong, 1, Reading::Number, "%d")                                         \
    X(MPIndividualNum, 0xB101, kLong, 1, Reading::Number, "%d")                                     \
    X(PanOrientation, 0xB201, kLong, 1)                                                             \
    X(PanOverlap_H, 0xB202, kRational, 1, Reading::Real, "%.2f %%")                                 \
    X(PanOverlap_V, 0xB203, kRational, 1, Reading::Real, "%.2f %%")                                 \
    X(BaseViewpointNum, 0xB204, kLong, 1, Reading::Number, "%d")                                    \
    X(ConvergenceAngle, 0xB205, kSRational, 1, Reading::Real, "%.2f deg")                           \
    X(BaselineLength, 0xB206, kRational, 1, Reading::Real, "%.2f mm")                               \
    X(VerticalDivergence, 0xB207, kSRational, 1, Reading::Real, "%.2f deg")                         \
    X(AxisDistance_X, 0xB208, kSRational, 1, Reading::Real, "%.2f mm")                              \
    X(AxisDistance_Y, 0xB209, kSRational, 1, Reading::Real, "%.2f mm")                              \
    X(AxisDistance_Z, 0xB20A, kSRational, 1, Reading::Real, "%.2f mm")                              \
    X(YawAngle, 0xB20B, kSRational, 1, Reading::Real, "%.2f deg")                                   \
    X(PitchAngle, 0xB20C, kSRational, 1, Reading::Real, "%.2f deg")                                 \
    X(RollAngle, 0xB20D, kSRational, 1, Reading::Real, "%.2f deg")

namespace mpf_tag {
enum : uint32_t { VANTREL_MPF_TAGS(VANTREL_TAG_ID) };
}
