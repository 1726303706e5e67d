#include "image/sample_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

CSampleWriter::CSampleWriter(const Picture& picture, Format format, ValueRange* measure)
    : picture_(picture), format_(std::move(format)), measure_(measure)
{
    if (format_.samplesPerPixel == 0)
        format_.samplesPerPixel = 1;
    if (picture_.view) {
        picture_.shift = std::min(picture_.shift, 31u);
        viewEndX_ = std::min<uint64_t>(picture_.width, picture_.viewX + (uint64_t{picture_.bitmapWidth} << picture_.shift));
        viewEndY_ = std::min<uint64_t>(picture_.height, picture_.viewY + (uint64_t{picture_.bitmapHeight} << picture_.shift));
    } else {
        // A picture larger than its pixel memory is cut to it.
        picture_.width = std::min(picture_.width, picture_.bitmapWidth);
        picture_.height = std::min(picture_.height, picture_.bitmapHeight);
    }
    const bool measuring = measure_ && format_.number != Number::Unsigned;
    if ((!picture_.pixels && !measuring) || !Supported(format_))
        picture_.width = picture_.height = 0;
}

double SmallFloat(uint32_t bits, int exponentBits, int mantissaBits)
{
    const double sign = bits >> (exponentBits + mantissaBits) & 1 ? -1 : 1;
    const uint32_t exponent = bits >> mantissaBits & ((1u << exponentBits) - 1);
    const uint32_t mantissa = bits & ((1u << mantissaBits) - 1);
    const int bias = (1 << (exponentBits - 1)) - 1;
    if (exponent == (1u << exponentBits) - 1)
        return mantissa ? std::nan("") : sign * INFINITY;
    if (exponent == 0)
        return sign * std::ldexp(mantissa, 1 - bias - mantissaBits);
    return sign * std::ldexp((1u << mantissaBits) + mantissa, static_cast<int>(exponent) - bias - mantissaBits);
}

namespace {

template <class T>
T Swapped(T v)
{
    if constexpr (sizeof(T) == 2)
        return __builtin_bswap16(v);
    else if constexpr (sizeof(T) == 4)
        return __builtin_bswap32(v);
    else
        return __builtin_bswap64(v);
}

// A sample of type T in the given byte order.
template <class T>
T Load(const uint8_t* p, bool littleEndian)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return littleEndian != (std::endian::native == std::endian::little) ? Swapped(v) : v;
}

// Each of count samples of type T in the given byte order becomes its sum
// with the sample stride places before it.
template <class T>
void AddAlongRow(uint8_t* data, size_t count, size_t stride, bool littleEndian)
{
    const bool swap = littleEndian != (std::endian::native == std::endian::little);
    for (size_t i = stride; i < count; ++i) {
        T sum = static_cast<T>(Load<T>(data + i * sizeof(T), littleEndian) +
                               Load<T>(data + (i - stride) * sizeof(T), littleEndian));
        if (swap)
            sum = Swapped(sum);
        std::memcpy(data + i * sizeof(T), &sum, sizeof(T));
    }
}

}  // namespace

bool CSampleWriter::Supported(const Format& f)
{
    const uint32_t bits = f.bitsPerSample;
    if (f.number != Number::Unsigned) {
        // Grey or colour, of whole bytes; the floating-point predictor
        // belongs to floating-point samples.
        const bool sizes = f.number == Number::Signed ? bits == 8 || bits == 16 || bits == 32 || bits == 64
                                                      : bits == 16 || bits == 24 || bits == 32 || bits == 64;
        const bool layout = f.layout == Layout::Gray || (f.layout == Layout::Rgb && f.samplesPerPixel >= 3);
        return sizes && layout && !(f.predictor && bits == 24) && !(f.floatPredictor && f.number != Number::Float);
    }
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
        return false;
    if (f.floatPredictor)
        return false;
    // Differencing is defined on whole bytes only.
    if (f.predictor && bits < 8)
        return false;
    switch (f.layout) {
    case Layout::Rgb: return bits >= 8 && f.samplesPerPixel >= 3;
    case Layout::Gray: return f.samplesPerPixel >= 1;
    case Layout::Palette: return bits <= 8 && !f.red.empty() && f.red.size() == f.green.size() &&
                                 f.red.size() == f.blue.size();
    case Layout::Cmyk: return bits == 8 && f.samplesPerPixel >= 4 && !f.planar;
    }
    return false;
}

uint64_t CSampleWriter::RowBytes(uint64_t columns) const
{
    const uint64_t samples = format_.planar ? 1 : format_.samplesPerPixel;
    return (columns * samples * format_.bitsPerSample + 7) / 8;
}

