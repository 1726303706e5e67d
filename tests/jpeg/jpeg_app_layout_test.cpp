// The APPn segments as writers lay them out: files made by Pillow, exiftool
// and ImageMagick, hand-made segments of the kinds no writer here makes, and
// hostile variants of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "core/file_text.h"
#include "core/result_text.h"
#include "jpeg/jpeg_app_layout.h"
#include "jpeg/jpeg_bytes.h"
#include "jpeg/jpeg_test_support.h"
#include "support/test_support.h"

using namespace jpeg_bytes;
using testing_support::Dump;
using testing_support::TempDir;

namespace {

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v >> 16);
    Put16(b, v & 0xFFFF);
}

// A display profile with a tag table of twelve entries, whose data bytes
// all differ from their neighbours; size bytes in all.
Bytes Profile(size_t size)
{
    Bytes p(size);
    for (size_t i = 0; i < size; ++i)
        p[i] = static_cast<uint8_t>(i * 31 + 7);
    std::fill(p.begin(), p.begin() + 132, 0);
    Bytes header;
    Put32(header, static_cast<uint32_t>(size));
    PutText(header, "lcms");
    Put32(header, 0x02100000);
    PutText(header, "mntrRGB XYZ ");
    std::copy(header.begin(), header.end(), p.begin());
    std::copy_n("acsp", 4, p.begin() + 36);
    Bytes table;
    Put32(table, 12);
    const char* tags[] = {"desc", "cprt", "wtpt", "rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC", "bTRC", "chrm", "pre0", "dmnd"};
    const uint32_t step = static_cast<uint32_t>((size - 300) / 12);
    for (uint32_t i = 0; i < 12; ++i) {
        PutText(table, tags[i]);
        Put32(table, 300 + i * step);
        Put32(table, step);
    }
    std::copy(table.begin(), table.end(), p.begin() + 128);
    return p;
}

// The profile in APP2 chunks of at most chunk bytes each.
Bytes IccSegments(const Bytes& profile, size_t chunk)
{
    const size_t count = (profile.size() + chunk - 1) / chunk;
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        Bytes p;
        PutText(p, std::string("ICC_PROFILE", 12));
        Put(p, {static_cast<uint8_t>(i + 1), static_cast<uint8_t>(count)});
        p.insert(p.end(), profile.begin() + long(i * chunk),
                 profile.begin() + long(std::min(profile.size(), (i + 1) * chunk)));
        Put(out, Segment(0xE2, p));
    }
    return out;
}

// A file whose only structure is the given segments.
Bytes WithSegments(const Bytes& segments)
{
    Bytes f = Soi();
    Put(f, segments);
    Put(f, Eoi());
    return f;
}

struct Span {
    size_t start;
    size_t end;
    uint8_t marker;
};

// The segments of a file up to its first scan, by their lengths.
std::vector<Span> SegmentsOf(const Bytes& file)
{
    std::vector<Span> out;
    for (size_t p = 2; p + 4 <= file.size() && file[p] == 0xFF && file[p + 1] != 0xDA;) {
        const size_t end = p + 2 + (size_t{file[p + 2]} << 8 | file[p + 3]);
        out.push_back({p, end, file[p + 1]});
        p = end;
    }
    return out;
}

// What every file from a writer must show: each APPn segment accepted in
// rough mode and laid out with a head line in detailed mode, and no byte of
// it left out of every line's range.
void ExpectAppSegmentsLaidOut(const std::string& path, const std::string& detail)
{
    const Bytes file = testing_support::ReadFile(path);
    const std::string rough = Dump({"--tree", path}).out;
    EXPECT_FALSE(Contains(rough, "不正なマーカ(0xFFE")) << rough;
    std::istringstream gaps(Dump({"--gaps", path}).out);
    std::vector<std::pair<size_t, size_t>> holes;
    for (size_t start, end, length; gaps >> start >> end >> length;)
        holes.emplace_back(start, end);
    size_t apps = 0;
    for (const Span& s : SegmentsOf(file)) {
        if (s.marker < 0xE0 || s.marker > 0xEF)
            continue;
        ++apps;
        char head[32];
        std::snprintf(head, sizeof head, "\n[%08zx] APP%d\n", s.start, s.marker - 0xE0);
        EXPECT_TRUE(Contains(detail, head)) << head;
        for (const auto& [start, end] : holes)
            EXPECT_TRUE(end <= s.start || start >= s.end) << head << " has a gap at " << start;
    }
    EXPECT_GT(apps, 0u) << path;
}

