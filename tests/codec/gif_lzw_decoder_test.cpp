// GIF image data decoded by CGifLzwDecoder and compared index for index with
// giflib's decoding of the same file: files from real writers, streams of
// every minimum code size, and crafted faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "codec/gif_lzw_decoder.h"
#include "support/gif_test_support.h"
#include "support/test_support.h"

namespace {

using gif_test::Bytes;
using gif_test::CodePacker;

struct Decoded {
    GifLzwResult result;
    Bytes indices;
    bool lastWrite = true;  // what the last Write returned
};

// Gives the data in pieces whose sizes cycle through pieces (all at once
// when empty).
Decoded Decode(uint8_t minCodeSize, uint64_t pixels, const Bytes& data, const std::vector<size_t>& pieces = {})
{
    Decoded d;
    d.indices.assign(pixels, 0xEE);
    CGifLzwDecoder decoder(minCodeSize, pixels, d.indices);
    if (pieces.empty()) {
        d.lastWrite = decoder.Write(data.data(), data.size());
    } else {
        for (size_t at = 0, k = 0; at < data.size(); ++k) {
            const size_t n = std::min(pieces[k % pieces.size()], data.size() - at);
            d.lastWrite = decoder.Write(data.data() + at, n);
            at += n;
        }
    }
    d.result = decoder.Finish();
    return d;
}

Bytes Noise(size_t n, uint32_t colours, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes out(n);
    for (uint8_t& v : out)
        v = static_cast<uint8_t>(random() % colours);
    return out;
}

Bytes GreyPalette(uint32_t entries)
{
    Bytes palette;
    for (uint32_t i = 0; i < entries; ++i)
        palette.insert(palette.end(), 3, static_cast<uint8_t>(i * 255 / std::max(entries - 1, 1u)));
    return palette;
}

// What a writer's files cover between them.
struct FileCheck {
    std::set<uint8_t> codeSizes;
    bool tableFilled = false;
    bool interlaced = false;
};

// Every frame of a file decoded whole and in uneven pieces, against giflib.
void CheckFile(const std::string& name, const std::string& path, FileCheck& seen)
{
    SCOPED_TRACE(name);
    gif_test::File file;
    ASSERT_TRUE(gif_test::Walk(testing_support::ReadFile(path), file));
    const gif_test::GiflibFile reference = gif_test::ReadWithGiflib(path);
    ASSERT_TRUE(reference.ok) << "giflib error " << reference.error;
    ASSERT_EQ(file.images.size(), reference.images.size());
    for (size_t k = 0; k < file.images.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        const gif_test::Image& image = file.images[k];
        const gif_test::GiflibImage& ref = reference.images[k];
        const uint64_t pixels = uint64_t{image.width} * image.height;
        const Decoded whole = Decode(image.minCodeSize, pixels, image.data);
        EXPECT_EQ(whole.result.status, GifLzwStatus::Complete) << whole.result.reason;
        EXPECT_EQ(whole.result.pixelsOut, pixels);
        EXPECT_TRUE(whole.result.endCode);
        EXPECT_FALSE(whole.result.surplusPixels);
        // ffmpeg adds a zero byte when the End code ends on a byte boundary.
        if (whole.result.extraBytes != 0) {
            EXPECT_EQ(whole.result.extraBytes, 1u);
            EXPECT_EQ(image.data.back(), 0);
        }
        EXPECT_FALSE(whole.lastWrite);
        EXPECT_TRUE(whole.indices == gif_test::StoredOrder(ref.raster, ref.width, ref.height, ref.interlaced));
        const Decoded pieces = Decode(image.minCodeSize, pixels, image.data, {1, 3, 254, 7, 2});
        EXPECT_TRUE(pieces.indices == whole.indices);
        EXPECT_EQ(pieces.result.bytesUsed, whole.result.bytesUsed);
        seen.codeSizes.insert(image.minCodeSize);
        seen.tableFilled |= whole.result.tableFilled;
        seen.interlaced |= image.interlaced;
    }
}

class GifLzwWriters : public testing::TestWithParam<const char*> {};

TEST_P(GifLzwWriters, EveryFrameMatchesGiflib)
{
    const auto& files = gif_test::WriterFiles(GetParam());
    if (files.empty())
        GTEST_SKIP() << GetParam() << " is not installed";
    FileCheck seen;
    for (const auto& f : files)
        CheckFile(f.name, f.path, seen);
    // ImageMagick's files have every code size a writer uses, a table that
    // fills up (the 256-colour noise pictures), and interlacing.
    if (std::string(GetParam()) == "imagemagick") {
        EXPECT_EQ(seen.codeSizes, (std::set<uint8_t>{2, 3, 4, 5, 6, 7, 8}));
        EXPECT_TRUE(seen.tableFilled);
        EXPECT_TRUE(seen.interlaced);
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, GifLzwWriters, testing::Values("imagemagick", "gifsicle", "pillow", "ffmpeg"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// Minimum code sizes 0 to 8, with and without a leading Clear, coded here
// and read back by giflib: giflib 5.2 reads sizes 0 and 1 by the same rules
// as 2 to 8, and reads data that does not start with Clear.
TEST(GifLzwCodeSizes, EverySizeMatchesGiflib)
{
    testing_support::TempDir dir;
    for (uint8_t size = 0; size <= 8; ++size) {
        for (const bool leadingClear : {true, false}) {
            SCOPED_TRACE("size " + std::to_string(size) + (leadingClear ? "" : " without Clear"));
            const uint16_t width = 97;
            const uint16_t height = 61;
            const Bytes pixels = Noise(size_t{width} * height, 1u << size, size);
            gif_test::ImageBlock block;
            block.width = width;
            block.height = height;
            block.minCodeSize = size;
            block.data = gif_test::EncodeLzw(pixels, size, {.leadingClear = leadingClear});
            const std::string path = dir.Write("size.gif", gif_test::BuildGif(width, height,
                                                                              GreyPalette(2u << size), {block}));
            const gif_test::GiflibFile reference = gif_test::ReadWithGiflib(path);
            ASSERT_TRUE(reference.ok);
            const Decoded d = Decode(size, pixels.size(), block.data);
            EXPECT_EQ(d.result.status, GifLzwStatus::Complete);
            EXPECT_EQ(d.result.noLeadingClear, !leadingClear);
            EXPECT_TRUE(d.indices == reference.images[0].raster);
            EXPECT_TRUE(d.indices == pixels);
        }
    }
}

// A coder that goes on with the full table instead of clearing it: no entry
// is added and codes stay 12 bits; giflib and Pillow read it so too.
TEST(GifLzwCodeSizes, DeferredClearMatchesGiflibAndPillow)
{
    if (gif_test::PillowPython().empty())
        GTEST_SKIP() << "python3 with Pillow is not installed";
    testing_support::TempDir dir;
    const uint16_t width = 300;
    const uint16_t height = 200;
    const Bytes pixels = Noise(size_t{width} * height, 256, 77);
    gif_test::ImageBlock block;
    block.width = width;
    block.height = height;
    block.data = gif_test::EncodeLzw(pixels, 8, {.clearWhenFull = false});
    const std::string path = dir.Write("deferred.gif", gif_test::BuildGif(width, height, GreyPalette(256), {block}));
    Bytes pillow;
    ASSERT_TRUE(gif_test::PillowIndices(path, pillow));
    const gif_test::GiflibFile reference = gif_test::ReadWithGiflib(path);
    ASSERT_TRUE(reference.ok);
    const Decoded d = Decode(8, pixels.size(), block.data);
    EXPECT_EQ(d.result.status, GifLzwStatus::Complete);
    EXPECT_EQ(d.result.clearCodes, 1u);
    EXPECT_TRUE(d.result.tableFilled);
    EXPECT_TRUE(d.indices == pixels);
    EXPECT_TRUE(d.indices == pillow);
    EXPECT_TRUE(d.indices == reference.images[0].raster);
}

// Crafted code sequences, one per way a stream can end.
struct CodeCase {
    const char* name;
    uint8_t minCodeSize;
    uint64_t pixels;
    std::vector<std::pair<uint32_t, uint32_t>> codes;  // code, width
    GifLzwStatus status;
    Bytes indices;            // the indices decoded
    bool endCode;
    bool surplus;
    uint64_t faultBitOffset;  // when CodeOutOfRange
    const char* reason;
};

// Minimum code size 2: Clear 4, End 5, entries from 6, codes of 3 bits until
// entry 7 is added, then 4.
const CodeCase kCodeCases[] = {
    {"complete", 2, 4, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {5, 4}}, GifLzwStatus::Complete, {1, 2, 1, 2}, true, false,
     0, ""},
    {"no End code", 2, 4, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}}, GifLzwStatus::Complete, {1, 2, 3, 0}, false,
     false, 0, ""},
    {"the entry being defined", 2, 3, {{4, 3}, {3, 3}, {6, 3}, {5, 3}}, GifLzwStatus::Complete, {3, 3, 3}, true,
     false, 0, ""},
    {"above the next free entry", 2, 8, {{4, 3}, {1, 3}, {7, 3}, {2, 3}}, GifLzwStatus::CodeOutOfRange, {1}, false,
     false, 6, "LZWの符号が範囲外です"},
    {"an entry right after Clear", 2, 8, {{4, 3}, {1, 3}, {4, 3}, {6, 3}}, GifLzwStatus::CodeOutOfRange, {1}, false,
     false, 9, "LZWの符号が範囲外です"},
    {"End before the last pixel", 2, 8, {{4, 3}, {1, 3}, {2, 3}, {5, 3}}, GifLzwStatus::EndedEarly, {1, 2}, true,
     false, 0, "画素が揃う前に終了符号があります"},
    {"data ends before the last pixel", 2, 8, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}}, GifLzwStatus::EndedEarly,
     {1, 2, 3, 0}, false, false, 0, "画像データが途中で終わっています"},
    {"codes after the last pixel", 2, 2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 4}, {2, 4}, {5, 4}},
     GifLzwStatus::Complete, {1, 2}, false, true, 0, ""},
    {"padding after the last pixel", 2, 2, {{4, 3}, {1, 3}, {2, 3}}, GifLzwStatus::Complete, {1, 2}, false, false, 0,
     ""},
    {"a string past the last pixel", 2, 3, {{4, 3}, {1, 3}, {1, 3}, {6, 3}, {5, 4}}, GifLzwStatus::Complete,
     {1, 1, 1}, true, true, 0, ""},
    {"Clear after the last pixel", 2, 2, {{4, 3}, {1, 3}, {2, 3}, {4, 3}, {5, 3}}, GifLzwStatus::Complete, {1, 2},
     true, false, 0, ""},
    {"no pixels at all", 2, 0, {{4, 3}, {5, 3}}, GifLzwStatus::Complete, {}, true, false, 0, ""},
};