void CSampleWriter::BeginSegment(uint32_t x, uint64_t y, uint32_t columns, uint64_t rows, uint32_t plane)
{
    x_ = x;
    columns_ = columns;
    plane_ = plane;
    row_ = y;
    rowEnd_ = y >= picture_.height ? y : std::min<uint64_t>(y + rows, picture_.height);
    visible_ = x >= picture_.width ? 0 : std::min(columns, picture_.width - x);
    rowBytes_ = static_cast<size_t>(RowBytes(columns));
    fill_ = 0;
    // A planar segment of a sample that is not shown, or one outside the
    // picture, places nothing.
    const uint32_t shownPlanes = format_.layout == Layout::Rgb ? 3 : 1;
    if (visible_ == 0 || rowBytes_ == 0 || (format_.planar && plane >= shownPlanes))
        rowEnd_ = row_;
    const bool missesView = picture_.view && (uint64_t{x} + columns <= picture_.viewX || x >= viewEndX_ ||
                                              y + rows <= picture_.viewY || y >= viewEndY_);
    if (missesView)
        rowEnd_ = row_;
}

bool CSampleWriter::RowInView() const
{
    const uint64_t mask = (uint64_t{1} << picture_.shift) - 1;
    return row_ >= picture_.viewY && row_ < viewEndY_ && (row_ & mask) == 0;
}

uint8_t* CSampleWriter::RowTarget()
{
    if (!picture_.view)
        return PixelAt(x_, row_);
    rowPixels_.resize(std::size_t{visible_} * 3);
    return rowPixels_.data();
}

