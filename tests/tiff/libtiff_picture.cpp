#include "tiff/libtiff_picture.h"

#if __has_include(<tiffio.h>)
#include <gtest/gtest.h>

#include <algorithm>

namespace tiff_test {

namespace {

uint8_t Sample(const Kind& kind, uint32_t i, uint32_t y)
{
    if (kind.bits == 1) {
        // Blank and solid rows and blocks, and stripes of many widths, so
        // that the fax codings need terminating and make-up codes and every
        // two-dimensional mode.
        const uint32_t x = i * 8;
        if (y % 11 == 3)
            return 0x00;
        if ((x / 64 + y / 9) % 3 == 0)
            return 0xFF;
        return static_cast<uint8_t>((0xF0 >> (y % 5)) ^ (i * 37 + y * y));
    }
    const uint32_t x = i / kind.samples;
    const uint32_t s = i % kind.samples;
    return static_cast<uint8_t>(((x / 3) * 29 + y * 13 + s * 71) ^ (y % 5 == 0 ? 0xFF : 0));
}

}  // namespace

void WritePicture(const std::string& path, bool littleEndian, const Kind& kind, uint32_t width, uint32_t height,
                  uint32_t rowsPerStrip)
{
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), littleEndian ? "wl" : "wb");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, kind.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, kind.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, kind.compression);
    if (kind.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, kind.group3Options);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (kind.fillOrder != FILLORDER_MSB2LSB)
        TIFFSetField(tif, TIFFTAG_FILLORDER, kind.fillOrder);
    if (kind.predictor != 1)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, kind.predictor);
    if (kind.samples == 4) {
        const uint16_t alpha[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, alpha);
    }
    if (kind.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> r(256), g(256), b(256);
        for (int i = 0; i < 256; ++i) {
            r[i] = uint16_t(i * 257);
            g[i] = uint16_t((255 - i) * 256 + 17);
            b[i] = uint16_t((i * 7 % 256) * 256);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    const uint32_t rowBytes = kind.bits == 1 ? (width + 7) / 8 : width * kind.samples;
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t i = 0; i < rowBytes; ++i)
            row[i] = Sample(kind, i, y);
        ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
    }
    TIFFClose(tif);
}

std::vector<uint8_t> LibtiffPicture(const std::string& path, uint32_t width, uint32_t height)
{
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    uint16_t bits = 0, samples = 0, photometric = 0;
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (photometric == PHOTOMETRIC_PALETTE)
        TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b);
    std::vector<uint8_t> out;
    std::vector<uint8_t> row(TIFFScanlineSize(tif));
    for (uint32_t y = 0; y < height; ++y) {
        TIFFReadScanline(tif, row.data(), y, 0);
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t bgr[3];
            if (bits == 1) {
                const bool one = (row[x / 8] >> (7 - x % 8)) & 1;
                const bool white = one != (photometric == PHOTOMETRIC_MINISWHITE);
                bgr[0] = bgr[1] = bgr[2] = white ? 255 : 0;
            } else if (photometric == PHOTOMETRIC_PALETTE) {
                const uint8_t i = row[x];
                bgr[0] = uint8_t(b[i] >> 8);
                bgr[1] = uint8_t(g[i] >> 8);
                bgr[2] = uint8_t(r[i] >> 8);
            } else if (samples < 3) {
                const uint8_t v = row[x * samples];
                bgr[0] = bgr[1] = bgr[2] = photometric == PHOTOMETRIC_MINISWHITE ? uint8_t(255 - v) : v;
            } else {
                bgr[0] = row[x * samples + 2];
                bgr[1] = row[x * samples + 1];
                bgr[2] = row[x * samples];
            }
            out.insert(out.end(), bgr, bgr + 3);
        }
    }
    TIFFClose(tif);
    return out;
}

std::vector<uint8_t> DrawnPicture(const CImageBuffer& image)
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < image.PictureHeight(); ++y)
        for (int32_t x = 0; x < image.PictureWidth(); ++x) {
            const uint8_t* p = image.PixelAt(x, y);
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

int FirstDifferentRow(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t width)
{
    const size_t rowBytes = size_t{width} * 3;
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return static_cast<int>(i / rowBytes);
    return a.size() == b.size() ? -1 : static_cast<int>(n / rowBytes);
}

std::unique_ptr<Drawing> DrawFile(const std::string& path, uint32_t decodeThreads)
{
    auto d = std::make_unique<Drawing>(decodeThreads);
    d->h.app.OpenFiles({path});
    d->h.Detailed(path);
    d->detail = d->h.DetailText(path);
    if (const AnalysisResult* doc = d->h.app.Detailed(path))
        for (const auto& w : doc->pictures)
            d->windows.push_back(&w);
    return d;
}

}  // namespace tiff_test

#endif