TEST(GifLzwCodes, EachEnding)
{
    for (const CodeCase& c : kCodeCases) {
        SCOPED_TRACE(c.name);
        CodePacker packer;
        for (const auto& [code, width] : c.codes)
            packer.Put(code, width);
        const Decoded d = Decode(c.minCodeSize, c.pixels, packer.Finish());
        EXPECT_EQ(d.result.status, c.status);
        EXPECT_EQ(d.result.pixelsOut, c.indices.size());
        EXPECT_TRUE(Bytes(d.indices.begin(), d.indices.begin() + static_cast<ptrdiff_t>(c.indices.size())) ==
                    c.indices);
        EXPECT_EQ(d.result.endCode, c.endCode);
        EXPECT_EQ(d.result.surplusPixels, c.surplus);
        EXPECT_STREQ(d.result.reason, c.reason);
        if (c.status == GifLzwStatus::CodeOutOfRange) {
            EXPECT_EQ(d.result.faultBitOffset, c.faultBitOffset);
        }
        // Indices past the ones decoded are left alone.
        for (size_t i = c.indices.size(); i < d.indices.size(); ++i)
            ASSERT_EQ(d.indices[i], 0xEE);
    }
}

// The width grows to 12 bits and stops there; a full table takes no entry,
// so after it only existing codes occur, still 12 bits wide, the last entry
// (4095) among them. Checked against giflib.
TEST(GifLzwCodes, FullTableKeepsTwelveBits)
{
    // Minimum code size 2 (Clear 4, End 5): literal 0, then each code the
    // entry being defined, one 0 longer than the one before (entry c holds
    // c - 4 zeros).
    CodePacker packer;
    Bytes expected;
    packer.Put(4, 3);
    packer.Put(0, 3);
    expected.push_back(0);
    uint32_t width = 3;
    for (uint32_t code = 6; code < 4096; ++code) {
        packer.Put(code, width);
        expected.insert(expected.end(), code - 4, 0);
        if (code + 1 >= (1u << width) && width < 12)
            ++width;
    }
    ASSERT_EQ(width, 12u);
    for (const uint32_t code : {1u, 4095u, 1u, 6u}) {
        packer.Put(code, 12);
        expected.insert(expected.end(), code == 1 ? 1 : code - 4, code == 1 ? 1 : 0);
    }
    const uint16_t frameWidth = 1000;
    while (expected.size() % frameWidth != 0) {
        packer.Put(2, 12);
        expected.push_back(2);
    }
    packer.Put(5, 12);
    gif_test::ImageBlock block;
    block.width = frameWidth;
    block.height = static_cast<uint16_t>(expected.size() / frameWidth);
    block.minCodeSize = 2;
    block.data = packer.Finish();
    const Decoded d = Decode(2, expected.size(), block.data);
    EXPECT_EQ(d.result.status, GifLzwStatus::Complete);
    EXPECT_TRUE(d.result.tableFilled);
    EXPECT_TRUE(d.result.endCode);
    EXPECT_EQ(d.result.extraBytes, 0u);
    EXPECT_TRUE(d.indices == expected);
    testing_support::TempDir dir;
    const gif_test::GiflibFile reference = gif_test::ReadWithGiflib(
        dir.Write("full.gif", gif_test::BuildGif(block.width, block.height, GreyPalette(4), {block})));
    ASSERT_TRUE(reference.ok);
    EXPECT_TRUE(reference.images[0].raster == expected);
}

