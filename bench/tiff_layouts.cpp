// Two 4000 x 3000 RGB TIFF layouts of today's writers, each written by
// libtiff: new-style JPEG (Compression 7, YCbCr 2 x 2, 16 rows a strip,
// shared JPEGTables) and LZW in 256 x 256 tiles with horizontal differencing.
// For each, the whole detailed analysis (which draws the picture), on every
// decoding thread and on one, against libtiff decoding every strip or tile of
// the same file to RGB samples in the same run (TIFFReadEncodedStrip with
// JPEGCOLORMODE_RGB, so that libjpeg upsamples and converts the colours as
// Vantrel does; TIFFReadEncodedTile for the tiles). Best of N runs each,
// alternating.
// Usage: bench_tiff_layouts [runs] [DIR]   (DIR: where to write and keep the files)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/decode_threads.h"
#include "core/analyze.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"

#if __has_include(<tiffio.h>)
#include <tiffio.h>

namespace {

constexpr uint32_t kWidth = 4000;
constexpr uint32_t kHeight = 3000;

// A smooth picture with some texture, like a photograph.
void FillRow(std::vector<uint8_t>& row, uint32_t y)
{
    for (uint32_t x = 0; x < kWidth; ++x) {
        row[x * 3] = uint8_t(x / 16 + y / 32 + ((x * y) >> 9) % 7);
        row[x * 3 + 1] = uint8_t(y / 12 + (x % 5));
        row[x * 3 + 2] = uint8_t((x + y) / 24 + ((x ^ y) & 3));
    }
}

void CommonFields(TIFF* tif)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
}

bool WriteJpegStrips(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    CommonFields(tif);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
    TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<uint8_t> row(kWidth * 3);
    bool ok = true;
    for (uint32_t y = 0; y < kHeight && ok; ++y) {
        FillRow(row, y);
        ok = TIFFWriteScanline(tif, row.data(), y, 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

bool WriteLzwTiles(const std::string& path)
{
    constexpr uint32_t kTile = 256;
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    CommonFields(tif);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, 2);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile);
    std::vector<uint8_t> row(kWidth * 3);
    std::vector<uint8_t> tile(size_t{kTile} * kTile * 3);
    bool ok = true;
    for (uint32_t ty = 0; ty < kHeight && ok; ty += kTile) {
        std::vector<std::vector<uint8_t>> rows;
        for (uint32_t y = ty; y < ty + kTile; ++y) {
            std::fill(row.begin(), row.end(), 0);
            if (y < kHeight)
                FillRow(row, y);
            rows.push_back(row);
        }
        for (uint32_t tx = 0; tx < kWidth && ok; tx += kTile) {
            std::fill(tile.begin(), tile.end(), 0);
            for (uint32_t r = 0; r < kTile; ++r)
                for (uint32_t c = 0; c < kTile && tx + c < kWidth; ++c)
                    std::copy_n(&rows[r][(tx + c) * 3], 3, &tile[(size_t{r} * kTile + c) * 3]);
            ok = TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0) > 0;
        }
    }
    TIFFClose(tif);
    return ok;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double TimeVantrel(const std::string& path, uint32_t threads, size_t* windows)
{
    CHeadlessSession app(AnalysisOptions{.formats = AllFormats(), .decodeThreads = threads});
    app.OpenFiles({path});
    const auto start = std::chrono::steady_clock::now();
    app.AnalyseDetailed(path);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (const AnalysisResult* doc = app.Detailed(path))
        *windows = doc->pictures.size();
    return seconds;
}

double TimeLibtiff(const std::string& path)
{
    const auto start = std::chrono::steady_clock::now();
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (TIFFIsTiled(tif)) {
        std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(tif)));
        for (uint32_t t = 0; t < TIFFNumberOfTiles(tif); ++t)
            TIFFReadEncodedTile(tif, t, tile.data(), static_cast<tmsize_t>(tile.size()));
    } else {
        uint16_t compression = 0;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        if (compression == COMPRESSION_JPEG)
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tif)));
        for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
            TIFFReadEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(strip.size()));
    }
    TIFFClose(tif);
    return Seconds(std::chrono::steady_clock::now() - start);
}

void Compare(const char* name, const std::string& path, int runs)
{
    double all = 1e9, one = 1e9, libtiff = 1e9;
    size_t windows = 0;
    for (int run = 0; run < runs; ++run) {
        all = std::min(all, TimeVantrel(path, 0, &windows));
        libtiff = std::min(libtiff, TimeLibtiff(path));
        one = std::min(one, TimeVantrel(path, 1, &windows));
    }
    std::printf("%s: %ju bytes, %zu image window(s)\n", name, static_cast<uintmax_t>(std::filesystem::file_size(path)),
                windows);
    std::printf("  detailed analysis: %.3f s (one thread %.3f s)   libtiff: %.3f s   ratio %.2f (one thread %.2f), best "
                "of %d\n",
                all, one, libtiff, all / libtiff, one / libtiff, runs);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool keep = argc > 2;
    const std::filesystem::path dir = keep ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
    const std::string jpeg = (dir / "vantrel-bench-jpeg-strips.tif").string();
    const std::string tiles = (dir / "vantrel-bench-lzw-tiles.tif").string();
    if (!WriteJpegStrips(jpeg) || !WriteLzwTiles(tiles)) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    Compare("Compression 7, YCbCr 2x2, 16 rows a strip", jpeg, runs);
    Compare("LZW, Predictor 2, 256 x 256 tiles", tiles, runs);
    if (!keep) {
        std::filesystem::remove(jpeg);
        std::filesystem::remove(tiles);
    }
    return 0;
}

#else
int main()
{
    std::puts("libtiff is not available: nothing to compare with");
    return 0;
}
#endif