struct WriterCase {
    const char* name;
    const char* tool;                    // the program the case needs
    std::string command;                 // {in}, {out}, {icc}, {thumb} replaced
    std::vector<std::string> expected;   // texts of the detailed tree
};

std::string Replace(std::string text, const std::string& key, const std::string& value)
{
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

}  // namespace

TEST(JpegAppWriters, EverySegmentIsAcceptedAndLaidOut)
{
    const std::string python = "/usr/bin/python3";
    if (!RunTool(python + " -c 'import PIL'"))
        GTEST_SKIP() << "Pillow is not installed";
    TempDir dir;
    const std::string icc = dir.Write("big.icc", Profile(150000));
    const std::string small = dir.Write("small.icc", Profile(3000));
    const std::string pillow = python + " -c \"from PIL import Image; import sys; "
                                        "Image.radial_gradient('L').resize((40, 24)).convert('RGB')";
    const std::string in = dir.Path() + "/in.jpg", thumb = dir.Path() + "/thumb.jpg";
    ASSERT_TRUE(RunTool(pillow + ".save('" + in + "', quality=90)\""));
    ASSERT_TRUE(RunTool(pillow + ".resize((16, 8)).save('" + thumb + "')\""));
    const std::string exiftool = "/usr/bin/exiftool -q -overwrite_original ";
    const WriterCase cases[] = {
        {"pillow_icc", "/usr/bin/python3",
         pillow + ".save('{out}', subsampling=1, icc_profile=open('{icc}', 'rb').read())\"",
         {"Chunk = 3 / 3", "    /* --- ICC Tag Table --- */\n      [000000a6] Tag count = 0x0000000c : 12\n"}},
        {"pillow_progressive", "/usr/bin/python3",
         pillow + ".save('{out}', progressive=True, icc_profile=open('" + small + "', 'rb').read())\"",
         {"Chunk = 1 / 1", "Profile size = 0x00000bb8 : 3000 [byte]"}},
        {"pillow_cmyk", "/usr/bin/python3", pillow + ".convert('CMYK').save('{out}')\"",
         {"File Format = Adobe\n", "Color Transform = "}},
        {"exiftool_metadata", "/usr/bin/exiftool",
         "cp {in} {out} && " + exiftool +
             "-XMP-dc:Title=テスト -IPTC:Keywords=sky -IPTC:Keywords=sea -IPTC:Caption-Abstract=Caption "
             "-codedcharacterset=utf8 '-ICC_Profile<={icc}' '-PhotoshopThumbnail<={thumb}' {out}",
         {"] 2:25 Keywords = sky\n", "] 2:25 Keywords = sea\n", "] 2:120 Caption-Abstract = Caption\n",
          "] 1:90 CodedCharacterSet = ESC % G (UTF-8)\n", "テスト</rdf:li>", "Image Resource 0x040C : Thumbnail\n",
          "Chunk = 3 / 3", "Horizontal Size = 16 [pixels]"}},
        {"exiftool_extended_xmp", "/usr/bin/exiftool",
         "cp {in} {out} && " + exiftool + "-XMP-dc:Description=" + std::string(70000, 'a') + " {out}",
         {"File Format = Adobe XMP extended packet\n", "Full Length = "}},
        {"imagemagick_icc", "/usr/bin/convert-im6.q16", "/usr/bin/convert-im6.q16 {in} -profile {icc} {out}",
         {"Chunk = 3 / 3", "/* --- ICC Profile Header --- */"}},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!std::filesystem::exists(c.tool))
            continue;
        const std::string out = dir.Path() + "/" + c.name + ".jpg";
        std::string command = Replace(c.command, "{out}", out);
        command = Replace(Replace(Replace(command, "{in}", in), "{icc}", icc), "{thumb}", thumb);
        ASSERT_TRUE(RunTool(command));
        const std::string detail = Dump({"-d", out}).out;
        for (const std::string& text : c.expected)
            EXPECT_TRUE(Contains(detail, text)) << text << "\n" << detail.substr(0, 4000);
        ExpectAppSegmentsLaidOut(out, detail);
    }
}

