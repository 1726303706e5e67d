// The image-data step: the window and bitmap it makes, block placement,
// restart intervals, and how malformed scans end the decoding.
#include <gtest/gtest.h>

#include "jpeg/jpeg_bytes.h"
#include "jpeg/jpeg_test_support.h"

using namespace jpeg_bytes;
using jpeg_test::RunDetailed;

namespace {

// True when every picture pixel in [x0, x1) x [y0, y1) has blue, green and
// red all equal to v.
bool AllPixels(const CImageBuffer& image, int x0, int y0, int x1, int y1, uint8_t v)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = image.PixelAt(x, y);
            if (p[0] != v || p[1] != v || p[2] != v)
                return false;
        }
    return true;
}

// A one-component file around the given scan data, with custom tables.
Bytes GrayFile(uint32_t width, uint32_t height, const Bytes& scan, uint8_t quant = 1, const Bytes& dht = DhtStandardLuma(),
               const Bytes& extra = {})
{
    Bytes f = Soi();
    Put(f, Dqt(0, quant));
    Put(f, Sof0(width, height, {{1, 0x11, 0}}));
    Put(f, dht);
    Put(f, extra);
    Put(f, Sos({{1, 0x00}}));
    Put(f, scan);
    Put(f, Eoi());
    return f;
}

bool EndsWithEoi(const std::string& detail) { return detail.size() > 16 && detail.substr(detail.size() - 4) == "EOI\n"; }

}  // namespace

TEST(JpegImage, FlatBlockPaintsMidGrayAndTheBitmapHasItsMargins)
{
    const auto d = RunDetailed(FlatGrayFile(8, 8));
    ASSERT_NE(d->Window(), nullptr);
    const ResultPicture& w = *d->Window();
    EXPECT_EQ(w.title, "t.jpg");
    EXPECT_EQ(w.width, 8);
    EXPECT_EQ(w.height, 8);
    EXPECT_EQ(w.image.BitmapWidth(), 16);
    EXPECT_EQ(w.image.BitmapHeight(), 16);
    EXPECT_EQ(w.image.MarginWidth(), 8);
    EXPECT_EQ(w.image.MarginHeight(), 8);
    ASSERT_NE(w.image.Pixels(), nullptr);
    EXPECT_TRUE(AllPixels(w.image, 0, 0, 8, 8, 128));
    EXPECT_NE(d->detail.find("[00000132] Image Data\n[00000133] EOI\n"), std::string::npos) << d->detail;
}

TEST(JpegImage, OddSizeDecodesWholeMcusAndStopsAtTheRightByte)
{
    // 20 x 12 pixels: 3 x 2 MCUs of one block; 6 blocks of 6 bits fill
    // exactly 36 bits, so the EOI must follow at once.
    const auto d = RunDetailed(FlatGrayFile(20, 12));
    ASSERT_NE(d->Window(), nullptr);
    const CImageBuffer& image = d->Window()->image;
    EXPECT_EQ(d->Window()->width, 20);
    EXPECT_EQ(d->Window()->height, 12);
    EXPECT_EQ(image.BitmapWidth(), 32);
    EXPECT_EQ(image.BitmapHeight(), 16);
    EXPECT_TRUE(AllPixels(image, 0, 0, 20, 12, 128));
    // The bitmap is 24 columns of decoded blocks wide; the margin beyond them
    // is never written.
    EXPECT_TRUE(AllPixels(image, 24, 0, 32, 16, 0));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, WideTwoByTwoSampledImageHasSixtyThreeMcus)
{
    Bytes f = Soi();
    Put(f, Dqt());
    Put(f, Sof0(1000, 8, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}}));
    Put(f, DhtStandardLuma());
    Put(f, Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}));
    Put(f, FlatGrayBlocks(63 * 6));
    Put(f, Eoi());
    const auto d = RunDetailed(f);
    ASSERT_NE(d->Window(), nullptr);
    const CImageBuffer& image = d->Window()->image;
    EXPECT_EQ(image.BitmapWidth(), 1008);
    EXPECT_EQ(image.BitmapHeight(), 16);
    // The 63rd MCU covers columns 992 to 1007 and rows 0 to 15.
    EXPECT_TRUE(AllPixels(image, 0, 0, 1000, 8, 128));
    EXPECT_TRUE(AllPixels(image, 992, 8, 1008, 16, 128));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, LargePicturesKeepTheirSize)
{
    const auto d = RunDetailed(FlatGrayFile(2000, 1000));
    ASSERT_NE(d->Window(), nullptr);
    EXPECT_EQ(d->Window()->width, 2000);
    EXPECT_EQ(d->Window()->height, 1000);
    EXPECT_EQ(d->Window()->image.BitmapWidth(), 2016);
    EXPECT_EQ(d->Window()->image.BitmapHeight(), 1008);
    EXPECT_TRUE(AllPixels(d->Window()->image, 1990, 990, 2000, 1000, 128));
}

