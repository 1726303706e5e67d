// Tag bodies, pictures and LZMA bodies of SWF files: files from ffmpeg, the
// one SWF writer at hand, and crafted tags for what it never writes. Pictures
// are compared pixel for pixel with the JPEG analyzer's picture of the same
// JPEG data as a file of its own, and lossless bitmaps with what the test
// computes from the bitmap it compressed.
#include <gtest/gtest.h>
#include <lzma.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/result_line.h"
#include "swf_fixtures.h"
#include "support/test_support.h"

using namespace swf_fixtures;
using testing_support::Dump;
using testing_support::Headless;
using testing_support::TempDir;

namespace {

struct Tag {
    uint32_t code = 0;
    size_t at = 0;   // the body's offset in the file
    Bytes body;
};

// The top-level tags of an uncompressed file.
std::vector<Tag> TagsOf(const Bytes& file)
{
    std::vector<Tag> tags;
    size_t p = 8 + (5 + 4 * (file[8] >> 3) + 7) / 8 + 4;
    while (p + 2 <= file.size()) {
        const uint32_t v = file[p] | (file[p + 1] << 8);
        uint32_t length = v & 63;
        p += 2;
        if (length == 63) {
            length = file[p] | (file[p + 1] << 8) | (file[p + 2] << 16) | (uint32_t{file[p + 3]} << 24);
            p += 4;
        }
        tags.push_back({v >> 6, p, Bytes(file.begin() + p, file.begin() + p + length)});
        p += length;
        if ((v >> 6) == 0)
            break;
    }
    return tags;
}

bool Ffmpeg(const std::string& args)
{
    return std::system(("/usr/bin/ffmpeg -y -loglevel error " + args + " 2>/dev/null").c_str()) == 0;
}

// The same body as SWF 13 stores it LZMA-compressed: "ZWS", the version,
// FileLength, the compressed length, the five property bytes and the raw
// stream (an .lzma file without its 13-byte header).
Bytes Zws(const Bytes& fws)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream z = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_alone_encoder(&z, &options), LZMA_OK);
    Bytes alone(fws.size() * 2 + 1024);
    z.next_in = fws.data() + 8;
    z.avail_in = fws.size() - 8;
    z.next_out = alone.data();
    z.avail_out = alone.size();
    EXPECT_EQ(lzma_code(&z, LZMA_FINISH), LZMA_STREAM_END);
    alone.resize(z.total_out);
    lzma_end(&z);
    Bytes out = {'Z', 'W', 'S', 13};
    PutLe(out, static_cast<uint32_t>(fws.size()), 4);
    PutLe(out, static_cast<uint32_t>(alone.size() - 13), 4);
    out.insert(out.end(), alone.begin(), alone.begin() + 5);
    out.insert(out.end(), alone.begin() + 13, alone.end());
    return out;
}

// The detailed lines below the file header's branch: everything from the
// first line that is not the header or indented under it.
std::string BelowHeader(const std::string& detail, bool compressed)
{
    const size_t body = compressed ? detail.find("Inflated Body") : detail.find("\n[", detail.find("FrameCount"));
    return body == std::string::npos ? std::string() : detail.substr(detail.find('\n', body));
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

}  // namespace

TEST(SwfTagLayout, FfmpegJpegFramesAreTheJpegDecodersPictures)
{
    if (!std::filesystem::exists("/usr/bin/ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string path = dir.Path() + "/mjpeg.swf";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=4 -t 1 -c:v mjpeg -f swf " + path));
    const Bytes file = testing_support::ReadFile(path);
    std::vector<Bytes> jpegs;
    for (const Tag& tag : TagsOf(file))
        if (tag.code == 21)
            jpegs.emplace_back(tag.body.begin() + 6, tag.body.end());   // id, then FF D8 FF D9
    ASSERT_EQ(jpegs.size(), 4u);

    Headless h;
    h.app.OpenFiles({path});
    const AnalysisResult& swf = h.Detailed(path);
    const std::string detail = h.DetailText(path);
    EXPECT_NE(detail.find("TagID : 21 (DefineBitsJPEG2)"), std::string::npos);
    EXPECT_NE(detail.find("Erroneous Header : FF D8 FF D9"), std::string::npos);
    EXPECT_NE(detail.find("Frame 4"), std::string::npos);
    ASSERT_EQ(swf.pictures.size(), jpegs.size());
    for (size_t i = 0; i < jpegs.size(); ++i) {
        const std::string jpg = dir.Write("frame" + std::to_string(i) + ".jpg", jpegs[i]);
        Headless alone;
        alone.app.OpenFiles({jpg});
        const AnalysisResult& reference = alone.Detailed(jpg);
        ASSERT_EQ(reference.pictures.size(), 1u);
        ExpectSamePixels(swf.pictures[i], reference.pictures[0]);
    }
    EXPECT_EQ(Dump({"--gaps", path}).out, "");
    EXPECT_EQ(Dump({"--check", path}).out, "");
}

