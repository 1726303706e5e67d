// Pictures that the analysis does not keep: a many-page fax document is drawn
// page by page within a memory bound that does not grow with its pages, and
// a picture decoded again later is the one the analysis drew.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include <tiffio.h>

#include "bench/g4_document.h"
#include "core/analyze.h"
#include "support/test_support.h"

namespace {

using testing_support::AllFormatOptions;
using testing_support::TempDir;

// The process's address space now, from /proc/self/status.
uint64_t AddressSpaceBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoull(line.substr(7)) * 1024;
    return 0;
}

bool SamePixels(const CImageBuffer& a, const CImageBuffer& b)
{
    return a.Pixels() && b.Pixels() && a.BitmapWidth() == b.BitmapWidth() && a.BitmapHeight() == b.BitmapHeight() &&
           std::memcmp(a.Pixels(), b.Pixels(), a.RowBytes() * static_cast<size_t>(a.BitmapHeight())) == 0;
}

// 60 pages of 1728 x 2200 take 690 MB as 24-bit pictures; the analysis is
// given a fraction of that beyond what the process holds, and every page
// must still be drawn (and handed on) in a child process under that limit.
TEST(PictureMemory, ManyPagesAreDrawnWithinABoundThatDoesNotGrowWithThem)
{
    TempDir dir;
    const std::string path = dir.Path() + "/fax.tif";
    constexpr uint32_t kPages = 60;
    ASSERT_TRUE(g4_document::WriteDocument(path, kPages));
    constexpr uint64_t kAllowance = uint64_t{320} << 20;
    for (uint32_t threads : {1u, 2u}) {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            const rlimit limit{AddressSpaceBytes() + kAllowance, RLIM_INFINITY};
            setrlimit(RLIMIT_AS, &limit);
            AnalysisOptions options = AllFormatOptions(threads);
            options.keepPixels = false;
            uint32_t handed = 0;
            options.takePicture = [&handed](size_t, ResultPicture& picture) { handed += picture.image.Pixels() != nullptr; };
            const auto result = Analyze(path.c_str(), AnalysisMode::Detailed, options);
            uint32_t drawn = 0;
            for (const ResultPicture& picture : result->pictures)
                drawn += picture.drawn && !picture.image.Pixels();
            _exit(drawn == kPages && handed == kPages ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << threads << " threads";
    }
}

// Writes a side x side grey picture of 256 x 256 LZW tiles whose pixel
// (x, y) is x / 64 + y / 64, modulo 256.
void WriteTiledGrey(const std::string& path, uint32_t kSide)
{
    constexpr uint32_t kTile = 256;
    {
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kSide);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kSide);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile);
        std::vector<uint8_t> tile(kTile * kTile);
        for (uint32_t y = 0; y < kSide; y += kTile)
            for (uint32_t x = 0; x < kSide; x += kTile) {
                for (uint32_t r = 0; r < kTile; ++r)
                    for (uint32_t c = 0; c < kTile; ++c)
                        tile[r * kTile + c] = static_cast<uint8_t>((x + c) / 64 + (y + r) / 64);
                ASSERT_GT(TIFFWriteTile(tif, tile.data(), x, y, 0, 0), 0);
            }
        TIFFClose(tif);
    }
}

// A 12,000 x 12,000 tiled picture takes 432 MB as a 24-bit picture: it is
// drawn reduced, and a part of it at its own size, in a child process whose
// address space allows a quarter of that beyond what the process holds. An
// 8,000 x 8,000 one (192 MB) that nobody looks at is decoded, and described
// as drawn, within the same bound.
TEST(PictureMemory, LargeTiledPictureIsDrawnReducedWithinABound)
{
    TempDir dir;
    const std::string path = dir.Path() + "/large.tif";
    const std::string unseen = dir.Path() + "/unseen.tif";
    WriteTiledGrey(path, 12000);
    WriteTiledGrey(unseen, 8000);
    constexpr uint64_t kAllowance = uint64_t{108} << 20;
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit limit{AddressSpaceBytes() + kAllowance, RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &limit);
        AnalysisOptions options = AllFormatOptions(2);
        options.keepPixels = false;
        // The level of the picture's pixel (x, y), as the test wrote it.
        const auto level = [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(x / 64 + y / 64); };
        bool reduced = false;
        options.takePicture = [&](size_t, ResultPicture& picture) {
            const CImageBuffer& image = picture.image;
            reduced = picture.shift == 2 && image.Pixels() && image.PictureWidth() == 3000 &&
                      image.PixelAt(2999, 1234)[0] == level(2999 * 4, 1234 * 4);
        };
        const auto result = Analyze(path.c_str(), AnalysisMode::Detailed, options);
        options.takePicture = nullptr;
        options.hasRegion = true;
        options.region = {7000, 5000, 1920, 1080, 0};
        bool part = false;
        DecodePictures(path.c_str(), options, {0}, [&](size_t, ResultPicture& picture) {
            const CImageBuffer& image = picture.image;
            part = image.Pixels() && image.PictureWidth() == 1920 && image.PixelAt(1919, 1079)[1] == level(8919, 6079);
        });
        options.hasRegion = false;
        const auto described = Analyze(unseen.c_str(), AnalysisMode::Detailed, options);
        const bool whole = described->pictures.size() == 1 && described->pictures[0].drawn &&
                           described->pictures[0].shift == 0 && described->pictures[0].image.PictureWidth() == 8000 &&
                           !described->decodes.empty() && described->decodes[0].outcome == DecodeOutcome::Complete;
        _exit(result->pictures.size() == 1 && result->pictures[0].drawn && reduced && part && whole ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Decoding again the pictures asked for gives the pixels the analysis drew,
// on every thread count, and only those pictures.
TEST(PictureMemory, PicturesDecodedAgainAreTheAnalysisOwn)
{
    TempDir dir;
    const std::string path = dir.Path() + "/fax.tif";
    ASSERT_TRUE(g4_document::WriteDocument(path, 12));
    const auto kept = Analyze(path.c_str(), AnalysisMode::Detailed, AllFormatOptions(1));
    ASSERT_EQ(kept->pictures.size(), 12u);
    for (uint32_t threads : {1u, 2u}) {
        const std::vector<size_t> wanted{0, 7, 11};
        std::vector<size_t> seen;
        const size_t count = DecodePictures(path.c_str(), AllFormatOptions(threads), wanted,
                                            [&](size_t index, ResultPicture& picture) {
                                                seen.push_back(index);
                                                EXPECT_TRUE(SamePixels(picture.image, kept->pictures[index].image))
                                                    << index;
                                            });
        EXPECT_EQ(count, 12u);
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, wanted) << threads << " threads";
    }
}

}  // namespace