void CSampleWriter::Sampled(uint32_t n)
{
    const uint64_t step = uint64_t{1} << picture_.shift;
    uint64_t x = std::max<uint64_t>(x_, picture_.viewX);
    x = (x + step - 1) & ~(step - 1);
    const uint64_t end = std::min<uint64_t>(uint64_t{x_} + n, viewEndX_);
    const uint64_t row = (row_ - picture_.viewY) >> picture_.shift;
    uint8_t* out = picture_.pixels + (std::size_t{picture_.bitmapHeight} - 1 - row) * picture_.bitmapWidth * 3;
    // The planes of a planar colour picture each fill one channel.
    const bool oneChannel = format_.planar && format_.layout == Layout::Rgb;
    const std::size_t channel = 2 - std::min<uint32_t>(plane_, 2);
    for (; x < end; x += step) {
        const uint8_t* from = rowPixels_.data() + (x - x_) * 3;
        uint8_t* to = out + ((x - picture_.viewX) >> picture_.shift) * 3;
        if (oneChannel) {
            to[channel] = from[channel];
        } else {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
}

uint64_t CSampleWriter::BytesWanted() const
{
    if (row_ >= rowEnd_)
        return 0;
    return (rowEnd_ - row_) * rowBytes_ - fill_;
}

bool CSampleWriter::PutRun(const uint8_t* data, size_t n)
{
    size_t i = 0;
    while (i < n && row_ < rowEnd_) {
        if (fill_ == 0 && n - i >= rowBytes_) {
            PlaceRow(data + i, rowBytes_);
            i += rowBytes_;
            ++row_;
            continue;
        }
        // The data row arrives in pieces: it is collected first. The buffer
        // grows only as far as the data does.
        const size_t take = std::min(n - i, rowBytes_ - fill_);
        if (partial_.size() < fill_ + take)
            partial_.resize(fill_ + take);
        std::memcpy(partial_.data() + fill_, data + i, take);
        fill_ += take;
        i += take;
        if (fill_ == rowBytes_) {
            PlaceRow(partial_.data(), rowBytes_);
            fill_ = 0;
            ++row_;
        }
    }
    return row_ < rowEnd_;
}

void CSampleWriter::EndSegment()
{
    if (fill_ > 0 && row_ < rowEnd_)
        PlaceRow(partial_.data(), fill_);
    fill_ = 0;
    rowEnd_ = row_;
}

void CSampleWriter::UndoPredictor(uint8_t* data, size_t bytes) const
{
    // Each sample was stored as its difference from the same sample of the
    // pixel before it in the row (TIFF 6.0 section 14).
    const size_t stride = format_.planar ? 1 : format_.samplesPerPixel;
    if (format_.bitsPerSample == 8) {
        for (size_t i = stride; i < bytes; ++i)
            data[i] = static_cast<uint8_t>(data[i] + data[i - stride]);
        return;
    }
    // Wider samples are added as whole numbers in the file's byte order.
    switch (format_.bitsPerSample) {
    case 16: AddAlongRow<uint16_t>(data, bytes / 2, stride, format_.littleEndian); break;
    case 32: AddAlongRow<uint32_t>(data, bytes / 4, stride, format_.littleEndian); break;
    default: AddAlongRow<uint64_t>(data, bytes / 8, stride, format_.littleEndian); break;
    }
}

void CSampleWriter::UndoFloatPredictor(uint8_t* data, size_t bytes)
{
    // TIFF Technical Note 3, as libtiff undoes it: the bytes of the row were
    // differenced one sample apart, after the samples' bytes had been split
    // into planes, most significant first. The samples come out most
    // significant byte first, whatever the file's byte order.
    // Each lane of bytes one sample apart is summed in a register: summing
    // through memory waits for every store to reach the next load.
    const size_t stride = std::min<size_t>(format_.planar ? 1 : format_.samplesPerPixel, bytes);
    for (size_t lane = 0; lane < stride; ++lane) {
        uint8_t sum = data[lane];
        for (size_t i = lane + stride; i < bytes; i += stride) {
            sum = static_cast<uint8_t>(sum + data[i]);
            data[i] = sum;
        }
    }
    const size_t size = format_.bitsPerSample / 8;
    const size_t count = bytes / size;
    planes_.assign(data, data + bytes);
    for (size_t k = 0; k < size; ++k) {
        const uint8_t* plane = planes_.data() + k * count;
        for (size_t i = 0; i < count; ++i)
            data[i * size + k] = plane[i];
    }
}

uint32_t CSampleWriter::Sample(const uint8_t* data, size_t index) const
{
    switch (format_.bitsPerSample) {
    case 8: return data[index];
    case 16: {
        const uint8_t* p = data + 2 * index;
        return format_.littleEndian ? uint32_t{p[1]} << 8 | p[0] : uint32_t{p[0]} << 8 | p[1];
    }
    default: {
        // Packed samples, the first in the most significant bits.
        const uint32_t bits = format_.bitsPerSample;
        const size_t bit = index * bits;
        return (data[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1u);
    }
    }
}

const uint8_t* CSampleWriter::Undone(const uint8_t* data, size_t bytes)
{
    if (!format_.predictor && !format_.floatPredictor)
        return data;
    undone_.assign(data, data + bytes);
    if (format_.floatPredictor)
        UndoFloatPredictor(undone_.data(), bytes);
    else
        UndoPredictor(undone_.data(), bytes);
    return undone_.data();
}

double CSampleWriter::Value(const uint8_t* data, size_t index) const
{
    const uint32_t bits = format_.bitsPerSample;
    const uint8_t* p = data + index * (bits / 8);
    // Samples after the floating-point predictor come most significant
    // byte first, whatever the file's byte order.
    const bool little = format_.littleEndian && !format_.floatPredictor;
    uint64_t raw = 0;
    switch (bits) {
    case 8: raw = p[0]; break;
    case 16: raw = Load<uint16_t>(p, little); break;
    case 32: raw = Load<uint32_t>(p, little); break;
    case 64: raw = Load<uint64_t>(p, little); break;
    default: raw = little ? p[0] | p[1] << 8 | p[2] << 16 : p[0] << 16 | p[1] << 8 | p[2]; break;
    }
    if (format_.number == Number::Signed) {
        const uint64_t sign = uint64_t{1} << (bits - 1);
        return static_cast<double>(static_cast<int64_t>((raw ^ sign) - sign));
    }
    switch (bits) {
    case 16: return SmallFloat(static_cast<uint32_t>(raw), 5, 10);
    case 24: return SmallFloat(static_cast<uint32_t>(raw), 7, 16);
    case 32: return std::bit_cast<float>(static_cast<uint32_t>(raw));
    default: return std::bit_cast<double>(raw);
    }
}

uint8_t CSampleWriter::ValueLevel(double value) const
{
    // Linear from the smallest finite value (black) to the largest (white);
    // NaN is black, infinities the ends, a picture of one value mid-grey.
    if (std::isnan(value))
        return 0;
    if (std::isinf(value))
        return value > 0 ? 255 : 0;
    const ValueRange& r = format_.stretch;
    if (!(r.max > r.min))
        return 128;
    // Never below 0 (value is at least r.min), so truncation rounds down.
    const double level = (value - r.min) * 255.0 / (r.max - r.min) + 0.5;
    return static_cast<uint8_t>(std::min(level, 255.0));
}

void CSampleWriter::PlaceValues(const uint8_t* data, size_t bytes)
{
    const size_t spp = format_.planar ? 1 : format_.samplesPerPixel;
    const uint64_t whole = uint64_t{bytes} * 8 / (spp * format_.bitsPerSample);
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(visible_, whole));
    const uint32_t shown = format_.planar || format_.layout == Layout::Gray ? 1 : 3;
    if (measure_) {
        for (uint32_t k = 0; k < n; ++k)
            for (uint32_t c = 0; c < shown; ++c)
                if (const double v = Value(data, k * spp + c); std::isfinite(v))
                    measure_->Add(v);
        return;
    }
    uint8_t* p = RowTarget();
    for (uint32_t k = 0; k < n; ++k, p += 3) {
        if (format_.planar && format_.layout == Layout::Rgb) {
            p[2 - plane_] = ValueLevel(Value(data, k));
        } else if (format_.layout == Layout::Gray) {
            p[0] = p[1] = p[2] = ValueLevel(Value(data, k * spp));
        } else {
            p[0] = ValueLevel(Value(data, k * spp + 2));
            p[1] = ValueLevel(Value(data, k * spp + 1));
            p[2] = ValueLevel(Value(data, k * spp));
        }
    }
    if (picture_.view)
        Sampled(n);
}

uint8_t CSampleWriter::Gray(uint32_t value) const
{
    // 16-bit grey keeps its high byte; fewer bits are stretched to 0-255.
    const uint32_t bits = format_.bitsPerSample;
    const uint32_t level = bits == 16 ? value >> 8 : value * 255 / ((1u << bits) - 1u);
    return static_cast<uint8_t>(format_.whiteIsZero ? 255 - level : level);
}

uint8_t CSampleWriter::Level(uint32_t value) const
{
    // 16-bit colour is scaled to the nearest 8-bit level, as libtiff does.
    return static_cast<uint8_t>(format_.bitsPerSample == 16 ? (value + 128) / 257 : value);
}

void CSampleWriter::PlacePlane(const uint8_t* data, uint32_t n, uint8_t* p) const
{
    if (format_.layout == Layout::Rgb) {
        for (uint32_t k = 0; k < n; ++k, p += 3)
            p[2 - plane_] = Level(Sample(data, k));
        return;
    }
    // libtiff's RGBA reading takes the grey plane of a planar image with
    // extra samples as red, green and blue at once: scaled like colour, and
    // never inverted.
    for (uint32_t k = 0; k < n; ++k, p += 3)
        p[0] = p[1] = p[2] = Level(Sample(data, k));
}

void CSampleWriter::PlaceRow(const uint8_t* data, size_t bytes)
{
    // A view skips the rows it does not hold before any work on them.
    if (picture_.view && !measure_ && !RowInView())
        return;
    data = Undone(data, bytes);
    if (format_.number != Number::Unsigned) {
        PlaceValues(data, bytes);
        return;
    }
    // Plane 0 of a planar grey or palette image reads like a chunky one of
    // one sample a pixel.
    const size_t spp = format_.planar ? 1 : format_.samplesPerPixel;
    const uint64_t whole = uint64_t{bytes} * 8 / (spp * format_.bitsPerSample);
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(visible_, whole));
    PlaceSamples(data, n, RowTarget());
    if (picture_.view)
        Sampled(n);
}

void CSampleWriter::PlaceSamples(const uint8_t* data, uint32_t n, uint8_t* p) const
{
    const size_t spp = format_.planar ? 1 : format_.samplesPerPixel;
    if (format_.planar && (format_.layout == Layout::Rgb || format_.layout == Layout::Gray)) {
        PlacePlane(data, n, p);
        return;
    }
    switch (format_.layout) {
    case Layout::Rgb:
        if (format_.bitsPerSample == 8) {
            for (uint32_t k = 0; k < n; ++k, p += 3, data += spp) {
                p[0] = data[2];
                p[1] = data[1];
                p[2] = data[0];
            }
            return;
        }
        for (uint32_t k = 0; k < n; ++k, p += 3) {
            p[0] = Level(Sample(data, k * spp + 2));
            p[1] = Level(Sample(data, k * spp + 1));
            p[2] = Level(Sample(data, k * spp));
        }
        return;
    case Layout::Gray:
        for (uint32_t k = 0; k < n; ++k, p += 3)
            p[0] = p[1] = p[2] = Gray(Sample(data, k * spp));
        return;
    case Layout::Palette:
        for (uint32_t k = 0; k < n; ++k, p += 3) {
            const uint32_t i = Sample(data, k * spp);
            const bool known = i < format_.red.size();
            p[0] = known ? format_.blue[i] : 0;
            p[1] = known ? format_.green[i] : 0;
            p[2] = known ? format_.red[i] : 0;
        }
        return;
    case Layout::Cmyk:
        // Inks subtract from white, black from all three (libtiff's RGBA
        // reading of InkSet 1).
        for (uint32_t k = 0; k < n; ++k, p += 3, data += spp) {
            const uint32_t white = 255u - data[3];
            p[0] = static_cast<uint8_t>(white * (255u - data[2]) / 255u);
            p[1] = static_cast<uint8_t>(white * (255u - data[1]) / 255u);
            p[2] = static_cast<uint8_t>(white * (255u - data[0]) / 255u);
        }
        return;
    }
}