// app_segments.jpg is gray_odd.jpg with one segment of each kind before its
// JFIF header: JFXX thumbnails of all three codes, Exif, XMP and extended
// XMP, an ICC profile in three chunks, MPF, Ducky (APP12), Photoshop
// resources (IPTC, a JPEG thumbnail, two others and padding), Adobe, and an
// APP15 without an identifier.
TEST(JpegAppGolden, EveryKindOfSegment)
{
    const std::string dir = std::string(VANTREL_TEST_DATA) + "/jpeg/";
    const std::string path = dir + "app_segments.jpg";
    std::string text = Dump({"--tree", path}).out + "\n" + Dump({"-d", path}).out;
    for (size_t at; (at = text.find(dir)) != std::string::npos;)
        text.erase(at, dir.size());
    EXPECT_FALSE(Contains(text, "不正なマーカ"));
    testing_support::ExpectGolden("jpeg/app_segments_detailed.txt", text);
    EXPECT_EQ(Dump({"--gaps", path}).out, "");
}

namespace {

// The lines from a tree text's ICC profile header heading to the end of its
// tag table, indented from the heading's depth.
std::vector<std::string> IccLines(const std::string& detail)
{
    std::vector<std::string> lines;
    std::istringstream in(detail);
    size_t indent = std::string::npos;
    for (std::string line; std::getline(in, line);) {
        const size_t depth = line.find_first_not_of(' ');
        if (indent == std::string::npos && Contains(line, "/* --- ICC Profile Header --- */"))
            indent = depth;
        else if (indent == std::string::npos)
            continue;
        else if (depth < indent)
            break;
        // The TIFF entry's own lines for the profile's bytes that the
        // profile's lines leave out have no counterpart in JPEG.
        else if (Contains(line, "] ICC Profile Data = "))
            continue;
        lines.push_back(line.substr(indent));
    }
    return lines;
}

// A line's "[%08x]" offset, or -1; the last offset of its "= 0x%08x )".
long OffsetOf(const std::string& line, const char* before, const char* after)
{
    const size_t at = line.find(before);
    if (at == std::string::npos || line.find(after, at) != at + std::strlen(before) + 8)
        return -1;
    return std::stol(line.substr(at + std::strlen(before), 8), nullptr, 16);
}

// The TIFF file of one IFD that holds the profile as tag 34675 at offset 26.
Bytes TiffWithProfile(const Bytes& profile)
{
    Bytes t{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x73, 0x87, 7, 0};
    for (uint32_t v : {uint32_t(profile.size()), 26u, 0u})
        for (int i = 0; i < 4; ++i)
            t.push_back(static_cast<uint8_t>(v >> (8 * i)));
    Put(t, profile);
    return t;
}

}  // namespace

TEST(JpegAppIcc, ProfileInChunksIsLaidOutAsTheTiffTagWhereItsBytesLie)
{
    // Chunks of 97 bytes: fields and tag entries break across segments.
    const Bytes profile = Profile(3000);
    TempDir dir;
    const std::string jpegPath = dir.Write("chunks.jpg", WithSegments(IccSegments(profile, 97)));
    const std::string tiffPath = dir.Write("profile.tif", TiffWithProfile(profile));
    const Bytes jpeg = testing_support::ReadFile(jpegPath), tiff = testing_support::ReadFile(tiffPath);
    const std::vector<std::string> a = IccLines(Dump({"-d", jpegPath}).out);
    const std::vector<std::string> b = IccLines(Dump({"-d", tiffPath}).out);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 60u);
    for (size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(a[i]);
        const long at = OffsetOf(a[i], "[", "]"), tiffAt = OffsetOf(b[i], "[", "]");
        ASSERT_EQ(at < 0, tiffAt < 0);
        if (at >= 0) {
            EXPECT_EQ(a[i].substr(0, a[i].find('[')), b[i].substr(0, b[i].find('[')));
            const std::string text = a[i].substr(a[i].find(']')), tiffText = b[i].substr(b[i].find(']'));
            EXPECT_EQ(text.substr(0, text.find("0x")), tiffText.substr(0, tiffText.find("0x")));
            EXPECT_EQ(jpeg.at(size_t(at)), tiff.at(size_t(tiffAt)));
        } else {
            EXPECT_EQ(a[i], b[i]);
        }
        // The tag data element where the file holds it.
        const long element = OffsetOf(a[i], "= 0x", " )"), tiffElement = OffsetOf(b[i], "= 0x", " )");
        if (element >= 0 && size_t(tiffElement) < tiff.size()) {
            EXPECT_EQ(jpeg.at(size_t(element)), tiff.at(size_t(tiffElement)));
        }
    }
}