TEST(JpegImage, OneComponentScanIsNotInterleavedWhateverItsSampling)
{
    // Four blocks in raster order along a 32 x 8 picture with DC values 1, 1,
    // 0, 0 (times 64). Read as 2 x 2 MCUs, blocks 2 and 3 would land below
    // the picture.
    BitWriter w;
    w.Bits("010 1 1010  00 1010  010 0 1010  00 1010");
    Bytes f = Soi();
    Put(f, Dqt(0, 64));
    Put(f, Sof0(32, 8, {{1, 0x22, 0}}));
    Put(f, DhtStandardLuma());
    Put(f, Sos({{1, 0x00}}));
    Put(f, w.Finish());
    Put(f, Eoi());
    const auto d = RunDetailed(f);
    ASSERT_NE(d->Window(), nullptr);
    EXPECT_TRUE(AllPixels(d->Window()->image, 0, 0, 16, 8, 135));
    EXPECT_TRUE(AllPixels(d->Window()->image, 16, 0, 32, 8, 128));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, RestartMarkerResetsThePredictor)
{
    // Two blocks with DC difference +1 each; the restart between them resets
    // the predictor, so both blocks get the same value.
    BitWriter a, b;
    a.Bits("010 1 1010");
    b.Bits("010 1 1010");
    Bytes scan = a.Finish();
    Put(scan, {0xFF, 0xD0});
    Put(scan, b.Finish());
    const auto d = RunDetailed(GrayFile(16, 8, scan, 64, DhtStandardLuma(), Dri(1)));
    ASSERT_NE(d->Window(), nullptr);
    EXPECT_TRUE(AllPixels(d->Window()->image, 0, 0, 16, 8, 135));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, MissingRestartMarkerEndsTheDecoding)
{
    BitWriter w;
    w.Bits("010 1 1010 010 1 1010");
    const auto d = RunDetailed(GrayFile(16, 8, w.Finish(), 64, DhtStandardLuma(), Dri(1)));
    ASSERT_NE(d->Window(), nullptr);
    EXPECT_TRUE(AllPixels(d->Window()->image, 0, 0, 8, 8, 135));
    EXPECT_TRUE(AllPixels(d->Window()->image, 8, 0, 16, 8, 0));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, CodeThatMatchesNoEntryEndsTheDecoding)
{
    // Nine 1-bits match no code of the standard luminance DC table.
    BitWriter w;
    w.Bits("010 1 1010 111111111 1111111");
    const auto d = RunDetailed(GrayFile(16, 8, w.Finish(), 64));
    ASSERT_NE(d->Window(), nullptr);
    EXPECT_TRUE(AllPixels(d->Window()->image, 0, 0, 8, 8, 135));
    EXPECT_TRUE(AllPixels(d->Window()->image, 8, 0, 16, 8, 0));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, ZeroRunPastTheBlockEndWritesNothingBeyondIt)
{
    // DC: one code "0" for category 0. AC: "00" end of block, "01" for 0xF1
    // (fifteen zeros and a value of one bit), "10" for 0x01. Four 0xF1 codes
    // reach position 65 of a 64-coefficient block.
    Bytes dht = HuffmanBody(0x00, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x00});
    Put(dht, HuffmanBody(0x10, {0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x00, 0xF1, 0x01}));
    BitWriter w;
    w.Bits("0 011 011 011 011  0 00");
    const auto d = RunDetailed(GrayFile(16, 8, w.Finish(), 1, Segment(0xC4, dht)));
    ASSERT_NE(d->Window(), nullptr);
    ASSERT_NE(d->Window()->image.Pixels(), nullptr);
    // The second block (DC 0, end of block at once) is flat gray.
    EXPECT_TRUE(AllPixels(d->Window()->image, 8, 0, 16, 8, 128));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, EveryFrameIsDrawnOrSaysItIsNot)
{
    const Bytes dht = DhtStandardLuma();
    enum class Expect { Drawn, Unsupported, ScanRejected };
    struct Case {
        const char* name;
        Bytes sof;
        Bytes sos;
        Expect expect;
    };
    const Case cases[] = {
        {"identifier above 7", Sof0(8, 8, {{8, 0x11, 0}}), Sos({{8, 0x00}}), Expect::Drawn},
        {"four components", Sof0(8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}),
         Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}, {4, 0x00}}), Expect::Drawn},
        {"first component 4 x 1", Sof0(32, 8, {{1, 0x41, 0}, {2, 0x11, 0}, {3, 0x11, 0}}),
         Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}), Expect::Drawn},
        {"chroma 2 x 1", Sof0(16, 8, {{1, 0x21, 0}, {2, 0x21, 0}, {3, 0x11, 0}}), Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}),
         Expect::Drawn},
        {"two components", Sof0(8, 8, {{1, 0x11, 0}, {2, 0x11, 0}}), Sos({{1, 0x00}, {2, 0x00}}), Expect::Unsupported},
        {"sampling 0", Sof0(8, 8, {{1, 0x01, 0}, {2, 0x11, 0}, {3, 0x11, 0}}), Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}),
         Expect::Unsupported},
        {"12-bit samples", Sof0(8, 8, {{1, 0x11, 0}}, 0xC1, 12), Sos({{1, 0x00}}), Expect::Unsupported},
        {"lossless", Sof0(8, 8, {{1, 0x11, 0}}, 0xC3), Sos({{1, 0x00}}), Expect::Unsupported},
        {"no such Huffman table", Sof0(8, 8, {{1, 0x11, 0}}), Sos({{1, 0x11}}), Expect::ScanRejected},
        {"component not in the frame", Sof0(8, 8, {{1, 0x11, 0}}), Sos({{1, 0x00}, {9, 0x00}}), Expect::ScanRejected},
    };
    for (const Case& c : cases) {
        Bytes f = Soi();
        Put(f, Dqt());
        Put(f, c.sof);
        Put(f, dht);
        Put(f, c.sos);
        Put(f, FlatGrayBlocks(8));
        Put(f, Eoi());
        const auto d = RunDetailed(f);
        EXPECT_TRUE(EndsWithEoi(d->detail)) << c.name;
        const bool scan = d->detail.find("] Image Data\n") != std::string::npos;
        const bool unsupported = d->detail.find("\n  未対応の形式\n") != std::string::npos;
        EXPECT_EQ(scan, c.expect != Expect::ScanRejected) << c.name;
        EXPECT_EQ(unsupported, c.expect == Expect::Unsupported) << c.name << d->detail;
        ASSERT_EQ(d->Window() != nullptr, c.expect == Expect::Drawn) << c.name;
        if (c.expect != Expect::Drawn)
            continue;
        const CImageBuffer& image = d->Window()->image;
        ASSERT_NE(image.Pixels(), nullptr) << c.name;
        // Flat blocks: never the black of a picture left undrawn.
        EXPECT_FALSE(AllPixels(image, 0, 0, image.PictureWidth(), image.PictureHeight(), 0)) << c.name;
    }
}

