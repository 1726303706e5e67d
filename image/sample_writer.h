#pragma once
// Places the decoded bytes of a TIFF image into an image window's pixel
// memory (24 bits per pixel, blue-green-red, rows bottom-up). The bytes come
// a strip or a tile (a segment) at a time; each segment is a block of rows of
// packed samples, one or more samples a pixel (chunky) or one sample of
// every pixel (one plane of a planar image), rows starting on a byte
// boundary. Horizontal differencing is undone a row at a time, colour
// samples beyond the shown ones are skipped, and grey levels, palette
// indices, CMYK inks and 16-bit samples are turned into 8-bit red, green and
// blue as libtiff's RGBA reading turns them. Signed and floating-point
// samples are stretched from a range of values measured in a first pass
// over the same bytes. It never writes outside the
// picture: columns and rows of a segment beyond it are dropped, and bytes
// past the segment's last row are refused.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

class CSampleWriter {
public:
    enum class Layout {
        Rgb,       // red, green, blue, then skipped samples
        Gray,      // a grey level (1 bit: bilevel), then skipped samples
        Palette,   // an index into the colour map
        Cmyk,      // cyan, magenta, yellow, black inks (8-bit, chunky)
    };

    // What a sample's bits are (TIFF 6.0 SampleFormat 1, 2 and 3).
    enum class Number : uint8_t { Unsigned, Signed, Float };

    // The smallest and largest finite values of signed or floating-point
    // samples.
    struct ValueRange {
        double min = std::numeric_limits<double>::infinity();
        double max = -std::numeric_limits<double>::infinity();
        bool Any() const { return min <= max; }
        void Add(double v)
        {
            if (v < min)
                min = v;
            if (v > max)
                max = v;
        }
        void Merge(const ValueRange& other)
        {
            if (other.Any()) {
                Add(other.min);
                Add(other.max);
            }
        }
    };

    struct Picture {
        uint8_t* pixels = nullptr;
        uint32_t width = 0;          // picture size in pixels
        uint32_t height = 0;
        uint32_t bitmapWidth = 0;    // pixel memory size in pixels
        uint32_t bitmapHeight = 0;
        // A view of a picture too large to hold whole: the pixel memory
        // holds, from the picture's pixel (viewX, viewY) on, every
        // 2^shift-th pixel of every 2^shift-th row, those whose coordinates
        // are multiples of 2^shift (viewX and viewY are). Segments that miss
        // the view are not decoded at all.
        bool view = false;
        uint32_t viewX = 0;
        uint32_t viewY = 0;
        uint32_t shift = 0;
    };

    struct Format {
        Layout layout = Layout::Rgb;
        uint32_t samplesPerPixel = 3;
        uint32_t bitsPerSample = 8;  // 1, 2, 4, 8 or 16; signed 8 to 64; float 16, 24, 32, 64
        Number number = Number::Unsigned;
        bool planar = false;         // a segment holds one sample of each pixel
        bool predictor = false;      // horizontal differencing (8 to 64 bits)
        bool floatPredictor = false; // floating-point differencing (TIFF Technical Note 3)
        bool whiteIsZero = false;    // grey: 0 is white
        bool littleEndian = true;    // byte order of 16-bit samples
        // Palette: the colour map's red, green and blue, already 8-bit.
        std::vector<uint8_t> red, green, blue;
        // Signed and floating-point samples: the values drawn black and white.
        ValueRange stretch;
    };

    // With measure, signed or floating-point samples are not drawn: their
    // range is measured into *measure, and picture needs no pixels.
    CSampleWriter(const Picture& picture, Format format, ValueRange* measure = nullptr);

    // Whether samples of this format can be placed at all.
    static bool Supported(const Format& format);
    // Bytes of one data row of a segment columns pixels wide.
    uint64_t RowBytes(uint64_t columns) const;

