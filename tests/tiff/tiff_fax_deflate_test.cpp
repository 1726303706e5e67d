// CCITT and Deflate strips drawn by the detailed analysis must equal what
// libtiff reads from the same file, written by libtiff itself.
#include <gtest/gtest.h>

#if __has_include(<tiffio.h>) && __has_include(<zlib.h>)
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <random>

#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

struct Kind {
    const char* name;
    uint16_t compression;
    uint32_t group3Options;  // CCITT T.4 only
    uint16_t predictor;
    uint16_t samples;
    uint16_t bits;
    uint16_t photometric;
};

constexpr uint32_t kG3Plain = 0;

const Kind kFaxKinds[] = {
    {"g3", COMPRESSION_CCITTFAX3, kG3Plain, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"g3 fill bits", COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"g3 black is zero", COMPRESSION_CCITTFAX3, kG3Plain, 1, 1, 1, PHOTOMETRIC_MINISBLACK},
    {"g4", COMPRESSION_CCITTFAX4, 0, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"g4 black is zero", COMPRESSION_CCITTFAX4, 0, 1, 1, 1, PHOTOMETRIC_MINISBLACK},
};

const Kind kDeflateKinds[] = {
    {"rgb", COMPRESSION_DEFLATE, 0, 1, 3, 8, PHOTOMETRIC_RGB},
    {"rgb predictor", COMPRESSION_DEFLATE, 0, 2, 3, 8, PHOTOMETRIC_RGB},
    {"rgba", COMPRESSION_DEFLATE, 0, 1, 4, 8, PHOTOMETRIC_RGB},
    {"rgba predictor", COMPRESSION_DEFLATE, 0, 2, 4, 8, PHOTOMETRIC_RGB},
    {"gray predictor", COMPRESSION_DEFLATE, 0, 2, 1, 8, PHOTOMETRIC_MINISBLACK},
    {"gray white is zero", COMPRESSION_DEFLATE, 0, 1, 1, 8, PHOTOMETRIC_MINISWHITE},
    {"palette", COMPRESSION_DEFLATE, 0, 1, 1, 8, PHOTOMETRIC_PALETTE},
    {"bilevel", COMPRESSION_DEFLATE, 0, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"bilevel black is zero", COMPRESSION_DEFLATE, 0, 1, 1, 1, PHOTOMETRIC_MINISBLACK},
};

// Bilevel rows: black blocks and strokes of many lengths, so that the fax
// codings use terminating and make-up codes and every mode; colour rows:
// gradients with repeats.
uint8_t Sample(const Kind& kind, uint32_t i, uint32_t y)
{
    if (kind.bits == 1) {
        const uint32_t x = i * 8;
        if (y % 11 == 3)
            return 0x00;
        if ((x / 64 + y / 9) % 3 == 0)
            return 0xFF;
        return static_cast<uint8_t>((0xF0 >> (y % 5)) ^ (i * 37 + y * y));
    }
    const uint32_t x = i / kind.samples;
    const uint32_t s = i % kind.samples;
    return static_cast<uint8_t>(((x / 3) * 29 + y * 13 + s * 71) ^ (y % 5 == 0 ? 0xFF : 0));
}

void Write(const std::string& path, bool le, const Kind& kind, uint32_t width, uint32_t height, uint32_t rowsPerStrip)
{
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), le ? "wl" : "wb");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, kind.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, kind.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, kind.compression);
    if (kind.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, kind.group3Options);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (kind.predictor != 1)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, kind.predictor);
    if (kind.samples == 4) {
        const uint16_t alpha[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, alpha);
    }
    if (kind.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> r(256), g(256), b(256);
        for (int i = 0; i < 256; ++i) {
            r[i] = uint16_t(i * 257);
            g[i] = uint16_t((255 - i) * 256 + 17);
            b[i] = uint16_t((i * 7 % 256) * 256);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    const uint32_t rowBytes = kind.bits == 1 ? (width + 7) / 8 : width * kind.samples;
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t i = 0; i < rowBytes; ++i)
            row[i] = Sample(kind, i, y);
        ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
    }
    TIFFClose(tif);
}

// The picture as libtiff decodes it, in the image window's colours (blue,
// green, red a pixel, top row first).
std::vector<uint8_t> Expected(const std::string& path, uint32_t width, uint32_t height)
{
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    uint16_t bits = 0, samples = 0, photometric = 0;
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (photometric == PHOTOMETRIC_PALETTE)
        TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b);
    std::vector<uint8_t> out;
    std::vector<uint8_t> row(TIFFScanlineSize(tif));
    for (uint32_t y = 0; y < height; ++y) {
        TIFFReadScanline(tif, row.data(), y, 0);
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t bgr[3];
            if (bits == 1) {
                const bool one = (row[x / 8] >> (7 - x % 8)) & 1;
                const bool white = one != (photometric == PHOTOMETRIC_MINISWHITE);
                bgr[0] = bgr[1] = bgr[2] = white ? 255 : 0;
            } else if (photometric == PHOTOMETRIC_PALETTE) {
                const uint8_t i = row[x];
                bgr[0] = uint8_t(b[i] >> 8);
                bgr[1] = uint8_t(g[i] >> 8);
                bgr[2] = uint8_t(r[i] >> 8);
            } else if (samples < 3) {
                const uint8_t v = row[x * samples];
                bgr[0] = bgr[1] = bgr[2] = photometric == PHOTOMETRIC_MINISWHITE ? uint8_t(255 - v) : v;
            } else {
                bgr[0] = row[x * samples + 2];
                bgr[1] = row[x * samples + 1];
                bgr[2] = row[x * samples];
            }
            out.insert(out.end(), bgr, bgr + 3);
        }
    }
    TIFFClose(tif);
    return out;
}

