// A 20-page G4 (CCITT T.6) document of 1728 x 2200 pixels, written by
// libtiff: the whole detailed analysis of the file (structure, one image
// window a page, every page drawn) against libtiff decoding every strip of
// every page of the same file, in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/analysis_app.h"
#include "core/headless_shell.h"
#include "image/image_buffer.h"

#if __has_include(<tiffio.h>)
#include <tiffio.h>

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 2200;
constexpr uint32_t kPages = 20;

// A page that looks like typed text: lines of glyph cells made of vertical
// and horizontal strokes, words separated by spaces, and a ruled box.
std::vector<uint8_t> MakePage(uint32_t seed)
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

bool WriteDocument(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    std::vector<uint8_t> line(kWidth / 8);
    for (uint32_t p = 0; p < kPages; ++p) {
        const std::vector<uint8_t> page = MakePage(p + 1);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, p, kPages);
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

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main()
{
    const std::string path = (std::filesystem::temp_directory_path() / "vantrel-bench-g4.tif").string();
    if (!WriteDocument(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("file: %s, %ju bytes, %u pages of %u x %u\n", path.c_str(),
                static_cast<uintmax_t>(std::filesystem::file_size(path)), kPages, kWidth, kHeight);

    std::vector<uint8_t> packed(static_cast<size_t>(kWidth / 8) * kHeight);
    double best = 1e9;
    double bestLibtiff = 1e9;
    double bestMemory = 1e9;
    size_t windows = 0;
    for (int run = 0; run < 3; ++run) {
        {
            CHeadlessShell shell;
            CAnalysisApp app(shell);
            app.OpenFiles({path});
            const auto start = std::chrono::steady_clock::now();
            app.RunDetailedAnalysis(path.c_str());
            best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
            if (const HeadlessDocument* doc = shell.FindDocument(path))
                windows = doc->images.size();
        }
        {
            // The pixel memory of one image window a page, without decoding:
            // fresh memory of 24 bits a pixel that the operating system must
            // map, while libtiff writes one bit a pixel into one buffer.
            const auto start = std::chrono::steady_clock::now();
            std::vector<CImageBuffer> bitmaps(kPages);
            const int32_t bw = CImageBuffer::PaddedSize(kWidth), bh = CImageBuffer::PaddedSize(kHeight);
            for (CImageBuffer& bitmap : bitmaps)
                bitmap.Create(bw, bw - int32_t(kWidth), bh, bh - int32_t(kHeight));
            bestMemory = std::min(bestMemory, Seconds(std::chrono::steady_clock::now() - start));
        }
        const auto start = std::chrono::steady_clock::now();
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        do {
            for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
                TIFFReadEncodedStrip(tif, s, packed.data(), static_cast<tmsize_t>(packed.size()));
        } while (TIFFReadDirectory(tif));
        TIFFClose(tif);
        bestLibtiff = std::min(bestLibtiff, Seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("image windows: %zu\n", windows);
    std::printf("detailed analysis with drawing: %.3f s\nlibtiff strip decoding:        %.3f s\nratio: %.2f\n", best,
                bestLibtiff, best / bestLibtiff);
    std::printf("of which the windows' pixel memory alone: %.3f s; ratio without it: %.2f\n", bestMemory,
                (best - bestMemory) / bestLibtiff);
    std::filesystem::remove(path);
    return 0;
}

#else
int main()
{
    std::puts("libtiff is not available: nothing to compare with");
    return 0;
}
#endif
