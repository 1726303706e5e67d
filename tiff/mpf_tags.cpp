#include "tiff/mpf_tags.h"

namespace {

constexpr TagInfo kMpfTags[] = {VANTREL_MPF_TAGS(VANTREL_TAG_ROW)};

}  // namespace

std::span<const TagInfo> MpfTags()
{
    return kMpfTags;
}
