#pragma once
// Pixel memory of a decoded picture: 3 bytes per pixel in the order blue,
// green, red; rows bottom-up (picture row r is memory row height - 1 - r);
// the bitmap is the picture plus 1 to 16 margin columns at the right and rows
// at the bottom, so its width is a multiple of 16 and rows need no padding.
#include <cstddef>
#include <cstdint>
#include <memory>

// Returns mapped pixel memory of the given size to the system.
struct ImageMemoryUnmapper {
    size_t bytes = 0;
    void operator()(uint8_t* p) const;
};

class CImageBuffer {
public:
    // How the memory holds each pixel. Decoders write Colour (blue, green,
    // red); a picture that is kept to be shown may be made Compact: a grey
    // one then takes a byte a pixel, a black-and-white one a bit (the first
    // pixel in the high bit, 1 white), rows still bottom-up and padded to
    // 32 bits.
    enum class Samples : uint8_t { Colour, Grey, Bilevel };

    // Largest pixel memory that is ever allocated (89 million pixels, e.g.
    // 10000 x 8900); a bigger bitmap is refused. It bounds what one picture's
    // decoding can write, and so the time a small hostile file can take.
    static constexpr uint64_t kMaxBytes = uint64_t{256} << 20;

    // Bitmap size for a picture of the given width or height: the value with
    // its four low bits cleared, plus 16.
    static int32_t PaddedSize(int32_t pictureSize) { return (pictureSize & ~15) + 16; }

    // Maps zeroed memory of at least bytes (null when the system refuses): a
    // large mapping starts and ends on huge-page boundaries and asks for huge
    // pages, so that the system clears and maps it in 2 MiB steps instead of
    // 4 KiB ones, which halves the cost of the first write. *mapped receives
    // the length mapped, for ImageMemoryUnmapper.
    static uint8_t* MapZeroedMemory(size_t bytes, size_t* mapped);

    // Allocates the pixel memory, zeroed (black). Returns it, or null for a size
    // that is not positive or exceeds kMaxBytes; the sizes are kept either way.
    uint8_t* Create(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight, int32_t marginHeight);

    // Returns the pixel memory to the system; the sizes stay.
    void Release() { pixels_.reset(); }
    // The sizes Create would give, without memory; false (the sizes kept)
    // where Create would refuse them.
    bool Describe(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight, int32_t marginHeight);

    uint8_t* Pixels() const { return pixels_.get(); }
    int32_t BitmapWidth() const { return bitmapWidth_; }
    int32_t BitmapHeight() const { return bitmapHeight_; }
    int32_t MarginWidth() const { return marginWidth_; }
    int32_t MarginHeight() const { return marginHeight_; }
    int32_t PictureWidth() const { return bitmapWidth_ - marginWidth_; }
    int32_t PictureHeight() const { return bitmapHeight_ - marginHeight_; }
    size_t RowBytes() const;
    Samples Layout() const { return samples_; }

    // Blue, green, red of the pixel at picture column x, picture row y
    // (counted from the top). Only for a created Colour buffer and x, y
    // inside it.
    const uint8_t* PixelAt(int32_t x, int32_t y) const;
    // The same for a buffer of any layout.
    void ColourAt(int32_t x, int32_t y, uint8_t bgr[3]) const;

    // Holds the pixels in the smallest layout that keeps every one of them
    // (margins included); false when the picture needs colour, has no
    // pixels, or the smaller memory could not be had.
    bool Compact();

private:
    // Pixel memory is mapped zeroed from the system: its pages cost nothing
    // until a decoder writes them, so a picture whose data ends early never
    // pays for the whole bitmap, and large bitmaps ask for huge pages, which
    // cut the cost of first writes to fresh memory.
    std::unique_ptr<uint8_t, ImageMemoryUnmapper> pixels_;
    int32_t bitmapWidth_ = 0;
    int32_t bitmapHeight_ = 0;
    int32_t marginWidth_ = 0;
    int32_t marginHeight_ = 0;
    Samples samples_ = Samples::Colour;
};
