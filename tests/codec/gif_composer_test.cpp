// Frames composed by CGifComposer from CGifLzwDecoder's indices, compared
// with a plain composer written out here from giflib's frames and with
// Pillow's pictures of the same files; clipping, palettes, disposal and
// frames whose data ended early on crafted ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "codec/gif_composer.h"
#include "codec/gif_lzw_decoder.h"
#include "support/gif_test_support.h"
#include "support/test_support.h"

namespace {

using gif_test::Bytes;

// The browser model pixel by pixel: the previous frame's disposal (2 clears
// its rectangle to transparent, 3 puts back the whole canvas as it was
// before that frame), then the frame, skipping its transparent index, black
// for an index without a colour, nothing outside the screen.
class ReferenceComposer {
public:
    ReferenceComposer(uint32_t width, uint32_t height)
        : width_(width), height_(height), canvas_(size_t{width} * height * 4, 0)
    {
    }

    const Bytes& Draw(const gif_test::GiflibImage& frame)
    {
        if (previous_ && previous_->disposal == 2) {
            for (uint32_t y = previous_->top; y < uint32_t{previous_->top} + previous_->height; ++y)
                for (uint32_t x = previous_->left; x < uint32_t{previous_->left} + previous_->width; ++x)
                    if (x < width_ && y < height_)
                        std::memset(&canvas_[(size_t{y} * width_ + x) * 4], 0, 4);
        } else if (previous_ && previous_->disposal == 3) {
            canvas_ = before_;
        }
        before_ = canvas_;
        for (uint32_t y = 0; y < frame.height; ++y) {
            for (uint32_t x = 0; x < frame.width; ++x) {
                const uint32_t sx = frame.left + x;
                const uint32_t sy = frame.top + y;
                const int index = frame.raster[size_t{y} * frame.width + x];
                if (sx >= width_ || sy >= height_ || index == frame.transparentIndex)
                    continue;
                uint8_t* px = &canvas_[(size_t{sy} * width_ + sx) * 4];
                const bool known = size_t(index) * 3 + 3 <= frame.palette.size();
                for (int c = 0; c < 3; ++c)
                    px[c] = known ? frame.palette[size_t(index) * 3 + c] : 0;
                px[3] = 255;
            }
        }
        previous_ = &frame;
        return canvas_;
    }

private:
    uint32_t width_;
    uint32_t height_;
    Bytes canvas_;
    Bytes before_;
    const gif_test::GiflibImage* previous_ = nullptr;
};

struct Composed {
    std::vector<Bytes> canvases;
    std::vector<GifFrameResult> results;
};

// The file through the classes, as the analyzer will use them.
Composed ComposeFile(const gif_test::File& file)
{
    Composed out;
    CGifComposer composer(file.width, file.height);
    for (const gif_test::Image& image : file.images) {
        Bytes indices(size_t{image.width} * image.height);
        CGifLzwDecoder decoder(image.minCodeSize, indices.size(), indices);
        decoder.Write(image.data.data(), image.data.size());
        GifFrame frame;
        frame.left = image.left;
        frame.top = image.top;
        frame.width = image.width;
        frame.height = image.height;
        frame.interlaced = image.interlaced;
        frame.palette = image.localPalette.empty() ? file.globalPalette : image.localPalette;
        frame.transparentIndex = image.transparentIndex;
        frame.disposal = image.disposal;
        out.results.push_back(composer.Compose(frame, indices, decoder.Finish().pixelsOut));
        out.canvases.emplace_back(composer.Canvas().begin(), composer.Canvas().end());
    }
    return out;
}

size_t DifferentPixels(const Bytes& a, const Bytes& b)
{
    size_t n = 0;
    for (size_t i = 0; i + 4 <= std::min(a.size(), b.size()); i += 4)
        n += std::memcmp(&a[i], &b[i], 4) != 0;
    return n + (a.size() != b.size());
}

// Where Pillow 9.4 composes otherwise than browsers, whose model the
// composer follows:
// - the screen outside the first frame, and every rectangle an earlier
//   frame's disposal 2 cleared: Pillow fills these with the logical screen's
//   background colour, opaque unless the frame has a transparent index;
//   browsers clear to transparent;
// - a first frame with disposal 3: Pillow leaves the frame in place, where
//   browsers go back to the empty (transparent) screen.
class PillowBackground {
public:
    PillowBackground(uint32_t width, uint32_t height, const gif_test::GiflibImage& first)
        : width_(width), height_(height), mask_(size_t{width} * height, 1)
    {
        Mark(first, 0);
    }
    void AfterFrame(const gif_test::GiflibImage& frame)
    {
        if (frame.disposal == 2 || (first_ && frame.disposal == 3))
            Mark(frame, 1);
        first_ = false;
    }
    // Pixels outside the mask that differ; pixels of alpha 0 count as equal.
    size_t Differences(const Bytes& ours, const Bytes& pillow) const
    {
        if (ours.size() != pillow.size())
            return ours.size() + 1;
        size_t n = 0;
        for (size_t i = 0; i < mask_.size(); ++i) {
            const uint8_t* a = &ours[i * 4];
            const uint8_t* b = &pillow[i * 4];
            n += !mask_[i] && !(a[3] == 0 && b[3] == 0) && std::memcmp(a, b, 4) != 0;
        }
        return n;
    }

private:
    void Mark(const gif_test::GiflibImage& frame, uint8_t value)
    {
        for (uint32_t y = frame.top; y < std::min<uint32_t>(height_, frame.top + frame.height); ++y)
            for (uint32_t x = frame.left; x < std::min<uint32_t>(width_, frame.left + frame.width); ++x)
                mask_[size_t{y} * width_ + x] = value;
    }

