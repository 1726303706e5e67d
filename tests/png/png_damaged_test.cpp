// One damaged file per fault the analysis reports: files built chunk by
// chunk, some then cut or patched byte by byte; each gives its anomaly kinds,
// in the order the walk meets them, and nothing else.
#include <gtest/gtest.h>

#include <functional>

#include "png_test_support.h"

using namespace png_test;

namespace {

constexpr uint32_t kWidth = 4;
constexpr uint32_t kHeight = 3;

Chunk Ihdr(uint8_t colourType = 2, uint8_t depth = 8)
{
    return {"IHDR", Header(kWidth, kHeight, depth, colourType)};
}

Chunk Idat()
{
    return {"IDAT", Deflate(RgbRows(kWidth, kHeight))};
}

const Chunk kIend{"IEND", {}};
const Chunk kGama{"gAMA", Be32(45455)};

Chunk FrameControl(uint32_t sequence, uint32_t x = 0)
{
    return {"fcTL", Join({Be32(sequence), Be32(kWidth), Be32(kHeight), Be32(x), Be32(0), Be16(1), Be16(10), {0, 0}})};
}

using Patch = std::function<void(Bytes&)>;

struct DamageCase {
    const char* name;
    std::vector<Chunk> chunks;
    Patch patch;                 // applied to the file's bytes; may be empty
    std::string kinds;           // the anomaly kinds, one per line
};

// The kinds of a result's anomalies, one per line, from AnomalyList.
std::string Kinds(const std::string& list)
{
    std::string kinds;
    for (size_t at = 0; at < list.size();) {
        const size_t end = list.find('\n', at);
        const std::string line = list.substr(at, end - at);
        kinds += line.substr(line.rfind(' ') + 1) + "\n";
        at = end + 1;
    }
    return kinds;
}

std::vector<DamageCase> Cases()
{
    // The IDAT chunk's offset in a file of IHDR, IDAT, IEND.
    const size_t idatAt = 8 + 25;
    const Bytes rows = RgbRows(kWidth, kHeight);
    const Bytes cut = Deflate(Bytes(rows.begin(), rows.begin() + 20));
    const Bytes idat = Idat().data;
    return {
        {"crc", {Ihdr(), Idat(), kIend}, [](Bytes& b) { b[8 + 8 + 13] ^= 1; }, "png.crc-mismatch\n"},
        {"gama-after-idat", {Ihdr(), Idat(), kGama, kIend}, {}, "png.chunk-order\n"},
        {"plte-after-idat", {Ihdr(), Idat(), {"PLTE", Bytes(6, 0)}, kIend}, {}, "png.chunk-order\n"},
        {"gama-after-plte", {Ihdr(), {"PLTE", Bytes(6, 0)}, kGama, Idat(), kIend}, {}, "png.chunk-order\n"},
        {"trns-before-plte", {Ihdr(3), {"tRNS", {0}}, {"PLTE", Bytes(6, 0)}, {"IDAT", Deflate(Bytes(15, 0))}, kIend},
         {}, "png.chunk-order\n"},
        {"plte-in-greyscale", {Ihdr(0), {"PLTE", Bytes(6, 0)}, {"IDAT", Deflate(Bytes(15, 0))}, kIend}, {},
         "png.plte-not-allowed\n"},
        {"ihdr-not-first", {kGama, Ihdr(), Idat(), kIend}, {}, "png.ihdr-not-first\n"},
        {"idat-split", {Ihdr(), {"IDAT", {idat.begin(), idat.begin() + 10}}, {"tEXt", Join({Text("a"), {0}, Text("b")})},
                        {"IDAT", {idat.begin() + 10, idat.end()}}, kIend},
         {}, "png.idat-not-consecutive\n"},
        {"two-gama", {Ihdr(), kGama, kGama, Idat(), kIend}, {}, "png.duplicate-chunk\n"},
        {"two-ihdr", {Ihdr(), Ihdr(), Idat(), kIend}, {}, "png.duplicate-chunk\n"},
        {"no-ihdr", {Idat(), kIend}, {}, "png.ihdr-not-first\npng.missing-ihdr\n"},
        {"no-iend", {Ihdr(), Idat()}, {}, "png.missing-iend\n"},
        {"no-idat", {Ihdr(), kIend}, {}, "png.missing-idat\n"},
        {"no-plte", {Ihdr(3), {"IDAT", Deflate(Bytes(15, 0))}, kIend}, {}, "png.missing-plte\n"},
        {"after-iend", {Ihdr(), Idat(), kIend}, [](Bytes& b) { b.insert(b.end(), {1, 2, 3}); }, "png.data-after-iend\n"},
        {"short-image-data", {Ihdr(), {"IDAT", cut}, kIend}, {}, "png.image-data-short\n"},
        {"short-frame-data", {Ihdr(), {"acTL", Join({Be32(2), Be32(0)})}, FrameControl(0), Idat(), FrameControl(1),
                              {"fdAT", Join({Be32(2), cut})}, kIend},
         {}, "png.image-data-short\n"},
        {"frame-outside-canvas", {Ihdr(), {"acTL", Join({Be32(2), Be32(0)})}, FrameControl(0), Idat(),
                                  FrameControl(1, 1), {"fdAT", Join({Be32(2), Idat().data})}, kIend},
         {}, "png.frame-outside-canvas\n"},
        {"extra-image-data", {Ihdr(), {"IDAT", Deflate(Join({rows, Bytes(7, 0)}))}, kIend}, {}, "png.image-data-extra\n"},
        {"filter-type-5", {Ihdr(), {"IDAT", Deflate(Join({{5}, Bytes(rows.begin() + 1, rows.end())}))}, kIend}, {},
         "png.bad-filter-type\n"},
        {"cut-in-idat", {Ihdr(), Idat(), kIend}, [idatAt](Bytes& b) { b.resize(idatAt + 8 + 10); },
         "png.chunk-past-end\npng.missing-iend\npng.image-data-short\n"},
        {"cut-in-header", {Ihdr(), Idat(), kIend}, [](Bytes& b) { b.resize(b.size() - 12 + 5); },
         "png.chunk-past-end\npng.missing-iend\n"},
        {"length-too-large", {Ihdr(), Idat(), kIend}, [idatAt](Bytes& b) { b[idatAt] = 0x80; },
         "png.chunk-length-too-large\npng.missing-iend\n"},
        {"type-not-letters", {Ihdr(), {"a1b2", {}}, Idat(), kIend}, {}, "png.chunk-type-invalid\n"},
        {"gama-too-short", {Ihdr(), {"gAMA", {0, 1, 2}}, Idat(), kIend}, {}, "png.chunk-data-length\n"},
        {"ihdr-too-long", {{"IHDR", Join({Header(kWidth, kHeight, 8, 2), {0}})}, Idat(), kIend}, {},
         "png.chunk-data-length\n"},
        {"ztxt-garbage", {Ihdr(), {"zTXt", Join({Text("Comment"), {0, 0}, {0x78, 0x9c, 0xff, 0xff}})}, Idat(), kIend},
         {}, "png.inflate-failed\n"},
    };
}

}  // namespace

