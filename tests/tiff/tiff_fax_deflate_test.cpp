// CCITT and Deflate strips drawn by the detailed analysis must equal what
// libtiff reads from the same file, written by libtiff itself.
#include <gtest/gtest.h>

#if __has_include(<tiffio.h>) && __has_include(<zlib.h>)
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>

#include "codec/decode_threads.h"
#include "core/analyze.h"
#include "tiff/libtiff_picture.h"
#include "tiff/tiff_analyzer.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

const Kind kFaxKinds[] = {
    {"g3", COMPRESSION_CCITTFAX3, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"g3 fill bits", COMPRESSION_CCITTFAX3, 1, 1, 1, PHOTOMETRIC_MINISWHITE, GROUP3OPT_FILLBITS},
    {"g3 black is zero", COMPRESSION_CCITTFAX3, 1, 1, 1, PHOTOMETRIC_MINISBLACK},
    {"g4", COMPRESSION_CCITTFAX4, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"g4 black is zero", COMPRESSION_CCITTFAX4, 1, 1, 1, PHOTOMETRIC_MINISBLACK},
    {"g3 low bit first", COMPRESSION_CCITTFAX3, 1, 1, 1, PHOTOMETRIC_MINISWHITE, GROUP3OPT_FILLBITS,
     FILLORDER_LSB2MSB},
    {"g4 low bit first", COMPRESSION_CCITTFAX4, 1, 1, 1, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_LSB2MSB},
    {"g3 2d", COMPRESSION_CCITTFAX3, 1, 1, 1, PHOTOMETRIC_MINISWHITE, GROUP3OPT_2DENCODING},
    {"g3 2d fill bits low bit first", COMPRESSION_CCITTFAX3, 1, 1, 1, PHOTOMETRIC_MINISBLACK,
     GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, FILLORDER_LSB2MSB},
    {"modified huffman", COMPRESSION_CCITTRLE, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"modified huffman low bit first", COMPRESSION_CCITTRLE, 1, 1, 1, PHOTOMETRIC_MINISBLACK, 0,
     FILLORDER_LSB2MSB},
};

const Kind kDeflateKinds[] = {
    {"rgb", COMPRESSION_DEFLATE, 1, 3, 8, PHOTOMETRIC_RGB},
    {"rgb predictor", COMPRESSION_DEFLATE, 2, 3, 8, PHOTOMETRIC_RGB},
    {"rgba", COMPRESSION_DEFLATE, 1, 4, 8, PHOTOMETRIC_RGB},
    {"rgba predictor", COMPRESSION_DEFLATE, 2, 4, 8, PHOTOMETRIC_RGB},
    {"gray predictor", COMPRESSION_DEFLATE, 2, 1, 8, PHOTOMETRIC_MINISBLACK},
    {"gray white is zero", COMPRESSION_DEFLATE, 1, 1, 8, PHOTOMETRIC_MINISWHITE},
    {"palette", COMPRESSION_DEFLATE, 1, 1, 8, PHOTOMETRIC_PALETTE},
    {"bilevel", COMPRESSION_DEFLATE, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"bilevel black is zero", COMPRESSION_DEFLATE, 1, 1, 1, PHOTOMETRIC_MINISBLACK},
};

void ExpectSameAsLibtiff(const Kind& kind, bool le, uint32_t width, uint32_t height, uint32_t rowsPerStrip)
{
    SCOPED_TRACE(std::string(kind.name) + (le ? " II " : " MM ") + std::to_string(width) + "x" +
                 std::to_string(height) + " rows per strip " + std::to_string(rowsPerStrip));
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/picture.tif";
    WritePicture(path, le, kind, width, height, rowsPerStrip);
    const auto d = DrawFile(path);
    ASSERT_EQ(d->windows.size(), 1u);
    const CImageBuffer& image = d->windows[0]->image;
    ASSERT_NE(image.Pixels(), nullptr);
    EXPECT_EQ(FirstDifferentRow(DrawnPicture(image), LibtiffPicture(path, width, height), width), -1);
    EXPECT_FALSE(Contains(d->detail, "未対応の形式"));
}

}  // namespace