// A frame decoded straight into its pixels whose bitmap would pass the
// picture budget is drawn reduced (the data runs out after four blocks, the
// first four pixels of the reduction). A progressive one, whose coefficients
// would not fit in memory either, keeps its window without pixels.
TEST(JpegImage, PictureTooLargeForMemoryIsDrawnReducedOrLeftWithoutPixels)
{
    const auto d = RunDetailed(GrayFile(65535, 65535, FlatGrayBlocks(4)));
    ASSERT_NE(d->Window(), nullptr);
    const ResultPicture& reduced = *d->Window();
    ASSERT_NE(reduced.image.Pixels(), nullptr);
    EXPECT_EQ(reduced.shift, 4u);
    EXPECT_EQ(reduced.width, 65535);
    EXPECT_EQ(reduced.image.PictureWidth(), 4096);
    EXPECT_EQ(reduced.image.BitmapWidth(), 4112);
    EXPECT_TRUE(AllPixels(reduced.image, 0, 0, 1, 1, 128));
    EXPECT_NE(d->detail.find("] Image Data\n"), std::string::npos);
    EXPECT_EQ(d->detail.find("画像が大きすぎるため描画しません"), std::string::npos);

    Bytes f = Soi();
    Put(f, Dqt(0, 1));
    Put(f, Sof0(65535, 65535, {{1, 0x11, 0}}, 0xC2));
    Put(f, DhtStandardLuma());
    // The DC scan of the first pass.
    Put(f, Segment(0xDA, {1, 1, 0x00, 0, 0, 0}));
    Put(f, FlatGrayBlocks(4));
    Put(f, Eoi());
    const auto p = RunDetailed(f);
    ASSERT_NE(p->Window(), nullptr);
    EXPECT_EQ(p->Window()->image.Pixels(), nullptr);
    EXPECT_EQ(p->Window()->shift, 0u);
    EXPECT_FALSE(p->Window()->drawn);
    EXPECT_NE(p->detail.find("\n  画像が大きすぎるため描画しません\n"), std::string::npos) << p->detail;
}

