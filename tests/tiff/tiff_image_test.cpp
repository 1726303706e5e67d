// Pictures decoded from uncompressed, PackBits and LZW strips must equal
// what libtiff reads from the same file.
#include <gtest/gtest.h>

#if __has_include(<tiffio.h>)
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <random>

#include "tiff/libtiff_picture.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

const Kind kKinds[] = {
    {"rgb none", COMPRESSION_NONE, 1, 3, 8, PHOTOMETRIC_RGB},
    {"rgba none", COMPRESSION_NONE, 1, 4, 8, PHOTOMETRIC_RGB},
    {"rgb packbits", COMPRESSION_PACKBITS, 1, 3, 8, PHOTOMETRIC_RGB},
    {"rgba packbits", COMPRESSION_PACKBITS, 1, 4, 8, PHOTOMETRIC_RGB},
    {"rgb lzw", COMPRESSION_LZW, 1, 3, 8, PHOTOMETRIC_RGB},
    {"rgb lzw predictor", COMPRESSION_LZW, 2, 3, 8, PHOTOMETRIC_RGB},
    {"rgba lzw predictor", COMPRESSION_LZW, 2, 4, 8, PHOTOMETRIC_RGB},
    {"gray none", COMPRESSION_NONE, 1, 1, 8, PHOTOMETRIC_MINISBLACK},
    {"gray lzw predictor", COMPRESSION_LZW, 2, 1, 8, PHOTOMETRIC_MINISBLACK},
    {"gray white-is-zero packbits", COMPRESSION_PACKBITS, 1, 1, 8, PHOTOMETRIC_MINISWHITE},
    {"palette lzw", COMPRESSION_LZW, 1, 1, 8, PHOTOMETRIC_PALETTE},
    {"palette none", COMPRESSION_NONE, 1, 1, 8, PHOTOMETRIC_PALETTE},
    {"bilevel none", COMPRESSION_NONE, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"bilevel packbits", COMPRESSION_PACKBITS, 1, 1, 1, PHOTOMETRIC_MINISBLACK},
    {"bilevel lzw", COMPRESSION_LZW, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
};

}  // namespace

TEST(TiffImage, DecodedPicturesEqualLibtiff)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{37, 23}, {16, 16}, {300, 45}};
    for (bool le : {true, false})
        for (const Kind& kind : kKinds)
            for (auto [width, height] : sizes) {
                SCOPED_TRACE(std::string(kind.name) + (le ? " II " : " MM ") + std::to_string(width) + "x" +
                             std::to_string(height));
                testing_support::TempDir dir;
                const std::string path = dir.Path() + "/picture.tif";
                WritePicture(path, le, kind, width, height, 7);
                testing_support::Headless h;
                h.app.OpenFiles({path});
                h.Detailed(path);
                const AnalysisResult* doc = h.app.Detailed(path);
                ASSERT_NE(doc, nullptr);
                ASSERT_EQ(doc->pictures.size(), 1u);
                const ResultPicture& window = doc->pictures[0];
                EXPECT_EQ(window.title, "picture.tif");
                ASSERT_NE(window.image.Pixels(), nullptr);
                EXPECT_EQ(window.image.BitmapWidth(), int32_t((width & ~15u) + 16));
                EXPECT_EQ(window.image.BitmapHeight(), int32_t((height & ~15u) + 16));
                EXPECT_EQ(FirstDifferentRow(DrawnPicture(window.image), LibtiffPicture(path, width, height), width), -1);
                EXPECT_FALSE(Contains(h.DetailText(path), "未対応の形式"));
            }
}

// LZW strips of several hundred kilobytes: the decoder copies strings from
// where it wrote them first while they are in its output buffer, and follows
// the prefix links for strings written before its buffer was last emptied.
TEST(TiffImage, LargeLzwStripsEqualLibtiff)
{
    for (const Kind& kind : kKinds) {
        if (kind.compression != COMPRESSION_LZW || kind.bits != 8)
            continue;
        for (uint32_t rowsPerStrip : {500u, 61u}) {
            SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(rowsPerStrip) + " rows a strip");
            testing_support::TempDir dir;
            const std::string path = dir.Path() + "/large.tif";
            const uint32_t width = 611, height = 500;
            WritePicture(path, true, kind, width, height, rowsPerStrip);
            const std::unique_ptr<Drawing> d = DrawFile(path);
            ASSERT_EQ(d->windows.size(), 1u);
            EXPECT_EQ(FirstDifferentRow(DrawnPicture(d->windows[0]->image), LibtiffPicture(path, width, height), width),
                      -1);
        }
    }
}