TEST(TiffFax, PicturesEqualLibtiffInBothByteOrders)
{
    // Odd widths, a width of exactly 1728 and one past the extended make-up
    // codes; one strip, several strips and a short last strip.
    const std::tuple<uint32_t, uint32_t, uint32_t> shapes[] = {
        {37, 23, 7}, {1728, 40, 16}, {2611, 9, 4}, {1, 5, 2}, {300, 45, 45}, {64, 64, 1000}};
    for (bool le : {true, false})
        for (const Kind& kind : kFaxKinds)
            for (auto [width, height, rows] : shapes)
                ExpectSameAsLibtiff(kind, le, width, height, rows);
}

TEST(TiffDeflate, PicturesEqualLibtiffInBothByteOrders)
{
    const std::tuple<uint32_t, uint32_t, uint32_t> shapes[] = {{37, 23, 7}, {16, 16, 16}, {300, 45, 8}, {1, 3, 1}};
    for (bool le : {true, false})
        for (const Kind& kind : kDeflateKinds)
            for (auto [width, height, rows] : shapes)
                ExpectSameAsLibtiff(kind, le, width, height, rows);
}

TEST(TiffDeflate, LibtiffWritesTheCompressionThatIsDecoded)
{
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/picture.tif";
    WritePicture(path, true, kDeflateKinds[0], 8, 8, 8);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    uint16_t compression = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFClose(tif);
    EXPECT_EQ(compression, 32946);
    // The same bytes labelled Compression 8 (Adobe Deflate) decode alike.
    Bytes file = testing_support::ReadFile(path);
    const Bytes from = {0x03, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB2, 0x80};
    const auto at = std::search(file.begin(), file.end(), from.begin(), from.end());
    ASSERT_NE(at, file.end());
    at[8] = 8;
    at[9] = 0;
    const std::string relabelled = dir.Write("eight.tif", file);
    const auto d = DrawFile(relabelled);
    EXPECT_FALSE(Contains(d->detail, "未対応の形式")) << d->detail;
    ASSERT_EQ(d->windows.size(), 1u);
    EXPECT_EQ(FirstDifferentRow(DrawnPicture(d->windows[0]->image), LibtiffPicture(path, 8, 8), 8), -1);
}

// A 640-pixel RGBA image with horizontal differencing: a row is 2560 bytes,
// so differencing four bytes back and starting afresh every 2560 bytes gives
// the same picture as differencing each sample within its row.
TEST(TiffDeflate, RgbaRowsOf640PixelsUndoTheFourByteDifference)
{
    constexpr uint32_t kWidth = 640, kHeight = 12;
    const Kind& kind = kDeflateKinds[3];
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/wide.tif";
    WritePicture(path, true, kind, kWidth, kHeight, 5);

    // The strips' inflated bytes, as stored (still differenced).
    std::vector<uint8_t> inflated;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        std::vector<uint8_t> raw(TIFFRawStripSize(tif, s));
        TIFFReadRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size()));
        std::vector<uint8_t> out(size_t{kWidth} * 4 * 5);
        uLongf n = out.size();
        ASSERT_EQ(uncompress(out.data(), &n, raw.data(), raw.size()), Z_OK);
        inflated.insert(inflated.end(), out.begin(), out.begin() + static_cast<long>(n));
    }
    TIFFClose(tif);
    ASSERT_EQ(inflated.size(), size_t{kWidth} * 4 * kHeight);

    std::vector<uint8_t> expected;
    uint8_t history[2560] = {};
    for (size_t i = 0; i < inflated.size(); ++i) {
        const size_t k = i % 2560;
        if (k == 0)
            std::fill(std::begin(history), std::end(history), 0);
        history[k] = static_cast<uint8_t>(inflated[i] + (k >= 4 ? history[k - 4] : 0));
        if (k % 4 == 3)
            expected.insert(expected.end(), {history[k - 1], history[k - 2], history[k - 3]});
    }
    const auto d = DrawFile(path);
    ASSERT_EQ(d->windows.size(), 1u);
    const std::vector<uint8_t> drawn = DrawnPicture(d->windows[0]->image);
    EXPECT_EQ(FirstDifferentRow(drawn, expected, kWidth), -1);
    EXPECT_EQ(FirstDifferentRow(drawn, LibtiffPicture(path, kWidth, kHeight), kWidth), -1);
}