TEST(JpegImage, RoughModeNeverDecodes)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("r.jpg", FlatGrayFile(8, 8));
    testing_support::Headless h;
    h.app.OpenFiles({path});
    EXPECT_EQ(h.app.Detailed(path), nullptr);
    EXPECT_EQ(h.app.Rows()[0].result, "[画像サイズ]    8 x     8 [クロマフォーマット]モノクロ ");
}

TEST(JpegImage, ImagesAreWrittenByTheDumpTool)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("gray.jpg", FlatGrayFile(20, 12));
    const std::string images = dir.Path() + "/images";
    const auto result = testing_support::Dump({"-d", "--images", images, "--ppm", path});
    EXPECT_EQ(result.status, 0) << result.err;
    const testing_support::Bytes ppm = testing_support::ReadFile(images + "/gray.jpg.1.ppm");
    const std::string header = "P6\n20 12\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 20 * 12 * 3);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<long>(header.size())), header);
    for (size_t i = header.size(); i < ppm.size(); ++i)
        ASSERT_EQ(ppm[i], 128) << i;
}

namespace {

// DC: "1" is category 0, "0" category 5. AC: "1" ends the block, "0" is a
// run of 0 with a value of 1 bit. A flat block is then "11".
Bytes OneBitTables()
{
    Bytes dht = HuffmanBody(0x00, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {5, 0});
    Put(dht, HuffmanBody(0x10, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x01, 0x00}));
    return Segment(0xC4, dht);
}

}  // namespace

TEST(JpegImage, RestartAfterADataByteOfAllOnesSkipsItsStuffing)
{
    // Four flat blocks fill one byte 0xFF, which the encoder follows with a
    // stuffed 0x00 before the restart marker.
    Bytes scan{0xFF, 0x00, 0xFF, 0xD0, 0xFF, 0x00};
    const auto d = RunDetailed(GrayFile(64, 8, scan, 1, OneBitTables(), Dri(4)));
    ASSERT_NE(d->Window(), nullptr);
    EXPECT_TRUE(AllPixels(d->Window()->image, 0, 0, 64, 8, 128));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}

TEST(JpegImage, ZeroByteBeforeTheRestartMarkerIsNotStuffing)
{
    // Three blocks (the last with a DC difference of 16) end in the byte 0x3F;
    // the 0x00 after it is no stuffing, so the marker is missed.
    BitWriter w;
    w.Bits("11 11 0 10000 1");
    Bytes scan = w.Finish();
    Put(scan, {0x00, 0xFF, 0xD0, 0xFF, 0x00});
    const auto d = RunDetailed(GrayFile(48, 8, scan, 1, OneBitTables(), Dri(3)));
    ASSERT_NE(d->Window(), nullptr);
    EXPECT_TRUE(AllPixels(d->Window()->image, 0, 0, 16, 8, 128));
    EXPECT_TRUE(AllPixels(d->Window()->image, 24, 0, 48, 8, 0));
    EXPECT_TRUE(EndsWithEoi(d->detail));
}
