// Files written by libtiff: the analyzer's view of the chain, the strips and
// the summary must agree with what libtiff itself reads back.
#include <gtest/gtest.h>

#if __has_include(<tiffio.h>)
#include <tiffio.h>

#include <cstring>
#include <filesystem>

#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

struct Page {
    uint32_t width;
    uint32_t length;
    uint16_t compression;
    uint16_t samples;
};

std::string Hex8(uint64_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(v));
    return text;
}

void WritePages(const std::string& path, bool littleEndian, const std::vector<Page>& pages,
                const Bytes& iccProfile = {})
{
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), littleEndian ? "wl" : "wb");
    ASSERT_NE(tif, nullptr);
    for (const Page& page : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.length);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samples);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (page.samples == 4) {
            const uint16_t alpha[] = {EXTRASAMPLE_UNASSALPHA};
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, alpha);
        }
        TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_SOFTWARE, "fixture writer");
        if (!iccProfile.empty())
            TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(iccProfile.size()), iccProfile.data());
        std::vector<uint8_t> row(size_t{page.width} * page.samples);
        for (uint32_t y = 0; y < page.length; ++y) {
            for (size_t x = 0; x < row.size(); ++x)
                row[x] = uint8_t(x * 7 + y * 3);
            ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
        }
        ASSERT_EQ(TIFFWriteDirectory(tif), 1);
    }
    TIFFClose(tif);
}

}  // namespace

TEST(TiffLibtiff, ChainStripsAndSummaryAgreeWithLibtiff)
{
    const std::vector<Page> pages = {
        {37, 23, COMPRESSION_NONE, 3},
        {64, 17, COMPRESSION_LZW, 3},
        {5, 40, COMPRESSION_PACKBITS, 1},
        {19, 9, COMPRESSION_DEFLATE, 4},
        {300, 2, COMPRESSION_ADOBE_DEFLATE, 3},
    };
    const char* texts[] = {"非圧縮", "LZW", "PackBits圧縮", "Deflate", "Deflate"};
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        testing_support::TempDir dir;
        const std::string path = dir.Path() + "/written.tif";
        WritePages(path, le, pages);
        const Analysis a = Analyse(testing_support::ReadFile(path));

        std::string summary;
        for (size_t i = 0; i < pages.size(); ++i) {
            char text[160];
            std::snprintf(text, sizeof text, "【IFD #%04zu [画像サイズ] %5u x %5u [圧縮形式] %s 】", i,
                          pages[i].width, pages[i].length, texts[i]);
            summary += text;
        }
        EXPECT_EQ(a.result, summary);
        EXPECT_TRUE(Contains(a.detail, le ? "Byte Order = 0x4949 : Little Endian" : "Byte Order = 0x4d4d : Big Endian"));

        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        for (tdir_t i = 0; i < pages.size(); ++i) {
            ASSERT_EQ(TIFFSetDirectory(tif, i), 1);
            const std::string ifd = "\n[" + Hex8(TIFFCurrentDirOffset(tif)) + "] ImageFileDirectory\n";
            ASSERT_TRUE(Contains(a.detail, ifd)) << ifd;
            const std::string section = a.detail.substr(a.detail.find(ifd));

            uint64_t* offsets = nullptr;
            uint64_t* counts = nullptr;
            ASSERT_EQ(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets), 1);
            ASSERT_EQ(TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts), 1);
            const uint32_t strips = TIFFNumberOfStrips(tif);
            EXPECT_EQ(strips, (pages[i].length + 7) / 8);
            for (uint32_t s = 0; s < strips; ++s) {
                char line[64];
                std::snprintf(line, sizeof line, "]Strip #%u = 0x%08x\n", s, static_cast<unsigned>(offsets[s]));
                const bool longOffset = Contains(section, line);
                std::snprintf(line, sizeof line, "]Strip #%u = 0x%04x\n", s, static_cast<unsigned>(offsets[s]));
                EXPECT_TRUE(longOffset || Contains(section, line)) << "offset of strip " << s;
                std::snprintf(line, sizeof line, "]Strip #%u = %u [byte]\n", s, static_cast<unsigned>(counts[s]));
                EXPECT_TRUE(Contains(section, line)) << "size of strip " << s;
            }
            EXPECT_TRUE(Contains(section, "\n[" + Hex8(offsets[0]) + "] Image Data\n"));
            char size[64];
            std::snprintf(size, sizeof size, "      Horizontal Size = %u\n", pages[i].width);
            EXPECT_TRUE(Contains(section, size));
            EXPECT_TRUE(Contains(section, "      300.000 : 150.000 (Inch per pixel)\n"));
            EXPECT_TRUE(Contains(section, "      fixture writer\n"));
            if (pages[i].samples == 4) {
                EXPECT_TRUE(Contains(section, "      Unassociated alpha data\n")) << section;
            }
            const size_t spp = section.find("... SamplesPerPixel\n");
            ASSERT_NE(spp, std::string::npos);
            const size_t interpretation = section.find('\n', section.find("] Value = ", spp)) + 1;
            EXPECT_EQ(section.substr(interpretation, section.find('\n', interpretation) - interpretation),
                      pages[i].samples == 3   ? "      RGB Full Color"
                      : pages[i].samples == 1 ? "      Grayscale, Bilevel or Palette"
                                              : "      RGB with Extra Sample or CMYK");
        }
        TIFFClose(tif);
        EXPECT_TRUE(Contains(a.detail, "Offset to Next IFD = 0x00000000 (Next IFD is nothing)\n"));
    }
}

TEST(TiffLibtiff, EmbeddedProfileIsLaidOut)
{
    constexpr const char* kProfile = "/usr/share/color/icc/sRGB.icc";
    if (!std::filesystem::exists(kProfile))
        GTEST_SKIP() << kProfile << " is not installed";
    const Bytes profile = testing_support::ReadFile(kProfile);
    for (bool le : {true, false}) {
        testing_support::TempDir dir;
        const std::string path = dir.Path() + "/icc.tif";
        WritePages(path, le, {{4, 4, COMPRESSION_NONE, 3}}, profile);
        const Bytes file = testing_support::ReadFile(path);
        // Where libtiff put the profile.
        size_t at = 0;
        for (; at + profile.size() <= file.size(); ++at)
            if (std::memcmp(&file[at], profile.data(), profile.size()) == 0)
                break;
        ASSERT_LT(at + profile.size(), file.size() + 1);
        const std::string d = Analyse(file).detail;
        const std::string offset = "] Offset = 0x" + Hex8(at) + "\n      /* --- ICC Profile Header --- */\n"
                                   "        [" + Hex8(at) + "] Profile size = 0x00001b0a : 6922 [byte]\n";
        EXPECT_TRUE(Contains(d, offset)) << d;
        EXPECT_TRUE(Contains(d, "        [" + Hex8(at + 0x44) +
                                    "] Profile connection space illuminant : X=0,63190; Y=1,0; Z=0,54061\n"));
        EXPECT_TRUE(Contains(d, "        [" + Hex8(at + 0x80) + "] Tag count = 0x0000000c : 12\n"));
    }
}

#endif
