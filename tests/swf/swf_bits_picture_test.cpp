// The pictures of SWF bitmap tags that other analyzers draw: PNG and GIF89a
// data in DefineBitsJPEG2/3, laid out at its offsets in the SWF file and
// drawn as the same data in a file of its own is, and the alpha plane that
// DefineBitsJPEG3/4 keep beside JPEG data, composited over the background
// colour. Every picture is compared pixel for pixel with the analysis of its
// data as a file of its own, composited through the plane as the test
// computes it; libjpeg's decoding checks the JPEG pictures themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/analyze.h"
#include "core/result_line.h"
#include "support/gif_test_support.h"
#include "support/png_fixture.h"
#include "swf_fixtures.h"
#include "support/test_support.h"

#if __has_include(<jpeglib.h>)
#include <cstdio>
#include <jpeglib.h>

#include "support/libjpeg_fixture.h"
#define VANTREL_HAVE_LIBJPEG 1
#endif

using namespace swf_fixtures;
using testing_support::Dump;
using testing_support::Headless;
using testing_support::TempDir;

namespace {

constexpr uint32_t kCharacter = 7;
constexpr uint8_t kBackground[3] = {10, 200, 30};

// Where the tags of Fws(Body(tags)) begin.
size_t TagsAt()
{
    return 8 + Body({}).size();
}

// A file of a background tag, then one bitmap tag of code holding
// CharacterId, for JPEG3/4 AlphaDataOffset (and DeblockParam), the image and
// the alpha plane; the tag's header is the long one. image is at
// ImageAt(code) in the file.
Bytes BitmapFile(uint32_t code, const Bytes& image, const Bytes& alpha)
{
    Bytes payload;
    PutLe(payload, kCharacter, 2);
    if (code == 35 || code == 90)
        PutLe(payload, static_cast<uint32_t>(image.size()), 4);
    if (code == 90)
        PutLe(payload, 0, 2);
    payload.insert(payload.end(), image.begin(), image.end());
    payload.insert(payload.end(), alpha.begin(), alpha.end());
    Bytes tags;
    PutTag(tags, 9, {kBackground[0], kBackground[1], kBackground[2]});
    PutTag(tags, code, payload, true);
    PutTag(tags, 0, {});
    return Fws(Body(tags));
}

uint64_t ImageAt(uint32_t code)
{
    // SetBackgroundColor, the long tag header, CharacterId, then
    // AlphaDataOffset and DeblockParam.
    return TagsAt() + 5 + 6 + 2 + (code == 35 ? 4 : code == 90 ? 6 : 0);
}

// Where the tags of a file lie: in the file, or its body zlib-compressed,
// in the side file or, when that cannot be written, only in memory; in
// either of those 8 bytes before where they lie in the uncompressed file.
enum class Place { File, SideFile, Memory };

std::string WriteSwf(const TempDir& dir, const Bytes& fws, Place place)
{
    if (place == Place::File)
        return dir.Write("bits.swf", fws);
    const Bytes body(fws.begin() + 8, fws.end());
    const std::string path = dir.Write(place == Place::Memory ? "memory.swf" : "bits.swf", Cws(body, Compress(body)));
    if (place == Place::Memory)
        std::filesystem::create_directory(path + ".decompress");
    return path;
}

uint64_t BodyShift(Place place)
{
    return place == Place::File ? 0 : 8;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

size_t Indent(const std::string& line)
{
    return std::min(line.find_first_not_of(' '), line.size());
}

// The lines below the first line whose text is head, as deep as they would
// be with head at depth -1; empty when there is no such line.
std::string LinesUnder(const std::string& detail, const std::string& head)
{
    const std::vector<std::string> lines = SplitLines(detail);
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].substr(Indent(lines[i])) != head)
            continue;
        const size_t depth = Indent(lines[i]) + 2;
        for (size_t k = i + 1; k < lines.size() && Indent(lines[k]) >= depth; ++k)
            out += lines[k].substr(depth) + "\n";
        break;
    }
    return out;
}

// The detailed lines of a file of its own after its path line, the offset
// that begins a line moved by delta.
std::string Shifted(const std::string& detail, uint64_t delta)
{
    const std::vector<std::string> lines = SplitLines(detail);
    std::string out;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string line = lines[i];
        const size_t at = Indent(line);
        if (line.compare(at, 1, "[") == 0 && line.size() >= at + 10 && line[at + 9] == ']') {
            const unsigned long long offset = std::strtoull(line.substr(at + 1, 8).c_str(), nullptr, 16);
            line.replace(at + 1, 8, ResultLine("%08llx", offset + delta));
        }
        out += line + "\n";
    }
    return out;
}

