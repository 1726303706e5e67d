#include "codec/fax_fixture.h"

#include <cstdio>
#include <cstring>

namespace fax_fixture {

Bytes PackBits(const std::string& bits, int padBit)
{
    Bytes out;
    uint32_t count = 0;
    uint8_t current = 0;
    for (char c : bits) {
        if (c != '0' && c != '1')
            continue;
        current = static_cast<uint8_t>((current << 1) | (c == '1' ? 1 : 0));
        if (++count % 8 == 0) {
            out.push_back(current);
            current = 0;
        }
    }
    if (count % 8 != 0) {
        const uint32_t spare = 8 - count % 8;
        current = static_cast<uint8_t>(current << spare);
        if (padBit)
            current = static_cast<uint8_t>(current | ((1u << spare) - 1));
        out.push_back(current);
    }
    return out;
}

Picture::Picture(uint32_t width_, uint32_t height_) : width(width_), height(height_)
{
    const int32_t w = static_cast<int32_t>(width);
    const int32_t h = static_cast<int32_t>(height);
    const int32_t bw = CImageBuffer::PaddedSize(w);
    const int32_t bh = CImageBuffer::PaddedSize(h);
    uint8_t* pixels = buffer.Create(bw, bw - w, bh, bh - h);
    if (pixels)
        std::memset(pixels, kUntouched, static_cast<size_t>(bw) * static_cast<size_t>(bh) * 3);
}

std::string Picture::Row(uint32_t y) const
{
    std::string text;
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = buffer.PixelAt(static_cast<int32_t>(x), static_cast<int32_t>(y));
        if (p[0] != p[1] || p[1] != p[2])
            text += '!';
        else if (p[0] == 0xFF)
            text += '.';
        else if (p[0] == 0x00)
            text += '#';
        else if (p[0] == kUntouched)
            text += '?';
        else
            text += '!';
    }
    return text;
}

std::vector<std::string> Picture::Rows() const
{
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < height; ++y)
        rows.push_back(Row(y));
    return rows;
}

bool Picture::MarginUntouched() const
{
    const uint8_t* pixels = buffer.Pixels();
    const size_t rowBytes = buffer.RowBytes();
    const uint32_t bitmapHeight = static_cast<uint32_t>(buffer.BitmapHeight());
    for (uint32_t memoryRow = 0; memoryRow < bitmapHeight; ++memoryRow) {
        const uint8_t* row = pixels + memoryRow * rowBytes;
        const bool pictureRow = memoryRow >= bitmapHeight - height;
        const size_t from = pictureRow ? static_cast<size_t>(width) * 3 : 0;
        for (size_t i = from; i < rowBytes; ++i)
            if (row[i] != kUntouched)
                return false;
    }
    return true;
}

long DecodeInto(Picture& picture, const Bytes& strip, uint32_t mode, uint32_t rows, uint32_t byteCount,
                uint32_t topRow)
{
    // A few bytes before the strip make sure the decoder starts at the
    // stream's position rather than at the start of the file.
    static const Bytes kLead = {0x00, 0xFF, 0x00};
    FILE* fp = std::tmpfile();
    if (!fp)
        return -1;
    std::fwrite(kLead.data(), 1, kLead.size(), fp);
    if (!strip.empty())
        std::fwrite(strip.data(), 1, strip.size(), fp);
    std::fseek(fp, static_cast<long>(kLead.size()), SEEK_SET);
    CFaxDecoder decoder;
    decoder.Decode(fp, picture.width, rows, picture.Stride(), picture.BaseRow(topRow), mode,
                   picture.buffer.Pixels(), byteCount);
    const long end = std::ftell(fp) - static_cast<long>(kLead.size());
    std::fclose(fp);
    return end;
}

std::vector<std::string> DecodeRows(const Bytes& strip, uint32_t width, uint32_t height, uint32_t mode,
                                    uint32_t byteCount)
{
    Picture picture(width, height);
    DecodeInto(picture, strip, mode, height, byteCount);
    return picture.Rows();
}

}  // namespace fax_fixture
