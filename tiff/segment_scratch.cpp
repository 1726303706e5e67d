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

namespace {

// Where a view of the picture ends: the picture columns and rows it covers.
uint64_t ViewEnd(uint32_t start, uint32_t bitmap, uint32_t shift, uint32_t picture)
{
    return std::min<uint64_t>(picture, start + (uint64_t{bitmap} << std::min(shift, 31u)));
}

}  // namespace

bool CSegmentScratch::MeetsView(const CSampleWriter::Picture& picture, uint64_t x, uint64_t y, uint64_t columns,
                                uint64_t rows)
{
    if (!picture.view)
        return true;
    return x + columns > picture.viewX && x < ViewEnd(picture.viewX, picture.bitmapWidth, picture.shift, picture.width) &&
           y + rows > picture.viewY && y < ViewEnd(picture.viewY, picture.bitmapHeight, picture.shift, picture.height);
}

void CSegmentScratch::CopyTo(const CSampleWriter::Picture& picture, uint32_t x, uint32_t y, uint32_t columns,
                             uint32_t rows) const
{
    if (picture.view) {
        // The pixels on the view's grid, each to its place in the bitmap.
        const uint32_t shift = std::min(picture.shift, 31u);
        const uint64_t step = uint64_t{1} << shift;
        const uint64_t endX = std::min<uint64_t>(
            {ViewEnd(picture.viewX, picture.bitmapWidth, shift, picture.width), uint64_t{x} + std::min(columns, width)});
        const uint64_t endY = std::min<uint64_t>(
            {ViewEnd(picture.viewY, picture.bitmapHeight, shift, picture.height), uint64_t{y} + std::min(rows, height)});
        const uint64_t firstX = (std::max<uint64_t>(x, picture.viewX) + step - 1) & ~(step - 1);
        for (uint64_t py = (std::max<uint64_t>(y, picture.viewY) + step - 1) & ~(step - 1); py < endY; py += step) {
            const uint8_t* from = pixels.data() + (size_t{height} - 1 - (py - y)) * width * 3;
            uint8_t* to = picture.pixels +
                          (size_t{picture.bitmapHeight} - 1 - ((py - picture.viewY) >> shift)) * picture.bitmapWidth * 3;
            for (uint64_t px = firstX; px < endX; px += step)
                std::memcpy(to + ((px - picture.viewX) >> shift) * 3, from + (px - x) * 3, 3);
        }
        return;
    }
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