void ExpectSamePixels(const ResultPicture& got, const ResultPicture& want)
{
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    ASSERT_TRUE(got.image.Pixels() && want.image.Pixels());
    for (int32_t y = 0; y < got.height; ++y)
        for (int32_t x = 0; x < got.width; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(got.image.PixelAt(x, y)[c], want.image.PixelAt(x, y)[c]) << x << "," << y << " " << c;
}

// Ranges of the line with text head and of every line below it lie where
// the place puts them; a body in memory has none.
void ExpectRangesIn(const AnalysisResult& result, const std::string& head, Place place)
{
    const ByteSpace space = place == Place::File ? ByteSpace::File : ByteSpace::SideFile;
    const CLineTree& lines = result.lines;
    LineId top = kNoLine;
    for (LineId line = 1; line <= lines.Count() && !top; ++line)
        if (lines.Text(line) == head)
            top = line;
    ASSERT_NE(top, kNoLine) << head;
    size_t ranged = 0;
    for (LineId line = top; line <= lines.Count(); ++line) {
        LineId up = line;
        while (up != kNoLine && up != top)
            up = lines.Parent(up);
        ByteRange range;
        if (up != top || !lines.RangeOf(line, range))
            continue;
        ++ranged;
        EXPECT_EQ(range.space, space) << lines.Text(line);
    }
    if (place == Place::Memory)
        EXPECT_EQ(ranged, 0u);
    else
        EXPECT_GT(ranged, 10u);
}

// A 6 x 5 truecolour picture with alpha, written by the zlib-based helpers.
Bytes TestPng()
{
    Bytes raw;
    for (uint32_t y = 0; y < 5; ++y) {
        raw.push_back(y % 5);   // each filter type once
        for (uint32_t x = 0; x < 6; ++x)
            raw.insert(raw.end(),
                       {uint8_t(40 * x), uint8_t(50 * y), uint8_t(7 * x * y), uint8_t(255 - 30 * x - 9 * y)});
    }
    return png_fixture::MakePng({6, 5, 8, 6, 0}, {}, {}, png_fixture::Deflate(raw));
}

// Two frames on a 7 x 4 screen, the second smaller than the screen and with
// a transparent colour.
Bytes TestGif()
{
    const Bytes palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 20, 40, 250};
    gif_test::ImageBlock first;
    first.width = 7, first.height = 4, first.minCodeSize = 2;
    Bytes indices;
    for (uint32_t i = 0; i < 28; ++i)
        indices.push_back(static_cast<uint8_t>((i * 5 / 3) % 4));
    first.data = gif_test::EncodeLzw(indices, 2);
    gif_test::ImageBlock second;
    second.left = 2, second.top = 1, second.width = 3, second.height = 2, second.minCodeSize = 2;
    second.data = gif_test::EncodeLzw({1, 3, 2, 3, 0, 1}, 2);
    second.control = true, second.transparentIndex = 3;
    return gif_test::BuildGif(7, 4, palette, {first, second});
}

struct EmbeddedCase {
    const char* name;
    bool png;         // PNG, else GIF89a
    uint32_t code;    // 21 DefineBitsJPEG2, 35 DefineBitsJPEG3
    Place place;
};

}  // namespace

TEST(SwfBitsPicture, PngAndGifDataAreLaidOutAndDrawnAsFilesOfTheirOwn)
{
    const EmbeddedCase cases[] = {
        {"png jpeg2", true, 21, Place::File},         {"png jpeg2 cws", true, 21, Place::SideFile},
        {"png jpeg3", true, 35, Place::File},         {"png jpeg3 in memory", true, 35, Place::Memory},
        {"gif jpeg2", false, 21, Place::File},        {"gif jpeg2 cws", false, 21, Place::SideFile},
        {"gif jpeg3 cws", false, 35, Place::SideFile}, {"gif jpeg2 in memory", false, 21, Place::Memory},
    };
    TempDir dir;
    for (const EmbeddedCase& k : cases) {
        SCOPED_TRACE(k.name);
        const Bytes data = k.png ? TestPng() : TestGif();
        const std::string own = dir.Write(k.png ? "own.png" : "own.gif", data);
        // Players leave the alpha plane of PNG and GIF data unused.
        const Bytes alpha = k.code == 35 ? Compress(Bytes(64, 0x10)) : Bytes{};
        const Bytes fws = BitmapFile(k.code, data, alpha);
        const std::string path = WriteSwf(dir, fws, k.place);
        const uint64_t at = ImageAt(k.code) - BodyShift(k.place);
        const std::string head =
            ResultLine("[%08llx] %s data", static_cast<unsigned long long>(at), k.png ? "PNG" : "GIF");

        Headless h, alone;
        h.app.OpenFiles({path});
        alone.app.OpenFiles({own});
        const AnalysisResult& swf = h.Detailed(path);
        const AnalysisResult& reference = alone.Detailed(own);
        const std::string nested = LinesUnder(h.DetailText(path), head);
        EXPECT_NE(nested.find(k.png ? "IEND (Image trailer)" : "] Trailer"), std::string::npos) << nested;
        EXPECT_EQ(nested, Shifted(alone.DetailText(own), at));
        ExpectRangesIn(swf, head, k.place);

        ASSERT_EQ(swf.pictures.size(), reference.pictures.size());
        ASSERT_EQ(swf.pictures.size(), k.png ? 1u : 2u);
        EXPECT_EQ(swf.pictures[0].label, "Character 7");
        if (!k.png) {
            EXPECT_EQ(swf.pictures[1].label, "Character 7 Frame 2");
        }
        for (size_t i = 0; i < swf.pictures.size(); ++i)
            ExpectSamePixels(swf.pictures[i], reference.pictures[i]);
        ASSERT_FALSE(swf.decodes.empty());
        EXPECT_EQ(swf.decodes[0].outcome, DecodeOutcome::Complete);
        EXPECT_EQ(Dump({"--gaps", path}).out, "");
        EXPECT_EQ(Dump({"--check", path}).out, "");
    }
}

