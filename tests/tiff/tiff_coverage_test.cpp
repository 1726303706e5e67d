// Every byte that a TIFF structure references belongs to a detailed line:
// strips and tiles, values at offsets, nested IFDs, embedded profiles and
// packets. Files come from real writers (libtiff, tiffcp, ImageMagick,
// exiftool); what no line covers must be little and lie outside every strip
// and tile.
#include <gtest/gtest.h>

#if __has_include(<tiffio.h>)
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/tree_ranges.h"
#include "tiff/libtiff_picture.h"
#include "tiff/segment_lines.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

namespace fs = std::filesystem;

const std::string kConvert = "/usr/bin/convert-im6.q16";
const std::string kTiffcp = "/usr/bin/tiffcp";
const std::string kExiftool = "/usr/bin/exiftool";

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

constexpr Kind kRgb{"rgb lzw", COMPRESSION_LZW, PREDICTOR_HORIZONTAL, 3, 8, PHOTOMETRIC_RGB};

// The data of every strip or tile of every directory, as libtiff reads them.
std::vector<ByteRange> SegmentsOf(const std::string& path)
{
    std::vector<ByteRange> segments;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return segments;
    do {
        const bool tiled = TIFFIsTiled(tif);
        uint64_t* offsets = nullptr;
        uint64_t* counts = nullptr;
        if (!TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) ||
            !TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts))
            continue;
        const uint32_t n = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        for (uint32_t k = 0; k < n; ++k)
            segments.push_back({offsets[k], offsets[k] + counts[k]});
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return segments;
}

struct Writer {
    const char* name;
    // Makes out from in, the libtiff picture; empty: the picture itself.
    std::string command;
    bool tiff = true;
};

// {in} and {out} stand for the two paths.
std::string Expand(std::string command, const std::string& in, const std::string& out)
{
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{in}", in}, {"{out}", out}})
        for (size_t at; (at = command.find(key)) != std::string::npos;)
            command.replace(at, key.size(), value);
    return command;
}

const std::string kExifTags = " -q -overwrite_original -Artist='A. Writer' -XResolution=300 "
                              "-ExifIFD:ExposureTime=1/125 -ExifIFD:FNumber=5.6 -ExifIFD:UserComment='comment' "
                              "-GPSLatitude=35.5 -GPSLatitudeRef=N -GPSAltitude=12 -XMP:Title='title' "
                              "-IPTC:Keywords=word ";

const Writer kWriters[] = {
    {"libtiff strips", ""},
    {"tiffcp strips", kTiffcp + " -c zip -r 5 {in} {out}"},
    {"tiffcp tiles", kTiffcp + " -c lzw -t -w 16 -l 16 {in} {out}"},
    {"tiffcp planes", kTiffcp + " -p separate -c packbits -r 9 {in} {out}"},
    {"tiffcp planar tiles", kTiffcp + " -p separate -c zip -t -w 32 -l 16 {in} {out}"},
    {"tiffcp jpeg strips", kTiffcp + " -c jpeg -r 16 {in} {out}"},
    {"tiffcp jpeg tiles", kTiffcp + " -c jpeg -t -w 32 -l 32 {in} {out}"},
    {"tiffcp big-endian", kTiffcp + " -B -c none -r 3 {in} {out}"},
    {"magick pages", kConvert + " {in} \\( -clone 0 -rotate 90 \\) -compress Zip {out}"},
    {"magick group 4", kConvert + " {in} -monochrome -compress Group4 {out}"},
    {"magick jpeg", kConvert + " {in} -compress JPEG -quality 90 {out}"},
    {"exiftool tags", kTiffcp + " -c lzw -r 8 {in} {out} && " + kExiftool + kExifTags + "{out}"},
    {"exiftool icc", kTiffcp + " -c zip -t -w 32 -l 32 {in} {out} && " + kExiftool +
                         " -q -overwrite_original '-ICC_Profile<=/usr/share/color/icc/compatibleWithAdobeRGB1998.icc' "
                         "{out}"},
    {"exiftool jpeg", kConvert + " {in} -quality 90 {out} && " + kExiftool + kExifTags + "-Make=Maker {out}", false},
};

