// A 20-page G4 (CCITT T.6) document of 1728 x 2200 pixels, written by
// libtiff: the whole detailed analysis of the file (structure, one image
// window a page, every page drawn) against libtiff decoding every strip of
// every page of the same file, in the same run; the analysis on every
// decoding thread and on one.
// Usage: bench_tiff_g4 [runs]
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codec/decode_threads.h"
#include "core/analyze.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"
#include "image/image_buffer.h"

#if __has_include(<tiffio.h>)
#include <tiffio.h>

#include "g4_document.h"

namespace {

using g4_document::kHeight;
using g4_document::kPages;
using g4_document::kWidth;
using g4_document::MakePage;
using g4_document::WriteDocument;

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv)
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
    double bestRgba = 1e9;
    size_t windows = 0;
    double bestOne = 1e9;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    for (int run = 0; run < runs; ++run) {
        // On every decoding thread and on the caller's thread alone, each
        // first in turn: the first analysis after the previous run's bitmaps
        // were freed may pay for the system's making huge pages again.
        for (uint32_t threads : run % 2 ? std::vector<uint32_t>{1u, 0u} : std::vector<uint32_t>{0u, 1u}) {
            CHeadlessSession app(AnalysisOptions{.formats = AllFormats(), .decodeThreads = threads});
            app.OpenFiles({path});
            const auto start = std::chrono::steady_clock::now();
            app.AnalyseDetailed(path);
            double& slot = threads == 1 ? bestOne : best;
            slot = std::min(slot, Seconds(std::chrono::steady_clock::now() - start));
            if (const AnalysisResult* doc = app.Detailed(path))
                windows = doc->pictures.size();
        }
        {
            // The pixel memory of one image window a page, written once row
            // by row from the top as a decoder does, without decoding: fresh
            // memory of 24 bits a pixel that the operating system must clear
            // and map, while libtiff writes one bit a pixel into one buffer.
            const auto start = std::chrono::steady_clock::now();
            std::vector<CImageBuffer> bitmaps(kPages);
            const int32_t bw = CImageBuffer::PaddedSize(kWidth), bh = CImageBuffer::PaddedSize(kHeight);
            for (CImageBuffer& bitmap : bitmaps)
                if (uint8_t* pixels = bitmap.Create(bw, bw - int32_t(kWidth), bh, bh - int32_t(kHeight)))
                    for (int32_t row = bh; row-- > 0;)
                        std::memset(pixels + bitmap.RowBytes() * static_cast<size_t>(row), 0xFF, bitmap.RowBytes());
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
    // libtiff decoding the same pages to displayable pixels, as Vantrel
    // does: one fresh RGBA raster a page, as a viewer holds one a window.
    // These runs come after the others: freeing their 304 MB of rasters
    // leaves the system work to do (on a virtual machine, handing the pages
    // back to the host) that would fall on whichever analysis came next.
    for (int run = 0; run < runs; ++run) {
        const auto rgbaStart = std::chrono::steady_clock::now();
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        std::vector<std::vector<uint32_t>> rasters;
        do {
            rasters.emplace_back(size_t{kWidth} * kHeight);
            TIFFReadRGBAImageOriented(tif, kWidth, kHeight, rasters.back().data(), ORIENTATION_TOPLEFT, 0);
        } while (TIFFReadDirectory(tif));
        TIFFClose(tif);
        bestRgba = std::min(bestRgba, Seconds(std::chrono::steady_clock::now() - rgbaStart));
    }
    std::printf("image windows: %zu\n", windows);
    std::printf("detailed analysis with drawing: %.3f s (one thread %.3f s)\nlibtiff strip decoding:        %.3f s\n"
                "ratio: %.2f (one thread %.2f), best of %d\n",
                best, bestOne, bestLibtiff, best / bestLibtiff, bestOne / bestLibtiff, runs);
    std::printf("of which the windows' pixel memory alone: %.3f s; ratio without it: %.2f\n", bestMemory,
                (best - bestMemory) / bestLibtiff);
    std::printf("libtiff decoding to RGBA pixels: %.3f s; ratio: %.2f\n", bestRgba, best / bestRgba);
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
