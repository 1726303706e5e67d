// Decoding a 4000 x 3000 RGB LZW TIFF with horizontal differencing: the
// detailed analysis (which draws the picture) against libtiff reading every
// strip of the same file, in the same run.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/analyze.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"

#if __has_include(<tiffio.h>)
#include <tiffio.h>

namespace {

constexpr uint32_t kWidth = 4000;
constexpr uint32_t kHeight = 3000;

void WriteFixture(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "wl");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, 2);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<uint8_t> row(kWidth * 3);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            // A smooth picture with some texture, like a photograph.
            row[x * 3] = uint8_t(x / 16 + y / 32 + ((x * y) >> 9) % 7);
            row[x * 3 + 1] = uint8_t(y / 12 + (x % 5));
            row[x * 3 + 2] = uint8_t((x + y) / 24 + ((x ^ y) & 3));
        }
        TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main()
{
    const std::string path = (std::filesystem::temp_directory_path() / "vantrel-bench-lzw.tif").string();
    WriteFixture(path);
    std::printf("file: %s, %ju bytes\n", path.c_str(), static_cast<uintmax_t>(std::filesystem::file_size(path)));

    double best = 1e9;
    double bestLibtiff = 1e9;
    for (int run = 0; run < 3; ++run) {
        CHeadlessSession app(AnalysisOptions{.formats = AllFormats()});
        app.OpenFiles({path});
        auto start = std::chrono::steady_clock::now();
        app.AnalyseDetailed(path);
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        std::vector<uint8_t> strip(TIFFStripSize(tif));
        for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
            TIFFReadEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(strip.size()));
        TIFFClose(tif);
        bestLibtiff = std::min(bestLibtiff, Seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("detailed analysis with drawing: %.3f s\nlibtiff strip decoding:        %.3f s\nratio: %.2f\n", best,
                bestLibtiff, best / bestLibtiff);
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