namespace {

// A file written by libtiff with its strips replaced by others; each strip's
// bytes follow the file, the offsets and byte counts are patched to them.
Bytes WithStrips(const std::string& path, const std::vector<Bytes>& strips, const std::vector<uint32_t>& counts)
{
    Bytes file = testing_support::ReadFile(path);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    const uint64_t directory = TIFFCurrentDirOffset(tif);
    TIFFClose(tif);
    const bool le = file[0] == 'I';
    auto get16 = [&](size_t at) { return le ? file[at] | file[at + 1] << 8 : file[at] << 8 | file[at + 1]; };
    auto get32 = [&](size_t at) {
        return le ? uint32_t(get16(at)) | uint32_t(get16(at + 2)) << 16 : uint32_t(get16(at)) << 16 | get16(at + 2);
    };
    std::vector<uint32_t> offsets;
    for (const Bytes& strip : strips) {
        offsets.push_back(static_cast<uint32_t>(file.size()));
        file.insert(file.end(), strip.begin(), strip.end());
    }
    const uint32_t n = get16(directory);
    for (uint32_t e = 0; e < n; ++e) {
        const size_t at = directory + 2 + 12 * e;
        const uint32_t tag = get16(at);
        if (tag != 273 && tag != 279)
            continue;
        const std::vector<uint32_t>& values = tag == 273 ? offsets : counts;
        const uint32_t count = get32(at + 4);
        const bool shortType = get16(at + 2) == 3;
        size_t valuesAt = at + 8;
        if (count * (shortType ? 2 : 4) > 4)
            valuesAt = get32(at + 8);
        for (uint32_t i = 0; i < count && i < values.size(); ++i) {
            if (shortType) {
                Bytes v;
                Put16(v, values[i], le);
                std::copy(v.begin(), v.end(), file.begin() + static_cast<long>(valuesAt + 2 * i));
            } else {
                Set32(file, valuesAt + 4 * i, values[i], le);
            }
        }
    }
    return file;
}

// The raw strips of a file written by libtiff.
std::vector<Bytes> RawStrips(const std::string& path)
{
    std::vector<Bytes> strips;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        Bytes raw(TIFFRawStripSize(tif, s));
        TIFFReadRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size()));
        strips.push_back(std::move(raw));
    }
    TIFFClose(tif);
    return strips;
}

// Every pixel of the margin (columns from width on, rows from height on) is
// still zero.
bool MarginUntouched(const CImageBuffer& image)
{
    for (int32_t y = 0; y < image.BitmapHeight(); ++y)
        for (int32_t x = 0; x < image.BitmapWidth(); ++x) {
            if (x < image.PictureWidth() && y < image.PictureHeight())
                continue;
            const uint8_t* p = image.PixelAt(x, y);
            if (p[0] || p[1] || p[2])
                return false;
        }
    return true;
}

}  // namespace

