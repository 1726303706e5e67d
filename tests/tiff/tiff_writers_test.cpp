// TIFF files as today's writers make them (libtiff itself, tiffcp,
// ImageMagick, Pillow): tiles, planes, 2-, 4- and 16-bit samples, CMYK,
// Adobe Deflate and new-style JPEG. The drawn picture must equal libtiff's
// RGBA reading, JPEG within the bounds of the JPEG decoder against libjpeg.
#include <gtest/gtest.h>

#if __has_include(<tiffio.h>)
#include <tiffio.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>

#include "codec/decode_threads.h"
#include "core/analyze.h"
#include "core/read_stream.h"
#include "tiff/libtiff_picture.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

struct Layout {
    const char* name;
    uint16_t compression;
    uint16_t photometric;
    uint16_t samples;
    uint16_t bits;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint32_t tile = 0;            // tile side; 0 for strips
    uint16_t predictor = 1;
    bool smooth = false;          // a picture without sharp edges, for lossy coding
};

uint32_t SampleValue(const Layout& l, uint32_t x, uint32_t y, uint32_t s)
{
    if (l.smooth || l.compression == COMPRESSION_JPEG) {
        // Smooth slopes up and down, as in photographs.
        const uint32_t t = (x * 3 + y * 2 + s * 60) % 400;
        return 20 + (t < 200 ? t : 400 - t);
    }
    const uint32_t v = (x * 2999 + y * 1313 + s * 7177) ^ (y % 5 == 0 ? 0xFFFF : 0);
    return l.bits == 16 ? v & 0xFFFF : (v >> 3) & ((1u << l.bits) - 1u);
}

// The samples of the block of w x h pixels at (x0, y0), of one plane or of
// all samples, packed as libtiff takes them (16-bit in the machine's order).
std::vector<uint8_t> Block(const Layout& l, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, int plane)
{
    const uint32_t spp = plane < 0 ? l.samples : 1;
    const size_t rowBytes = (size_t{w} * spp * l.bits + 7) / 8;
    std::vector<uint8_t> out(rowBytes * h);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t i = 0; i < w * spp; ++i) {
            const uint32_t s = plane < 0 ? i % spp : static_cast<uint32_t>(plane);
            const uint32_t v = SampleValue(l, x0 + i / spp, y0 + r, s);
            uint8_t* row = out.data() + r * rowBytes;
            if (l.bits == 16) {
                const uint16_t v16 = static_cast<uint16_t>(v);
                std::memcpy(row + 2 * i, &v16, 2);
            } else if (l.bits == 8) {
                row[i] = static_cast<uint8_t>(v);
            } else {
                row[i * l.bits / 8] |= static_cast<uint8_t>(v << (8 - l.bits - i * l.bits % 8));
            }
        }
    return out;
}

void SetFields(TIFF* tif, const Layout& l, uint32_t width, uint32_t height, uint32_t rowsPerStrip)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    if (l.predictor != 1)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, l.predictor);
    if (l.tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    }
    const bool colour = l.photometric == PHOTOMETRIC_RGB || l.photometric == PHOTOMETRIC_YCBCR;
    const uint32_t shown = colour ? 3 : l.photometric == PHOTOMETRIC_SEPARATED ? 4 : 1;
    if (l.samples > shown) {
        // Associated alpha: libtiff shows the colours as they are.
        std::vector<uint16_t> extra(l.samples - shown, EXTRASAMPLE_UNSPECIFIED);
        extra[0] = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(extra.size()), extra.data());
    }
    if (l.photometric == PHOTOMETRIC_SEPARATED)
        TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        const uint32_t n = 1u << l.bits;
        std::vector<uint16_t> r(n), g(n), b(n);
        for (uint32_t i = 0; i < n; ++i) {
            r[i] = uint16_t(i * 65535 / (n - 1));
            g[i] = uint16_t((n - 1 - i) * 4099 + 17);
            b[i] = uint16_t((i * 7 % n) * 256 + 255);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    if (l.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
        if (l.photometric == PHOTOMETRIC_YCBCR) {
            TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    }
}

// Writes pages pictures of the layout, every strip or tile through libtiff's
// encoders.
void Write(const std::string& path, bool littleEndian, const Layout& l, uint32_t width, uint32_t height,
           uint32_t rowsPerStrip, int pages)
{
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), littleEndian ? "wl" : "wb");
    ASSERT_NE(tif, nullptr);
    for (int page = 0; page < pages; ++page) {
        SetFields(tif, l, width, height, rowsPerStrip);
        const int planes = l.planar == PLANARCONFIG_SEPARATE ? l.samples : 1;
        for (int p = 0; p < planes; ++p) {
            const int plane = planes == 1 ? -1 : p;
            if (l.tile) {
                for (uint32_t y = 0; y < height; y += l.tile)
                    for (uint32_t x = 0; x < width; x += l.tile) {
                        std::vector<uint8_t> b = Block(l, x, y, l.tile, l.tile, plane);
                        ASSERT_GT(TIFFWriteTile(tif, b.data(), x, y, 0, uint16_t(p)), 0);
                    }
                continue;
            }
            for (uint32_t y = 0; y < height; y += rowsPerStrip) {
                const uint32_t rows = std::min(rowsPerStrip, height - y);
                std::vector<uint8_t> b = Block(l, 0, y, width, rows, plane);
                ASSERT_GT(TIFFWriteEncodedStrip(tif, TIFFComputeStrip(tif, y, uint16_t(p)), b.data(),
                                                tmsize_t(b.size())),
                          0);
            }
        }
        ASSERT_EQ(TIFFWriteDirectory(tif), 1);
    }
    TIFFClose(tif);
}

