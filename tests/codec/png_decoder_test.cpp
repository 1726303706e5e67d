// PNG pictures from real writers and crafted ones, decoded through CInflater
// and CPngDecoder the way the PNG analyzer does, and compared pixel for pixel
// with libpng reading the same file with png_set_expand, png_set_strip_16,
// png_set_gray_to_rgb and an opaque filler: straight 8-bit RGBA.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <span>
#include <string>
#include <tuple>

#include "support/libpng_reference.h"
#include "support/png_fixture.h"
#include "support/png_writer_cases.h"
#include "support/test_support.h"

using namespace png_fixture;

namespace {

// Empty when the first rows rows agree, else the first pixel that differs.
std::string Difference(const Bytes& ours, const Bytes& theirs, uint32_t width, uint32_t rows)
{
    const size_t n = size_t{width} * rows * 4;
    if (ours.size() < n || theirs.size() < n)
        return "pictures too small";
    for (size_t i = 0; i < n; i += 4) {
        if (std::memcmp(&ours[i], &theirs[i], 4) != 0) {
            const size_t pixel = i / 4;
            return "pixel (" + std::to_string(pixel % width) + ", " + std::to_string(pixel / width) + "): ours " +
                   PixelText(&ours[i]) + " libpng " + PixelText(&theirs[i]);
        }
    }
    return "";
}

using png_writers::kConvert;
using png_writers::kImageMagick;
using png_writers::Layout;
using png_writers::WriterCase;

std::string LayoutText(const Layout& l)
{
    return "type " + std::to_string(std::get<0>(l)) + " depth " + std::to_string(std::get<1>(l)) +
           (std::get<2>(l) ? " Adam7" : "");
}

// Decodes the file both ways and expects the same complete picture.
void ExpectAsLibpng(const Bytes& file, const std::string& label, const Layout* expected = nullptr)
{
    SCOPED_TRACE(label);
    const PngFile png = ReadPng(file);
    ASSERT_TRUE(png.ok);
    const Layout layout{png.header.colourType, png.header.bitDepth, png.header.interlace};
    if (expected) {
        EXPECT_EQ(LayoutText(layout), LayoutText(*expected));
    }
    const libpng_reference::Picture reference = libpng_reference::Decode(file);
    ASSERT_TRUE(reference.complete);
    const Decoded ours = DecodeFile(png);
    EXPECT_EQ(ours.result.status, PngDecodeStatus::Complete) << ours.result.reason;
    EXPECT_EQ(ours.result.rowsDone, png.header.height);
    EXPECT_EQ(ours.result.extraBytes, 0u);
    EXPECT_EQ(ours.result.dataBytes, png.header.DataBytes());
    ASSERT_EQ(ours.width, reference.width);
    EXPECT_EQ(Difference(ours.rgba, reference.rgba, ours.width, ours.height), "") << LayoutText(layout);
}

// ---- Files from real writers ----


// Pillow: one script writes every mode at a size.
constexpr const char* kPillowScript = R"(
import sys
from PIL import Image
w, h, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rgb = Image.new("RGB", (w, h))
rgb.putdata([((x * 7 + y * 3) % 256, (x * y * 5) % 256, (255 - x * 11 + y) % 256) for y in range(h) for x in range(w)])
ramp = Image.linear_gradient("L").resize((w, h))
rgb.save(out + "/rgb.png")
rgb.save(out + "/rgb_t.png", transparency=rgb.getpixel((w // 2, h // 2)))
rgba = rgb.convert("RGBA"); rgba.putalpha(ramp); rgba.save(out + "/rgba.png")
grey = rgb.convert("L"); grey.save(out + "/l.png")
grey.save(out + "/l_t.png", transparency=grey.getpixel((w // 2, h // 2)))
la = grey.convert("LA"); la.putalpha(ramp.transpose(Image.FLIP_LEFT_RIGHT)); la.save(out + "/la.png")
rgb.convert("1").save(out + "/1.png")
rgb.quantize(2).save(out + "/p1.png", bits=1)
rgb.quantize(4).save(out + "/p2.png", bits=2)
rgb.quantize(16).save(out + "/p4.png", bits=4, transparency=bytes([0, 128, 255]))
rgb.quantize(200).save(out + "/p8.png", transparency=bytes(range(0, 250, 7)))
wide = Image.new("I;16", (w, h)); wide.putdata([(x * 1771 + y * 2897) % 65536 for y in range(h) for x in range(w)])
wide.save(out + "/i16.png")
)";

constexpr WriterCase kPillow[] = {
    {"rgb", {2, 8, 0}}, {"rgb_t", {2, 8, 0}}, {"rgba", {6, 8, 0}}, {"l", {0, 8, 0}},  {"l_t", {0, 8, 0}},
    {"la", {4, 8, 0}},  {"1", {0, 1, 0}},     {"p1", {3, 1, 0}},   {"p2", {3, 2, 0}}, {"p4", {3, 4, 0}},
    {"p8", {3, 8, 0}},  {"i16", {0, 16, 0}},
};

// Netpbm, Adam7 mostly, from sources ImageMagick writes into SRC.
constexpr WriterCase kNetpbm[] = {
    {"pnmtopng -interlace -force SRC/rgb.ppm", {2, 8, 1}},
    {"pnmtopng -interlace SRC/rgb16.ppm", {2, 16, 1}},
    {"pnmtopng -interlace SRC/grey16.pgm", {0, 16, 1}},
    {"pnmtopng -interlace SRC/grey.pgm", {0, 8, 1}},
    {"pamdepth 3 SRC/grey.pgm | pnmtopng -interlace", {0, 2, 1}},
    {"pamdepth 15 SRC/grey.pgm | pnmtopng -interlace", {0, 4, 1}},
    {"pnmtopng -interlace SRC/bits.pbm", {0, 1, 1}},
    {"pnmquant 200 SRC/rgb.ppm | pnmtopng -interlace", {3, 8, 1}},
    {"pnmquant 16 SRC/rgb.ppm | pnmtopng -interlace", {3, 4, 1}},
    {"pnmquant 4 SRC/rgb.ppm | pnmtopng -interlace", {3, 2, 1}},
    {"pnmquant 2 SRC/rgb.ppm | pnmtopng -interlace", {3, 1, 1}},
    {"pnmtopng -interlace -transparent '#808080' SRC/grey.pgm", {0, 8, 1}},
    {"pnmtopng -transparent '#000000' SRC/grey16.pgm", {0, 16, 0}},
    {"pnmtopng -force -interlace -transparent =rgb:00/00/ff SRC/rgb.ppm", {2, 8, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey.pgm SRC/rgb.ppm", {6, 8, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey16.pgm SRC/rgb16.ppm", {6, 16, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey.pgm SRC/grey.pgm", {4, 8, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey16.pgm SRC/grey16.pgm", {4, 16, 1}},
};

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

constexpr std::pair<uint32_t, uint32_t> kSizes[] = {{37, 23}, {1, 1}, {1, 9}, {9, 1}, {3, 2}, {13, 7}};

}  // namespace

TEST(PngDecoderWriters, TablesCoverEveryLayout)
{
    std::set<Layout> listed;
    using Table = std::span<const WriterCase>;
    for (Table table : {Table(kImageMagick), Table(kPillow), Table(kNetpbm)})
        for (const WriterCase& c : table)
            listed.insert(c.layout);
    for (int interlace = 0; interlace <= 1; ++interlace)
        for (int type : {0, 2, 3, 4, 6})
            for (int depth : {1, 2, 4, 8, 16}) {
                PngImageHeader h{1, 1, static_cast<uint8_t>(depth), static_cast<uint8_t>(type),
                                 static_cast<uint8_t>(interlace)};
                if (!h.Problem()) {
                    EXPECT_TRUE(listed.count({type, depth, interlace})) << LayoutText({type, depth, interlace});
                }
            }
}

TEST(PngDecoderWriters, ImageMagickEqualsLibpng)
{
    if (!std::filesystem::exists(kConvert))
        GTEST_SKIP() << "ImageMagick is not installed";
    testing_support::TempDir dir;
    const std::string out = dir.Path() + "/magick.png";
    for (auto [w, h] : {kSizes[0], kSizes[4]}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        for (const WriterCase& c : kImageMagick) {
            const std::string command = Replace(png_writers::ShellQuoted(c.command), "OUT", out);
            ASSERT_TRUE(RunTool(std::string(kConvert) + " -size " + size + " " + command)) << command;
            ExpectAsLibpng(testing_support::ReadFile(out), size + " " + c.command, &c.layout);
        }
    }
}

TEST(PngDecoderWriters, PillowEqualsLibpng)
{
    if (PillowPython().empty())
        GTEST_SKIP() << "Pillow is not installed";
    testing_support::TempDir dir;
    const std::string script = dir.Write("write.py", std::string(kPillowScript));
    for (auto [w, h] : kSizes) {
        const std::string size = std::to_string(w) + " " + std::to_string(h);
        ASSERT_TRUE(RunTool(PillowPython() + " " + script + " " + size + " " + dir.Path())) << size;
        for (const WriterCase& c : kPillow)
            ExpectAsLibpng(testing_support::ReadFile(dir.Path() + "/" + c.command + ".png"),
                           size + " " + c.command, &c.layout);
    }
}

TEST(PngDecoderWriters, NetpbmEqualsLibpng)
{
    if (!std::filesystem::exists("/usr/bin/pnmtopng") || !std::filesystem::exists(kConvert))
        GTEST_SKIP() << "netpbm or ImageMagick is not installed";
    testing_support::TempDir dir;
    const std::string out = dir.Path() + "/netpbm.png";
    // Smaller pictures have so few colours that pnmtopng makes them palette
    // pictures.
    for (auto [w, h] : {kSizes[0], kSizes[5]}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const std::string source = std::string(kConvert) + " -size " + size + " gradient:";
        ASSERT_TRUE(RunTool(source + "red-blue -swirl 90 -depth 8 ppm:" + dir.Path() + "/rgb.ppm"));
        ASSERT_TRUE(RunTool(source + "red-blue -swirl 90 -depth 16 ppm:" + dir.Path() + "/rgb16.ppm"));
        ASSERT_TRUE(RunTool(source + "white-black -swirl 90 -depth 8 pgm:" + dir.Path() + "/grey.pgm"));
        ASSERT_TRUE(RunTool(source + "white-black -swirl 90 -depth 16 pgm:" + dir.Path() + "/grey16.pgm"));
        ASSERT_TRUE(RunTool(source + "white-black -swirl 90 -monochrome pbm:" + dir.Path() + "/bits.pbm"));
        for (const WriterCase& c : kNetpbm) {
            const std::string command = Replace(c.command, "SRC", dir.Path());
            ASSERT_EQ(std::system(("{ " + command + "; } 2>/dev/null >" + out).c_str()), 0) << command;
            ExpectAsLibpng(testing_support::ReadFile(out), size + " " + c.command, &c.layout);
        }
    }
}

// optipng picks filters per row and narrows colour types and depths; -i1
// makes Adam7 pictures of every size, also those smaller than the first
// passes.
TEST(PngDecoderWriters, OptipngEqualsLibpng)
{
    if (!std::filesystem::exists("/usr/bin/optipng") || PillowPython().empty())
        GTEST_SKIP() << "optipng or Pillow is not installed";
    testing_support::TempDir dir;
    const std::string script = dir.Write("write.py", std::string(kPillowScript));
    const std::string out = dir.Path() + "/optipng.png";
    for (auto [w, h] : kSizes) {
        const std::string size = std::to_string(w) + " " + std::to_string(h);
        ASSERT_TRUE(RunTool(PillowPython() + " " + script + " " + size + " " + dir.Path()));
        for (const WriterCase& c : kPillow) {
            const std::string in = dir.Path() + "/" + c.command + ".png";
            for (const char* options : {"-o2 -f0-5", "-i1 -nb -nc"}) {
                std::filesystem::remove(out);
                ASSERT_TRUE(RunTool(std::string("/usr/bin/optipng -quiet -force ") + options + " -out " + out + " " +
                                    in));
                ExpectAsLibpng(testing_support::ReadFile(out), size + " " + c.command + " optipng " + options);
            }
        }
    }
}

// ---- Crafted pictures: every filter, tRNS, odd sizes ----

namespace {

// Adam7 for the crafted pictures' own writer: first column, first row,
// column step, row step.
constexpr uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                    {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

struct Crafted {
    PngImageHeader header;
    Bytes palette;
    Bytes trns;
    Bytes raw;  // the inflated image data: filter bytes and filtered rows
    Bytes File() const { return MakePng(header, palette, trns, Deflate(raw)); }
};

// A row filtered with filter type (the encoder's side of the filters).
void FilterRow(uint8_t type, const Bytes& row, const Bytes& prior, size_t bpp, Bytes& out)
{
    out.push_back(type);
    for (size_t i = 0; i < row.size(); ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = prior[i];
        const int c = i >= bpp ? prior[i - bpp] : 0;
        const int p = a + b - c;
        const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        const int predicted[5] = {0, a, b, (a + b) / 2, paeth};
        out.push_back(static_cast<uint8_t>(row[i] - predicted[type]));
    }
}

// Samples packed into a row's bytes, most significant bits first.
Bytes PackRow(const std::vector<uint32_t>& samples, uint32_t depth)
{
    Bytes row((samples.size() * depth + 7) / 8, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (depth == 16) {
            row[2 * i] = static_cast<uint8_t>(samples[i] >> 8);
            row[2 * i + 1] = static_cast<uint8_t>(samples[i]);
        } else {
            const size_t bit = i * depth;
            row[bit / 8] |= static_cast<uint8_t>(samples[i] << (8 - depth - bit % 8));
        }
    }
    return row;
}

// Random pixels, rows filtered with the filter types in turn. With trns a
// grey or truecolour picture gets a tRNS value that a quarter of its pixels
// have (and, at 16 bits, an eighth differ from it only in the low byte of
// the first sample); a
// palette picture gets alphas for half of its entries. paletteEntries 0
// means as many as the depth can index.
Crafted MakeCrafted(const PngImageHeader& h, uint32_t seed, bool trns, uint32_t paletteEntries = 0)
{
    Crafted c{h, {}, {}, {}};
    std::mt19937 random(seed);
    const uint32_t depth = h.bitDepth, channels = h.Channels();
    const uint32_t max = depth == 16 ? 0xFFFF : (1u << depth) - 1;
    std::vector<uint32_t> key(channels);
    for (uint32_t& k : key)
        k = random() & max;
    if (h.colourType == 3) {
        const uint32_t entries = paletteEntries ? paletteEntries : max + 1;
        for (uint32_t i = 0; i < 3 * entries; ++i)
            c.palette.push_back(static_cast<uint8_t>(random()));
        for (uint32_t i = 0; trns && i < entries / 2 + 1; ++i)
            c.trns.push_back(static_cast<uint8_t>(random()));
    } else if (trns && (h.colourType == 0 || h.colourType == 2)) {
        for (uint32_t k : key)
            c.trns.insert(c.trns.end(), {static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k)});
    }
    const size_t bpp = std::max<size_t>(1, channels * depth / 8);
    uint32_t filter = 0;
    static constexpr uint32_t kWhole[4] = {0, 0, 1, 1};
    for (int pass = h.interlace ? 0 : 6; pass < 7; ++pass) {
        const uint32_t* p = h.interlace ? kPasses[pass] : kWhole;
        if (h.width <= p[0] || h.height <= p[1])
            continue;
        const uint32_t w = (h.width - p[0] + p[2] - 1) / p[2];
        const uint32_t rows = (h.height - p[1] + p[3] - 1) / p[3];
        Bytes prior(h.RowBytes(w), 0);
        for (uint32_t y = 0; y < rows; ++y) {
            std::vector<uint32_t> samples;
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t kind = random() % 8;
                for (uint32_t s = 0; s < channels; ++s) {
                    uint32_t v = random() & max;
                    if (kind < 2 && !c.trns.empty() && h.colourType != 3)
                        v = key[s];
                    else if (kind == 2 && depth == 16 && !c.trns.empty() && h.colourType != 3)
                        v = s == 0 ? (key[s] & 0xFF00) | ((key[s] + 1) & 0xFF) : key[s];
                    samples.push_back(paletteEntries && h.colourType == 3 ? random() % (paletteEntries + 3) & max
                                                                           : v);
                }
            }
            const Bytes row = PackRow(samples, depth);
            FilterRow(static_cast<uint8_t>(filter++ % 5), row, prior, bpp, c.raw);
            prior = row;
        }
    }
    return c;
}

struct LegalLayout {
    uint8_t colourType;
    uint8_t bitDepth;
};
constexpr LegalLayout kLegalLayouts[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                         {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// Our picture of a crafted file next to libpng's.
void ExpectCraftedAsLibpng(const Crafted& c, const std::string& label)
{
    SCOPED_TRACE(label);
    ExpectAsLibpng(c.File(), label);
    // Pieces of one byte and of seven bytes cross every boundary.
    const Decoded whole = DecodeRaw(c.header, c.palette, c.trns, c.raw, c.raw.size());
    for (size_t piece : {size_t{1}, size_t{7}}) {
        const Decoded pieces = DecodeRaw(c.header, c.palette, c.trns, c.raw, piece);
        EXPECT_EQ(pieces.result.status, PngDecodeStatus::Complete);
        EXPECT_EQ(pieces.rgba, whole.rgba) << "pieces of " << piece;
    }
}

std::string CraftedLabel(const PngImageHeader& h, bool trns)
{
    return std::to_string(h.width) + "x" + std::to_string(h.height) + " " +
           LayoutText({h.colourType, h.bitDepth, h.interlace}) + (trns ? " tRNS" : "");
}

}  // namespace

TEST(PngDecoderCrafted, EveryFilterLayoutAndSizeEqualsLibpng)
{
    uint32_t seed = 1;
    for (const LegalLayout& l : kLegalLayouts)
        for (auto [w, h] : {std::pair{13u, 11u}, std::pair{1u, 1u}, std::pair{6u, 5u}, std::pair{2u, 9u}})
            for (uint8_t interlace : {0, 1})
                for (bool trns : {false, true}) {
                    if (trns && (l.colourType == 4 || l.colourType == 6))
                        continue;
                    const PngImageHeader header{w, h, l.bitDepth, l.colourType, interlace};
                    ExpectCraftedAsLibpng(MakeCrafted(header, seed++, trns), CraftedLabel(header, trns));
                }
}

// Indexes past a short palette: opaque black as libpng has them, and
// counted. The same data with the palette filled up with a marker colour
// shows which pixels those are.
TEST(PngDecoderCrafted, PaletteIndexesPastThePalette)
{
    for (uint8_t depth : {2, 4, 8}) {
        const Crafted c = MakeCrafted({29, 7, depth, 3, 0}, depth, true, 3);
        ExpectCraftedAsLibpng(c, "palette of 3, depth " + std::to_string(depth));
        Bytes marked = c.palette;
        while (marked.size() < 3 * 256)
            marked.insert(marked.end(), {1, 2, 254});
        const Decoded ours = DecodeRaw(c.header, c.palette, c.trns, c.raw, c.raw.size());
        const Decoded markers = DecodeRaw(c.header, marked, {}, c.raw, c.raw.size());
        uint64_t past = 0;
        for (size_t i = 0; i < markers.rgba.size(); i += 4)
            past += std::memcmp(&markers.rgba[i], "\x01\x02\xfe\xff", 4) == 0;
        EXPECT_GT(past, 0u);
        EXPECT_EQ(ours.result.badPaletteIndexes, past);
        EXPECT_EQ(markers.result.badPaletteIndexes, 0u);
    }
}

// A tRNS value with bits above the depth (a fault of the file): libpng
// matches the pixels against its low bits, and so do we.
TEST(PngDecoderCrafted, TrnsValuesAboveTheDepthUseTheirLowBits)
{
    for (const LegalLayout& l : {LegalLayout{0, 1}, LegalLayout{0, 2}, LegalLayout{0, 4}, LegalLayout{0, 8},
                                 LegalLayout{2, 8}}) {
        Crafted c = MakeCrafted({13, 11, l.bitDepth, l.colourType, 0}, 40 + l.bitDepth, true);
        for (size_t i = 0; i < c.trns.size(); i += 2) {
            c.trns[i] |= 0x80;
            c.trns[i + 1] |= static_cast<uint8_t>(0xFF << l.bitDepth);
        }
        ExpectCraftedAsLibpng(c, CraftedLabel(c.header, true));
    }
}

// tRNS longer than the palette (libpng drops such a chunk, so it is no
// reference here): its alphas apply to the palette's entries, and indexes
// past the palette stay opaque black.
TEST(PngDecoderCrafted, TrnsLongerThanThePalette)
{
    const PngImageHeader header{4, 1, 2, 3, 0};
    const Bytes palette = {10, 20, 30, 40, 50, 60};
    const Bytes trns = {100, 110, 120, 130};
    const Decoded d = DecodeRaw(header, palette, trns, {0, 0x1B}, 2);  // indexes 0, 1, 2, 3
    const Bytes expected = {10, 20, 30, 100, 40, 50, 60, 110, 0, 0, 0, 255, 0, 0, 0, 255};
    EXPECT_EQ(d.rgba, expected);
    EXPECT_EQ(d.result.badPaletteIndexes, 2u);
}

// ---- Damaged data ----

// Image data cut short at several points: the rows complete before the cut
// are handed on, as many as libpng reads before it reports the end.
TEST(PngDecoderDamaged, CutDataGivesTheRowsBeforeTheCut)
{
    const Crafted c = MakeCrafted({37, 23, 8, 2, 0}, 5, false);
    const Bytes zlib = Deflate(c.raw);
    const libpng_reference::Picture full = libpng_reference::Decode(c.File());
    ASSERT_TRUE(full.complete);
    for (size_t cut : {size_t{1}, size_t{9}, zlib.size() / 4, zlib.size() / 2, zlib.size() - 40, zlib.size() - 5,
                       zlib.size() - 4, zlib.size() - 1}) {
        SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(zlib.size()));
        const Bytes cutZlib(zlib.begin(), zlib.begin() + static_cast<long>(cut));
        const Decoded ours = DecodeZlib(c.header, {}, {}, cutZlib);
        const libpng_reference::Picture theirs = libpng_reference::Decode(MakePng(c.header, {}, {}, cutZlib));
        // Cut inside the Adler-32 trailer, libpng has the last row in its
        // buffer but then fails looking for the end of the stream.
        EXPECT_EQ(ours.result.rowsDone, theirs.rows + (cut >= zlib.size() - 4 ? 1 : 0));
        EXPECT_EQ(ours.result.status, ours.result.rowsDone == 23 ? PngDecodeStatus::Complete
                                                                  : PngDecodeStatus::EndedEarly);
        EXPECT_EQ(Difference(ours.rgba, full.rgba, 37, static_cast<uint32_t>(ours.result.rowsDone)), "");
        for (uint32_t y = 0; y < 23; ++y)
            EXPECT_EQ(ours.rowSeen[y], y < ours.result.rowsDone);
    }
}

// An Adam7 picture cut short still shows every row: the pixels of the
// passes complete before the cut as in the whole picture, the others
// transparent black or from the pass the cut fell into.
TEST(PngDecoderDamaged, CutAdam7DataShowsTheFirstPasses)
{
    const Crafted c = MakeCrafted({37, 23, 8, 6, 1}, 6, false);
    const libpng_reference::Picture full = libpng_reference::Decode(c.File());
    ASSERT_TRUE(full.complete);
    uint32_t lastPasses = 0;
    for (size_t cut = 1; cut < c.raw.size(); cut += 97) {
        const Decoded ours = DecodeRaw(c.header, {}, {}, Bytes(c.raw.begin(), c.raw.begin() + long(cut)), 64);
        SCOPED_TRACE("cut at " + std::to_string(cut) + ", passes " + std::to_string(ours.result.passesDone));
        EXPECT_EQ(ours.result.status, PngDecodeStatus::EndedEarly);
        EXPECT_EQ(ours.result.rowsDone, cut > 1 + 20 ? 23u : 0u);  // pass 1 rows are 5 pixels
        EXPECT_GE(ours.result.passesDone, lastPasses);
        lastPasses = ours.result.passesDone;
        for (uint32_t y = 0; y < 23; ++y)
            for (uint32_t x = 0; x < 37; ++x) {
                int pass = 0;
                while (x % kPasses[pass][2] != kPasses[pass][0] || y % kPasses[pass][3] != kPasses[pass][1])
                    ++pass;
                const size_t at = (size_t{y} * 37 + x) * 4;
                const bool same = std::memcmp(&ours.rgba[at], &full.rgba[at], 4) == 0;
                const bool clear = std::memcmp(&ours.rgba[at], "\0\0\0\0", 4) == 0;
                if (pass < static_cast<int>(ours.result.passesDone)) {
                    ASSERT_TRUE(same) << x << "," << y;
                } else if (pass > static_cast<int>(ours.result.passesDone)) {
                    ASSERT_TRUE(clear) << x << "," << y;
                }
            }
    }
    EXPECT_EQ(lastPasses, 6u);
}

// A filter type above 4 ends the picture as malformed: libpng stops at the
// same row; an Adam7 picture still shows the passes before the bad row.
TEST(PngDecoderDamaged, FilterTypeAbove4IsMalformed)
{
    Crafted c = MakeCrafted({11, 6, 8, 0, 0}, 7, false);
    c.raw[2 * (11 + 1)] = 5;
    const Decoded ours = DecodeZlib(c.header, {}, {}, Deflate(c.raw));
    EXPECT_EQ(ours.result.status, PngDecodeStatus::Malformed);
    EXPECT_EQ(ours.result.rowsDone, 2u);
    EXPECT_EQ(ours.inflate.status, InflateStatus::SinkStopped);
    const libpng_reference::Picture theirs = libpng_reference::Decode(c.File());
    EXPECT_FALSE(theirs.complete);
    EXPECT_EQ(theirs.rows, 2u);

    Crafted adam7 = MakeCrafted({11, 6, 8, 0, 1}, 7, false);
    const size_t pass3 = (1 + 2) + (1 + 1);  // passes 1 and 2: a row each, of 2 and of 1 pixels
    adam7.raw[pass3] = 0xFF;
    const Decoded shown = DecodeRaw(adam7.header, {}, {}, adam7.raw, adam7.raw.size());
    EXPECT_EQ(shown.result.status, PngDecodeStatus::Malformed);
    EXPECT_EQ(shown.result.passesDone, 2u);
    EXPECT_EQ(shown.result.rowsDone, 6u);
}

// Inflated bytes past the picture are counted, up to a limit past which
// the stream is stopped; the picture is complete and as libpng has it.
TEST(PngDecoderDamaged, ExtraDataIsCounted)
{
    Crafted c = MakeCrafted({9, 4, 16, 6, 1}, 8, false);
    c.raw.insert(c.raw.end(), 100, 0x5A);
    const Decoded ours = DecodeZlib(c.header, {}, {}, Deflate(c.raw));
    const libpng_reference::Picture theirs = libpng_reference::Decode(c.File());
    ASSERT_TRUE(theirs.complete);
    EXPECT_EQ(Difference(ours.rgba, theirs.rgba, 9, 4), "");
    EXPECT_EQ(ours.result.status, PngDecodeStatus::Complete);
    EXPECT_EQ(ours.result.extraBytes, 100u);
    EXPECT_FALSE(ours.result.extraLimited);
    EXPECT_EQ(ours.inflate.status, InflateStatus::Complete);

    c.raw.resize(c.raw.size() - 100 + CPngDecoder::kMaxExtraBytes + 1, 0);
    const Decoded flood = DecodeZlib(c.header, {}, {}, Deflate(c.raw, 9));
    EXPECT_EQ(flood.result.status, PngDecodeStatus::Complete);
    EXPECT_TRUE(flood.result.extraLimited);
    EXPECT_EQ(flood.result.extraBytes, CPngDecoder::kMaxExtraBytes);
    EXPECT_EQ(flood.inflate.status, InflateStatus::SinkStopped);
}

// ---- Headers ----

TEST(PngDecoderHeader, ProblemsOfTheFields)
{
    struct Case {
        PngImageHeader header;
        bool decodable;
    };
    const Case cases[] = {
        {{1, 1, 8, 6, 1}, true},           {{0x7FFFFFFF, 0x7FFFFFFF, 16, 2, 0}, true},
        {{0, 5, 8, 0, 0}, false},          {{5, 0, 8, 0, 0}, false},
        {{0x80000000u, 1, 8, 0, 0}, false}, {{1, 0x80000000u, 8, 0, 0}, false},
        {{1, 1, 8, 1, 0}, false},          {{1, 1, 8, 5, 0}, false},
        {{1, 1, 8, 7, 0}, false},          {{1, 1, 0, 0, 0}, false},
        {{1, 1, 3, 0, 0}, false},          {{1, 1, 32, 0, 0}, false},
        {{1, 1, 4, 2, 0}, false},          {{1, 1, 16, 3, 0}, false},
        {{1, 1, 1, 4, 0}, false},          {{1, 1, 2, 6, 0}, false},
        {{1, 1, 8, 0, 2}, false},
    };
    for (const Case& c : cases) {
        const PngImageHeader& h = c.header;
        SCOPED_TRACE(std::to_string(h.width) + "x" + std::to_string(h.height) + " " +
                     LayoutText({h.colourType, h.bitDepth, h.interlace}));
        EXPECT_EQ(h.Problem() == nullptr, c.decodable);
        const Decoded d = DecodeRaw(h, {}, {}, Bytes(16, 0), 16);
        if (!c.decodable) {
            EXPECT_EQ(d.result.status, PngDecodeStatus::Malformed);
            EXPECT_STREQ(d.result.reason, h.Problem());
        }
    }
}

// Pictures whose buffers would pass the limits are refused before anything
// is allocated; those within them start with buffers that take memory only
// as the data fills them.
TEST(PngDecoderHeader, HugePicturesAreRefusedOrBounded)
{
    struct Case {
        PngImageHeader header;
        PngDecodeStatus status;  // after 1 MiB of zero bytes
    };
    const Case cases[] = {
        {{0x7FFFFFFF, 0x7FFFFFFF, 16, 6, 0}, PngDecodeStatus::TooLarge},
        {{0x7FFFFFFF, 1, 1, 0, 0}, PngDecodeStatus::TooLarge},         // an RGBA row of 8 GiB
        {{1u << 24, 0x7FFFFFFF, 1, 0, 0}, PngDecodeStatus::EndedEarly}, // 2 MiB rows, a 64 MiB RGBA row
        {{8192, 8192, 8, 6, 1}, PngDecodeStatus::EndedEarly},           // 256 MiB exactly
        {{8192, 8193, 8, 6, 1}, PngDecodeStatus::TooLarge},
        {{0x7FFFFFFF, 0x7FFFFFFF, 1, 0, 1}, PngDecodeStatus::TooLarge},
    };
    for (const Case& c : cases) {
        const PngImageHeader& h = c.header;
        SCOPED_TRACE(std::to_string(h.width) + "x" + std::to_string(h.height));
        uint64_t rows = 0;
        CPngDecoder decoder(h, {}, {}, [&](uint32_t, const uint8_t*) { return ++rows, true; });
        EXPECT_EQ(decoder.Ready(), c.status != PngDecodeStatus::TooLarge);
        const Bytes zeros(1 << 20, 0);
        EXPECT_EQ(decoder.Write(zeros.data(), zeros.size()), decoder.Ready());
        const PngDecodeResult result = decoder.Finish();
        EXPECT_EQ(result.status, c.status) << result.reason;
        EXPECT_EQ(result.rowsDone, rows);
    }
    EXPECT_EQ((PngImageHeader{0x7FFFFFFF, 0x7FFFFFFF, 16, 6, 0}.DataBytes()), UINT64_MAX);
    EXPECT_EQ((PngImageHeader{0x7FFFFFFF, 1, 16, 6, 0}.DataBytes()), uint64_t{0x7FFFFFFF} * 8 + 1);
}

// The callback's "stop" ends the decoding at once, in both orders of rows.
TEST(PngDecoderHeader, CallbackStops)
{
    for (uint8_t interlace : {0, 1}) {
        const Crafted c = MakeCrafted({7, 9, 4, 0, interlace}, 9, false);
        uint32_t calls = 0;
        CPngDecoder decoder(c.header, {}, {}, [&](uint32_t y, const uint8_t*) { return ++calls, y < 3; });
        EXPECT_FALSE(decoder.Write(c.raw.data(), c.raw.size()));
        const PngDecodeResult result = decoder.Finish();
        EXPECT_EQ(result.status, PngDecodeStatus::Stopped);
        EXPECT_EQ(result.rowsDone, 3u);
        EXPECT_EQ(calls, 4u);
    }
}