TEST(SwfBitsPicture, BrokenPngDataReportsAtItsOffsets)
{
    // A chunk CRC spoilt inside the tag: the anomaly lies where the CRC does.
    TempDir dir;
    Bytes png = TestPng();
    const size_t crcAt = 8 + 8 + 13;   // after the signature and IHDR's length, type and data
    png[crcAt] ^= 0xFF;
    const std::string path = dir.Write("bits.swf", BitmapFile(21, png, {}));
    const std::string out = Dump({"--check", path}).out;
    EXPECT_NE(out.find(ResultLine("\t0x%08llx\t", static_cast<unsigned long long>(ImageAt(21) + crcAt))),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("png.crc-mismatch"), std::string::npos) << out;
}

#ifdef VANTREL_HAVE_LIBJPEG

namespace {

constexpr int kJpegWidth = 21;   // neither a multiple of 8 nor of 16
constexpr int kJpegHeight = 13;

// A baseline JPEG of a smooth picture with edges, written by libjpeg.
Bytes EncodeJpeg()
{
    const std::vector<uint8_t> rgb = jpeg_fixture::MakePicture(kJpegWidth, kJpegHeight, 3);
    return jpeg_fixture::Encode(rgb, {.width = kJpegWidth, .height = kJpegHeight, .h0 = 2, .v0 = 2});
}

// libjpeg's decoding, RGB rows from the top.
Bytes DecodeJpeg(const Bytes& jpeg)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    // Chroma replicated, not interpolated, as the JPEG decoder draws it.
    cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    Bytes out(size_t{cinfo.output_width} * cinfo.output_height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + size_t{cinfo.output_scanline} * cinfo.output_width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

// The opacity of each pixel: every value from 0 to 255 met, in no order.
Bytes AlphaPlane()
{
    Bytes plane(size_t{kJpegWidth} * kJpegHeight);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = static_cast<uint8_t>(i * 97 + i / kJpegWidth);
    return plane;
}

uint8_t Over(uint32_t c, uint32_t a, uint32_t bg)
{
    return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255);
}

struct AlphaCase {
    const char* name;
    uint32_t code;       // 35 DefineBitsJPEG3, 90 DefineBitsJPEG4
    size_t planeBytes;   // bytes of the plane compressed into the tag
    bool stream;         // false: no alpha data at all
    Place place;
};

}  // namespace