TEST(SwfTagLayout, FfmpegVideoAndSoundHeaders)
{
    if (!std::filesystem::exists("/usr/bin/ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string video = dir.Path() + "/flv.swf";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=4 -t 1 -c:v flv -f swf " + video));
    const std::string lines = Dump({"-d", video}).out;
    for (const char* line : {"  [00000017] NumFrames : 4\n", "  [00000019] Width : 64\n", "  [0000001b] Height : 48\n",
                             "  [0000001e] CodecID : 2 (Sorenson H.263)\n", "TagID : 61 (VideoFrame)"})
        EXPECT_NE(lines.find(line), std::string::npos) << line << lines;
    EXPECT_EQ(Dump({"--gaps", video}).out, "");

    const std::string sound = dir.Path() + "/mp3.swf";
    if (!Ffmpeg("-f lavfi -i sine -t 1 -c:a libmp3lame -f swf " + sound))
        GTEST_SKIP() << "no MP3 encoder";
    const std::string soundLines = Dump({"-d", sound}).out;
    EXPECT_NE(soundLines.find("StreamSoundFormat : 2, StreamSoundRate : 44[kHz], StreamSoundSize : 16[bit], "
                              "StreamSoundType : mono"),
              std::string::npos)
        << soundLines;
    EXPECT_NE(soundLines.find("TagID : 19 (SoundStreamBlock)"), std::string::npos);
    EXPECT_EQ(Dump({"--gaps", sound}).out, "");
}

TEST(SwfTagLayout, LzmaAndZlibBodiesGiveTheSameTree)
{
    if (!std::filesystem::exists("/usr/bin/ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string path = dir.Path() + "/mjpeg.swf";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=4 -t 1 -c:v mjpeg -f swf " + path));
    const Bytes fws = testing_support::ReadFile(path);
    const Bytes body(fws.begin() + 8, fws.end());
    const std::string cws = dir.Write("c.swf", Cws(body, Compress(body)));
    const std::string zws = dir.Write("z.swf", Zws(fws));
    const std::string zLines = Dump({"-d", zws}).out;
    EXPECT_NE(zLines.find("[0000000c] LZMA Properties : lc 3, lp 0, pb 2"), std::string::npos) << zLines;
    EXPECT_NE(zLines.find("decoded (complete) into"), std::string::npos);
    EXPECT_EQ(BelowHeader(zLines, true), BelowHeader(Dump({"-d", cws}).out, true));
    EXPECT_FALSE(BelowHeader(zLines, true).empty());
    EXPECT_EQ(Dump({"--check", zws}).out, "");
    EXPECT_EQ(Dump({"--gaps", zws}).out, "");
    EXPECT_NE(Dump({zws}).out.find("SWF File Header(ZWS) Version13"), std::string::npos);

    // Cut short, the stream ends early; declared longer than it decodes to,
    // FileLength disagrees with the body.
    Bytes cut = Zws(fws);
    cut.resize(cut.size() / 2);
    EXPECT_NE(Dump({"--check", dir.Write("cut.swf", cut)}).out.find("swf.lzma-truncated"), std::string::npos);
    Bytes longer = Zws(fws);
    longer[5] = static_cast<uint8_t>(longer[5] + 1);
    EXPECT_NE(Dump({"--check", dir.Write("long.swf", longer)}).out.find("swf.file-length-mismatch"),
              std::string::npos);
}