// The first line of the tree whose range overlaps a sibling's: each byte
// is explained once at each depth. Empty when there is none.
std::string OverlappingSibling(const CLineTree& tree)
{
    std::string found;
    auto check = [&](LineId first) {
        std::vector<std::pair<ByteRange, LineId>> ranges;
        for (LineId line = first; line; line = tree.NextSibling(line))
            if (ByteRange r; tree.RangeOf(line, r) && r.space == ByteSpace::File)
                ranges.emplace_back(r, line);
        std::sort(ranges.begin(), ranges.end(),
                  [](const auto& a, const auto& b) { return a.first.start < b.first.start; });
        for (size_t k = 1; k < ranges.size() && found.empty(); ++k)
            if (ranges[k].first.start < ranges[k - 1].first.end)
                found = tree.Text(ranges[k].second);
    };
    check(tree.First());
    ForEachLine(tree, tree.First(), false, [&](LineId line, int) { check(tree.FirstChild(line)); });
    return found;
}

// What --gaps lists for the file's detailed tree, whose siblings must not
// overlap.
std::vector<ByteRange> Gaps(const std::string& path)
{
    testing_support::Headless h;
    const CLineTree& tree = h.Detailed(path).lines;
    EXPECT_EQ(OverlappingSibling(tree), "");
    return UncoveredRanges(tree, fs::file_size(path));
}

std::string Text(const CLineTree& tree, LineId line) { return line ? std::string(tree.Text(line)) : "<none>"; }

}  // namespace

TEST(TiffCoverage, WritersFilesLeaveOnlyUnreferencedBytesOut)
{
    for (const std::string& tool : {kConvert, kTiffcp, kExiftool})
        if (!fs::exists(tool))
            GTEST_SKIP() << tool << " is not installed";
    testing_support::TempDir dir;
    const std::string source = dir.Path() + "/source.tif";
    WritePicture(source, true, kRgb, 75, 61, 7);
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        std::string name = w.name;
        std::replace(name.begin(), name.end(), ' ', '-');
        const std::string path = dir.Path() + "/" + name + (w.tiff ? ".tif" : ".jpg");
        if (w.command.empty())
            fs::copy_file(source, path);
        else
            ASSERT_TRUE(RunTool(Expand(w.command, source, path))) << w.command;
        const uint64_t size = fs::file_size(path);
        uint64_t uncovered = 0;
        const std::vector<ByteRange> gaps = Gaps(path);
        for (const ByteRange& gap : gaps)
            uncovered += gap.end - gap.start;
        EXPECT_LE(uncovered * 100, size) << uncovered << " of " << size << " bytes";
        if (!w.tiff)
            continue;
        const std::vector<ByteRange> segments = SegmentsOf(path);
        EXPECT_FALSE(segments.empty());
        for (const ByteRange& gap : gaps)
            for (const ByteRange& s : segments)
                EXPECT_FALSE(gap.start < s.end && s.start < gap.end) << "gap at " << gap.start;
    }
}

