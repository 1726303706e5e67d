#pragma once
// The G4 test document of the fax benchmarks: 20 pages of 1728 x 2200
// pixels that look like typed text, written by libtiff (CCITT T.6).
#include <tiffio.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace g4_document {

inline constexpr uint32_t kWidth = 1728;
inline constexpr uint32_t kHeight = 2200;
inline constexpr uint32_t kPages = 20;

// A page that looks like typed text: lines of glyph cells made of vertical
// and horizontal strokes, words separated by spaces, and a ruled box.
inline std::vector<uint8_t> MakePage(uint32_t seed)
{
    std::vector<uint8_t> page(static_cast<size_t>(kWidth) * kHeight, 0);
    std::mt19937 random(seed);
    auto set = [&](uint32_t x, uint32_t y) {
        if (x < kWidth && y < kHeight)
            page[static_cast<size_t>(y) * kWidth + x] = 1;
    };
    for (uint32_t y = 150; y + 30 < kHeight - 150; y += 44) {
        uint32_t x = 120;
        while (x + 20 < kWidth - 120) {
            if (random() % 6 == 0) {
                x += 18;
                continue;
            }
            const uint32_t strokes = 2 + random() % 3;
            for (uint32_t s = 0; s < strokes; ++s) {
                if (random() % 2) {
                    const uint32_t sx = x + random() % 14, top = y + random() % 8, len = 10 + random() % 18;
                    for (uint32_t yy = top; yy < top + len; ++yy)
                        for (uint32_t t = 0; t < 3; ++t)
                            set(sx + t, yy);
                } else {
                    const uint32_t sy = y + random() % 26, left = x + random() % 6, len = 6 + random() % 10;
                    for (uint32_t xx = left; xx < left + len; ++xx)
                        for (uint32_t t = 0; t < 3; ++t)
                            set(xx, sy + t);
                }
            }
            x += 20;
        }
    }
    for (uint32_t x = 80; x < kWidth - 80; ++x)
        for (uint32_t t = 0; t < 4; ++t) {
            set(x, 100 + t);
            set(x, kHeight - 100 + t);
        }
    return page;
}

inline bool WriteDocument(const std::string& path, uint32_t pages = kPages)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    std::vector<uint8_t> line(kWidth / 8);
    for (uint32_t p = 0; p < pages; ++p) {
        const std::vector<uint8_t> page = MakePage(p % kPages + 1);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, p, pages);
        for (uint32_t y = 0; y < kHeight; ++y) {
            std::fill(line.begin(), line.end(), 0);
            for (uint32_t x = 0; x < kWidth; ++x)
                if (page[static_cast<size_t>(y) * kWidth + x])
                    line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            if (TIFFWriteScanline(tif, line.data(), y, 0) != 1) {
                TIFFClose(tif);
                return false;
            }
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return true;
}

}  // namespace g4_document

