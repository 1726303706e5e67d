#include "tiff/sample_writer.h"

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

void CSampleWriter::NextPixel()
{
    sample_ = 0;
    if (++column_ >= picture_.width) {
        column_ = 0;
        ++row_;
    }
}

bool CSampleWriter::Put(uint8_t b)
{
    if (row_ >= rowEnd_)
        return false;
    const auto y = static_cast<uint32_t>(row_);
    switch (format_.layout) {
    case Layout::Bilevel: {
        // Eight pixels a byte, most significant bit first; the unused bits
        // at the end of a row are padding.
        for (int bit = 7; bit >= 0 && row_ < rowEnd_; --bit) {
            const bool one = (b >> bit) & 1;
            const uint8_t level = one != format_.whiteIsZero ? 255 : 0;
            uint8_t* p = PixelAt(column_, y);
            p[0] = p[1] = p[2] = level;
            if (++column_ >= picture_.width) {
                column_ = 0;
                ++row_;
                break;
            }
        }
        return row_ < rowEnd_;
    }
    case Layout::Rgb:
    case Layout::Gray:
    case Layout::Palette: {
        const uint32_t shown = format_.layout == Layout::Rgb ? 3 : 1;
        if (sample_ < shown) {
            uint8_t value = b;
            if (format_.predictor && column_ > 0)
                value = static_cast<uint8_t>(value + previous_[sample_]);
            previous_[sample_] = value;
            uint8_t* p = PixelAt(column_, y);
            if (format_.layout == Layout::Rgb) {
                p[2 - sample_] = value;
            } else if (format_.layout == Layout::Gray) {
                p[0] = p[1] = p[2] = format_.whiteIsZero ? static_cast<uint8_t>(255 - value) : value;
            } else {
                const auto at = [&](const std::vector<uint32_t>& map) {
                    return value < map.size() ? static_cast<uint8_t>(map[value] >> 8) : uint8_t{0};
                };
                p[0] = at(format_.blue);
                p[1] = at(format_.green);
                p[2] = at(format_.red);
            }
        }
        if (++sample_ >= format_.samplesPerPixel)
            NextPixel();
        return row_ < rowEnd_;
    }
    }
    return false;
}