namespace {

constexpr uint8_t kBackground[3] = {10, 200, 30};

struct LosslessCase {
    uint32_t code;     // 20 DefineBitsLossless, 36 DefineBitsLossless2
    uint32_t format;   // 3, 4 or 5
};

// A 5 x 3 bitmap (odd, so that rows of indices and of 15-bit pixels are
// padded) as the tag stores it before compression, and the picture players
// show over kBackground: pixels[y][x] as blue, green, red.
struct Bitmap {
    Bytes data;
    std::vector<std::array<uint8_t, 3>> pixels;
};

uint8_t Over(uint32_t c, uint32_t a, uint32_t bg, bool premultiplied)
{
    return static_cast<uint8_t>(((premultiplied ? c * 255 : c * a) + bg * (255 - a) + 127) / 255);
}

Bitmap MakeBitmap(const LosslessCase& k)
{
    constexpr uint32_t w = 5, h = 3, colours = 4;
    const bool alpha = k.code == 36;
    Bitmap b;
    if (k.format == 3)
        for (uint32_t i = 0; i < colours; ++i) {
            b.data.insert(b.data.end(), {uint8_t(40 * i + 20), uint8_t(250 - 50 * i), uint8_t(60 * i)});
            if (alpha)
                b.data.push_back(uint8_t(255 - 70 * i));
        }
    for (uint32_t y = 0; y < h; ++y) {
        size_t rowStart = b.data.size();
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t r = 0, g = 0, bl = 0, a = 255;
            bool pre = false;
            if (k.format == 3) {
                const uint32_t i = (x + 2 * y) % 5;   // 4 lies beyond the table: black
                b.data.push_back(uint8_t(i));
                if (i < colours) {
                    r = 40 * i + 20, g = 250 - 50 * i, bl = 60 * i, a = alpha ? 255 - 70 * i : 255;
                }
            } else if (k.format == 4) {
                const uint32_t v = ((x * 7 + y * 13) * 977) & 0x7FFF;
                b.data.insert(b.data.end(), {uint8_t(v >> 8), uint8_t(v)});
                r = (v >> 10) & 31, g = (v >> 5) & 31, bl = v & 31;
                r = r << 3 | r >> 2, g = g << 3 | g >> 2, bl = bl << 3 | bl >> 2;
            } else {
                a = alpha ? 50 * x + 20 * y : 255;
                r = a * x / 4, g = a - a * y / 2 / 2, bl = a / 3;
                b.data.insert(b.data.end(), {uint8_t(alpha ? a : 0), uint8_t(r), uint8_t(g), uint8_t(bl)});
                pre = true;
            }
            b.pixels.push_back({Over(bl, a, kBackground[2], pre), Over(g, a, kBackground[1], pre),
                                Over(r, a, kBackground[0], pre)});
        }
        while ((b.data.size() - rowStart) % 4)
            b.data.push_back(0);
    }
    return b;
}

Bytes LosslessTag(const LosslessCase& k, const Bytes& zlib)
{
    Bytes payload = {5, 0, uint8_t(k.format), 5, 0, 3, 0};
    if (k.format == 3)
        payload.push_back(3);
    payload.insert(payload.end(), zlib.begin(), zlib.end());
    Bytes tags;
    PutTag(tags, 9, {kBackground[0], kBackground[1], kBackground[2]});
    PutTag(tags, k.code, payload);
    PutTag(tags, 0, {});
    return tags;
}

}  // namespace

TEST(SwfTagLayout, LosslessBitmapsInEveryFormat)
{
    TempDir dir;
    for (const LosslessCase k : {LosslessCase{20, 3}, {20, 4}, {20, 5}, {36, 3}, {36, 4}, {36, 5}}) {
        SCOPED_TRACE(std::to_string(k.code) + "/" + std::to_string(k.format));
        const Bitmap bitmap = MakeBitmap(k);
        const std::string path = dir.Write("lossless.swf", Fws(Body(LosslessTag(k, Compress(bitmap.data)))));
        Headless h;
        h.app.OpenFiles({path});
        const AnalysisResult& result = h.Detailed(path);
        ASSERT_EQ(result.pictures.size(), 1u);
        const ResultPicture& picture = result.pictures[0];
        EXPECT_EQ(picture.label, "Character 5");
        ASSERT_EQ(picture.width, 5);
        ASSERT_EQ(picture.height, 3);
        ASSERT_TRUE(picture.image.Pixels());
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(picture.image.PixelAt(x, y)[c], bitmap.pixels[y * 5 + x][c]) << x << "," << y;
        EXPECT_EQ(Dump({"--gaps", path}).out, "");
        EXPECT_EQ(Dump({"--check", path}).out, "");
    }
    // Data that inflates to less than the picture needs.
    const LosslessCase k{20, 5};
    Bytes shortData = MakeBitmap(k).data;
    shortData.resize(shortData.size() - 7);
    const std::string path = dir.Write("short.swf", Fws(Body(LosslessTag(k, Compress(shortData)))));
    EXPECT_NE(Dump({"--check", path}).out.find("swf.lossless-data-short"), std::string::npos);
}