    uint32_t width_;
    uint32_t height_;
    Bytes mask_;
    bool first_ = true;
};

class GifComposerWriters : public testing::TestWithParam<const char*> {};

// Every frame of every writer's file, through the LZW decoder and the
// composer, equals the plain composer's picture of giflib's frames exactly,
// and Pillow's picture wherever Pillow's background cannot show.
TEST_P(GifComposerWriters, FramesMatchReferenceAndPillow)
{
    const auto& files = gif_test::WriterFiles(GetParam());
    if (files.empty())
        GTEST_SKIP() << GetParam() << " is not installed";
    std::vector<std::string> paths;
    for (const auto& f : files)
        paths.push_back(f.path);
    const std::vector<std::vector<Bytes>> pillow = gif_test::PillowFrames(paths);
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].name);
        gif_test::File file;
        ASSERT_TRUE(gif_test::Walk(testing_support::ReadFile(files[i].path), file));
        const gif_test::GiflibFile giflib = gif_test::ReadWithGiflib(files[i].path);
        ASSERT_TRUE(giflib.ok);
        ASSERT_EQ(file.images.size(), giflib.images.size());
        const Composed ours = ComposeFile(file);
        ReferenceComposer reference(giflib.width, giflib.height);
        PillowBackground background(giflib.width, giflib.height, giflib.images[0]);
        if (!gif_test::PillowPython().empty()) {
            EXPECT_EQ(pillow[i].size(), giflib.images.size());
        }
        for (size_t k = 0; k < giflib.images.size(); ++k) {
            SCOPED_TRACE("frame " + std::to_string(k));
            EXPECT_EQ(DifferentPixels(ours.canvases[k], reference.Draw(giflib.images[k])), 0u);
            if (k < pillow[i].size()) {
                EXPECT_EQ(background.Differences(ours.canvases[k], pillow[i][k]), 0u);
            }
            background.AfterFrame(giflib.images[k]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, GifComposerWriters, testing::Values("imagemagick", "gifsicle", "pillow", "ffmpeg"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// A frame of indices 0, 1, 2, ... over its pixels, with a palette of
// `colours` entries whose colour i is (i, 100 + i, 200 - i).
struct Crafted {
    GifFrame frame;
    Bytes palette;
    Bytes indices;
    gif_test::GiflibImage image;  // the same for the plain composer
};

Crafted MakeFrame(uint16_t left, uint16_t top, uint16_t width, uint16_t height, uint32_t colours)
{
    Crafted c;
    for (uint32_t i = 0; i < colours; ++i)
        c.palette.insert(c.palette.end(), {uint8_t(i), uint8_t(100 + i), uint8_t(200 - i)});
    // A frame too large to need its pixels (it is clipped away) gets none.
    if (uint64_t{width} * height <= 1000000)
        c.indices.resize(size_t{width} * height);
    for (size_t i = 0; i < c.indices.size(); ++i)
        c.indices[i] = static_cast<uint8_t>(i % 251);
    c.frame.left = left;
    c.frame.top = top;
    c.frame.width = width;
    c.frame.height = height;
    c.frame.palette = c.palette;
    c.image.left = left;
    c.image.top = top;
    c.image.width = width;
    c.image.height = height;
    c.image.raster = c.indices;
    c.image.palette = c.palette;
    return c;
}

// Frames reaching past the screen or lying beyond it are clipped and
// flagged; what is visible is drawn as the plain composer draws it.
TEST(GifComposerClipping, OffScreenFrames)
{
    struct Case {
        const char* name;
        uint16_t left, top, width, height;
        bool outside;
        uint64_t drawn;
    };
    const Case cases[] = {
        {"inside", 2, 3, 10, 5, false, 50},
        {"right edge", 30, 0, 20, 4, true, 40},
        {"bottom edge", 0, 20, 5, 10, true, 20},
        {"beyond the right", 40, 0, 5, 5, true, 0},
        {"beyond the bottom", 0, 24, 5, 5, true, 0},
        {"largest offsets", 65535, 65535, 65535, 65535, true, 0},
        {"zero width", 3, 3, 0, 7, false, 0},
        {"zero height at the edge", 40, 24, 9, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CGifComposer composer(40, 24);
        ReferenceComposer reference(40, 24);
        Crafted f = MakeFrame(c.left, c.top, c.width, c.height, 256);
        const GifFrameResult r = composer.Compose(f.frame, f.indices, f.indices.size());
        EXPECT_EQ(r.outsideScreen, c.outside);
        EXPECT_EQ(r.pixelsDrawn, c.drawn);
        if (f.indices.size() == size_t{c.width} * c.height) {
            EXPECT_EQ(DifferentPixels(Bytes(composer.Canvas().begin(), composer.Canvas().end()),
                                      reference.Draw(f.image)), 0u);
        }
    }
}

// Indices beyond the palette draw opaque black and are counted; a frame with
// no palette is all black; the transparent index is skipped even beyond the
// palette.
TEST(GifComposerPalette, ShortAndMissingPalettes)
{
    struct Case {
        const char* name;
        uint32_t colours;
        int transparent;
        uint64_t drawn;
        uint64_t black;
        bool noPalette;
    };
    // 16 x 16 pixels of indices 0 to 250, then 0 to 4.
    const Case cases[] = {
        {"full palette", 256, -1, 256, 0, false},
        {"four colours", 4, -1, 256, 256 - 8, false},
        {"four colours, index 200 transparent", 4, 200, 255, 256 - 9, false},
        {"no palette", 0, -1, 256, 256, true},
        {"no palette, index 0 transparent", 0, 0, 254, 254, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CGifComposer composer(16, 16);
        Crafted f = MakeFrame(0, 0, 16, 16, c.colours);
        f.frame.transparentIndex = c.transparent;
        const GifFrameResult r = composer.Compose(f.frame, f.indices, f.indices.size());
        EXPECT_EQ(r.pixelsDrawn, c.drawn);
        EXPECT_EQ(r.outOfPalette, c.black);
        EXPECT_EQ(r.noPalette, c.noPalette);
        f.image.transparentIndex = c.transparent;
        ReferenceComposer reference(16, 16);
        EXPECT_EQ(DifferentPixels(Bytes(composer.Canvas().begin(), composer.Canvas().end()), reference.Draw(f.image)),
                  0u);
    }
}

// Each disposal value, seen on the next frame: a 6 x 4 frame over a full
// first frame, then a fully transparent frame that shows what is left.
TEST(GifComposerDisposal, EachValue)
{
    for (uint8_t disposal = 0; disposal < 8; ++disposal) {
        SCOPED_TRACE(static_cast<int>(disposal));
        CGifComposer composer(12, 10);
        ReferenceComposer reference(12, 10);
        Crafted first = MakeFrame(0, 0, 12, 10, 256);
        Crafted second = MakeFrame(3, 2, 6, 4, 256);
        std::reverse(second.indices.begin(), second.indices.end());
        second.image.raster = second.indices;
        second.frame.disposal = disposal;
        // The reference's reading of values 4 to 7, as the composer takes
        // them: 4 as 3, the others as 0.
        second.image.disposal = disposal < 4 ? disposal : disposal == 4 ? 3 : 0;
        Crafted blank = MakeFrame(0, 0, 12, 10, 256);
        std::fill(blank.indices.begin(), blank.indices.end(), 7);
        blank.image.raster = blank.indices;
        blank.frame.transparentIndex = blank.image.transparentIndex = 7;
        for (Crafted* f : {&first, &second, &blank}) {
            composer.Compose(f->frame, f->indices, f->indices.size());
            EXPECT_EQ(DifferentPixels(Bytes(composer.Canvas().begin(), composer.Canvas().end()),
                                      reference.Draw(f->image)), 0u);
        }
        const auto at = [&](uint32_t x, uint32_t y) { return composer.Canvas()[(y * 12 + x) * 4 + 3]; };
        EXPECT_EQ(at(4, 3), disposal == 2 ? 0 : 255);
    }
}

// Restore-to-previous puts back the clipped rectangle only, and a frame
// after it can be restored again.
TEST(GifComposerDisposal, RestoreClippedFrame)
{
    CGifComposer composer(20, 10);
    ReferenceComposer reference(20, 10);
    Crafted frames[] = {MakeFrame(0, 0, 20, 10, 256), MakeFrame(15, 6, 10, 10, 256), MakeFrame(2, 2, 5, 5, 16),
                        MakeFrame(0, 0, 3, 3, 256)};
    frames[1].frame.disposal = frames[1].image.disposal = 3;
    frames[2].frame.disposal = frames[2].image.disposal = 3;
    for (Crafted& f : frames) {
        composer.Compose(f.frame, f.indices, f.indices.size());
        EXPECT_EQ(DifferentPixels(Bytes(composer.Canvas().begin(), composer.Canvas().end()), reference.Draw(f.image)),
                  0u);
    }
}

// Frames whose data ended early: pixels past the valid ones leave the canvas
// as it was, for an interlaced frame the rows of the passes not reached.
TEST(GifComposerShortData, ValidPixelsOnly)
{
    for (const bool interlaced : {false, true}) {
        for (const uint64_t valid : {uint64_t{0}, uint64_t{7}, uint64_t{3 * 9 + 4}, uint64_t{9 * 20}}) {
            SCOPED_TRACE(std::to_string(valid) + (interlaced ? " interlaced" : ""));
            CGifComposer composer(9, 20);
            Crafted f = MakeFrame(0, 0, 9, 20, 256);
            f.frame.interlaced = interlaced;
            const GifFrameResult r = composer.Compose(f.frame, f.indices, valid);
            EXPECT_EQ(r.incomplete, valid < f.indices.size());
            EXPECT_EQ(r.pixelsDrawn, valid);
            // Stored row s of an interlaced frame of 20 rows is display row
            // kRows[s] (passes from 0 step 8, 4 step 8, 2 step 4, 1 step 2).
            constexpr uint32_t kRows[20] = {0, 8, 16, 4, 12, 2, 6, 10, 14, 18, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19};
            for (uint32_t s = 0; s < 20; ++s) {
                const uint32_t y = interlaced ? kRows[s] : s;
                for (uint32_t x = 0; x < 9; ++x) {
                    const size_t stored = size_t{s} * 9 + x;
                    const uint8_t* px = &composer.Canvas()[(size_t{y} * 9 + x) * 4];
                    if (stored < valid)
                        ASSERT_EQ(px[0], f.indices[stored]) << x << "," << y;
                    else
                        ASSERT_EQ(px[3], 0) << x << "," << y;
                }
            }
        }
    }
}

// Screens whose canvas would pass kMaxCanvasBytes are refused before
// anything is allocated; the frames then draw nothing.
TEST(GifComposerLimits, HugeScreensRefused)
{
    const struct {
        uint16_t width, height;
        bool refused;
    } cases[] = {{65535, 65535, true}, {8193, 8192, true}, {65535, 1025, true}, {1000, 1000, false}, {0, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        CGifComposer composer(c.width, c.height);
        EXPECT_EQ(composer.Refused(), c.refused);
        EXPECT_STREQ(composer.Reason(), c.refused ? "論理画面が大きすぎます" : "");
        EXPECT_EQ(composer.Canvas().size(), c.refused ? 0 : size_t{c.width} * c.height * 4);
        Crafted f = MakeFrame(0, 0, 4, 4, 256);
        EXPECT_EQ(composer.Compose(f.frame, f.indices, f.indices.size()).pixelsDrawn,
                  c.refused || c.width == 0 ? 0u : 16u);
    }
}

}  // namespace
