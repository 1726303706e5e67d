#include "cli/image_export.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Writes the pixels of rows [0, h) of image (w wide), from the bottom when
// bottomUp, as blue-green-red or red-green-blue, each row padded.
bool WriteRows(FILE* fp, const CImageBuffer& image, int32_t w, int32_t h, bool bottomUp, bool rgb, size_t rowPadding)
{
    if (!image.Pixels() || image.PictureWidth() < w || image.PictureHeight() < h)
        return false;
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3 + rowPadding, 0);
    bool ok = true;
    for (int32_t k = 0; ok && k < h; ++k) {
        const int32_t pictureRow = bottomUp ? h - 1 - k : k;
        const uint8_t* src = image.PixelAt(0, pictureRow);
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = src + 3 * x;
            uint8_t* d = &row[static_cast<size_t>(x) * 3];
            d[0] = rgb ? p[2] : p[0];
            d[1] = p[1];
            d[2] = rgb ? p[0] : p[2];
        }
        ok = std::fwrite(row.data(), 1, row.size(), fp) == row.size();
    }
    return ok;
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& header, const CImageBuffer& image,
              bool bottomUp, bool rgb, size_t rowPadding)
{
    if (!image.Pixels() || image.PictureWidth() <= 0 || image.PictureHeight() <= 0)
        return false;
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), fp) == header.size();
    ok = ok && WriteRows(fp, image, image.PictureWidth(), image.PictureHeight(), bottomUp, rgb, rowPadding);
    return std::fclose(fp) == 0 && ok;
}

// The bands from the bottom when bottomUp, else from the top.
bool WriteBands(const std::string& path, const std::vector<uint8_t>& header, uint32_t width, uint32_t height,
                uint32_t rows, const PictureBand& band, bool bottomUp, bool rgb, size_t rowPadding)
{
    if (width == 0 || height == 0 || rows == 0 || width > INT32_MAX || height > INT32_MAX)
        return false;
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), fp) == header.size();
    const uint32_t bands = (height - 1) / rows + 1;
    for (uint32_t k = 0; ok && k < bands; ++k) {
        const uint32_t i = bottomUp ? bands - 1 - k : k;
        const uint32_t y = i * rows;
        const uint32_t n = std::min(rows, height - y);
        ok = WriteRows(fp, band(y, n), static_cast<int32_t>(width), static_cast<int32_t>(n), bottomUp, rgb, rowPadding);
    }
    return std::fclose(fp) == 0 && ok;
}

std::vector<uint8_t> BmpHeader(uint32_t w, uint32_t h, size_t padding)
{
    const uint32_t imageBytes = static_cast<uint32_t>((w * 3 + padding) * h);
    std::vector<uint8_t> header{'B', 'M'};
    PutLe(header, 54 + imageBytes, 4);
    PutLe(header, 0, 4);
    PutLe(header, 54, 4);
    PutLe(header, 40, 4);
    PutLe(header, w, 4);
    PutLe(header, h, 4);
    PutLe(header, 1, 2);
    PutLe(header, 24, 2);
    PutLe(header, 0, 4);
    PutLe(header, imageBytes, 4);
    PutLe(header, 2835, 4);
    PutLe(header, 2835, 4);
    PutLe(header, 0, 4);
    PutLe(header, 0, 4);
    return header;
}

std::vector<uint8_t> PpmHeader(uint32_t w, uint32_t h)
{
    const std::string text = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}
}  // namespace

bool WriteBmp(const CImageBuffer& image, const std::string& path)
{
    const uint32_t w = static_cast<uint32_t>(image.PictureWidth());
    const uint32_t h = static_cast<uint32_t>(image.PictureHeight());
    const size_t padding = (4 - (w * 3) % 4) % 4;
    return WriteAll(path, BmpHeader(w, h, padding), image, true, false, padding);
}

bool WritePpm(const CImageBuffer& image, const std::string& path)
{
    return WriteAll(path, PpmHeader(static_cast<uint32_t>(image.PictureWidth()), static_cast<uint32_t>(image.PictureHeight())),
                    image, false, true, 0);
}

bool WriteBmpInBands(const std::string& path, uint32_t width, uint32_t height, uint32_t rows, const PictureBand& band)
{
    // A BMP file's sizes are 32-bit.
    const size_t padding = (4 - (uint64_t{width} * 3) % 4) % 4;
    if ((uint64_t{width} * 3 + padding) * height > UINT32_MAX - 54)
        return false;
    return WriteBands(path, BmpHeader(width, height, padding), width, height, rows, band, true, false, padding);
}

bool WritePpmInBands(const std::string& path, uint32_t width, uint32_t height, uint32_t rows, const PictureBand& band)
{
    return WriteBands(path, PpmHeader(width, height), width, height, rows, band, false, true, 0);
}