TEST(TiffCoverage, AByteOfAnyStripOrTileNamesItsLine)
{
    testing_support::TempDir dir;
    const std::string strips = dir.Path() + "/strips.tif";
    WritePicture(strips, false, kRgb, 40, 43, 8);
    const std::string tiles = dir.Path() + "/tiles.tif";
    if (!RunTool(kTiffcp + " -c zip -t -w 16 -l 16 " + strips + " " + tiles))
        GTEST_SKIP() << "tiffcp is not installed";
    // Six strips, the last one short; nine tiles. A byte in the middle of
    // the last strip, of tile #5, and the first byte of strip #0, whose line
    // is the image data line.
    const struct {
        const std::string& path;
        size_t segment;
        const char* line;
    } cases[] = {{strips, 5, "] Strip #5 = "}, {tiles, 5, "] Tile #5 = "}, {strips, 0, "] Image Data"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::vector<ByteRange> segments = SegmentsOf(c.path);
        ASSERT_EQ(segments.size(), c.path == strips ? 6u : 9u);
        const ByteRange s = segments[c.segment];
        const uint64_t at = c.segment == 0 ? s.start : (s.start + s.end) / 2;
        testing_support::Headless h;
        const CLineTree& tree = h.Detailed(c.path).lines;
        const std::string text = Text(tree, InnermostLineAt(tree, at));
        EXPECT_NE(text.find(c.line), std::string::npos) << text;
        char offset[16];
        std::snprintf(offset, sizeof offset, "[%08lx]", static_cast<unsigned long>(s.start));
        EXPECT_EQ(text.rfind(offset, 0), 0u) << text;
        // --at lists the same line last, under the image data line.
        const std::vector<LineAt> chain = LinesAt(tree, at);
        ASSERT_FALSE(chain.empty());
        EXPECT_EQ(Text(tree, chain.back().line), text);
    }
}

TEST(TiffCoverage, ManyStripsAreListedUpToALimitThenInRuns)
{
    // One row a strip: 20,000 strips of three bytes each, one after another.
    constexpr uint32_t kRows = 20000;
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/rows.tif";
    WritePicture(path, true, {"rgb", COMPRESSION_NONE, 1, 3, 8, PHOTOMETRIC_RGB}, 1, kRows, 1);
    testing_support::Headless h;
    const CLineTree& tree = h.Detailed(path).lines;
    size_t strips = 0;
    std::vector<std::string> runs;
    ForEachLine(tree, tree.First(), false, [&](LineId line, int depth) {
        const std::string text(tree.Text(line));
        if (depth == 1 && text.find("] Strip #") != std::string::npos)
            ++strips;
        if (text.find("] Strips #") != std::string::npos)
            runs.push_back(text);
    });
    EXPECT_EQ(strips, CSegmentLines::kMaxListed - 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].find("] Strips #16384 - #19999 = 10848 [byte]"), std::string::npos) << runs[0];
    EXPECT_TRUE(UncoveredRanges(tree, fs::file_size(path)).empty());
}

TEST(TiffCoverage, ValuesAndGeoKeysCoverTheirBytes)
{
    // Out-of-line values of every kind the dictionary shows differently:
    // listed one a line, put into words, not interpreted at all, and the
    // GeoTIFF key directory with its parameters and a key past those its
    // header counts. The builder pads values of
    // odd size with one byte that nothing references.
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        TiffBuilder t(le);
        Bytes doubles;
        for (uint32_t k = 0; k < 3; ++k) {
            Put32(doubles, le ? 0 : 0x40590000u + k, le);
            Put32(doubles, le ? 0x40590000u + k : 0, le);
        }
        const std::vector<Field> fields = {
            t.Short(258, {8, 8, 8}),
            t.Rational(282, {{300, 1}}),
            t.Rational(318, {{313, 1000}, {329, 1000}}),
            t.Ascii(305, "writer"),
            t.Ascii(315, "nobody in particular"),
            t.Typed(700, 1, 9, Bytes{'<', 'x', ':', 'x', 'm', 'p', '/', '>', 0}),
            t.Long(33723, {0x1c020000, 0x1c020500}),
            t.Short(320, std::vector<uint32_t>(48, 7)),
            t.Typed(0xC123, 7, 6, Bytes{1, 2, 3, 4, 5, 6}),
            // Three keys, of which the header claims two.
            t.Short(34735, {1, 1, 0, 2, 1024, 0, 1, 2, 2049, 34737, 5, 0, 2057, 34736, 1, 2}),
            t.Typed(34736, 12, 3, doubles),
            t.Ascii(34737, "WGS |"),
        };
        const Bytes file = t.Build({fields});
        testing_support::TempDir dir;
        const std::string path = dir.Write("values.tif", file);
        for (const ByteRange& gap : Gaps(path)) {
            EXPECT_EQ(gap.end - gap.start, 1u) << "gap at " << gap.start;
            EXPECT_EQ(file[gap.start], 0) << "gap at " << gap.start;
        }
    }
}

#endif