TEST(SwfTagLayout, JpegWithAlphaIsLaidOutAndDrawnThroughIt)
{
    if (!std::filesystem::exists("/usr/bin/ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string jpg = dir.Path() + "/a.jpg";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=16x8 -frames:v 1 " + jpg));
    const Bytes jpeg = testing_support::ReadFile(jpg);
    Bytes payload = {9, 0};
    PutLe(payload, static_cast<uint32_t>(jpeg.size()), 4);
    payload.insert(payload.end(), jpeg.begin(), jpeg.end());
    const Bytes alpha = Compress(Bytes(16 * 8, 0x80));
    payload.insert(payload.end(), alpha.begin(), alpha.end());
    Bytes tags;
    PutTag(tags, 35, payload);
    PutTag(tags, 0, {});
    const std::string path = dir.Write("jpeg3.swf", Fws(Body(tags)));

    Headless h, alone;
    h.app.OpenFiles({path});
    alone.app.OpenFiles({jpg});
    const AnalysisResult& swf = h.Detailed(path);
    const AnalysisResult& reference = alone.Detailed(jpg);
    ASSERT_EQ(swf.pictures.size(), 1u);
    ASSERT_EQ(reference.pictures.size(), 1u);
    EXPECT_EQ(swf.pictures[0].label, "Character 9");
    // Half opaque over the white a file without SetBackgroundColor shows.
    const ResultPicture& got = swf.pictures[0];
    const ResultPicture& own = reference.pictures[0];
    ASSERT_EQ(got.width, own.width);
    ASSERT_EQ(got.height, own.height);
    ASSERT_TRUE(got.image.Pixels() && own.image.Pixels());
    for (int32_t y = 0; y < got.height; ++y)
        for (int32_t x = 0; x < got.width; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(got.image.PixelAt(x, y)[c], Over(own.image.PixelAt(x, y)[c], 0x80, 255, false))
                    << x << "," << y;
    const std::string lines = h.DetailText(path);
    EXPECT_NE(lines.find(ResultLine("[0000001d] AlphaDataOffset : %zu", jpeg.size())), std::string::npos) << lines;
    EXPECT_NE(lines.find(ResultLine("BitmapAlphaData (zlib) : %zu[byte]", alpha.size())), std::string::npos);
    EXPECT_EQ(Dump({"--gaps", path}).out, "");
}

TEST(SwfTagLayout, SpritesPlacementsAndMetadata)
{
    TempDir dir;
    // PlaceObject3: HasName, HasMatrix, HasCharacter; HasClassName and
    // HasBlendMode; depth 1, class "Cls", character 5, an identity matrix
    // (one byte), name "n", blend mode 3.
    const Bytes place3 = {0x26, 0x0A, 1, 0, 'C', 'l', 's', 0, 5, 0, 0x00, 'n', 0, 3};
    Bytes inner;
    PutTag(inner, 70, place3);
    PutTag(inner, 1, {});
    PutTag(inner, 0, {});
    Bytes sprite = {7, 0, 1, 0};
    sprite.insert(sprite.end(), inner.begin(), inner.end());
    const std::string xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n<rdf:RDF/>\n</x:xmpmeta>";
    Bytes tags;
    PutTag(tags, 77, Bytes(xmp.begin(), xmp.end()), true);
    PutTag(tags, 39, sprite);
    PutTag(tags, 43, {'s', 't', 'a', 'r', 't', 0, 1});
    PutTag(tags, 1, {});
    PutTag(tags, 0, {});
    const std::string path = dir.Write("sprite.swf", Fws(Body(tags)));
    const std::string lines = Dump({"-d", path}).out;
    for (const char* line : {"\n  [0000005d] TagID : 70 (PlaceObject3), Size : 14[byte]\n",
                             "Flags : 0x26 (HasName, HasMatrix, HasCharacter)\n",
                             "Flags2 : 0x0a (HasClassName, HasBlendMode)\n", "ClassName : Cls\n",
                             "CharacterId : 5\n", "Matrix : translate (0, 0)[twip]\n", "Name : n\n",
                             "BlendMode : 3\n", "SpriteId : 7\n", "Name : start\n", "NamedAnchor : 1\n",
                             "<rdf:RDF/>"})
        EXPECT_NE(lines.find(line), std::string::npos) << line << lines;
    EXPECT_NE(lines.find("    [0000006c] BlendMode : 3\n"), std::string::npos) << lines;
    EXPECT_EQ(Dump({"--gaps", path}).out, "");
    EXPECT_EQ(Dump({"--check", path}).out, "");

    // A sprite without its End tag, and one whose last tag runs past it.
    for (const auto& [cut, kind] : {std::pair{2, "swf.no-end-tag"}, std::pair{5, "swf.tag-past-sprite-end"}}) {
        Bytes broken = {7, 0, 1, 0};
        broken.insert(broken.end(), inner.begin(), inner.end() - cut);
        Bytes file;
        PutTag(file, 39, broken);
        PutTag(file, 0, {});
        const std::string out = Dump({"--check", dir.Write("broken.swf", Fws(Body(file)))}).out;
        EXPECT_NE(out.find(kind), std::string::npos) << out;
    }
}

TEST(SwfTagLayout, DefineBitsTakesTheTablesOfJpegTables)
{
    if (!std::filesystem::exists("/usr/bin/ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string jpg = dir.Path() + "/a.jpg";
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=16x8 -frames:v 1 " + jpg));
    const Bytes jpeg = testing_support::ReadFile(jpg);
    // The quantization and Huffman tables go to JPEGTables, the rest of the
    // stream, after the erroneous EOI/SOI pair, to DefineBits.
    Bytes tables = {0xFF, 0xD8};
    Bytes image = {0x04, 0x00, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD8};
    for (size_t p = 2; p + 4 <= jpeg.size();) {
        const size_t length = jpeg[p + 1] == 0xDA ? jpeg.size() - p : 2 + (jpeg[p + 2] << 8 | jpeg[p + 3]);
        Bytes& to = jpeg[p + 1] == 0xDB || jpeg[p + 1] == 0xC4 ? tables : image;
        to.insert(to.end(), jpeg.begin() + p, jpeg.begin() + p + length);
        p += length;
    }
    tables.insert(tables.end(), {0xFF, 0xD9});
    Bytes tags;
    PutTag(tags, 8, tables, true);
    PutTag(tags, 6, image, true);
    PutTag(tags, 0, {});
    const std::string path = dir.Write("bits.swf", Fws(Body(tags)));

    Headless h, alone;
    h.app.OpenFiles({path});
    alone.app.OpenFiles({jpg});
    const AnalysisResult& swf = h.Detailed(path);
    ASSERT_EQ(swf.pictures.size(), 1u);
    ExpectSamePixels(swf.pictures[0], alone.Detailed(jpg).pictures.at(0));
    EXPECT_NE(h.DetailText(path).find("Erroneous Header : FF D9 FF D8"), std::string::npos);
    EXPECT_EQ(Dump({"--gaps", path}).out, "");
}

TEST(SwfTagLayout, PngAndGifDataAreNamed)
{
    TempDir dir;
    for (const auto& [head, line] : {std::pair{Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, "PNG data"},
                                     std::pair{Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0}, "GIF data"}}) {
        Bytes payload = {3, 0};
        payload.insert(payload.end(), head.begin(), head.end());
        Bytes tags;
        PutTag(tags, 21, payload);
        PutTag(tags, 0, {});
        const std::string out = Dump({"-d", dir.Write("bits.swf", Fws(Body(tags)))}).out;
        EXPECT_NE(out.find(std::string("  [00000019] ") + line + "\n"), std::string::npos) << out;
    }
}

TEST(SwfTagLayout, LzmaHeaderFaults)
{
    TempDir dir;
    const Bytes fws = Fws(Body(MovieTags()));
    const Bytes zws = Zws(fws);
    Bytes badProps = zws;
    badProps[12] = 225;   // beyond 9 * 5 * 5
    const Bytes noRoom(zws.begin(), zws.begin() + 14);
    for (const auto& [file, kind] : {std::pair{badProps, "swf.lzma-malformed"}, std::pair{noRoom, "swf.lzma-truncated"}})
        EXPECT_NE(Dump({"--check", dir.Write("bad.swf", file)}).out.find(kind), std::string::npos) << kind;
}