// Strips cut short, filled with garbage, with their end codes removed, or
// inflating to far more than the picture: each decoder stops at its strip,
// and nothing outside the picture is written.
TEST(TiffFaxDeflate, DamagedStripsStayInsideThePicture)
{
    std::mt19937 random(11);
    const Kind kinds[] = {kFaxKinds[0], kFaxKinds[1], kFaxKinds[3], kDeflateKinds[3], kDeflateKinds[7]};
    for (const Kind& kind : kinds) {
        for (bool le : {true, false}) {
            SCOPED_TRACE(std::string(kind.name) + (le ? " II" : " MM"));
            testing_support::TempDir dir;
            const std::string path = dir.Path() + "/picture.tif";
            WritePicture(path, le, kind, 45, 30, 10);
            const std::vector<Bytes> good = RawStrips(path);
            ASSERT_EQ(good.size(), 3u);
            for (int round = 0; round < 12; ++round) {
                std::vector<Bytes> strips = good;
                std::vector<uint32_t> counts;
                for (Bytes& strip : strips) {
                    switch (round % 4) {
                    case 0:   // cut short
                        strip.resize(random() % (strip.size() + 1));
                        break;
                    case 1:   // garbage
                        for (uint8_t& b : strip)
                            b = static_cast<uint8_t>(random());
                        break;
                    case 2:   // the end codes (RTC, EOFB, the Adler-32) dropped
                        strip.resize(strip.size() > 4 ? strip.size() - 4 : 0);
                        break;
                    default:  // all zero bits or all one bits
                        std::fill(strip.begin(), strip.end(), round % 8 == 3 ? 0x00 : 0xFF);
                        break;
                    }
                    counts.push_back(static_cast<uint32_t>(strip.size()));
                }
                // The last strip claims more bytes than the file holds.
                counts.back() = 0x7FFFFFFF;
                const std::string damaged = dir.Write("damaged.tif", WithStrips(path, strips, counts));
                const auto d = DrawFile(damaged);
                ASSERT_EQ(d->windows.size(), 1u);
                ASSERT_NE(d->windows[0]->image.Pixels(), nullptr);
                EXPECT_TRUE(MarginUntouched(d->windows[0]->image)) << round;
            }
        }
    }
}

TEST(TiffDeflate, AStripThatInflatesFarBeyondItsRowsIsCut)
{
    // 16 MiB of zeros from a stream of about 16 KiB, for a 10 x 10 grey picture.
    std::vector<uint8_t> zeros(16u << 20, 0);
    uLongf size = compressBound(zeros.size());
    Bytes bomb(size);
    ASSERT_EQ(compress2(bomb.data(), &size, zeros.data(), zeros.size(), 9), Z_OK);
    bomb.resize(size);
    zeros = {};

    TiffBuilder t(true);
    Bytes file = t.Build({{t.Long(256, {10}), t.Long(257, {10}), t.Short(258, {8}), t.Short(259, {32946}),
                           t.Short(262, {0}), t.Long(273, {0x100}), t.Short(277, {1}), t.Long(278, {10}),
                           t.Long(279, {static_cast<uint32_t>(bomb.size())})}});
    file.resize(0x100, 0);
    file.insert(file.end(), bomb.begin(), bomb.end());
    testing_support::TempDir dir;
    const auto d = DrawFile(dir.Write("bomb.tif", file));
    ASSERT_EQ(d->windows.size(), 1u);
    const CImageBuffer& image = d->windows[0]->image;
    // White is zero: every pixel of the picture is white, the margin untouched.
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(image.PixelAt(x, y)[1], 255) << x << "," << y;
    EXPECT_TRUE(MarginUntouched(image));
}

