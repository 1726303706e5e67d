// Pictures written by libjpeg, decoded by the analyzer and compared with
// libjpeg's own decoding of the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

#include "jpeg/jpeg_test_support.h"
#include "support/libjpeg_fixture.h"
#include "support/test_support.h"

using namespace testing_support;
using jpeg_test::CompareWithLibjpeg;
using jpeg_test::Difference;

namespace {

struct PictureCase {
    const char* name;
    jpeg_fixture::EncodeOptions options;
};

class JpegPictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(JpegPictureTest, MatchesLibjpegDecoding)
{
    const jpeg_fixture::EncodeOptions& o = GetParam().options;
    const Bytes picture = jpeg_fixture::MakePicture(o.width, o.height, o.components);
    const Bytes file = jpeg_fixture::Encode(picture, o);
    ASSERT_FALSE(file.empty());
    TempDir dir;
    const std::string path = dir.Write(std::string(GetParam().name) + ".jpg", file);
    const Difference d = CompareWithLibjpeg(path, file);
    // The fixed-point transform and the colour equations truncate at every
    // step: luma comes out about one level darker than libjpeg's, and red and
    // blue, which add 1.4 and 1.8 times the chroma, about three. A misplaced
    // block or a lost restart shows as differences of tens of levels.
    EXPECT_LE(d.mean, o.components == 1 ? 2.0 : 3.0) << GetParam().name;
    EXPECT_LE(d.max, 20) << GetParam().name;
    for (int c = 0; c < 3; ++c) {
        EXPECT_LE(d.bias[c], 0.5) << GetParam().name << " channel " << c;
        EXPECT_GE(d.bias[c], -5.0) << GetParam().name << " channel " << c;
    }
}

jpeg_fixture::EncodeOptions Options(int w, int h, int comps, int h0, int v0, int restart = 0, int quality = 90)
{
    jpeg_fixture::EncodeOptions o;
    o.width = w;
    o.height = h;
    o.components = comps;
    o.h0 = h0;
    o.v0 = v0;
    o.restartInterval = restart;
    o.quality = quality;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, JpegPictureTest,
    ::testing::Values(PictureCase{"yuv444", Options(96, 64, 3, 1, 1)},
                      PictureCase{"yuv422", Options(96, 64, 3, 2, 1)},
                      PictureCase{"yuv440", Options(96, 64, 3, 1, 2)},
                      PictureCase{"yuv420", Options(96, 64, 3, 2, 2)},
                      PictureCase{"gray", Options(96, 64, 1, 1, 1)},
                      PictureCase{"odd420", Options(333, 211, 3, 2, 2)},
                      PictureCase{"odd444", Options(333, 211, 3, 1, 1)},
                      PictureCase{"oddgray", Options(333, 211, 1, 1, 1)},
                      PictureCase{"restart420", Options(333, 211, 3, 2, 2, 5)},
                      PictureCase{"restart1", Options(100, 40, 3, 2, 1, 1)},
                      PictureCase{"restartgray", Options(333, 211, 1, 1, 1, 7)},
                      PictureCase{"quality100", Options(120, 72, 3, 2, 2, 0, 100)},
                      PictureCase{"quality20", Options(120, 72, 3, 2, 2, 0, 20)}),
    [](const ::testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

// Files as cameras and photo editors write them: metadata segments that hold
// 0xFF bytes (a whole thumbnail JPEG, say), fill bytes before markers. Each
// case changes a libjpeg file; the walk must accept every segment, find the
// file's own tables, and the picture must still match.
struct RealWorldCase {
    const char* name;
    Bytes (*make)(const Bytes& file, const Bytes& thumbnail);
};

// The segment offsets of a libjpeg file up to its scan header, and its EOI's.
std::vector<size_t> MarkerOffsets(const Bytes& file)
{
    std::vector<size_t> at;
    size_t p = 2;
    while (p + 4 <= file.size() && file[p] == 0xFF) {
        at.push_back(p);
        if (file[p + 1] == 0xDA)
            break;
        p += 2 + (size_t{file[p + 2]} << 8 | file[p + 3]);
    }
    at.push_back(file.size() - 2);
    return at;
}

Bytes Segment(uint8_t marker, const std::string& head, const Bytes& body)
{
    const size_t length = 2 + head.size() + body.size();
    // Laid out in place, which the compiler's bounds analysis follows.
    Bytes out(2 + length);
    out[0] = 0xFF;
    out[1] = marker;
    out[2] = static_cast<uint8_t>(length >> 8);
    out[3] = static_cast<uint8_t>(length);
    std::copy(head.begin(), head.end(), out.begin() + 4);
    std::copy(body.begin(), body.end(), out.begin() + 4 + static_cast<long>(head.size()));
    return out;
}

// Puts segments right after libjpeg's JFIF APP0, before the tables.
Bytes AfterApp0(const Bytes& file, const std::vector<Bytes>& segments)
{
    Bytes out(file.begin(), file.begin() + 20);
    for (const Bytes& s : segments)
        out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), file.begin() + 20, file.end());
    return out;
}

Bytes PhotoshopThumbnail(const Bytes& file, const Bytes& thumbnail)
{
    // An image resource block with a thumbnail resource (0x040C): 28 bytes
    // of thumbnail header, then the JPEG file.
    Bytes block{'8', 'B', 'I', 'M', 0x04, 0x0C, 0, 0};
    const size_t size = 28 + thumbnail.size();
    for (int shift = 24; shift >= 0; shift -= 8)
        block.push_back(static_cast<uint8_t>(size >> shift));
    block.insert(block.end(), {0, 0, 0, 1, 0, 0, 0, 16, 0, 0, 0, 8});
    block.resize(block.size() + 16, 0);
    block.insert(block.end(), thumbnail.begin(), thumbnail.end());
    return AfterApp0(file, {Segment(0xED, std::string("Photoshop 3.0", 14), block)});
}

Bytes SecondApp1Xmp(const Bytes& file, const Bytes&)
{
    const Bytes exif{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};
    Bytes xmp{'<', 'x', '>', 0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 0xFF, 0xC0, 0xFF, 0xD9, '<', '/', 'x', '>'};
    return AfterApp0(file, {Segment(0xE1, std::string("Exif\0\0", 6), exif),
                            Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/", 29), xmp)});
}

Bytes IccInTwoApp2(const Bytes& file, const Bytes&)
{
    const std::string chunk1("ICC_PROFILE\0\x01\x02", 14), chunk2("ICC_PROFILE\0\x02\x02", 14);
    return AfterApp0(file, {Segment(0xE2, chunk1, Bytes(40, 0x20)),
                            Segment(0xE2, chunk2, {0x12, 0xFF, 0xD9, 0xFF, 0xC4, 0, 3, 0xFF})});
}

Bytes FillBytes(const Bytes& file, const Bytes&)
{
    Bytes out = file;
    const std::vector<size_t> at = MarkerOffsets(file);
    for (auto it = at.rbegin(); it != at.rend(); ++it) {
        const uint8_t marker = file[*it + 1];
        if (marker == 0xDB || marker == 0xC0 || marker == 0xDA || marker == 0xD9)
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(*it), {0xFF, 0xFF, 0xFF});
    }
    return out;
}

Bytes JfxxThumbnail(const Bytes& file, const Bytes& thumbnail)
{
    // A JFIF extension whose thumbnail is coded as a JPEG file (code 0x10).
    return AfterApp0(file, {Segment(0xE0, std::string("JFXX\0\x10", 6), thumbnail)});
}

class JpegRealWorldTest : public ::testing::TestWithParam<RealWorldCase> {};

TEST_P(JpegRealWorldTest, WalkFindsTheFilesOwnTablesAndPicture)
{
    const Bytes main = jpeg_fixture::Encode(jpeg_fixture::MakePicture(96, 64, 3), Options(96, 64, 3, 2, 2));
    const Bytes thumbnail = jpeg_fixture::Encode(jpeg_fixture::MakePicture(16, 8, 3), Options(16, 8, 3, 2, 1, 1));
    ASSERT_FALSE(main.empty());
    ASSERT_FALSE(thumbnail.empty());
    const Bytes file = GetParam().make(main, thumbnail);

    const jpeg_test::Analysis a = jpeg_test::Analyse(file);
    EXPECT_EQ(a.rough.find("不正なマーカ"), std::string::npos) << a.rough;
    EXPECT_EQ(a.result, "[画像サイズ]   96 x    64 [クロマフォーマット]4:2:0 ");
    // The main file's tables only, each once, at the top of the tree (a
    // thumbnail's hang under their segment).
    size_t tables = 0;
    for (size_t at : MarkerOffsets(main))
        tables += main[at + 1] == 0xDB || main[at + 1] == 0xC4;
    size_t lines = 0;
    std::istringstream in(a.detail);
    for (std::string line; std::getline(in, line);)
        lines += line.size() == 14 && line[0] == '[' && (line.ends_with("] DQT") || line.ends_with("] DHT"));
    EXPECT_EQ(lines, tables) << a.detail;
    EXPECT_NE(a.detail.find("] Horizontal Size = 96 [pixels]\n"), std::string::npos);
    EXPECT_EQ(a.detail.substr(a.detail.size() - 4), "EOI\n");

    TempDir dir;
    const std::string path = dir.Write(std::string(GetParam().name) + ".jpg", file);
    const Difference d = CompareWithLibjpeg(path, main);
    EXPECT_LE(d.mean, 3.0);
    EXPECT_LE(d.max, 20);
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpegRealWorldTest,
    ::testing::Values(RealWorldCase{"photoshop_thumbnail", PhotoshopThumbnail},
                      RealWorldCase{"second_app1_xmp", SecondApp1Xmp},
                      RealWorldCase{"icc_in_two_app2", IccInTwoApp2},
                      RealWorldCase{"fill_bytes", FillBytes},
                      RealWorldCase{"jfxx_thumbnail", JfxxThumbnail}),
    [](const ::testing::TestParamInfo<RealWorldCase>& info) { return std::string(info.param.name); });

}  // namespace
