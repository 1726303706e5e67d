#include "tiff/segment_scratch.h"

#include <algorithm>
#include <cstring>

#include "image/image_buffer.h"

bool CSegmentScratch::Make(uint64_t columns, uint64_t rows)
{
    if (columns == 0 || rows == 0 || columns > 0x7FFF0000 || rows > 0x7FFF0000)
        return false;
    width = static_cast<uint32_t>(CImageBuffer::PaddedSize(static_cast<int32_t>(columns)));
    height = static_cast<uint32_t>(CImageBuffer::PaddedSize(static_cast<int32_t>(rows)));
    if (uint64_t{width} * height > kMaxPixels)
        return false;
    pixels.assign(size_t{width} * height * 3, 0);
    return true;
}

void CSegmentScratch::CopyTo(const CSampleWriter::Picture& picture, uint32_t x, uint32_t y, uint32_t columns,
                             uint32_t rows) const
{
    const uint32_t w = std::min(picture.width, picture.bitmapWidth);
    const uint32_t h = std::min(picture.height, picture.bitmapHeight);
    if (x >= w || y >= h)
        return;
    const size_t n = std::min({columns, w - x, width}) * size_t{3};
    for (uint32_t r = 0; r < rows && r < height && y + r < h; ++r)
        std::memcpy(picture.pixels + (size_t{picture.bitmapHeight} - 1 - (y + r)) * picture.bitmapWidth * 3 +
                        size_t{x} * 3,
                    pixels.data() + (size_t{height} - 1 - r) * width * 3, n);
}