// Every page as libtiff's RGBA reading gives it, in the window's colours.
std::vector<std::vector<uint8_t>> RgbaPages(const std::string& path)
{
    std::vector<std::vector<uint8_t>> pages;
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return pages;
    do {
        uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        std::vector<uint32_t> raster(size_t{w} * h);
        TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0);
        std::vector<uint8_t>& out = pages.emplace_back();
        for (uint32_t p : raster)
            out.insert(out.end(), {uint8_t(TIFFGetB(p)), uint8_t(TIFFGetG(p)), uint8_t(TIFFGetR(p))});
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

// ExtraSamples values of 2 (unassociated alpha) set to 0, so that libtiff's
// RGBA reading shows the colours as they are, as the image window does.
void IgnoreUnassociatedAlpha(const std::string& path, const std::string& detail)
{
    Bytes file = testing_support::ReadFile(path);
    const std::string tag = "] Tag = 0x0152 ... ExtraSamples\n";
    for (size_t at = detail.find(tag); at != std::string::npos; at = detail.find(tag, at + 1)) {
        const size_t entry = std::stoul(detail.substr(detail.rfind('[', at) + 1, 8), nullptr, 16);
        const bool le = file[0] == 'I';
        if (file[entry + 8 + (le ? 0 : 1)] == 2)
            file[entry + 8 + (le ? 0 : 1)] = 0;
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}

// Draws the file and compares every page with libtiff's reading of it.
void ExpectAsLibtiff(const std::string& path, bool jpeg, const std::string& name)
{
    SCOPED_TRACE(name);
    // A file that libtiff reads without complaint has nothing wrong with it.
    EXPECT_EQ(FileAnomalies(path), "rough:\ndetailed:\n");
    const auto d = DrawFile(path);
    EXPECT_FALSE(Contains(d->detail, "未対応の形式")) << d->detail;
    IgnoreUnassociatedAlpha(path, d->detail);
    const std::vector<std::vector<uint8_t>> expected = RgbaPages(path);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(d->windows.size(), expected.size());
    for (size_t page = 0; page < expected.size(); ++page) {
        const CImageBuffer& image = d->windows[page]->image;
        ASSERT_NE(image.Pixels(), nullptr);
        const std::vector<uint8_t> drawn = DrawnPicture(image);
        ASSERT_EQ(drawn.size(), expected[page].size()) << "page " << page;
        if (!jpeg) {
            EXPECT_EQ(FirstDifferentRow(drawn, expected[page], image.PictureWidth()), -1) << "page " << page;
            continue;
        }
        uint64_t sum = 0;
        int worst = 0;
        for (size_t i = 0; i < drawn.size(); ++i) {
            const int diff = std::abs(int(drawn[i]) - int(expected[page][i]));
            sum += diff;
            worst = std::max(worst, diff);
        }
        EXPECT_LE(double(sum) / double(drawn.size()), 3.0) << "page " << page;
        EXPECT_LE(worst, 20) << "page " << page;
    }
}

const Layout kLayouts[] = {
    {"adobe deflate rgb predictor", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 3, 8, 1, 0, 2},
    {"lzw rgb tiles", COMPRESSION_LZW, PHOTOMETRIC_RGB, 3, 8, 1, 16},
    {"packbits grey tiles", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISBLACK, 1, 8, 1, 32},
    {"uncompressed rgba tiles", COMPRESSION_NONE, PHOTOMETRIC_RGB, 4, 8, 1, 16},
    {"deflate rgb planar", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 3, 8, PLANARCONFIG_SEPARATE},
    {"lzw rgba planar tiles", COMPRESSION_LZW, PHOTOMETRIC_RGB, 4, 8, PLANARCONFIG_SEPARATE, 16},
    {"grey planar 16", COMPRESSION_NONE, PHOTOMETRIC_MINISBLACK, 2, 16, PLANARCONFIG_SEPARATE},
    {"grey white is zero planar", COMPRESSION_LZW, PHOTOMETRIC_MINISWHITE, 2, 8, PLANARCONFIG_SEPARATE},
    {"rgb 16 predictor", COMPRESSION_LZW, PHOTOMETRIC_RGB, 3, 16, 1, 0, 2},
    {"rgba 16 planar", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 4, 16, PLANARCONFIG_SEPARATE},
    {"grey 16 white is zero", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISWHITE, 1, 16},
    {"grey 4", COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK, 1, 4},
    {"grey 2 white is zero tiles", COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE, 1, 2, 1, 16},
    {"palette 4", COMPRESSION_PACKBITS, PHOTOMETRIC_PALETTE, 1, 4},
    {"palette 2 tiles", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_PALETTE, 1, 2, 1, 32},
    {"cmyk", COMPRESSION_LZW, PHOTOMETRIC_SEPARATED, 4, 8},
    {"cmyk tiles", COMPRESSION_NONE, PHOTOMETRIC_SEPARATED, 4, 8, 1, 16},
    {"grey alpha", COMPRESSION_DEFLATE, PHOTOMETRIC_MINISBLACK, 2, 8},
    {"rgb two extra samples", COMPRESSION_LZW, PHOTOMETRIC_RGB, 5, 8, 1, 0, 2},
    {"fax g3 2d tiles", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 1, 1, 1, 32},
    {"fax g4 tiles", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK, 1, 1, 1, 16},
    {"jpeg ycbcr", COMPRESSION_JPEG, PHOTOMETRIC_YCBCR, 3, 8},
    {"jpeg ycbcr tiles", COMPRESSION_JPEG, PHOTOMETRIC_YCBCR, 3, 8, 1, 32},
    {"jpeg rgb", COMPRESSION_JPEG, PHOTOMETRIC_RGB, 3, 8},
    {"jpeg grey tiles", COMPRESSION_JPEG, PHOTOMETRIC_MINISBLACK, 1, 8, 1, 16},
};

}  // namespace

TEST(TiffWriters, LibtiffLayoutsEqualLibtiffsRgbaReading)
{
    // Odd sizes, several strips and a short last one, two pages.
    const std::tuple<uint32_t, uint32_t, uint32_t> shapes[] = {{37, 35, 16}, {70, 9, 32}};
    for (bool le : {true, false})
        for (const Layout& l : kLayouts)
            for (auto [width, height, rows] : shapes) {
                testing_support::TempDir dir;
                const std::string path = dir.Path() + "/page.tif";
                Write(path, le, l, width, height, rows, 2);
                ExpectAsLibtiff(path, l.compression == COMPRESSION_JPEG,
                                std::string(l.name) + (le ? " II " : " MM ") + std::to_string(width));
            }
}

TEST(TiffWriters, JpegTablesAndFirstStripAreLaidOut)
{
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/jpeg.tif";
    Write(path, true, {"jpeg", COMPRESSION_JPEG, PHOTOMETRIC_YCBCR, 3, 8}, 40, 40, 16, 1);
    const std::string d = DrawFile(path)->detail;
    // The tables stream, then the first strip's stream, each under its line.
    const size_t tables = d.find("] Jpeg Data\n  [");
    const size_t strip = d.find("] Image Data\n  [");
    ASSERT_NE(tables, std::string::npos) << d;
    ASSERT_NE(strip, std::string::npos) << d;
    EXPECT_NE(d.find("] DHT\n", tables), std::string::npos);
    EXPECT_NE(d.find("] SOF\n", strip), std::string::npos);
    EXPECT_TRUE(Contains(Analyse(testing_support::ReadFile(path)).result, "[圧縮形式] JPEG 】"));
}

namespace {

// Runs a writer's command; false when the tool is missing or fails.
bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

TEST(TiffWriters, TiffcpLayoutsEqualLibtiff)
{
    if (!std::filesystem::exists("/usr/bin/tiffcp"))
        GTEST_SKIP() << "tiffcp is not installed";
    testing_support::TempDir dir;
    const std::string source = dir.Path() + "/source.tif";
    Write(source, true, {"rgb", COMPRESSION_NONE, PHOTOMETRIC_RGB, 3, 8, 1, 0, 1, true}, 61, 45, 45, 2);
    const std::pair<const char*, bool> options[] = {
        {"-c zip", false}, {"-c zip:2 -B", false}, {"-c lzw -t -w 16 -l 32", false}, {"-p separate -c packbits", false},
        {"-c jpeg -r 16", true}, {"-c jpeg -t -w 32 -l 16 -M", true}, {"-c zip -t -p separate -w 32 -l 32", false},
    };
    for (auto [option, jpeg] : options) {
        const std::string path = dir.Path() + "/tiffcp.tif";
        ASSERT_TRUE(RunTool(std::string("/usr/bin/tiffcp ") + option + " " + source + " " + path)) << option;
        ExpectAsLibtiff(path, jpeg, option);
    }
}

TEST(TiffWriters, ImageMagickLayoutsEqualLibtiff)
{
    const std::string convert = "/usr/bin/convert-im6.q16";
    if (!std::filesystem::exists(convert))
        GTEST_SKIP() << "ImageMagick is not installed";
    testing_support::TempDir dir;
    const std::string image = "-size 53x37 gradient:red-blue -swirl 90";
    const std::pair<const char*, bool> options[] = {
        {"-compress Zip", false},
        {"-compress Zip -endian MSB", false},
        {"-compress LZW -define tiff:tile-geometry=16x16", false},
        {"-compress Zip -depth 16", false},
        {"-colorspace Gray -depth 4 -compress None", false},
        {"-colorspace CMYK -depth 8 -compress LZW", false},
        {"-alpha set -channel A -evaluate set 60% +channel -compress Zip", false},
        {"-interlace Plane -compress LZW", false},
        {"-compress Group4 -monochrome", false},
        {"-compress Fax -monochrome", false},
        {"-compress JPEG -quality 92", true},
        {"\\( -clone 0 -rotate 90 \\) -compress Zip", false},
    };
    for (auto [option, jpeg] : options) {
        const std::string path = dir.Path() + "/magick.tif";
        ASSERT_TRUE(RunTool(convert + " " + image + " " + option + " " + path)) << option;
        ExpectAsLibtiff(path, jpeg, option);
    }
}

TEST(TiffWriters, PillowLayoutsEqualLibtiff)
{
    const std::string python = "/usr/bin/python3";
    if (!RunTool(python + " -c 'import PIL'"))
        GTEST_SKIP() << "Pillow is not installed";
    testing_support::TempDir dir;
    const std::pair<const char*, bool> options[] = {
        {"'RGB', compression='tiff_adobe_deflate'", false},
        {"'RGBA', compression='tiff_lzw'", false},
        {"'L', compression='packbits'", false},
        {"'1', compression='tiff_ccitt'", false},
        {"'1', compression='group3'", false},
        {"'1', compression='group4'", false},
        {"'CMYK', compression='tiff_deflate'", false},
        {"'P', compression='tiff_lzw'", false},
        {"'LA', compression='tiff_adobe_deflate'", false},
        {"'I;16', compression='tiff_adobe_deflate'", false},
        {"'RGB', compression='jpeg', quality=90", true},
    };
    for (auto [option, jpeg] : options) {
        const std::string path = dir.Path() + "/pillow.tif";
        const std::string text = option;
        const std::string mode = text.substr(0, text.find(','));
        // A colour picture in the mode asked for; 16-bit grey spans the whole
        // range.
        const std::string script =
            "from PIL import Image\n"
            "import sys\n"
            "g = Image.radial_gradient('L').resize((45, 39))\n"
            "im = Image.merge('RGB', (g, g.rotate(90), g.transpose(0)))\n"
            "mode = " + mode + "\n"
            "if mode == 'I;16':\n"
            "    im = im.convert('L').point(lambda v: v * 257, 'I').convert('I;16')\n"
            "else:\n"
            "    im = im.convert(mode)\n"
            "im.save(sys.argv[1], " + text.substr(mode.size() + 2) + ")\n";
        const std::string scriptPath = dir.Write("write.py", script);
        ASSERT_TRUE(RunTool(python + " " + scriptPath + " " + path)) << option;
        ExpectAsLibtiff(path, jpeg, option);
    }
}


namespace {

// The first value of a SHORT or LONG entry, found through its detailed line.
void SetFirstValue(Bytes& file, const std::string& detail, const std::string& tagLine, uint32_t value)
{
    const size_t at = detail.find(tagLine);
    ASSERT_NE(at, std::string::npos) << tagLine;
    const size_t entry = std::stoul(detail.substr(detail.rfind('[', at) + 1, 8), nullptr, 16);
    const bool le = file[0] == 'I';
    const bool isShort = file[entry + 2 + (le ? 0 : 1)] == 3;
    const size_t bytes = isShort ? 2 : 4;
    for (size_t i = 0; i < bytes; ++i)
        file[entry + 8 + (le ? i : bytes - 1 - i)] = uint8_t(value >> (8 * i));
}

// Draws the file on one decoding thread and on several: the lines and every
// pixel, margins included, must be the same.
void ExpectSameOnOneAndSeveralThreads(const std::string& path, const std::string& what)
{
    const auto one = DrawFile(path, 1);
    const auto several = DrawFile(path, 4);
    EXPECT_EQ(one->detail, several->detail) << what;
    ASSERT_EQ(one->windows.size(), several->windows.size()) << what;
    for (size_t i = 0; i < one->windows.size(); ++i) {
        const CImageBuffer& a = one->windows[i]->image;
        const CImageBuffer& b = several->windows[i]->image;
        EXPECT_LE(b.PictureWidth(), b.BitmapWidth()) << what;
        ASSERT_EQ(a.BitmapWidth(), b.BitmapWidth()) << what;
        ASSERT_EQ(a.BitmapHeight(), b.BitmapHeight()) << what;
        if (a.Pixels() && b.Pixels()) {
            EXPECT_EQ(0, std::memcmp(a.Pixels(), b.Pixels(), size_t(a.BitmapWidth()) * size_t(a.BitmapHeight()) * 3))
                << what << " window " << i;
        }
    }
}

// Where the detailed analysis of the file leaves the analysis stream, on
// threads decoding threads.
long PositionAfterAnalysis(const std::string& path, uint32_t threads)
{
    testing_support::StandaloneRun run(AnalysisMode::Detailed, "/path", threads);
    FILE* fp = OpenReadStream(open(path.c_str(), O_RDONLY));
    long position = -2;
    if (fp) {
        RunAnalyzer(kFormatTiff, {&run.run, fp, path.c_str(), AnalysisMode::Detailed});
        position = std::ftell(fp);
        std::fclose(fp);
    }
    return position;
}

}  // namespace

// Damaged tiles, tables and strips: truncated files and changed bytes,
// directory entries included, end quietly, draw inside the picture, and
// draw the same on one decoding thread as on several. Strips of fewer rows
// than their JPEG frames' MCUs paint into the rows of the strips after them.
TEST(TiffWriters, DamagedTilesTablesAndStripsFinishQuietly)
{
    const Layout layouts[] = {
        {"jpeg tiles", COMPRESSION_JPEG, PHOTOMETRIC_YCBCR, 3, 8, 1, 16},
        {"jpeg strips", COMPRESSION_JPEG, PHOTOMETRIC_RGB, 3, 8},
        {"jpeg ycbcr strips", COMPRESSION_JPEG, PHOTOMETRIC_YCBCR, 3, 8},
        {"lzw planar tiles", COMPRESSION_LZW, PHOTOMETRIC_RGB, 3, 16, PLANARCONFIG_SEPARATE, 16},
        {"g3 2d tiles", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 1, 1, 1, 16},
        {"g4 strips", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1, 1},
        {"modified huffman black is zero strips", COMPRESSION_CCITTRLE, PHOTOMETRIC_MINISBLACK, 1, 1},
        {"deflate palette tiles", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_PALETTE, 1, 4, 1, 32},
        {"lzw rgb predictor tiles", COMPRESSION_LZW, PHOTOMETRIC_RGB, 3, 8, 1, 16, 2},
        {"packbits grey strips", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISBLACK, 1, 8},
    };
    std::mt19937 random(11);
    testing_support::TempDir dir;
    for (const Layout& l : layouts) {
        const std::string source = dir.Path() + "/source.tif";
        // Fax documents are many pages, drawn side by side on several threads.
        const bool fax = l.bits == 1;
        Write(source, random() % 2 == 0, l, 45, 37, 16, fax ? 4 : 1);
        const Bytes original = testing_support::ReadFile(source);
        Bytes fewerRows = original;
        if (l.tile == 0)
            SetFirstValue(fewerRows, DrawFile(source)->detail, "] Tag = 0x0116 ... RowsPerStrip\n", 5);
        for (int round = 0; round < 40; ++round) {
            Bytes file = round % 2 ? fewerRows : original;
            if (round % 4 == 0)
                file.resize(random() % file.size());
            for (int k = 0; k < round % 6; ++k)
                if (!file.empty())
                    file[random() % file.size()] = static_cast<uint8_t>(random() % 3 == 0 ? 0xFF : random());
            const std::string what = std::string(l.name) + " round " + std::to_string(round);
            const std::string path = dir.Write("damaged.tif", file);
            ExpectSameOnOneAndSeveralThreads(path, what);
            if (fax) {
                EXPECT_EQ(PositionAfterAnalysis(path, 1), PositionAfterAnalysis(path, 4)) << what;
            }
        }
    }
}
#endif

#if __has_include(<tiffio.h>)
namespace {

// Tag names and the interpretation lines that name no position or offset:
// what a BigTIFF copy shares with its classic copy.
std::string TagLines(const std::string& detail)
{
    std::string lines;
    std::istringstream in(detail);
    for (std::string line; std::getline(in, line);) {
        const size_t text = line.find_first_not_of(' ');
        if (const size_t tag = line.find("] Tag = 0x"); tag != std::string::npos)
            lines += line.substr(tag + 2) + "\n";
        else if (text != std::string::npos && text > 0 && line[text] != '[' && line.find("0x") == std::string::npos)
            lines += line.substr(text) + "\n";
    }
    return lines;
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(TiffWriters, BigTiffCopiesDrawAsTheirClassicCopies)
{
    if (!std::filesystem::exists("/usr/bin/tiffcp"))
        GTEST_SKIP() << "tiffcp is not installed";
    testing_support::TempDir dir;
    const std::string source = dir.Path() + "/source.tif";
    const std::string classic = dir.Path() + "/classic.tif";
    const std::string big = dir.Path() + "/big.tif";
    for (bool le : {true, false})
        for (const Layout& l : kLayouts) {
            const std::string what = std::string(l.name) + (le ? " II" : " MM");
            Write(source, le, l, 37, 35, 16, 2);
            // Both copies are written by tiffcp, so that lossy coding is
            // done again the same way for each.
            ASSERT_TRUE(RunTool("/usr/bin/tiffcp " + source + " " + classic)) << what;
            ASSERT_TRUE(RunTool("/usr/bin/tiffcp -8 " + source + " " + big)) << what;
            const auto a = DrawFile(classic);
            const auto b = DrawFile(big);
            ASSERT_TRUE(Contains(b->detail, "TIFF ID = 0x002b\n")) << what;
            EXPECT_EQ(TagLines(a->detail), TagLines(b->detail)) << what;
            ASSERT_EQ(a->windows.size(), b->windows.size()) << what;
            for (size_t i = 0; i < a->windows.size(); ++i) {
                const CImageBuffer& x = a->windows[i]->image;
                const CImageBuffer& y = b->windows[i]->image;
                ASSERT_TRUE(x.Pixels() && y.Pixels()) << what;
                EXPECT_EQ(DrawnPicture(x), DrawnPicture(y)) << what << " page " << i;
            }
        }
}

namespace {

// The bits of a value that a half-precision or a 24-bit float holds
// exactly (1 sign bit; 5 or 7 exponent bits; 10 or 16 mantissa bits).
uint32_t SmallFloatBits(double v, int exponentBits, int mantissaBits)
{
    const uint32_t sign = std::signbit(v) ? 1u << (exponentBits + mantissaBits) : 0;
    if (std::isnan(v))
        return ((1u << exponentBits) - 1) << mantissaBits | 1u << (mantissaBits - 1);
    if (v == 0)
        return sign;
    int e = 0;
    const double m = std::frexp(std::fabs(v), &e);
    const int bias = (1 << (exponentBits - 1)) - 1;
    const auto fraction = static_cast<uint32_t>((m * 2 - 1) * (1 << mantissaBits));
    return sign | static_cast<uint32_t>(e - 1 + bias) << mantissaBits | fraction;
}

}  // namespace

// SubIFDs written by libtiff, each a floating-point picture with the
// floating-point predictor (32, 16 and 24 bits): laid out below IFD 0, drawn
// as the linear stretch of the values libtiff was given, and labelled.
// Little-endian only: libtiff 4.5 swaps the bytes of big-endian samples
// before differencing them, so that it reads its own strips back wrong (the
// big-endian predictor is checked with GDAL's files).
TEST(TiffWriters, LibtiffSubIfdsOfFloatingPointPictures)
{
    const uint32_t w = 19, h = 18;
    std::vector<double> values;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            values.push_back(x == 1 && y == 1 ? std::nan("") : double(x * 3) + y * 5 - 40 + 0.5 * (x % 2));
    double lo = 1e300, hi = -1e300;
    for (double v : values)
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    std::vector<uint8_t> expected;
    for (double v : values) {
        const auto level = static_cast<uint8_t>(std::isnan(v) ? 0 : std::floor((v - lo) * 255.0 / (hi - lo) + 0.5));
        expected.insert(expected.end(), {level, level, level});
    }
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/subifds.tif";
    {
        TIFFSetWarningHandler(nullptr);
        TIFF* tif = TIFFOpen(path.c_str(), "wl");
        ASSERT_NE(tif, nullptr);
        const Layout grey{"grey", COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK, 1, 8};
        SetFields(tif, grey, w, h, h);
        uint64_t offsets[3] = {0, 0, 0};
        TIFFSetField(tif, TIFFTAG_SUBIFD, 3, offsets);
        std::vector<uint8_t> main = Block(grey, 0, 0, w, h, -1);
        ASSERT_GT(TIFFWriteEncodedStrip(tif, 0, main.data(), tmsize_t(main.size())), 0);
        ASSERT_EQ(TIFFWriteDirectory(tif), 1);
        for (int bits : {32, 16, 24}) {
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
            TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_FLOATINGPOINT);
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 7);
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
            // Samples in the machine's byte order, as libtiff takes them.
            std::vector<uint8_t> data;
            for (double v : values) {
                const float f = static_cast<float>(v);
                uint32_t b = bits == 32 ? std::bit_cast<uint32_t>(f)
                                        : SmallFloatBits(v, bits == 16 ? 5 : 7, bits == 16 ? 10 : 16);
                for (int k = 0; k < bits / 8; ++k)
                    data.push_back(uint8_t(b >> (8 * k)));
            }
            const size_t row = size_t{w} * bits / 8;
            for (uint32_t y = 0; y < h; y += 7)
                ASSERT_GT(TIFFWriteEncodedStrip(tif, y / 7, data.data() + y * row,
                                                tmsize_t(std::min<uint32_t>(7, h - y) * row)),
                          0);
            ASSERT_EQ(TIFFWriteDirectory(tif), 1);
        }
        TIFFClose(tif);

        const auto d = DrawFile(path);
        EXPECT_EQ(Count(d->detail, "] ImageFileDirectory\n"), 4u) << d->detail;
        EXPECT_TRUE(Contains(d->detail, "] Tag = 0x014A ... SubIFDs\n"));
        ASSERT_EQ(d->windows.size(), 4u) << d->detail;
        for (size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            const ResultPicture& window = *d->windows[i];
            EXPECT_EQ(window.label, "IFD 0 SubIFD " + std::to_string(i) + " 最小 -40 最大 99");
            ASSERT_NE(window.image.Pixels(), nullptr);
            EXPECT_EQ(FirstDifferentRow(DrawnPicture(window.image), expected, w), -1);
        }
        EXPECT_EQ(d->windows[3]->label, "IFD 0");
    }
}
#endif

// A picture beyond the picture budget is drawn reduced, every 2^shift-th
// pixel of libtiff's reading; a region of it asked for again, at any
// reduction, is that part of libtiff's reading. JPEG strips and tiles are
// compared with the whole picture as the analysis draws it.
TEST(TiffWriters, ReducedPicturesAndRegionsAreLibtiffsPixels)
{
    const uint32_t w = 150, h = 131;
    // Every sample coding and arrangement that can be drawn in part.
    const Layout layouts[] = {kLayouts[0],  kLayouts[1],  kLayouts[2],  kLayouts[4],  kLayouts[5], kLayouts[8],
                              kLayouts[13], kLayouts[15], kLayouts[11], kLayouts[21], kLayouts[22], kLayouts[24]};
    const PictureRegion regions[] = {{0, 0, w, h, 0}, {33, 17, 50, 61, 0}, {31, 9, 90, 100, 1}, {140, 120, 40, 40, 2}};
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        testing_support::TempDir dir;
        const std::string path = dir.Path() + "/large.tif";
        Write(path, true, l, w, h, 16, 1);
        const std::vector<uint8_t> expected =
            l.compression == COMPRESSION_JPEG ? DrawnPicture(DrawFile(path)->windows.at(0)->image) : RgbaPages(path).at(0);
        // Each pixel of the picture at (x, y) drawn in an image at (ix, iy).
        const auto expectPixels = [&](const CImageBuffer& image, uint32_t x0, uint32_t y0, uint32_t shift) {
            ASSERT_NE(image.Pixels(), nullptr);
            int wrong = 0;
            for (int32_t iy = 0; iy < image.PictureHeight(); ++iy)
                for (int32_t ix = 0; ix < image.PictureWidth(); ++ix) {
                    const size_t x = x0 + (size_t(ix) << shift), y = y0 + (size_t(iy) << shift);
                    ASSERT_TRUE(x < w && y < h) << ix << "," << iy;
                    wrong += std::memcmp(image.PixelAt(ix, iy), &expected[(y * w + x) * 3], 3) != 0;
                }
            EXPECT_EQ(wrong, 0);
        };
        AnalysisOptions options = testing_support::AllFormatOptions(2);
        options.pictureBudget = 20000;
        const auto result = Analyze(path.c_str(), AnalysisMode::Detailed, options);
        ASSERT_EQ(result->pictures.size(), 1u);
        const ResultPicture& picture = result->pictures[0];
        EXPECT_EQ(picture.shift, 3u);
        EXPECT_EQ(picture.width, int32_t(w));
        EXPECT_EQ(picture.image.PictureWidth(), int32_t((w + 7) / 8));
        EXPECT_EQ(picture.image.PictureHeight(), int32_t((h + 7) / 8));
        expectPixels(picture.image, 0, 0, 3);
        for (const PictureRegion& r : regions) {
            SCOPED_TRACE(testing::Message() << r.x << "," << r.y << " shift " << r.shift);
            AnalysisOptions part = options;
            part.hasRegion = true;
            part.region = r;
            size_t handed = 0;
            DecodePictures(path.c_str(), part, {0}, [&](size_t, ResultPicture& drawn) {
                ++handed;
                const uint32_t step = 1u << r.shift;
                const uint32_t x0 = r.x & ~(step - 1), y0 = r.y & ~(step - 1);
                const uint32_t x1 = std::min(r.x + r.width, w), y1 = std::min(r.y + r.height, h);
                EXPECT_EQ(drawn.image.PictureWidth(), int32_t((x1 - x0 + step - 1) >> r.shift));
                EXPECT_EQ(drawn.image.PictureHeight(), int32_t((y1 - y0 + step - 1) >> r.shift));
                expectPixels(drawn.image, x0, y0, r.shift);
            });
            EXPECT_EQ(handed, 1u);
        }
    }
}