TEST(TiffFax, StripsWithoutByteCountsOrRowsPerStrip)
{
    const Kind& g4 = kFaxKinds[3];
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/g4.tif";
    WritePicture(path, true, g4, 50, 20, 20);
    const std::vector<uint8_t> expected = LibtiffPicture(path, 50, 20);
    const Bytes strip = RawStrips(path)[0];

    // One strip, no RowsPerStrip, no StripByteCounts: the strip runs to the
    // end of the file and holds the whole image (TIFF 6.0 defaults).
    TiffBuilder t(true);
    std::vector<Field> fields = {t.Long(256, {50}), t.Long(257, {20}), t.Short(258, {1}), t.Short(259, {4}),
                                 t.Short(262, {0}), t.Long(273, {0x100})};
    Bytes file = t.Build({fields});
    file.resize(0x100, 0);
    file.insert(file.end(), strip.begin(), strip.end());
    auto d = DrawFile(dir.Write("defaults.tif", file));
    ASSERT_EQ(d->windows.size(), 1u);
    EXPECT_EQ(FirstDifferentRow(DrawnPicture(d->windows[0]->image), expected, 50), -1);

    // Without PhotometricInterpretation the fax convention holds: 0 is white.
    fields.erase(fields.begin() + 4);
    file = t.Build({fields});
    file.resize(0x100, 0);
    file.insert(file.end(), strip.begin(), strip.end());
    d = DrawFile(dir.Write("no-photometric.tif", file));
    ASSERT_EQ(d->windows.size(), 1u);
    EXPECT_EQ(FirstDifferentRow(DrawnPicture(d->windows[0]->image), expected, 50), -1);
}

// vantrel-dump writes each drawn picture: one file a window, named after the
// analysed file, with libtiff's picture in it.
TEST(TiffFaxDeflate, DumpWritesEveryDrawnPicture)
{
    testing_support::TempDir dir;
    const std::string out = dir.Path() + "/pictures";
    const Kind kinds[] = {kFaxKinds[0], kFaxKinds[3], kDeflateKinds[1]};
    std::vector<std::string> args = {"-d", "--images", out, "--ppm"};
    for (size_t i = 0; i < std::size(kinds); ++i) {
        args.push_back(dir.Path() + "/p" + std::to_string(i) + ".tif");
        WritePicture(args.back(), i % 2 == 0, kinds[i], 33, 17, 5);
    }
    const auto r = testing_support::Dump(args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (size_t i = 0; i < std::size(kinds); ++i) {
        SCOPED_TRACE(kinds[i].name);
        const Bytes ppm = testing_support::ReadFile(out + "/p" + std::to_string(i) + ".tif.1.ppm");
        const std::string header = "P6\n33 17\n255\n";
        ASSERT_EQ(ppm.size(), header.size() + 33 * 17 * 3);
        EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<long>(header.size())), header);
        // PPM pixels are red, green, blue.
        std::vector<uint8_t> drawn(ppm.begin() + static_cast<long>(header.size()), ppm.end());
        for (size_t k = 0; k < drawn.size(); k += 3)
            std::swap(drawn[k], drawn[k + 2]);
        EXPECT_EQ(FirstDifferentRow(drawn, LibtiffPicture(args[4 + i], 33, 17), 33), -1);
    }
}

namespace {

size_t ThreadCount()
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

}  // namespace

// The pages of a fax document are drawn side by side; once its analysis has
// drawn the last, none of the threads that drew them is left, even while the
// analyzer is still there.
TEST(TiffFax, NoPageThreadOutlivesTheDocumentsPictures)
{
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/pages.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    std::vector<uint8_t> row(8);
    for (uint32_t page = 0; page < 6; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 64);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 48);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        for (uint32_t y = 0; y < 48; ++y) {
            std::fill(row.begin(), row.end(), uint8_t((y + page) % 3 ? 0x0F : 0xF0));
            ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
        }
        ASSERT_EQ(TIFFWriteDirectory(tif), 1);
    }
    TIFFClose(tif);
    const size_t before = ThreadCount();
    size_t during = 0;
    testing_support::StandaloneRun run(AnalysisMode::Detailed, "/path", 4);
    {
        FilePtr fp = OpenAnalysisFile(path.c_str());
        CTiffAnalyzer analyzer;
        analyzer.Analyze({.run = &run.run, .fp = fp.get(), .path = path.c_str(), .mode = AnalysisMode::Detailed});
        during = ThreadCount();
    }
    ASSERT_EQ(run.result.pictures.size(), 6u);
    EXPECT_EQ(FirstDifferentRow(DrawnPicture(run.result.pictures[0].image), LibtiffPicture(path, 64, 48), 64), -1);
    EXPECT_EQ(during, before);
}

#endif