TEST(SwfBitsPicture, JpegAlphaPlaneIsCompositedOverTheBackground)
{
    const size_t whole = size_t{kJpegWidth} * kJpegHeight;
    const AlphaCase cases[] = {
        {"jpeg3", 35, whole, true, Place::File},
        {"jpeg4", 90, whole, true, Place::File},
        {"jpeg3 cws", 35, whole, true, Place::SideFile},
        {"jpeg4 in memory", 90, whole, true, Place::Memory},
        // Players stop at the picture's size.
        {"jpeg3 plane too long", 35, whole + 50, true, Place::File},
        {"jpeg3 plane short", 35, whole - 30, true, Place::File},
        {"jpeg4 plane empty", 90, 0, true, Place::SideFile},
        {"jpeg3 no plane", 35, 0, false, Place::File},
    };
    TempDir dir;
    const Bytes jpeg = EncodeJpeg();
    const std::string own = dir.Write("own.jpg", jpeg);
    Headless alone;
    alone.app.OpenFiles({own});
    const AnalysisResult& reference = alone.Detailed(own);
    ASSERT_EQ(reference.pictures.size(), 1u);
    const ResultPicture& opaque = reference.pictures[0];
    ASSERT_EQ(opaque.width, kJpegWidth);
    ASSERT_EQ(opaque.height, kJpegHeight);
    // The JPEG decoder's picture is libjpeg's within the bounds the JPEG
    // picture tests allow its IDCT and colour conversion.
    const Bytes libjpeg = DecodeJpeg(jpeg);
    ASSERT_EQ(libjpeg.size(), size_t{3} * kJpegWidth * kJpegHeight);
    int largest = 0;
    double sum = 0;
    for (int32_t y = 0; y < kJpegHeight; ++y)
        for (int32_t x = 0; x < kJpegWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t want = libjpeg[(size_t(y) * kJpegWidth + x) * 3 + 2 - c];
                const int d = std::abs(opaque.image.PixelAt(x, y)[c] - want);
                largest = std::max(largest, d);
                sum += d;
            }
    EXPECT_LE(largest, 20);
    EXPECT_LE(sum / libjpeg.size(), 3.0);

    Bytes plane = AlphaPlane();
    plane.resize(whole + 50, 0);
    for (const AlphaCase& k : cases) {
        SCOPED_TRACE(k.name);
        const Bytes used(plane.begin(), plane.begin() + static_cast<std::ptrdiff_t>(k.planeBytes));
        const Bytes alpha = k.stream ? Compress(used) : Bytes{};
        const Bytes fws = BitmapFile(k.code, jpeg, alpha);
        const std::string path = WriteSwf(dir, fws, k.place);
        Headless h;
        h.app.OpenFiles({path});
        const AnalysisResult& swf = h.Detailed(path);
        ASSERT_EQ(swf.pictures.size(), 1u);
        const ResultPicture& picture = swf.pictures[0];
        EXPECT_EQ(picture.label, "Character 7");
        ASSERT_EQ(picture.width, kJpegWidth);
        ASSERT_EQ(picture.height, kJpegHeight);
        ASSERT_TRUE(picture.image.Pixels());
        for (int32_t y = 0; y < kJpegHeight; ++y)
            for (int32_t x = 0; x < kJpegWidth; ++x) {
                const size_t i = size_t(y) * kJpegWidth + x;
                for (int c = 0; c < 3; ++c) {
                    const uint8_t own = opaque.image.PixelAt(x, y)[c];
                    const uint8_t want = i < k.planeBytes ? Over(own, plane[i], kBackground[2 - c]) : own;
                    ASSERT_EQ(picture.image.PixelAt(x, y)[c], want)
                        << x << "," << y << " " << c;
                }
            }

        const uint64_t imageAt = ImageAt(k.code) - BodyShift(k.place);
        const uint64_t alphaAt = imageAt + jpeg.size();
        const std::string lines = h.DetailText(path);
        EXPECT_NE(lines.find(ResultLine("[%08llx] JPEG data\n", static_cast<unsigned long long>(imageAt))),
                  std::string::npos)
            << lines;
        const std::string alphaLine = ResultLine("[%08llx] BitmapAlphaData (zlib) : %zu[byte]\n",
                                                 static_cast<unsigned long long>(alphaAt), alpha.size());
        EXPECT_EQ(lines.find(alphaLine) != std::string::npos, k.stream) << lines;
        EXPECT_EQ(Dump({"--gaps", path}).out, "");
        const std::string check = Dump({"--check", path}).out;
        if (k.planeBytes >= whole) {
            EXPECT_EQ(check, "");
        } else {
            EXPECT_NE(check.find(ResultLine("\tswf.alpha-data-short\tアルファデータ %zu [byte] が画像の画素数 %zu",
                                            k.planeBytes, whole)),
                      std::string::npos)
                << check;
        }

        // Drawn again alone, as a picture window asks for it, the picture
        // comes out the same.
        size_t taken = 0;
        const size_t count = DecodePictures(path.c_str(), testing_support::AllFormatOptions(), {0},
                                            [&](size_t index, ResultPicture& again) {
                                                ++taken;
                                                EXPECT_EQ(index, 0u);
                                                ExpectSamePixels(again, picture);
                                            });
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(taken, 1u);

        // The plane lies over the whole picture: it is drawn whole however
        // small the budget and whatever region is asked for.
        AnalysisOptions part = testing_support::AllFormatOptions();
        part.pictureBudget = 1000;
        part.hasRegion = true;
        part.region = {3, 5, 7, 9, 1};
        taken = 0;
        DecodePictures(path.c_str(), part, {0}, [&](size_t, ResultPicture& again) {
            ++taken;
            EXPECT_EQ(again.shift, 0u);
            ASSERT_EQ(again.image.PictureWidth(), picture.image.PictureWidth());
            ASSERT_EQ(again.image.PictureHeight(), picture.image.PictureHeight());
            ExpectSamePixels(again, picture);
        });
        EXPECT_EQ(taken, 1u);
    }
}

#endif
