#include "tiff/interop_tags.h"

namespace {

constexpr TagInfo kInteropTags[] = {VANTREL_INTEROP_TAGS(VANTREL_TAG_ROW)};

}  // namespace

std::span<const TagInfo> InteropTags()
{
    return kInteropTags;
}
