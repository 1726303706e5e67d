#include "cli/image_export.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
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
    const int32_t w = image.PictureWidth();
    const int32_t h = image.PictureHeight();
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3 + rowPadding, 0);
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
    return std::fclose(fp) == 0 && ok;
}
}

bool WriteBmp(const CImageBuffer& image, const std::string& path)
{
    const uint32_t w = static_cast<uint32_t>(image.PictureWidth());
    const uint32_t h = static_cast<uint32_t>(image.PictureHeight());
    const size_t padding = (4 - (w * 3) % 4) % 4;
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
    return WriteAll(path, header, image, true, false, padding);
}

bool WritePpm(const CImageBuffer& image, const std::string& path)
{
    const std::string text = "P6\n" + std::to_string(image.PictureWidth()) + " " +
                             std::to_string(image.PictureHeight()) + "\n255\n";
    return WriteAll(path, std::vector<uint8_t>(text.begin(), text.end()), image, false, true, 0);
}