namespace {

// Runs a detailed analysis; the windows stay valid with the result.
std::unique_ptr<Drawing> Draw(const Bytes& file)
{
    testing_support::TempDir dir;
    return DrawFile(dir.Write("drawn.tif", file));
}

// A gray 8-bit image whose one strip holds data.
std::vector<Field> GrayImage(const TiffBuilder& t, uint32_t w, uint32_t h, uint32_t compression, uint32_t dataAt,
                             uint32_t dataSize)
{
    return {t.Long(256, {w}),        t.Long(257, {h}),        t.Short(258, {8}),
            t.Short(259, {compression}), t.Short(262, {1}),   t.Long(273, {dataAt}),
            t.Short(277, {1}),       t.Long(278, {h}),        t.Long(279, {dataSize})};
}


}  // namespace

TEST(TiffImage, PackBitsRunOf128)
{
    TiffBuilder t(true);
    Bytes file = t.Build({GrayImage(t, 128, 2, 32773, 0x100, 5)});
    file.resize(0x100, 0);
    for (uint8_t b : {0x81, 0x20, 0x00, 0x40, 0x80})
        file.push_back(b);
    const auto d = Draw(file);
    ASSERT_EQ(d->windows.size(), 1u);
    const CImageBuffer& image = d->windows[0]->image;
    for (int32_t x = 0; x < 128; ++x)
        ASSERT_EQ(image.PixelAt(x, 0)[0], 0x20) << x;
    EXPECT_EQ(image.PixelAt(0, 1)[1], 0x40);
    EXPECT_EQ(image.PixelAt(1, 1)[1], 0);
}

TEST(TiffImage, BitmapSizesAndWindowTitles)
{
    for (auto [w, h, bw, bh] : {std::tuple{100, 50, 112, 64}, std::tuple{640, 480, 656, 496}}) {
        TiffBuilder t(false);
        Bytes file = t.Build({GrayImage(t, w, h, 1, 0x100, 4)});
        file.resize(0x104, 9);
        const auto d = Draw(file);
        ASSERT_EQ(d->windows.size(), 1u);
        EXPECT_EQ(d->windows[0]->title, "drawn.tif");
        EXPECT_EQ(d->windows[0]->image.BitmapWidth(), bw);
        EXPECT_EQ(d->windows[0]->image.BitmapHeight(), bh);
        EXPECT_EQ(d->windows[0]->image.PixelAt(3, 0)[0], 9);
        EXPECT_EQ(d->windows[0]->image.PixelAt(4, 0)[0], 0);
    }
}

TEST(TiffImage, UnsupportedAndUndrawnImages)
{
    TiffBuilder t(true);
    // What is not drawn gets the message under its data line and no window:
    // an unknown compression, floating-point samples and differencing,
    // CIE L*a*b*, planes of a CMYK image, 3-bit samples, a bad planar value.
    const std::vector<std::vector<Field>> cases = {
        {t.Short(259, {9})},
        {t.Short(339, {3})},
        {t.Short(259, {5}), t.Short(317, {3})},
        {t.Short(262, {8})},
        {t.Short(262, {5}), t.Short(277, {4}), t.Short(284, {2})},
        {t.Short(258, {3})},
        {t.Short(284, {3})},
    };
    for (const std::vector<Field>& changes : cases) {
        std::vector<Field> fields = GrayImage(t, 8, 8, 1, 0x100, 64);
        for (const Field& f : changes) {
            const auto same = std::find_if(fields.begin(), fields.end(), [&](const Field& g) { return g.tag == f.tag; });
            if (same != fields.end())
                *same = f;
            else
                fields.push_back(f);
        }
        std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
        Bytes file = t.Build({fields});
        file.resize(0x140, 0x55);
        const auto d = Draw(file);
        EXPECT_TRUE(Contains(d->detail, "\n[00000100] Image Data\n未対応の形式\n")) << changes[0].tag;
        EXPECT_TRUE(d->windows.empty()) << changes[0].tag;
    }
}

TEST(TiffImage, ThumbnailWithJpegDataGetsNoWindow)
{
    TiffBuilder t(true);
    Bytes file = t.Build({{t.Short(256, {8}), t.Short(257, {8}), t.Short(259, {6}), t.Long(513, {0x80}),
                           t.Long(514, {4})}});
    file.resize(0x80, 0);
    for (uint8_t b : {0xFF, 0xD8, 0xFF, 0xD9})
        file.push_back(b);
    const auto d = Draw(file);
    EXPECT_TRUE(Contains(d->detail, "\n[00000080] Jpeg Data\n"));
    EXPECT_TRUE(d->windows.empty());
}