// Minimum code sizes above 8 would need literals wider than an index byte;
// giflib refuses them too.
TEST(GifLzwCodes, CodeSizesAboveEightRefused)
{
    testing_support::TempDir dir;
    for (const uint8_t size : {9, 11, 12, 255}) {
        SCOPED_TRACE(static_cast<int>(size));
        CodePacker packer;
        packer.Put(1u << std::min<uint8_t>(size, 11), 12);
        packer.Put(1, 12);
        const Bytes data = packer.Finish();
        Bytes out(4, 0xEE);
        CGifLzwDecoder decoder(size, out.size(), out);
        EXPECT_FALSE(decoder.Write(data.data(), data.size()));
        const GifLzwResult r = decoder.Finish();
        EXPECT_EQ(r.status, GifLzwStatus::BadCodeSize);
        EXPECT_STREQ(r.reason, "LZWの最小符号長が範囲外です");
        EXPECT_EQ(r.pixelsOut, 0u);
        EXPECT_EQ(out, Bytes(4, 0xEE));
        gif_test::ImageBlock block;
        block.width = 4;
        block.height = 1;
        block.minCodeSize = size;
        block.data = data;
        EXPECT_FALSE(gif_test::ReadWithGiflib(dir.Write("big.gif", gif_test::BuildGif(4, 1, GreyPalette(4), {block})))
                         .ok);
    }
}