namespace {

// Records the nested analyses that the layout starts instead of running them.
struct Recorded {
    uint32_t format;
    AnalysisRequest request;
    long position;
    std::vector<FilePiece> pieces;
};
std::vector<Recorded> recorded;

template <uint32_t Format>
void Record(const AnalysisRequest& r)
{
    recorded.push_back({Format, r, std::ftell(r.fp), {r.pieces.begin(), r.pieces.end()}});
    if (r.pictures)
        r.pictures->push_back({0x1234, 0x56, 0, "MPF 2"});
}

constexpr FormatHandler kRecorders[] = {
    {.code = kFormatJpeg, .analyze = Record<kFormatJpeg>},
    {.code = kFormatTiff, .analyze = Record<kFormatTiff>},
    {.code = kFormatIcc, .analyze = Record<kFormatIcc>},
    {.code = kFormatMpf, .analyze = Record<kFormatMpf>},
};

}  // namespace

TEST(JpegAppLayout, NestedAnalysesGetTheirDataAndTheCallerItsResults)
{
    Bytes jfxx, exif, mpf, adobe;
    PutText(jfxx, std::string("JFXX\0\x10", 6));
    Put(jfxx, {0xFF, 0xD8, 0xFF, 0xD9});
    PutText(exif, std::string("Exif\0\0MM", 8));
    PutText(mpf, std::string("MPF\0II*", 7));
    PutText(adobe, "Adobe");
    Put(adobe, {0, 100, 0, 0, 0, 0, 2});
    Bytes chunk1, chunk2;
    PutText(chunk1, std::string("ICC_PROFILE\0\x01\x02", 14));
    Put(chunk1, Bytes(100, 1));
    PutText(chunk2, std::string("ICC_PROFILE\0\x02\x02", 14));
    Put(chunk2, Bytes(50, 2));
    Bytes adobe1 = adobe;
    adobe1.back() = 1;
    // The second chunk comes first.
    const std::vector<std::pair<uint8_t, Bytes>> segments = {
        {0xE0, jfxx}, {0xE1, exif}, {0xE2, mpf}, {0xE2, chunk2}, {0xE2, chunk1}, {0xEE, adobe}, {0xEE, adobe1}};
    Bytes file = Soi();
    for (const auto& [marker, payload] : segments)
        Put(file, Segment(marker, payload));
    TempDir dir;
    const std::string path = dir.Write("t.jpg", file);

    AnalysisResult result;
    CAnalysisRun run(AnalysisOptions{.formats = kRecorders}, AnalysisMode::Detailed, result);
    CLineTree* tree = run.Lines();
    FilePtr fp = OpenAnalysisFile(path.c_str());
    CJpegAppLayout layout({.run = &run, .fp = fp.get(), .path = path.c_str(), .mode = AnalysisMode::Detailed, .level = 2},
                          CTreeWriter(tree), file.size());
    recorded.clear();
    size_t at = 2;
    std::vector<size_t> offsets;
    for (const auto& [marker, payload] : segments) {
        offsets.push_back(at);
        const LineId head = tree->Append("APPn", kTopLevel);
        const std::span<const uint8_t> bytes(file.data() + at + 4, file.size() - at - 4);
        layout.LayOut(fp.get(), 0xFF00u | marker, at, static_cast<uint32_t>(payload.size() + 2), bytes, head);
        at += payload.size() + 4;
    }
    layout.Finish(fp.get());

    ASSERT_EQ(recorded.size(), 4u);
    const uint32_t formats[] = {kFormatJpeg, kFormatTiff, kFormatMpf, kFormatIcc};
    const size_t data[] = {offsets[0] + 10, offsets[1] + 10, offsets[2] + 8, offsets[4] + 18};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Recorded& r = recorded[i];
        EXPECT_EQ(r.format, formats[i]);
        EXPECT_EQ(r.position, long(data[i]));
        EXPECT_EQ(r.request.level, 3u);
        EXPECT_EQ(r.request.dataEnd, offsets[i] + segments[i].second.size() + 4);
        EXPECT_EQ(r.request.pictureLabel, i == 0 ? "サムネイル" : "");
        EXPECT_EQ(r.request.pictures, i == 2 ? &layout.MpfPictures() : nullptr);
    }
    ASSERT_EQ(layout.MpfPictures().size(), 1u);
    EXPECT_EQ(layout.MpfPictures()[0].offset, 0x1234u);
    // The profile: chunk 1, then chunk 2, wherever they stand.
    EXPECT_EQ(recorded[3].format, kFormatIcc);
    ASSERT_EQ(recorded[3].pieces.size(), 2u);
    EXPECT_EQ(recorded[3].pieces[0].offset, data[3]);
    EXPECT_EQ(recorded[3].pieces[0].size, 100u);
    EXPECT_EQ(recorded[3].pieces[1].offset, offsets[3] + 18);
    EXPECT_EQ(recorded[3].pieces[1].size, 50u);
}