TEST(TiffImage, MissingOrEnormousSizes)
{
    TiffBuilder t(true);
    // No ImageWidth: no window.
    std::vector<Field> fields = GrayImage(t, 8, 8, 1, 0x100, 64);
    fields.erase(fields.begin());
    Bytes file = t.Build({fields});
    file.resize(0x140, 1);
    auto d = Draw(file);
    EXPECT_TRUE(Contains(d->detail, "[00000100] Image Data\n"));
    EXPECT_TRUE(d->windows.empty());

    // A size far beyond the picture budget: the picture is drawn reduced,
    // in a quarter of the budget at most.
    file = t.Build({GrayImage(t, 100000, 100000, 5, 0x100, 64)});
    file.resize(0x140, 1);
    d = Draw(file);
    ASSERT_EQ(d->windows.size(), 1u);
    EXPECT_EQ(d->windows[0]->shift, 5u);
    EXPECT_EQ(d->windows[0]->image.PictureWidth(), 3125);
    EXPECT_NE(d->windows[0]->image.Pixels(), nullptr);
    EXPECT_FALSE(Contains(d->detail, "描画しません"));

    // Without SamplesPerPixel, RowsPerStrip and StripByteCounts the TIFF
    // defaults apply: one sample, one strip running to the end of the file.
    file = t.Build({{t.Long(256, {4}), t.Long(257, {2}), t.Short(258, {8}), t.Long(273, {0x100})}});
    file.resize(0x100, 0);
    for (uint8_t b : {10, 20, 30, 40, 50, 60, 70, 80, 90})
        file.push_back(b);
    d = Draw(file);
    ASSERT_EQ(d->windows.size(), 1u);
    EXPECT_EQ(d->windows[0]->image.PixelAt(3, 1)[2], 80);
    // A palette image without a colour map is not drawn.
    file = t.Build({{t.Long(256, {4}), t.Long(257, {2}), t.Short(258, {8}), t.Short(262, {3}), t.Long(273, {0x100})}});
    file.resize(0x108, 0);
    EXPECT_TRUE(Contains(Draw(file)->detail, "\n未対応の形式\n"));
}

TEST(TiffImage, DamagedStripsStayInsideTheBitmap)
{
    std::mt19937 random(7);
    for (uint32_t compression : {1u, 5u, 32773u}) {
        for (int round = 0; round < 60; ++round) {
            TiffBuilder t(round % 2 == 0);
            const uint32_t w = 1 + random() % 40;
            const uint32_t h = 1 + random() % 40;
            const uint32_t spp = 1 + random() % 5;
            Bytes garbage(random() % 600);
            for (uint8_t& b : garbage)
                b = static_cast<uint8_t>(random());
            if (compression == 5 && !garbage.empty())
                garbage[0] = 0x80;   // Clear, then whatever follows
            // The byte counts claim more than the file holds, and a second
            // strip starts past the image.
            // Layouts vary too: bilevel, grey, palette with a short map, colour.
            const uint32_t bits = spp == 1 && random() % 2 ? 1 : 8;
            const uint32_t photometric = random() % 4;
            std::vector<uint32_t> map(3 * (random() % 20));
            for (uint32_t& v : map)
                v = static_cast<uint32_t>(random() & 0xFFFF);
            std::vector<Field> fields = {t.Long(256, {w}), t.Long(257, {h}), t.Short(258, {bits}),
                                         t.Short(259, {compression}), t.Short(262, {photometric}),
                                         t.Long(273, {0x200, 0x210}), t.Short(277, {spp}), t.Long(278, {h / 2 + 1}),
                                         t.Long(279, {5000, 40}), t.Short(317, {2})};
            if (!map.empty())
                fields.push_back(t.Short(320, map));
            Bytes file = t.Build({fields});
            ASSERT_LE(file.size(), 0x200u);
            file.resize(0x200, 0);
            file.insert(file.end(), garbage.begin(), garbage.end());
            const auto d = Draw(file);
            // A layout that cannot be drawn says so and gets no window.
            ASSERT_EQ(d->windows.size(), Contains(d->detail, "未対応の形式") ? 0u : 1u);
            if (!d->windows.empty()) {
                ASSERT_NE(d->windows[0]->image.Pixels(), nullptr);
            }
        }
    }
}

#endif