// A stream cut at several points: the indices decoded are the start of the
// whole stream's, and more data never decodes fewer.
TEST(GifLzwTruncated, PrefixOfTheWhole)
{
    const Bytes pixels = Noise(120 * 90, 16, 3);
    const Bytes data = gif_test::EncodeLzw(pixels, 4);
    uint64_t last = 0;
    for (const size_t cut : {size_t{0}, size_t{1}, size_t{2}, data.size() / 3, data.size() / 2, data.size() - 2}) {
        SCOPED_TRACE(cut);
        const Decoded d = Decode(4, pixels.size(), Bytes(data.begin(), data.begin() + static_cast<ptrdiff_t>(cut)));
        EXPECT_EQ(d.result.status, GifLzwStatus::EndedEarly);
        EXPECT_STREQ(d.result.reason, "画像データが途中で終わっています");
        EXPECT_TRUE(d.lastWrite);
        EXPECT_GE(d.result.pixelsOut, last);
        EXPECT_TRUE(std::equal(d.indices.begin(), d.indices.begin() + static_cast<ptrdiff_t>(d.result.pixelsOut),
                               pixels.begin()));
        EXPECT_EQ(d.result.extraBytes, 0u);
        last = d.result.pixelsOut;
    }
}

// Bytes after the End code, in the same piece and in later ones, are
// counted and not decoded.
TEST(GifLzwTruncated, ExtraBytesAfterEnd)
{
    const Bytes pixels = Noise(50 * 20, 4, 9);
    Bytes data = gif_test::EncodeLzw(pixels, 2);
    const size_t size = data.size();
    data.insert(data.end(), {0x12, 0x34, 0x56});
    Bytes out(pixels.size());
    CGifLzwDecoder decoder(2, out.size(), out);
    EXPECT_FALSE(decoder.Write(data.data(), data.size()));
    EXPECT_FALSE(decoder.Write(data.data(), 4));
    const GifLzwResult r = decoder.Finish();
    EXPECT_EQ(r.status, GifLzwStatus::Complete);
    EXPECT_EQ(r.bytesUsed, size);
    EXPECT_EQ(r.extraBytes, 7u);
    EXPECT_EQ(out, pixels);
}

// Without a buffer, or with a short one, the stream is decoded and counted
// all the same; only the indices that fit are kept.
TEST(GifLzwTruncated, ShortOrNoOutput)
{
    const Bytes pixels = Noise(64 * 64, 256, 4);
    const Bytes data = gif_test::EncodeLzw(pixels, 8);
    const Decoded full = Decode(8, pixels.size(), data);
    for (const size_t kept : {size_t{0}, size_t{1}, size_t{1000}}) {
        SCOPED_TRACE(kept);
        Bytes out(kept + 8, 0xEE);
        CGifLzwDecoder decoder(8, pixels.size(), std::span<uint8_t>(out.data(), kept));
        decoder.Write(data.data(), data.size());
        const GifLzwResult r = decoder.Finish();
        EXPECT_EQ(r.status, GifLzwStatus::Complete);
        EXPECT_EQ(r.pixelsOut, full.result.pixelsOut);
        EXPECT_EQ(r.codes, full.result.codes);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<ptrdiff_t>(kept), pixels.begin()));
        EXPECT_EQ(Bytes(out.begin() + static_cast<ptrdiff_t>(kept), out.end()), Bytes(8, 0xEE));
    }
}

}  // namespace