TEST(JpegAppLayout, JfxxThumbnailsAreDrawn)
{
    Bytes palette, rgb;
    PutText(palette, std::string("JFXX\0\x11\x02\x01", 8));
    for (int i = 0; i < 256; ++i)
        Put(palette, {uint8_t(i), uint8_t(255 - i), 7});
    Put(palette, {3, 200});
    PutText(rgb, std::string("JFXX\0\x13\x01\x02", 8));
    Put(rgb, {10, 20, 30, 40, 50, 60});
    const auto d = jpeg_test::RunDetailed(WithSegments(Segment(0xE0, palette)));
    const auto e = jpeg_test::RunDetailed(WithSegments(Segment(0xE0, rgb)));
    ASSERT_EQ(d->document->pictures.size(), 1u);
    ASSERT_EQ(e->document->pictures.size(), 1u);
    EXPECT_EQ(d->Window()->label, "サムネイル");
    const CImageBuffer& p = d->Window()->image;
    const CImageBuffer& q = e->Window()->image;
    ASSERT_TRUE(p.Pixels() && q.Pixels());
    EXPECT_EQ(p.PictureWidth(), 2);
    EXPECT_EQ(p.PictureHeight(), 1);
    EXPECT_EQ(q.PictureHeight(), 2);
    // Blue, green, red.
    EXPECT_EQ(Bytes(p.PixelAt(0, 0), p.PixelAt(0, 0) + 3), (Bytes{7, 252, 3}));
    EXPECT_EQ(Bytes(p.PixelAt(1, 0), p.PixelAt(1, 0) + 3), (Bytes{7, 55, 200}));
    EXPECT_EQ(Bytes(q.PixelAt(0, 1), q.PixelAt(0, 1) + 3), (Bytes{60, 50, 40}));
    EXPECT_TRUE(Contains(d->detail, "  [0000000e] Palette 0x0000000E - 0x0000030D (768 [byte])\n"
                                    "  [0000030e] Thumbnail Data 0x0000030E - 0x0000030F (2 [byte])\n"));
}

namespace {

Bytes Photoshop(const Bytes& resources)
{
    Bytes p;
    PutText(p, std::string("Photoshop 3.0", 14));
    Put(p, resources);
    return Segment(0xED, p);
}

Bytes Resource(uint16_t id, const Bytes& data, uint32_t size)
{
    Bytes r;
    PutText(r, "8BIM");
    Put16(r, id);
    Put(r, {0, 0});
    Put32(r, size);
    Put(r, data);
    return r;
}

Bytes Iptc(uint8_t record, uint8_t dataSet, const std::string& text, uint32_t size)
{
    Bytes d{0x1C, record, dataSet};
    Put16(d, size);
    PutText(d, text);
    return d;
}

struct HostileCase {
    const char* name;
    Bytes file;
    std::vector<std::string> expected;
};

}  // namespace

