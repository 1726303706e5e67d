// Laying out the structure of a 1000-page TIFF file: the rough and the
// detailed analysis against libtiff reading every directory of the same
// file, in the same run.
#include <algorithm>
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

constexpr int kPages = 1000;

void WriteFixture(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "wl");
    std::vector<uint8_t> row(64 * 3, 0x80);
    for (int page = 0; page < kPages; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 64);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 16);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_SOFTWARE, "structure benchmark");
        for (uint32_t y = 0; y < 16; ++y)
            TIFFWriteScanline(tif, row.data(), y, 0);
        TIFFWriteDirectory(tif);
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
    const std::string path = (std::filesystem::temp_directory_path() / "vantrel-bench-pages.tif").string();
    WriteFixture(path);
    std::printf("file: %s, %d pages, %ju bytes\n", path.c_str(), kPages,
                static_cast<uintmax_t>(std::filesystem::file_size(path)));
    double rough = 1e9, detailed = 1e9, libtiff = 1e9;
    for (int run = 0; run < 3; ++run) {
        CHeadlessSession app(AnalysisOptions{.formats = AllFormats()});
        auto start = std::chrono::steady_clock::now();
        app.OpenFiles({path});
        rough = std::min(rough, Seconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        app.AnalyseDetailed(path);
        detailed = std::min(detailed, Seconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        uint64_t sum = 0;
        do {
            uint64_t* offsets = nullptr;
            uint32_t width = 0;
            TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
            TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets);
            sum += width + (offsets ? offsets[0] : 0);
        } while (TIFFReadDirectory(tif));
        TIFFClose(tif);
        libtiff = std::min(libtiff, Seconds(std::chrono::steady_clock::now() - start));
        if (sum == 0)
            std::puts("libtiff read nothing");
    }
    std::printf("rough analysis (open):             %.3f s (%.2f x libtiff)\n", rough, rough / libtiff);
    std::printf("detailed analysis (tree, 1000 pictures): %.3f s (%.2f x libtiff)\n", detailed, detailed / libtiff);
    std::printf("libtiff reading every directory:   %.3f s\n", libtiff);
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
