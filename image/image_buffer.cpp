#include "image/image_buffer.h"

#include <sys/mman.h>

namespace {
// Bitmaps from this size on are worth huge pages (2 MiB on x86-64).
constexpr size_t kHugePageThreshold = size_t{2} << 20;
}

void ImageMemoryUnmapper::operator()(uint8_t* p) const
{
    munmap(p, bytes);
}

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
    void* p = mmap(nullptr, static_cast<size_t>(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    if (bytes >= kHugePageThreshold)
        madvise(p, static_cast<size_t>(bytes), MADV_HUGEPAGE);
#endif
    pixels_ = std::unique_ptr<uint8_t, ImageMemoryUnmapper>(static_cast<uint8_t*>(p), ImageMemoryUnmapper{static_cast<size_t>(bytes)});
    return pixels_.get();
}

const uint8_t* CImageBuffer::PixelAt(int32_t x, int32_t y) const
{
    const size_t row = static_cast<size_t>(bitmapHeight_ - 1 - y);
    return pixels_.get() + row * RowBytes() + static_cast<size_t>(x) * 3;
}
