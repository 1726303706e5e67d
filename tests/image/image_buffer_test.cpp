#include "image/image_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The address space this process has mapped, in KiB.
size_t MappedKib()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoul(line.substr(7));
    return 0;
}

}  // namespace

// Bitmaps below, at and above the size where huge pages are used, of sizes
// that are and are not whole huge pages: all of the memory is there, zeroed
// and writable, and rows are where PixelAt says.
TEST(ImageBuffer, MemoryOfEverySizeIsZeroedAndWholly)
{
    const std::vector<std::pair<int32_t, int32_t>> sizes = {
        {16, 16}, {1744, 400}, {512, 1366}, {1024, 683}, {1744, 2208}, {4016, 3008}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        CImageBuffer image;
        uint8_t* pixels = image.Create(w, 16, h, 16);
        ASSERT_NE(pixels, nullptr);
        const size_t bytes = image.RowBytes() * static_cast<size_t>(h);
        EXPECT_TRUE(std::all_of(pixels, pixels + bytes, [](uint8_t v) { return v == 0; }));
        pixels[0] = 1;
        pixels[bytes - 1] = 2;
        EXPECT_EQ(image.PixelAt(0, image.PictureHeight() - 1 + 16)[0], 1);
        EXPECT_EQ(image.PixelAt(w - 1, 0)[2], 2);
    }
}

TEST(ImageBuffer, RefusedSizesGiveNoMemoryButKeepTheSizes)
{
    CImageBuffer image;
    EXPECT_EQ(image.Create(0, 0, 16, 0), nullptr);
    EXPECT_EQ(image.Create(16, 0, -16, 0), nullptr);
    // One byte row over the cap.
    const int32_t width = 16384;
    const int32_t height = static_cast<int32_t>(CImageBuffer::kMaxBytes / (uint64_t{width} * 3)) + 1;
    EXPECT_EQ(image.Create(width, 16, height, 16), nullptr);
    EXPECT_EQ(image.Pixels(), nullptr);
    EXPECT_EQ(image.BitmapWidth(), width);
    EXPECT_EQ(image.PictureHeight(), height - 16);
    EXPECT_NE(image.Create(width, 16, height - 1, 16), nullptr);
}

// Large bitmaps are mapped with room to spare for alignment; none of it may
// stay behind when a bitmap is replaced or released.
TEST(ImageBuffer, ReleasedMemoryLeavesNoMappingBehind)
{
    const size_t before = MappedKib();
    for (int round = 0; round < 200; ++round) {
        CImageBuffer image;
        ASSERT_NE(image.Create(1744 + 16 * (round % 7), 16, 2208, 16), nullptr);
        image.Pixels()[0] = 1;
        ASSERT_NE(image.Create(4016, 16, 3008, 16), nullptr);
    }
    EXPECT_LE(MappedKib(), before + 1024);
}

// A picture made compact keeps every pixel's colour in a byte (grey) or a
// bit (black and white) a pixel; one with any colour stays as it is.
TEST(ImageBuffer, CompactLayoutsKeepEveryPixel)
{
    struct Case {
        const char* name;
        uint8_t (*level)(int32_t x, int32_t y, int channel);
        CImageBuffer::Samples samples;
        size_t rowBytes;   // for a bitmap 48 pixels wide
    };
    const Case cases[] = {
        {"bilevel", [](int32_t x, int32_t y, int) -> uint8_t { return (x * 7 + y * 3) % 5 < 2 ? 255 : 0; },
         CImageBuffer::Samples::Bilevel, 8},
        {"grey", [](int32_t x, int32_t y, int) -> uint8_t { return static_cast<uint8_t>(x * 5 + y); },
         CImageBuffer::Samples::Grey, 48},
        {"colour", [](int32_t x, int32_t y, int c) -> uint8_t { return static_cast<uint8_t>(x + y + (c == 1)); },
         CImageBuffer::Samples::Colour, 144},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CImageBuffer image;
        uint8_t* pixels = image.Create(48, 11, 32, 9);
        ASSERT_NE(pixels, nullptr);
        for (int32_t y = 0; y < image.PictureHeight(); ++y)
            for (int32_t x = 0; x < image.PictureWidth(); ++x)
                for (int k = 0; k < 3; ++k)
                    pixels[static_cast<size_t>(31 - y) * image.RowBytes() + static_cast<size_t>(x) * 3 + k] =
                        c.level(x, y, k);
        EXPECT_EQ(image.Compact(), c.samples != CImageBuffer::Samples::Colour);
        EXPECT_EQ(image.Layout(), c.samples);
        EXPECT_EQ(image.RowBytes(), c.rowBytes);
        EXPECT_EQ(image.PictureWidth(), 37);
        int wrong = 0;
        for (int32_t y = 0; y < image.PictureHeight(); ++y)
            for (int32_t x = 0; x < image.PictureWidth(); ++x) {
                uint8_t bgr[3];
                image.ColourAt(x, y, bgr);
                for (int k = 0; k < 3; ++k)
                    wrong += bgr[k] != c.level(x, y, k);
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_FALSE(image.Compact());
    }
    CImageBuffer none;
    EXPECT_FALSE(none.Compact());
}
