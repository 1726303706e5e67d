#include <gtest/gtest.h>

#include "core/byte_order_map.h"
#include "support/test_support.h"

namespace {

using testing_support::Bytes;

CByteOrderMap MapOf(const Bytes& file, const AnalysisResult& result)
{
    return CByteOrderMap(AllFormats(), result.format, result, [&file](uint64_t offset, uint8_t* out, size_t n) {
        size_t i = 0;
        for (; i < n && offset + i < file.size(); ++i)
            out[i] = file[offset + i];
        return i;
    });
}

// A JPEG file (big-endian) whose Exif data is little-endian TIFF holding a
// big-endian JPEG thumbnail: each byte reads in the order of the innermost
// structure that describes it.
TEST(ByteOrderMap, EachStructureKeepsItsOwnOrder)
{
    const std::string path = std::string(VANTREL_SOURCE_DIR) + "/samples/photo-exif.jpg";
    const Bytes file = testing_support::ReadFile(path);
    const auto result = Analyze(path.c_str(), AnalysisMode::Detailed, testing_support::AllFormatOptions());
    const CByteOrderMap map = MapOf(file, *result);
    EXPECT_EQ(map.FileOrder(), ByteOrder::Big);
    const std::pair<uint64_t, ByteOrder> at[] = {
        {0x0000, ByteOrder::Big},      // SOI
        {0x0004, ByteOrder::Big},      // the APP1 segment's length
        {0x000e, ByteOrder::Little},   // TIFF ID of the Exif data
        {0x0014, ByteOrder::Little},   // its first IFD
        {0x00b6, ByteOrder::Big},      // DQT of the thumbnail
        {0x041e, ByteOrder::Big},      // DQT of the file's own frame
    };
    for (const auto& [offset, order] : at)
        EXPECT_EQ(map.At(offset), order) << offset;

    // A big-endian TIFF file is big-endian throughout; a little-endian one
    // little-endian.
    for (const char* name : {"rgb-packbits-be.tif", "rgb-lzw.tif"}) {
        const std::string tiff = std::string(VANTREL_SOURCE_DIR) + "/samples/" + name;
        const Bytes bytes = testing_support::ReadFile(tiff);
        const auto r = Analyze(tiff.c_str(), AnalysisMode::Detailed, testing_support::AllFormatOptions());
        const ByteOrder expected = bytes[0] == 'M' ? ByteOrder::Big : ByteOrder::Little;
        EXPECT_EQ(MapOf(bytes, *r).At(4), expected) << name;
        EXPECT_EQ(MapOf(bytes, *r).FileOrder(), expected) << name;
    }
}

}  // namespace
