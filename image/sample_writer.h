#pragma once
// Places the decoded bytes of a TIFF image into an image window's pixel
// memory (24 bits per pixel, blue-green-red, rows bottom-up): a running
// column and row over the samples of each pixel, with horizontal
// differencing undone, colour samples beyond the third skipped, grey levels
// and palette indices turned into colours and bilevel bits into black and
// white. It never writes outside the picture: bytes past the last row of a
// strip are refused.
#include <cstddef>
#include <cstdint>
#include <vector>

class CSampleWriter {
public:
    enum class Layout {
        Rgb,       // three or more samples a pixel: red, green, blue, then skipped ones
        Gray,      // one or two 8-bit samples a pixel: a grey level, then a skipped one
        Palette,   // one 8-bit index a pixel into the colour map
        Bilevel,   // one bit a pixel, rows starting on a byte boundary
    };

    struct Picture {
        uint8_t* pixels = nullptr;
        uint32_t width = 0;          // picture size in pixels
        uint32_t height = 0;
        uint32_t bitmapWidth = 0;    // pixel memory size in pixels
        uint32_t bitmapHeight = 0;
    };

    struct Format {
        Layout layout = Layout::Rgb;
        uint32_t samplesPerPixel = 3;
        bool predictor = false;      // horizontal differencing of 8-bit samples
        bool whiteIsZero = false;    // grey and bilevel: 0 is white
        // Palette: red, green and blue thirds of the colour map (16-bit).
        std::vector<uint32_t> red, green, blue;
    };

    CSampleWriter(const Picture& picture, Format format);

    // The next bytes belong to a strip that starts at picture row firstRow
    // and holds rows rows; the column and the sample start again.
    void BeginStrip(uint64_t firstRow, uint64_t rows);
    // Places one decoded byte; false once the strip's rows are complete.
    bool Put(uint8_t b) { return PutRun(&b, 1); }
    // Places n decoded bytes, or as many as the strip's rows take; false
    // once the strip's rows are complete.
    bool PutRun(const uint8_t* data, size_t n);
    bool StripDone() const { return row_ >= rowEnd_; }
    // Decoded bytes the rest of the strip's rows take.
    uint64_t BytesWanted() const;

private:
    uint8_t* PixelAt(uint32_t x, uint32_t y) const
    {
        return picture_.pixels + (std::size_t{picture_.bitmapHeight} - 1 - y) * picture_.bitmapWidth * 3 + std::size_t{x} * 3;
    }
    template <Layout L>
    void PutSamples(const uint8_t* data, size_t n);
    void PutBits(const uint8_t* data, size_t n);

    Picture picture_;
    Format format_;
    uint32_t column_ = 0;
    uint64_t row_ = 0;
    uint64_t rowEnd_ = 0;
    uint32_t sample_ = 0;          // sample of the current pixel
    uint8_t previous_[3] = {};     // the pixel before, as decoded, for differencing
};