TEST(PngDamaged, EachFaultGivesItsAnomaly)
{
    testing_support::TempDir dir;
    for (const DamageCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        Bytes file = PngFile(c.chunks);
        if (c.patch)
            c.patch(file);
        const std::string path = dir.Write(std::string(c.name) + ".png", file);
        const Analysis a = Analyse(path);
        EXPECT_EQ(Kinds(a.anomalies), c.kinds) << a.anomalies;
        EXPECT_EQ(a.gaps, "");
    }
}

// Image data that ends early: the rows before the cut are drawn, the rest
// stays black, and the decode says it ended early.
TEST(PngDamaged, ShortImageDataDrawsTheRowsItHas)
{
    testing_support::TempDir dir;
    const Bytes rows = RgbRows(kWidth, kHeight);
    const size_t rowBytes = 1 + kWidth * 3;
    const Bytes twoRows(rows.begin(), rows.begin() + 2 * rowBytes);
    const std::string path = dir.Write("short.png", PngFile({Ihdr(), {"IDAT", Deflate(twoRows)}, kIend}));
    const Analysis a = Analyse(path);
    ASSERT_EQ(a.pictures.size(), 1u);
    ASSERT_EQ(a.decodes.size(), 1u);
    EXPECT_EQ(a.decodes[0].substr(0, 4), ": 1 ");
    Bytes expected;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x)
            for (size_t c = 0; c < 3; ++c)
                expected.push_back(y < 2 ? rows[y * rowBytes + 1 + x * 3 + c] : 0);
    EXPECT_EQ(Difference(a.pictures[0], expected, kWidth), "");
}
