#include "image/image_buffer.h"


uint8_t* CImageBuffer::Create(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight, int32_t marginHeight)
{
    bitmapWidth_ = bitmapWidth;
    bitmapHeight_ = bitmapHeight;
    marginWidth_ = marginWidth;
    marginHeight_ = marginHeight;
    pixels_.reset();
    if (bitmapWidth <= 0 || bitmapHeight <= 0)
        return nullptr;
    const uint64_t bytes = uint64_t(bitmapWidth) * uint64_t(bitmapHeight) * 3u;
    if (bytes > kMaxBytes)
        return nullptr;
    pixels_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1)));
    return pixels_.get();
}

const uint8_t* CImageBuffer::PixelAt(int32_t x, int32_t y) const
{
    const size_t row = static_cast<size_t>(bitmapHeight_ - 1 - y);
    return pixels_.get() + row * RowBytes() + static_cast<size_t>(x) * 3;
}
