// Decoding speed of the fax decoder against libtiff on the same file:
// a 20-page G4 (CCITT T.6) document of 1728 x 2200 pixels, coded by libtiff.
// Both decode every strip of every page into memory that is allocated once;
// the decoder writes 24-bit pixels, libtiff packed bits. The decoder runs on
// every decoding thread and on one, and the pages are also drawn side by
// side as the TIFF analysis draws them (CFaxPages).
// Usage: bench_fax_decode [rounds]
#include <fcntl.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codec/decode_threads.h"
#include "image/image_buffer.h"
#include "codec/fax_decoder.h"
#include "core/read_stream.h"
#include "tiff/fax_pages.h"
#include "g4_document.h"

namespace {

using g4_document::kHeight;
using g4_document::kPages;
using g4_document::kWidth;
using g4_document::MakePage;
using g4_document::WriteDocument;

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

int main(int argc, char** argv)
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

    // One bitmap a page for the pages drawn side by side, as the TIFF
    // analysis draws a fax document into one image window a page.
    std::vector<CImageBuffer> pageBitmaps(pages.size());
    for (CImageBuffer& b : pageBitmaps)
        if (uint8_t* p = b.Create(bw, bw - int32_t(kWidth), bh, bh - int32_t(kHeight)))
            std::memset(p, 0x80, b.RowBytes() * static_cast<size_t>(bh));

    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    double ours = 1e9, oursOne = 1e9, theirs = 1e9, sideBySide = 1e9;
    size_t blackOurs = 0;
    uint64_t blackTheirs = 0;
    for (int round = 0; round < rounds; ++round) {
        // On every decoding thread, then on the caller's thread alone.
        for (uint32_t threads : {0u, 1u}) {
            const auto start = std::chrono::steady_clock::now();
            FILE* fp = std::fopen(path.c_str(), "rb");
            CFaxDecoder decoder;
            decoder.SetThreads(threads);
            for (const auto& strips : pages)
                for (const Strip& s : strips) {
                    std::fseek(fp, static_cast<long>(s.offset), SEEK_SET);
                    decoder.Decode(fp, kWidth, s.rows, static_cast<uint32_t>(bw), static_cast<uint32_t>(bh) - s.firstRow,
                                   CFaxDecoder::kModeT6, pixels, static_cast<uint32_t>(s.bytes));
                }
            std::fclose(fp);
            double& slot = threads == 1 ? oursOne : ours;
            slot = std::min(slot, Seconds(std::chrono::steady_clock::now() - start));
            blackOurs = static_cast<size_t>(std::count(pixels, pixels + bitmap.RowBytes() * size_t(bh), 0)) / 3;
        }
        {
            const auto start = std::chrono::steady_clock::now();
            FILE* fp = OpenReadStream(open(path.c_str(), O_RDONLY));
            {
                CFaxPages drawer(fp, 0, [](size_t) {});
                for (size_t p = 0; p < pages.size(); ++p) {
                    CFaxPages::Page page;
                    for (const Strip& s : pages[p])
                        page.segments.push_back({s.offset, s.bytes, 0, s.firstRow, kWidth, s.rows, 0});
                    page.mode = CFaxDecoder::kModeT6;
                    page.picture = {pageBitmaps[p].Pixels(), kWidth, kHeight, static_cast<uint32_t>(bw),
                                    static_cast<uint32_t>(bh)};
                    drawer.Add(std::move(page));
                }
                drawer.Finish();
            }
            std::fclose(fp);
            sideBySide = std::min(sideBySide, Seconds(std::chrono::steady_clock::now() - start));
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
    std::printf("last page black pixels: fax decoder %zu, libtiff %llu\n", blackOurs,
                static_cast<unsigned long long>(blackTheirs));
    std::printf("fax decoder: %.1f ms (one thread %.1f ms)   libtiff: %.1f ms   ratio %.2f (one thread %.2f), best "
                "of %d\n",
                ours * 1e3, oursOne * 1e3, theirs * 1e3, ours / theirs, oursOne / theirs, rounds);
    std::printf("pages side by side, one bitmap a page, as the TIFF analysis draws them: %.1f ms   ratio %.2f\n",
                sideBySide * 1e3, sideBySide / theirs);
    return 0;
}
