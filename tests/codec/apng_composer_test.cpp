// Animated PNGs from ffmpeg and Pillow, each frame decoded with CPngDecoder
// and composed with CApngComposer, compared after every frame with Pillow's
// own composition of the same file; and the alpha compositor's values.
//
// Pillow and the APNG specification disagree in two places, and these
// tests follow the specification there:
//   - Pillow keeps the canvas of a file without alpha as RGB, so the
//     transparent black of the initial canvas and of dispose_op 1 comes out
//     opaque black: such files are compared over black.
//   - Pillow carries out blend_op 1 by pasting the frame with its alpha as
//     the mask, which also blends the alpha channel itself (a * a + d.a *
//     (1 - a) instead of a + d.a * (1 - a)). Files with translucent
//     pixels in "over" frames are therefore not compared with Pillow's
//     reader; the over operator is compared with Pillow's
//     Image.alpha_composite instead, which is the specification's operator.
// A fully transparent pixel has no colour to show, so two of them are equal
// whatever their colour channels hold.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "codec/alpha_compositor.h"
#include "support/png_fixture.h"
#include "support/test_support.h"

using namespace png_fixture;

namespace {

// The canvas after each frame.
std::vector<Bytes> Compose(const PngFile& png)
{
    std::vector<Bytes> canvases;
    CApngComposer composer(png.header.width, png.header.height);
    for (const Frame& frame : png.frames) {
        EXPECT_TRUE(composer.BeginFrame(frame.control)) << composer.Reason();
        PngImageHeader header = png.header;
        header.width = frame.control.width;
        header.height = frame.control.height;
        const Decoded d = DecodeZlib(header, png.palette, png.trns, frame.zlib);
        EXPECT_EQ(d.result.status, PngDecodeStatus::Complete) << d.result.reason;
        for (uint32_t y = 0; y < d.height; ++y)
            composer.FrameRow(y, d.rgba.data() + size_t{y} * d.width * 4);
        composer.EndFrame();
        canvases.push_back(composer.Canvas());
    }
    return canvases;
}

struct PillowFrames {
    std::string mode;
    std::vector<Bytes> frames;
};

// Pillow's composition: every frame as RGBA, one after the other.
PillowFrames PillowCompose(const testing_support::TempDir& dir, const std::string& path, size_t frameBytes)
{
    const std::string script = dir.Write("dump.py", std::string(R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
with open(sys.argv[2], "wb") as out:
    for k in range(im.n_frames):
        im.seek(k)
        out.write(im.convert("RGBA").tobytes())
open(sys.argv[3], "w").write(im.mode)
)"));
    const std::string raw = dir.Path() + "/frames.raw", mode = dir.Path() + "/mode.txt";
    PillowFrames result;
    if (!RunTool(PillowPython() + " " + script + " " + path + " " + raw + " " + mode))
        return result;
    result.mode = testing_support::ReadText(mode);
    const Bytes all = testing_support::ReadFile(raw);
    for (size_t at = 0; frameBytes != 0 && at + frameBytes <= all.size(); at += frameBytes)
        result.frames.emplace_back(all.begin() + static_cast<long>(at),
                                   all.begin() + static_cast<long>(at + frameBytes));
    return result;
}

// Empty when the canvases agree (over black when the file has no alpha),
// else the first pixel that differs.
std::string Difference(const Bytes& ours, const Bytes& pillow, uint32_t width, bool overBlack)
{
    const CAlphaCompositor black(0, 0, 0);
    for (size_t i = 0; i + 4 <= ours.size() && i + 4 <= pillow.size(); i += 4) {
        bool same;
        if (overBlack) {
            uint8_t a[3], b[3];
            black.CompositeRow(0, &ours[i], 1, a);
            black.CompositeRow(0, &pillow[i], 1, b);
            same = std::memcmp(a, b, 3) == 0;
        } else {
            same = std::memcmp(&ours[i], &pillow[i], 4) == 0 || (ours[i + 3] == 0 && pillow[i + 3] == 0);
        }
        if (!same)
            return "pixel (" + std::to_string(i / 4 % width) + ", " + std::to_string(i / 4 / width) + "): ours " +
                   PixelText(&ours[i]) + " Pillow " + PixelText(&pillow[i]);
    }
    return ours.size() == pillow.size() ? "" : "sizes differ";
}

void ExpectAsPillow(const testing_support::TempDir& dir, const std::string& path, const std::string& label)
{
    SCOPED_TRACE(label);
    const PngFile png = ReadPng(testing_support::ReadFile(path));
    ASSERT_TRUE(png.ok);
    ASSERT_GE(png.frames.size(), 2u);
    const std::vector<Bytes> ours = Compose(png);
    const PillowFrames pillow = PillowCompose(dir, path, size_t{png.header.width} * png.header.height * 4);
    ASSERT_EQ(pillow.frames.size(), ours.size());
    const bool overBlack = pillow.mode == "RGB" || pillow.mode == "L";
    for (size_t k = 0; k < ours.size(); ++k) {
        const ApngFrameControl& c = png.frames[k].control;
        EXPECT_EQ(Difference(ours[k], pillow.frames[k], png.header.width, overBlack), "")
            << "frame " << k << ": " << c.width << "x" << c.height << " at " << c.xOffset << "," << c.yOffset
            << " dispose " << int(c.disposeOp) << " blend " << int(c.blendOp);
    }
}

}  // namespace

TEST(ApngComposer, FfmpegEqualsPillow)
{
    if (!std::filesystem::exists("/usr/bin/ffmpeg") || PillowPython().empty())
        GTEST_SKIP() << "ffmpeg or Pillow is not installed";
    testing_support::TempDir dir;
    // Sub-rectangles of an RGB picture; a sprite on transparency, cleared
    // behind it (dispose_op 1); an unchanging picture, whose later frames
    // are single transparent pixels blended over it.
    const char* inputs[] = {
        "-f lavfi -i testsrc=size=64x48:rate=5",
        "-f lavfi -i 'color=c=black@0.0:size=48x32:rate=5,format=rgba' -f lavfi -i 'testsrc=size=12x12:rate=5,"
        "format=rgba' -filter_complex '[0][1]overlay=x=t*40:y=t*20:format=auto,format=rgba'",
        "-f lavfi -i 'testsrc=size=48x32:rate=5,format=rgba,trim=end_frame=1,loop=loop=10:size=1,setpts=N/5/TB'",
    };
    for (const char* input : inputs) {
        const std::string path = dir.Path() + "/ffmpeg.png";
        ASSERT_TRUE(RunTool(std::string("/usr/bin/ffmpeg -y ") + input + " -frames:v 5 -plays 0 -f apng " + path));
        ExpectAsPillow(dir, path, input);
    }
}

TEST(ApngComposer, PillowEqualsPillow)
{
    if (PillowPython().empty())
        GTEST_SKIP() << "Pillow is not installed";
    testing_support::TempDir dir;
    // Shapes that move over a fixed band, fully opaque or fully transparent
    // (see the top of the file); Pillow writes each frame as the rectangle
    // that changed.
    const std::string script = dir.Write("write.py", std::string(R"(
import sys
from PIL import Image, ImageDraw
def frame(k):
    im = Image.new("RGBA", (40, 30), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.rectangle((0, 0, 39, 7), fill=(200, 30, 30, 255))
    d.rectangle((4 + 6 * k, 12, 13 + 6 * k, 21), fill=(30, 200, 60, 255))
    d.rectangle((30 - 5 * k, 5, 35 - 5 * k, 27), fill=(20, 40, 220, 255))
    d.rectangle((7 + 6 * k, 14, 9 + 6 * k, 16), fill=(0, 0, 0, 0))
    return im
frames = [frame(k) for k in range(5)]
disposal = [int(c) for c in sys.argv[2]]
blend = [int(c) for c in sys.argv[3]]
frames[0].save(sys.argv[1], save_all=True, append_images=frames[1:], disposal=disposal, blend=blend,
               duration=100, loop=0)
)"));
    // The first frame's dispose_op 2 counts as 1.
    const std::pair<const char*, const char*> ops[] = {
        {"00000", "01100"}, {"12121", "00110"}, {"21022", "10101"}, {"22222", "11111"}, {"11111", "01010"},
    };
    for (auto [disposal, blend] : ops) {
        const std::string path = dir.Path() + "/pillow.png";
        ASSERT_TRUE(RunTool(PillowPython() + " " + script + " " + path + " " + disposal + " " + blend));
        ExpectAsPillow(dir, path, std::string("disposal ") + disposal + " blend " + blend);
    }
}

// The over operator on every kind of pixel pair: random pixels over random
// pixels, including alphas of 0 and 255 on either side, compared with
// Pillow's Image.alpha_composite.
TEST(ApngComposer, OverEqualsPillowAlphaComposite)
{
    if (PillowPython().empty())
        GTEST_SKIP() << "Pillow is not installed";
    testing_support::TempDir dir;
    constexpr uint32_t kSize = 64;
    std::mt19937 random(11);
    Bytes under(kSize * kSize * 4), over(kSize * kSize * 4);
    for (size_t i = 0; i < under.size(); ++i) {
        under[i] = static_cast<uint8_t>(random());
        over[i] = static_cast<uint8_t>(random());
    }
    for (size_t p = 0; p < kSize * kSize; ++p) {
        if (p % 5 == 0)
            under[4 * p + 3] = p % 2 ? 0 : 255;
        if (p % 7 == 1)
            over[4 * p + 3] = p % 3 ? 255 : 0;
    }
    const std::string a = dir.Write("under.raw", under), b = dir.Write("over.raw", over);
    const std::string script = dir.Write("over.py", std::string(R"(
import sys
from PIL import Image
size = (64, 64)
under = Image.frombytes("RGBA", size, open(sys.argv[1], "rb").read())
over = Image.frombytes("RGBA", size, open(sys.argv[2], "rb").read())
open(sys.argv[3], "wb").write(Image.alpha_composite(under, over).tobytes())
)"));
    const std::string out = dir.Path() + "/out.raw";
    ASSERT_TRUE(RunTool(PillowPython() + " " + script + " " + a + " " + b + " " + out));
    const Bytes expected = testing_support::ReadFile(out);

    // The second frame covers all but the first column and row: that region
    // is composed, the first column and row keep the first frame.
    CApngComposer composer(kSize, kSize);
    ASSERT_TRUE(composer.BeginFrame({kSize, kSize, 0, 0, 1, 10, 0, 0}));
    for (uint32_t y = 0; y < kSize; ++y)
        composer.FrameRow(y, under.data() + y * kSize * 4);
    composer.EndFrame();
    ASSERT_TRUE(composer.BeginFrame({kSize - 1, kSize - 1, 1, 1, 1, 10, 0, 1}));
    Bytes row((kSize - 1) * 4);
    for (uint32_t y = 1; y < kSize; ++y) {
        std::memcpy(row.data(), over.data() + (y * kSize + 1) * 4, row.size());
        composer.FrameRow(y - 1, row.data());
    }
    composer.EndFrame();
    const Bytes& canvas = composer.Canvas();
    for (uint32_t y = 0; y < kSize; ++y)
        for (uint32_t x = 0; x < kSize; ++x) {
            const size_t i = (size_t{y} * kSize + x) * 4;
            const uint8_t* want = x == 0 || y == 0 ? &under[i] : &expected[i];
            ASSERT_EQ(std::memcmp(&canvas[i], want, 4), 0) << x << "," << y;
        }
}

// Frames that cannot be placed are refused and leave the canvas alone.
TEST(ApngComposer, FramesOutsideTheCanvasAreRefused)
{
    CApngComposer composer(16, 8);
    const uint8_t red[16 * 4] = {255, 0, 0, 255};
    ASSERT_TRUE(composer.BeginFrame({1, 1, 0, 0, 1, 10, 0, 0}));
    composer.FrameRow(0, red);
    composer.FrameRow(1, red);  // below the frame
    composer.EndFrame();
    const Bytes before = composer.Canvas();
    const ApngFrameControl refused[] = {
        {0, 4, 0, 0, 1, 10, 0, 0},           {4, 0, 0, 0, 1, 10, 0, 0},
        {17, 1, 0, 0, 1, 10, 0, 0},          {1, 1, 16, 0, 1, 10, 0, 0},
        {1, 9, 0, 0, 1, 10, 0, 0},           {4, 4, 0, 5, 1, 10, 0, 0},
        {0x20, 1, 0xFFFFFFF0u, 0, 1, 10, 0, 0}, {1, 1, 0, 0, 1, 10, 3, 0},
        {1, 1, 0, 0, 1, 10, 0, 2},
    };
    for (const ApngFrameControl& frame : refused) {
        EXPECT_FALSE(composer.BeginFrame(frame));
        EXPECT_STRNE(composer.Reason(), "");
        composer.FrameRow(0, red);
        composer.EndFrame();
        EXPECT_EQ(composer.Canvas(), before);
    }
    EXPECT_NE(CApngComposer(0, 5).Problem(), nullptr);
    EXPECT_NE(CApngComposer(0x2000, 0x2001).Problem(), nullptr);
    EXPECT_FALSE(CApngComposer(0x2000, 0x2001).BeginFrame({1, 1, 0, 0, 1, 10, 0, 0}));
    EXPECT_EQ(CApngComposer(0x2000, 0x2000).Problem(), nullptr);  // 256 MiB exactly
}

// ---- The alpha compositor ----

TEST(AlphaCompositor, ColourBackground)
{
    const CAlphaCompositor background(10, 200, 255);
    const uint8_t rgba[] = {250, 100, 0, 0, 250, 100, 0, 255, 250, 100, 0, 128, 0, 0, 0, 1};
    uint8_t rgb[12];
    background.CompositeRow(0, rgba, 4, rgb);
    // a = 128: (250 * 128 + 10 * 127 + 127) / 255 = 130, (100 * 128 + 200 * 127 + 127) / 255 = 150,
    // (0 + 255 * 127 + 127) / 255 = 127; a = 1: (10 * 254 + 127) / 255 = 10, (200 * 254 + 127) / 255 = 199.
    const uint8_t expected[] = {10, 200, 255, 250, 100, 0, 130, 150, 127, 10, 199, 254};
    EXPECT_EQ(std::memcmp(rgb, expected, sizeof expected), 0);
}

TEST(AlphaCompositor, CheckerboardPhase)
{
    const CAlphaCompositor checkerboard;
    Bytes clear(20 * 4, 0);
    uint8_t rgb[20 * 3];
    checkerboard.CompositeRow(0, clear.data(), 20, rgb);
    EXPECT_EQ(rgb[0 * 3], 0xFF);   // (0, 0)
    EXPECT_EQ(rgb[7 * 3], 0xFF);   // (7, 0)
    EXPECT_EQ(rgb[8 * 3], 0xCC);   // (8, 0)
    EXPECT_EQ(rgb[16 * 3], 0xFF);  // (16, 0)
    checkerboard.CompositeRow(8, clear.data(), 20, rgb);
    EXPECT_EQ(rgb[0], 0xCC);       // (0, 8)
    EXPECT_EQ(rgb[8 * 3], 0xFF);   // (8, 8)
    checkerboard.CompositeRow(7, clear.data(), 4, rgb, 6);
    EXPECT_EQ(rgb[1 * 3], 0xFF);   // (7, 7)
    EXPECT_EQ(rgb[2 * 3], 0xCC);   // (8, 7)
    const uint8_t half[] = {0, 0, 0, 128};
    checkerboard.CompositeRow(0, half, 1, rgb, 8);
    EXPECT_EQ(rgb[0], (0xCC * 127 + 127) / 255);
}
