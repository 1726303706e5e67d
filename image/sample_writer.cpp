#include "image/sample_writer.h"

#include <algorithm>

CSampleWriter::CSampleWriter(const Picture& picture, Format format) : picture_(picture), format_(std::move(format))
{
    if (format_.samplesPerPixel == 0)
        format_.samplesPerPixel = 1;
    // A picture larger than its pixel memory is cut to it.
    picture_.width = std::min(picture_.width, picture_.bitmapWidth);
    picture_.height = std::min(picture_.height, picture_.bitmapHeight);
    if (!picture_.pixels)
        picture_.width = picture_.height = 0;
}

void CSampleWriter::BeginStrip(uint64_t firstRow, uint64_t rows)
{
    column_ = 0;
    sample_ = 0;
    row_ = firstRow;
    rowEnd_ = std::min<uint64_t>(firstRow + rows, picture_.height);
    if (picture_.width == 0)
        rowEnd_ = row_;
}

uint64_t CSampleWriter::BytesWanted() const
{
    if (row_ >= rowEnd_)
        return 0;
    const uint64_t rowBytes = format_.layout == Layout::Bilevel ? (uint64_t{picture_.width} + 7) / 8
                                                                : uint64_t{picture_.width} * format_.samplesPerPixel;
    return (rowEnd_ - row_) * rowBytes;
}

bool CSampleWriter::PutRun(const uint8_t* data, size_t n)
{
    if (row_ >= rowEnd_)
        return false;
    switch (format_.layout) {
    case Layout::Rgb: PutSamples<Layout::Rgb>(data, n); break;
    case Layout::Gray: PutSamples<Layout::Gray>(data, n); break;
    case Layout::Palette: PutSamples<Layout::Palette>(data, n); break;
    case Layout::Bilevel: PutBits(data, n); break;
    }
    return row_ < rowEnd_;
}

template <CSampleWriter::Layout L>
void CSampleWriter::PutSamples(const uint8_t* data, size_t n)
{
    constexpr uint32_t kShown = L == Layout::Rgb ? 3 : 1;
    const uint32_t spp = format_.samplesPerPixel;
    const bool predictor = format_.predictor;
    size_t i = 0;
    while (i < n && row_ < rowEnd_) {
        // One row at a time: the row's pixel memory is fixed meanwhile.
        uint8_t* rowPixels = PixelAt(0, static_cast<uint32_t>(row_));
        if constexpr (L == Layout::Rgb) {
            // Whole pixels of three samples, the common case, without the
            // per-sample bookkeeping.
            if (spp == 3 && sample_ == 0) {
                const size_t pixels = std::min<size_t>((n - i) / 3, picture_.width - column_);
                uint8_t* p = rowPixels + size_t{column_} * 3;
                const uint8_t* src = data + i;
                if (predictor) {
                    uint8_t r = previous_[0], g = previous_[1], b = previous_[2];
                    for (size_t k = 0; k < pixels; ++k, p += 3, src += 3) {
                        const bool first = column_ + k == 0;
                        r = static_cast<uint8_t>(src[0] + (first ? 0 : r));
                        g = static_cast<uint8_t>(src[1] + (first ? 0 : g));
                        b = static_cast<uint8_t>(src[2] + (first ? 0 : b));
                        p[0] = b;
                        p[1] = g;
                        p[2] = r;
                    }
                    previous_[0] = r;
                    previous_[1] = g;
                    previous_[2] = b;
                } else {
                    for (size_t k = 0; k < pixels; ++k, p += 3, src += 3) {
                        p[0] = src[2];
                        p[1] = src[1];
                        p[2] = src[0];
                    }
                    if (pixels > 0) {
                        previous_[0] = src[-3];
                        previous_[1] = src[-2];
                        previous_[2] = src[-1];
                    }
                }
                i += pixels * 3;
                column_ += static_cast<uint32_t>(pixels);
                if (column_ >= picture_.width) {
                    column_ = 0;
                    ++row_;
                    continue;
                }
            }
        }
        while (i < n) {
            const uint8_t b = data[i++];
            if (sample_ < kShown) {
                uint8_t value = b;
                if (predictor && column_ > 0)
                    value = static_cast<uint8_t>(value + previous_[sample_]);
                previous_[sample_] = value;
                uint8_t* p = rowPixels + size_t{column_} * 3;
                if constexpr (L == Layout::Rgb) {
                    p[2 - sample_] = value;
                } else if constexpr (L == Layout::Gray) {
                    p[0] = p[1] = p[2] = format_.whiteIsZero ? static_cast<uint8_t>(255 - value) : value;
                } else {
                    p[0] = value < format_.blue.size() ? static_cast<uint8_t>(format_.blue[value] >> 8) : 0;
                    p[1] = value < format_.green.size() ? static_cast<uint8_t>(format_.green[value] >> 8) : 0;
                    p[2] = value < format_.red.size() ? static_cast<uint8_t>(format_.red[value] >> 8) : 0;
                }
            }
            if (++sample_ < spp)
                continue;
            sample_ = 0;
            if (++column_ >= picture_.width) {
                column_ = 0;
                ++row_;
                break;
            }
        }
    }
}

void CSampleWriter::PutBits(const uint8_t* data, size_t n)
{
    // Eight pixels a byte, most significant bit first; the unused bits at
    // the end of a row are padding.
    for (size_t i = 0; i < n && row_ < rowEnd_; ++i) {
        const uint8_t b = data[i];
        uint8_t* rowPixels = PixelAt(0, static_cast<uint32_t>(row_));
        for (int bit = 7; bit >= 0; --bit) {
            const bool one = (b >> bit) & 1;
            uint8_t* p = rowPixels + size_t{column_} * 3;
            p[0] = p[1] = p[2] = one != format_.whiteIsZero ? 255 : 0;
            if (++column_ >= picture_.width) {
                column_ = 0;
                ++row_;
                break;
            }
        }
    }
}
