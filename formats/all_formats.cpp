#include "formats/all_formats.h"

#include <vector>

#include "gif/gif_format.h"
#include "icc/icc_format.h"
#include "jpeg/jpeg_format.h"
#include "png/png_format.h"
#include "swf/swf_format.h"
#include "tiff/tiff_format.h"

namespace {

// A new format is one folder and one row here.
constexpr FormatHandler kBuiltIn[] = {
    kJpegFormat, kTiffFormat, kSwfFormat, kIccFormat, kMpfFormat, kPngFormat, kGifFormat,
};

std::vector<FormatHandler>& Table()
{
    static std::vector<FormatHandler> table(std::begin(kBuiltIn), std::end(kBuiltIn));
    return table;
}

}  // namespace

FormatTable AllFormats()
{
    return Table();
}

FormatTable RegisterFormat(const FormatHandler& format)
{
    Table().push_back(format);
    return Table();
}
