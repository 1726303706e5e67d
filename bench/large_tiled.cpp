// A picture far beyond the picture budget: a 30,000 x 30,000 tiled 8-bit LZW
// TIFF (256 x 256 tiles, written by libtiff). `vantrel-dump -d` and --json
// on it, time and peak memory; then, in this process, what a window does
// with it: the reduced picture it opens with, and a 1920 x 1080 region at
// the picture's own size, as panning asks for it.
// Usage: bench_large_tiled [runs] [DIR]   (DIR: where the file is kept)
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/analyze.h"
#include "formats/all_formats.h"

using namespace bench_support;

namespace {

constexpr uint32_t kSide = 30000;
constexpr uint32_t kTile = 256;

// Gradients with a little noise, which LZW packs to about a third.
bool WriteLargeTiff(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w8");
    if (!tif)
        return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kSide);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kSide);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile);
    std::vector<uint8_t> tile(kTile * kTile);
    uint32_t state = 1;
    for (uint32_t y = 0; y < kSide; y += kTile)
        for (uint32_t x = 0; x < kSide; x += kTile) {
            for (uint32_t r = 0; r < kTile; ++r)
                for (uint32_t c = 0; c < kTile; ++c) {
                    state = state * 1664525u + 1013904223u;
                    tile[r * kTile + c] = static_cast<uint8_t>(((x + c) / 40 + (y + r) / 50) * 7 + (state >> 29));
                }
            if (TIFFWriteTile(tif, tile.data(), x, y, 0, 0) < 0) {
                TIFFClose(tif);
                return false;
            }
        }
    TIFFClose(tif);
    return true;
}

// Decodes picture 0 of path in this process, at a region when asked; the
// time it takes and the bitmap's size.
double DecodeOnce(const std::string& path, const PictureRegion* region, int& width, int& height)
{
    AnalysisOptions options{.formats = AllFormats(), .keepPixels = false};
    if (region) {
        options.hasRegion = true;
        options.region = *region;
    }
    const auto start = std::chrono::steady_clock::now();
    DecodePictures(path.c_str(), options, {0}, [&](size_t, ResultPicture& picture) {
        width = picture.image.PictureWidth();
        height = picture.image.PictureHeight();
    });
    return Seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path dir = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "vantrel-bench-large-tiled";
    fs::create_directories(dir);
    const std::string path = (dir / "large-tiled-lzw.tif").string();
    if (!fs::exists(path) && !WriteLargeTiff(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    const RunResult detailed = BestOf(runs, {VANTREL_DUMP, "-d", path});
    const RunResult json = BestOf(runs, {VANTREL_DUMP, "--json", "-d", path});
    std::printf("%u x %u tiled LZW (%ju MB): vantrel-dump -d %.2f s (%ld MB), --json %.2f s (%ld MB)\n", kSide, kSide,
                static_cast<uintmax_t>(fs::file_size(path) >> 20), detailed.seconds, detailed.peakKiB / 1024,
                json.seconds, json.peakKiB / 1024);
    double reduced = 1e9, part = 1e9;
    int w = 0, h = 0, pw = 0, ph = 0;
    const PictureRegion view{14000, 14000, 1920, 1080, 0};
    for (int i = 0; i < runs; ++i) {
        reduced = std::min(reduced, DecodeOnce(path, nullptr, w, h));
        part = std::min(part, DecodeOnce(path, &view, pw, ph));
    }
    std::printf("reduced picture %d x %d: %.2f s; 1920 x 1080 region at 100 %% (%d x %d): %.0f ms\n", w, h, reduced,
                pw, ph, part * 1000);
    return 0;
}
