#pragma once
// The dictionary of Interoperability IFDs: Exif 3.0 (CIPA DC-008-2023)
// section 4.6.7 and the related-image tags of DCF.
// Columns: name, id, expected type, expected count, interpretation.
#include "tiff/tag_table.h"

#define VANTREL_INTEROP_TAGS(X)                                                                     \
    X(InteroperabilityIndex, 0x0001, kAscii, 4, Reading::Text)                                      \
    X(InteroperabilityVersion, 0x0002, kUndefined, 4, Reading::Version)                             \
    X(RelatedImageFileFormat, 0x1000, kAscii, kAnyCount, Reading::Text)                             \
    X(RelatedImageWidth, 0x1001, kShortOrLong, 1, Reading::Number, "%d")                            \
    X(RelatedImageLength, 0x1002, kShortOrLong, 1, Reading::Number, "%d")

namespace interop_tag {
enum : uint32_t { VANTREL_INTEROP_TAGS(VANTREL_TAG_ID) };
}
