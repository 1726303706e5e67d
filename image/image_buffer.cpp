#include "image/image_buffer.h"

#include <sys/mman.h>

namespace {
// The huge-page size of x86-64; mappings from this size on ask for huge pages.
constexpr size_t kHugePageBytes = size_t{2} << 20;
}  // namespace

uint8_t* CImageBuffer::MapZeroedMemory(size_t bytes, size_t* mapped)
{
    constexpr int kProt = PROT_READ | PROT_WRITE;
    constexpr int kFlags = MAP_PRIVATE | MAP_ANONYMOUS;
    if (bytes < kHugePageBytes) {
        void* p = mmap(nullptr, bytes, kProt, kFlags, -1, 0);
        *mapped = bytes;
        return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    }
    const size_t length = (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    void* raw = mmap(nullptr, length + kHugePageBytes, kProt, kFlags, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    uint8_t* const first = static_cast<uint8_t*>(raw);
    const uintptr_t address = reinterpret_cast<uintptr_t>(first);
    uint8_t* const aligned = first + (((address + kHugePageBytes - 1) & ~uintptr_t{kHugePageBytes - 1}) - address);
    if (aligned > first)
        munmap(first, static_cast<size_t>(aligned - first));
    // The head cut off is below one huge page, so a tail always remains.
    munmap(aligned + length, static_cast<size_t>(first + kHugePageBytes - aligned));
#ifdef MADV_HUGEPAGE
    madvise(aligned, length, MADV_HUGEPAGE);
#endif
    *mapped = length;
    return aligned;
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
    samples_ = Samples::Colour;
    pixels_.reset();
    if (bitmapWidth <= 0 || bitmapHeight <= 0)
        return nullptr;
    const uint64_t bytes = uint64_t(bitmapWidth) * uint64_t(bitmapHeight) * 3u;
    if (bytes > kMaxBytes)
        return nullptr;
    size_t mapped = 0;
    uint8_t* p = MapZeroedMemory(static_cast<size_t>(bytes), &mapped);
    if (!p)
        return nullptr;
    pixels_ = std::unique_ptr<uint8_t, ImageMemoryUnmapper>(p, ImageMemoryUnmapper{mapped});
    return pixels_.get();
}

bool CImageBuffer::Describe(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight, int32_t marginHeight)
{
    bitmapWidth_ = bitmapWidth;
    bitmapHeight_ = bitmapHeight;
    marginWidth_ = marginWidth;
    marginHeight_ = marginHeight;
    samples_ = Samples::Colour;
    pixels_.reset();
    return bitmapWidth > 0 && bitmapHeight > 0 && uint64_t(bitmapWidth) * uint64_t(bitmapHeight) * 3u <= kMaxBytes;
}

size_t CImageBuffer::RowBytes() const
{
    const auto width = static_cast<size_t>(bitmapWidth_);
    switch (samples_) {
    case Samples::Grey: return (width + 3) & ~size_t{3};
    case Samples::Bilevel: return (width + 31) / 32 * 4;
    default: return width * 3;
    }
}

const uint8_t* CImageBuffer::PixelAt(int32_t x, int32_t y) const
{
    const size_t row = static_cast<size_t>(bitmapHeight_ - 1 - y);
    return pixels_.get() + row * RowBytes() + static_cast<size_t>(x) * 3;
}

void CImageBuffer::ColourAt(int32_t x, int32_t y, uint8_t bgr[3]) const
{
    const uint8_t* row = pixels_.get() + static_cast<size_t>(bitmapHeight_ - 1 - y) * RowBytes();
    const auto column = static_cast<size_t>(x);
    switch (samples_) {
    case Samples::Grey: bgr[0] = bgr[1] = bgr[2] = row[column]; return;
    case Samples::Bilevel: bgr[0] = bgr[1] = bgr[2] = row[column / 8] >> (7 - column % 8) & 1 ? 255 : 0; return;
    default: bgr[0] = row[column * 3], bgr[1] = row[column * 3 + 1], bgr[2] = row[column * 3 + 2]; return;
    }
}

bool CImageBuffer::Compact()
{
    if (!pixels_ || samples_ != Samples::Colour)
        return false;
    const auto width = static_cast<size_t>(bitmapWidth_);
    const auto height = static_cast<size_t>(bitmapHeight_);
    const uint8_t* from = pixels_.get();
    const size_t bytes = width * height * 3;
    bool bilevel = true;
    for (size_t i = 0; i < bytes; i += 3) {
        if (from[i] != from[i + 1] || from[i] != from[i + 2])
            return false;
        bilevel = bilevel && (from[i] == 0 || from[i] == 255);
    }
    const Samples samples = bilevel ? Samples::Bilevel : Samples::Grey;
    const size_t rowBytes = bilevel ? (width + 31) / 32 * 4 : (width + 3) & ~size_t{3};
    size_t mapped = 0;
    uint8_t* to = MapZeroedMemory(rowBytes * height, &mapped);
    if (!to)
        return false;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = from + y * width * 3;
        uint8_t* out = to + y * rowBytes;
        if (bilevel) {
            for (size_t x = 0; x < width; ++x)
                out[x / 8] = static_cast<uint8_t>(out[x / 8] | (in[x * 3] & 0x80) >> (x % 8));
        } else {
            for (size_t x = 0; x < width; ++x)
                out[x] = in[x * 3];
        }
    }
    pixels_ = std::unique_ptr<uint8_t, ImageMemoryUnmapper>(to, ImageMemoryUnmapper{mapped});
    samples_ = samples;
    return true;
}
