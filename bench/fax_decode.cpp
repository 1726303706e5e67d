// Decoding speed of the fax strip decoder against libtiff on the same file:
// a 20-page G4 (CCITT T.6) document of 1728 x 2200 pixels, coded by libtiff.
// Both decode every strip of every page into memory that is allocated once;
// the decoder writes 24-bit pixels, libtiff packed bits.
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "image/image_buffer.h"
#include "image/strip_decoder.h"

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

struct Strip {
    uint64_t offset;
    uint64_t bytes;
    uint32_t rows;
    uint32_t firstRow;
};

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main()
{
    const std::string path = (std::filesystem::temp_directory_path() / "vantrel-bench-fax.tif").string();
    if (!WriteDocument(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    // The strips of every page, as the TIFF analyzer would find them.
    std::vector<std::vector<Strip>> pages;
    uint64_t codedBytes = 0;
    {
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        do {
            uint64_t* offsets = nullptr;
            uint64_t* counts = nullptr;
            uint32_t rowsPerStrip = kHeight;
            TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets);
            TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
            TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            std::vector<Strip> strips;
            uint32_t done = 0;
            for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
                const uint32_t rows = std::min(rowsPerStrip, kHeight - done);
                strips.push_back({offsets[s], counts[s], rows, done});
                codedBytes += counts[s];
                done += rows;
            }
            pages.push_back(strips);
        } while (TIFFReadDirectory(tif));
        TIFFClose(tif);
    }

    CImageBuffer bitmap;
    const int32_t bw = CImageBuffer::PaddedSize(kWidth), bh = CImageBuffer::PaddedSize(kHeight);
    uint8_t* pixels = bitmap.Create(bw, bw - int32_t(kWidth), bh, bh - int32_t(kHeight));
    std::memset(pixels, 0x80, bitmap.RowBytes() * static_cast<size_t>(bh));
    std::vector<uint8_t> packed(static_cast<size_t>(kWidth / 8) * kHeight);

    const int rounds = 5;
    double ours = 1e9, theirs = 1e9;
    size_t blackOurs = 0;
    uint64_t blackTheirs = 0;
    for (int round = 0; round < rounds; ++round) {
        {
            const auto start = std::chrono::steady_clock::now();
            FILE* fp = std::fopen(path.c_str(), "rb");
            CStripDecoder decoder;
            for (const auto& strips : pages)
                for (const Strip& s : strips) {
                    std::fseek(fp, static_cast<long>(s.offset), SEEK_SET);
                    decoder.Decode(fp, kWidth, s.rows, static_cast<uint32_t>(bw), static_cast<uint32_t>(bh) - s.firstRow,
                                   CStripDecoder::kModeT6, pixels, static_cast<uint32_t>(s.bytes));
                }
            std::fclose(fp);
            ours = std::min(ours, Seconds(std::chrono::steady_clock::now() - start));
            blackOurs = static_cast<size_t>(std::count(pixels, pixels + bitmap.RowBytes() * size_t(bh), 0)) / 3;
        }
        {
            const auto start = std::chrono::steady_clock::now();
            TIFF* tif = TIFFOpen(path.c_str(), "r");
            blackTheirs = 0;
            do {
                for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
                    TIFFReadEncodedStrip(tif, s, packed.data(), static_cast<tmsize_t>(packed.size()));
            } while (TIFFReadDirectory(tif));
            TIFFClose(tif);
            theirs = std::min(theirs, Seconds(std::chrono::steady_clock::now() - start));
            for (uint8_t b : packed)
                blackTheirs += static_cast<uint64_t>(__builtin_popcount(b));
        }
    }
    std::remove(path.c_str());

    std::printf("G4 %u pages of %u x %u, %llu coded bytes\n", kPages, kWidth, kHeight,
                static_cast<unsigned long long>(codedBytes));
    std::printf("last page black pixels: strip decoder %zu, libtiff %llu\n", blackOurs,
                static_cast<unsigned long long>(blackTheirs));
    std::printf("strip decoder: %.1f ms   libtiff: %.1f ms   ratio %.2f (best of %d)\n", ours * 1e3, theirs * 1e3,
                ours / theirs, rounds);
    return 0;
}