std::vector<uint8_t> Drawn(const CImageBuffer& image)
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < image.PictureHeight(); ++y)
        for (int32_t x = 0; x < image.PictureWidth(); ++x) {
            const uint8_t* p = image.PixelAt(x, y);
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

// The first picture row (from 0) where the two pictures differ, or -1.
int FirstDifferentRow(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t width)
{
    const size_t rowBytes = size_t{width} * 3;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            return static_cast<int>(i / rowBytes);
    return a.size() == b.size() ? -1 : static_cast<int>(std::min(a.size(), b.size()) / rowBytes);
}

struct Drawing {
    std::string detail;
    std::vector<const HeadlessImageWindow*> windows;
    testing_support::Headless h;
};

// Runs a detailed analysis of the file at path; the windows stay valid with
// the result.
std::unique_ptr<Drawing> DrawFile(const std::string& path)
{
    auto d = std::make_unique<Drawing>();
    d->h.app.OpenFiles({path});
    d->h.app.RunDetailedAnalysis(path.c_str());
    d->detail = d->h.DetailText(path);
    if (const HeadlessDocument* doc = d->h.shell.FindDocument(path))
        for (const auto& w : doc->images)
            d->windows.push_back(w.get());
    return d;
}

void ExpectSameAsLibtiff(const Kind& kind, bool le, uint32_t width, uint32_t height, uint32_t rowsPerStrip)
{
    SCOPED_TRACE(std::string(kind.name) + (le ? " II " : " MM ") + std::to_string(width) + "x" +
                 std::to_string(height) + " rows per strip " + std::to_string(rowsPerStrip));
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/picture.tif";
    Write(path, le, kind, width, height, rowsPerStrip);
    const auto d = DrawFile(path);
    ASSERT_EQ(d->windows.size(), 1u);
    const CImageBuffer& image = d->windows[0]->image;
    ASSERT_NE(image.Pixels(), nullptr);
    EXPECT_EQ(FirstDifferentRow(Drawn(image), Expected(path, width, height), width), -1);
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
    Write(path, true, kDeflateKinds[0], 8, 8, 8);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    uint16_t compression = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFClose(tif);
    EXPECT_EQ(compression, 32946);
    // The same bytes labelled Compression 8 are not decoded.
    Bytes file = testing_support::ReadFile(path);
    const Bytes from = {0x03, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB2, 0x80};
    const auto at = std::search(file.begin(), file.end(), from.begin(), from.end());
    ASSERT_NE(at, file.end());
    at[8] = 8;
    at[9] = 0;
    const std::string relabelled = dir.Write("eight.tif", file);
    const auto d = DrawFile(relabelled);
    EXPECT_TRUE(Contains(d->detail, " Image Data\n未対応の形式\n")) << d->detail;
    ASSERT_EQ(d->windows.size(), 1u);
}

// A 640-pixel RGBA image with horizontal differencing: a row is 2560 bytes,
// so differencing four bytes back and starting afresh every 2560 bytes gives
// the same picture as differencing each sample within its row.
TEST(TiffDeflate, RgbaRowsOf640PixelsUndoTheFourByteDifference)
{
    constexpr uint32_t kWidth = 640, kHeight = 12;
    const Kind kind = {"rgba predictor", COMPRESSION_DEFLATE, 0, 2, 4, 8, PHOTOMETRIC_RGB};
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/wide.tif";
    Write(path, true, kind, kWidth, kHeight, 5);

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
    const std::vector<uint8_t> drawn = Drawn(d->windows[0]->image);
    EXPECT_EQ(FirstDifferentRow(drawn, expected, kWidth), -1);
    EXPECT_EQ(FirstDifferentRow(drawn, Expected(path, kWidth, kHeight), kWidth), -1);
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
            Write(path, le, kind, 45, 30, 10);
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

TEST(TiffFax, StripsWithoutByteCountsOrRowsPerStripAndTwoDimensionalG3)
{
    const Kind& g4 = kFaxKinds[3];
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/g4.tif";
    Write(path, true, g4, 50, 20, 20);
    const std::vector<uint8_t> expected = Expected(path, 50, 20);
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
    EXPECT_EQ(FirstDifferentRow(Drawn(d->windows[0]->image), expected, 50), -1);

    // Without PhotometricInterpretation the fax convention holds: 0 is white.
    fields.erase(fields.begin() + 4);
    file = t.Build({fields});
    file.resize(0x100, 0);
    file.insert(file.end(), strip.begin(), strip.end());
    d = DrawFile(dir.Write("no-photometric.tif", file));
    ASSERT_EQ(d->windows.size(), 1u);
    EXPECT_EQ(FirstDifferentRow(Drawn(d->windows[0]->image), expected, 50), -1);

    // Two-dimensional T.4 coding (T4Options bit 0) is not decoded.
    fields = {t.Long(256, {50}), t.Long(257, {20}), t.Short(258, {1}), t.Short(259, {3}),
              t.Short(262, {0}), t.Long(273, {0x100}), t.Long(292, {1})};
    file = t.Build({fields});
    file.resize(0x100, 0);
    file.insert(file.end(), strip.begin(), strip.end());
    d = DrawFile(dir.Write("g3-2d.tif", file));
    EXPECT_TRUE(Contains(d->detail, "\n[00000100] Image Data\n未対応の形式\n")) << d->detail;
    ASSERT_EQ(d->windows.size(), 1u);
    EXPECT_TRUE(MarginUntouched(d->windows[0]->image));
}

#endif