    // The next bytes belong to a segment whose rows are columns pixels wide,
    // with its top left pixel at (x, y) of the picture; plane is the sample
    // that a planar segment holds. The column and the sample start again.
    void BeginSegment(uint32_t x, uint64_t y, uint32_t columns, uint64_t rows, uint32_t plane = 0);
    // A strip of whole picture rows.
    void BeginStrip(uint64_t firstRow, uint64_t rows) { BeginSegment(0, firstRow, picture_.width, rows); }
    // Places one decoded byte; false once the segment's rows are complete.
    bool Put(uint8_t b) { return PutRun(&b, 1); }
    // Places n decoded bytes, or as many as the segment's rows take; false
    // once the segment's rows are complete.
    bool PutRun(const uint8_t* data, size_t n);
    // The segment's data has ended: the whole pixels of a row cut short are
    // placed.
    void EndSegment();
    // Decoded bytes the rest of the segment's rows take.
    uint64_t BytesWanted() const;

private:
    // Where the n pixels of the current row that PlaceRow makes go: the
    // picture's memory, or for a view a row of its own that Sampled copies
    // from.
    uint8_t* RowTarget();
    // A view: whether the current row is one the view holds, and the copy
    // of the view's pixels of the row placed in rowPixels_.
    bool RowInView() const;
    void Sampled(uint32_t n);
    uint8_t* PixelAt(uint32_t x, uint64_t y) const
    {
        return picture_.pixels + (std::size_t{picture_.bitmapHeight} - 1 - y) * picture_.bitmapWidth * 3 +
               std::size_t{x} * 3;
    }
    // Places the whole pixels of bytes bytes of a data row of the segment.
    void PlaceRow(const uint8_t* data, size_t bytes);
    // Turns n pixels of a data row, differencing undone, into pixels at p.
    void PlaceSamples(const uint8_t* data, uint32_t n, uint8_t* p) const;
    // The n pixels of a row of one plane of a planar grey or colour image.
    void PlacePlane(const uint8_t* data, uint32_t n, uint8_t* p) const;
    // The row with its differencing undone (a copy), or the row itself.
    const uint8_t* Undone(const uint8_t* data, size_t bytes);
    void UndoPredictor(uint8_t* data, size_t bytes) const;
    void UndoFloatPredictor(uint8_t* data, size_t bytes);
    uint32_t Sample(const uint8_t* data, size_t index) const;
    // Signed and floating-point samples: the value of a sample, and where it
    // lies between the stretch's ends as an 8-bit level.
    double Value(const uint8_t* data, size_t index) const;
    uint8_t ValueLevel(double value) const;
    void PlaceValues(const uint8_t* data, size_t bytes);
    // A sample of the layout as an 8-bit colour level.
    uint8_t Level(uint32_t value) const;
    uint8_t Gray(uint32_t value) const;

    Picture picture_;
    Format format_;
    uint32_t x_ = 0;
    uint32_t columns_ = 0;
    uint32_t visible_ = 0;         // columns of the segment inside the picture
    uint32_t plane_ = 0;
    uint64_t row_ = 0;
    uint64_t rowEnd_ = 0;
    size_t rowBytes_ = 0;
    std::vector<uint8_t> partial_; // a data row that arrives in pieces
    size_t fill_ = 0;
    std::vector<uint8_t> undone_;  // a row with the differencing undone
    std::vector<uint8_t> planes_;  // a floating-point row's bytes before reordering
    std::vector<uint8_t> rowPixels_;  // a view's row before it is sampled
    uint64_t viewEndX_ = 0;        // a view: the picture columns and rows it covers end here
    uint64_t viewEndY_ = 0;
    ValueRange* measure_ = nullptr;
};

// The value of a float of 1 sign bit and the given exponent and mantissa
// bits, the exponent biased as IEEE 754 biases it: a half-precision float
// (5, 10), or Adobe's 24-bit float (7, 16).
double SmallFloat(uint32_t bits, int exponentBits, int mantissaBits);
