// Many-page fax documents: `vantrel-dump -d` on 300 and 2,000 pages of the
// 1728 x 2200 G4 pages of bench_tiff_g4, on the default decoding threads and
// on one, against `tiffcp -c none` (libtiff decoding every page) on the same
// file, taken in turns; time and peak memory of each, and the cost per page.
// Usage: bench_fax_pages [runs] [DIR]   (DIR: where the documents are kept)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "bench/g4_document.h"

using namespace bench_support;

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path dir = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "vantrel-bench-fax-pages";
    fs::create_directories(dir);
    double perPage300 = 0;
    for (const uint32_t pages : {300u, 2000u}) {
        const std::string doc = (dir / ("fax-" + std::to_string(pages) + ".tif")).string();
        if (!fs::exists(doc) && !g4_document::WriteDocument(doc, pages)) {
            std::fprintf(stderr, "cannot write %s\n", doc.c_str());
            return 1;
        }
        const std::string copy = (dir / "copy.tif").string();
        RunResult ours, one, libtiff;
        for (int i = 0; i < runs; ++i) {
            const RunResult a = Run({VANTREL_DUMP, "-d", doc});
            const RunResult b = Run({VANTREL_DUMP, "--decode-threads", "1", "-d", doc});
            const RunResult c = Run({"tiffcp", "-c", "none", doc, copy});
            if (a.seconds < ours.seconds)
                ours = a;
            if (b.seconds < one.seconds)
                one = b;
            if (c.seconds < libtiff.seconds)
                libtiff = c;
        }
        fs::remove(copy);
        const double perPage = ours.seconds / pages;
        if (pages == 300)
            perPage300 = perPage;
        std::printf("%u pages: vantrel-dump -d %.3f s (%ld MB), one thread %.3f s (%ld MB); tiffcp -c none %.3f s "
                    "(%ld MB): ratio %.2f, one thread %.2f; %.2f ms a page",
                    pages, ours.seconds, ours.peakKiB / 1024, one.seconds, one.peakKiB / 1024, libtiff.seconds,
                    libtiff.peakKiB / 1024, ours.seconds / libtiff.seconds, one.seconds / libtiff.seconds,
                    perPage * 1000);
        if (pages != 300 && perPage300 > 0)
            std::printf(" (%.2f of the 300-page file's)", perPage / perPage300);
        std::printf("\n");
    }
    return 0;
}
