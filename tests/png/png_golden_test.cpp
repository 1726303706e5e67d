// Whole outputs of a file that holds every chunk type this program lays out,
// in the order the standard requires, and a chunk it does not know: the
// detailed tree (nested ICC and TIFF structures and inflated texts
// included) and the rough list, against golden files.
#include <gtest/gtest.h>

#include "png_test_support.h"

using namespace png_test;

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// An ICC profile of a header and an empty tag table (ICC.1 7.2, 7.3).
Bytes IccProfile()
{
    Bytes p(132, 0);
    const Bytes size = Be32(132);
    std::copy(size.begin(), size.end(), p.begin());
    const Bytes fields = Join({Text("mntrRGB XYZ "), Bytes(12, 0), Text("acsp")});
    std::copy(fields.begin(), fields.end(), p.begin() + 12);
    p[8] = 4;
    return p;
}

// Big-endian TIFF with one IFD holding Artist "Ab".
Bytes ExifData()
{
    return Join({Text("MM"), Be16(42), Be32(8), Be16(1), Be16(0x013B), Be16(2), Be32(3), Text("Ab"), {0, 0},
                 Be32(0)});
}

constexpr const char* kXmp =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'/>\n</x:xmpmeta>\n<?xpacket end='r'?>";

Bytes FrameControl(uint32_t sequence, uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint8_t dispose, uint8_t blend)
{
    return Join({Be32(sequence), Be32(w), Be32(h), Be32(x), Be32(y), Be16(1), Be16(10), {dispose, blend}});
}

Bytes EveryChunk()
{
    Bytes palette;
    for (uint8_t i = 0; i < 10; ++i)
        palette.insert(palette.end(), {static_cast<uint8_t>(i * 25), static_cast<uint8_t>(255 - i * 25), 128});
    Bytes histogram;
    for (uint32_t i = 0; i < 10; ++i)
        histogram = Join({histogram, Be16(i * 3)});
    return PngFile({
        {"IHDR", Header(3, 2, 8, 3)},
        {"cHRM", Join({Be32(31270), Be32(32900), Be32(64000), Be32(33000), Be32(30000), Be32(60000), Be32(15000),
                       Be32(6000)})},
        {"gAMA", Be32(45455)},
        {"iCCP", Join({Text("profile"), {0, 0}, Deflate(IccProfile())})},
        {"sBIT", {5, 6, 5}},
        {"sRGB", {0}},
        {"cICP", {1, 13, 0, 1}},
        {"mDCV", Join({Be16(35400), Be16(14600), Be16(8500), Be16(39850), Be16(6550), Be16(2300), Be16(15635),
                       Be16(16450), Be32(10000000), Be32(1)})},
        {"cLLI", Join({Be32(10000000), Be32(4000000)})},
        {"PLTE", palette},
        {"tRNS", {0, 128, 255}},
        {"bKGD", {1}},
        {"hIST", histogram},
        {"pHYs", Join({Be32(2835), Be32(2835), {1}})},
        {"sPLT", Join({Text("suggested"), {0, 8}, {1, 2, 3, 4}, Be16(7), {5, 6, 7, 8}, Be16(9)})},
        {"eXIf", ExifData()},
        {"tIME", Join({Be16(2024), {2, 29, 23, 59, 60}})},
        {"tEXt", Join({Text("Title"), {0}, Text("every chunk\nsecond line")})},
        {"zTXt", Join({Text("Comment"), {0, 0}, Deflate(Text("compressed comment"))})},
        {"iTXt", Join({Text("XML:com.adobe.xmp"), {0, 1, 0}, Text("en"), {0}, Text("XMP"), {0}, Deflate(Text(kXmp))})},
        {"iTXt", Join({Text("Author"), {0, 0, 0}, {0}, {0}, Text("J\xC5\x8Dhn")})},
        {"acTL", Join({Be32(2), Be32(0)})},
        {"fcTL", FrameControl(0, 3, 2, 0, 0, 0, 0)},
        {"IDAT", Deflate({0, 0, 1, 2, 0, 3, 4, 5})},
        {"fcTL", FrameControl(1, 2, 1, 1, 1, 1, 1)},
        {"fdAT", Join({Be32(2), Deflate({0, 9, 8})})},
        {"prVt", Text("private")},
        {"IEND", {}},
    });
}

}  // namespace

TEST(PngGolden, EveryChunkType)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("every.png", EveryChunk());
    const Analysis a = Analyse(path);
    EXPECT_EQ(a.anomalies, "");
    EXPECT_EQ(a.gaps, "");
    EXPECT_EQ(a.labels, (std::vector<std::string>{"", "APNG 2"}));
    testing_support::ExpectGolden("png/every_chunk_detailed.txt", Replace(a.text, dir.Path(), "<dir>"));
    const testing_support::DumpResult rough = testing_support::Dump({path});
    testing_support::ExpectGolden("png/every_chunk_rough.txt", Replace(rough.out, dir.Path(), "<dir>"));
}