TEST(JpegAppLayout, HostileSegmentsEndQuietlyWithALineThatSaysWhy)
{
    const Bytes profile = Profile(400);
    Bytes twoOfThree = IccSegments(profile, 300);
    twoOfThree[twoOfThree.size() - (100 + 14) + 13] = 3;   // the second chunk's count
    const Bytes chunks = IccSegments(profile, 200);
    Bytes repeated = chunks;
    Put(repeated, chunks);
    Bytes cut = Soi();
    Put(cut, IccSegments(profile, 400));
    cut.resize(cut.size() - 10);
    Bytes iptc = Iptc(2, 25, "sky", 3);
    Put(iptc, Iptc(2, 120, "long", 4000));
    Bytes extended{0x1C, 2, 120, 0x80, 0x04, 0, 0, 0, 2, 'h', 'i', 0x1C, 2, 5, 0x80, 0x00};
    Bytes xmp;
    PutText(xmp, std::string("http://ns.adobe.com/xap/1.0/", 29) + "\r\n  <a>\r\n" + std::string(3000, 'x') + "\n\n   \n");
    Bytes app13Past = WithSegments(Photoshop(Resource(0x0404, Iptc(2, 5, "name", 4), 9)));
    app13Past[5] += 100;   // the segment's length runs past the file's end
    const HostileCase cases[] = {
        {"icc count disagrees", WithSegments(twoOfThree), {"ICCプロファイルのチャンクが揃っていないため"}},
        {"icc chunk missing", WithSegments(Bytes(chunks.begin(), chunks.begin() + 218)), {"揃っていないため"}},
        {"icc chunk repeated", WithSegments(repeated), {"揃っていないため"}},
        {"icc cut by the file's end", cut, {"揃っていないため"}},
        {"icc shorter than its header", WithSegments(IccSegments(Bytes(100, 0), 60)), {"ヘッダより短いため"}},
        {"resource size lies", WithSegments(Photoshop(Resource(0x0404, iptc, 0x7FFFFFF0))),
         {"Data Size = 2147483632 [byte]\n", "リソースのサイズがセグメントの終わりを越えています"}},
        {"dataset size lies", WithSegments(Photoshop(Resource(0x0404, iptc, uint32_t(iptc.size())))),
         {"] 2:25 Keywords = sky\n", "] 2:120 Caption-Abstract = \n", "データセットのサイズがリソースの終わりを越えています"}},
        {"extended dataset lengths", WithSegments(Photoshop(Resource(0x0404, extended, uint32_t(extended.size())))),
         {"] 2:120 Caption-Abstract = hi\n", "Data Field Length = 2 [byte] (extended, 4 bytes)\n",
          "拡張形式の長さが読めません"}},
        {"segment past the file's end", app13Past, {"] 2:5 ObjectName = name\n", "リソースの署名(8BIM)がありません"}},
        {"palette cut short", WithSegments(Segment(0xE0, Bytes{'J', 'F', 'X', 'X', 0, 0x11, 4, 4, 1, 2})),
         {"セグメントが短く"}},
        {"adobe cut short", WithSegments(Segment(0xEE, Bytes{'A', 'd', 'o', 'b', 'e', 0, 1})), {"セグメントが短く"}},
        {"no identifier", WithSegments(Segment(0xE5, Bytes{1, 2, 0})), {"識別子がありません"}},
        {"xmp lines", WithSegments(Segment(0xE1, xmp)), {"\n    [00000025]   <a>\n    [0000002c] xxx"}},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const jpeg_test::Analysis a = jpeg_test::Analyse(c.file);
        for (const std::string& text : c.expected)
            EXPECT_TRUE(Contains(a.detail, text)) << text << "\n" << a.detail;
        std::istringstream lines(a.detail);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(Cp932Length(line.data(), line.size()), kMaxLineBytes + 12);
            EXPECT_FALSE(line.find_first_not_of(' ') == std::string::npos) << "a blank line";
        }
    }
}
