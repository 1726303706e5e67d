// Pictures coded by libtiff, decoded strip by strip the way the TIFF
// image-data step calls the decoder, and compared pixel for pixel with
// libtiff's own decoding of the same file (a set bit is black: the pictures
// are written with PhotometricInterpretation 0, white is zero).
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "codec/decode_threads.h"
#include "codec/fax_fixture.h"
#include "support/test_support.h"

namespace {

using fax_fixture::Picture;

// A bilevel picture, one byte per pixel, 1 for black.
struct Bilevel {
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> pixels;
    uint8_t At(uint32_t x, uint32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Rows of runs whose lengths mix short runs with long ones, plus rows that
// are all white, all black, single pixels and alternating pixels, so that
// terminating, make-up and extended make-up codes of both colours appear.
Bilevel MakePicture(uint32_t width, uint32_t height, uint32_t seed)
{
    Bilevel pic{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, 0)};
    std::mt19937 random(seed);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = &pic.pixels[static_cast<size_t>(y) * width];
        switch (y % 9) {
        case 0:
            break;
        case 1:
            std::memset(row, 1, width);
            break;
        case 2:
            for (uint32_t x = 0; x < width; ++x)
                row[x] = static_cast<uint8_t>(x & 1);
            break;
        case 3:
            row[0] = 1;
            row[width - 1] = 1;
            break;
        default: {
            uint8_t colour = static_cast<uint8_t>(random() & 1);
            uint32_t x = 0;
            while (x < width) {
                const uint32_t kind = random() % 8;
                uint32_t run = kind < 5 ? random() % 12 : (kind < 7 ? random() % 200 : random() % 3000);
                if (run == 0)
                    run = 1;
                for (uint32_t i = 0; i < run && x < width; ++i, ++x)
                    row[x] = colour;
                colour ^= 1;
            }
            // Lines that resemble the one above give the vertical modes work.
            if (y > 0 && random() % 3 == 0) {
                const uint8_t* above = row - width;
                for (uint32_t i = 0; i < width; ++i)
                    row[i] = above[i];
                for (int k = 0; k < 4; ++k)
                    row[random() % width] ^= 1;
            }
        }
        }
    }
    return pic;
}

// A picture whose rows hold every run length from 0 to above 2560 in both
// colours: row k has a white run of k pixels, a black run of k + 1, then
// alternating runs that grow by 97.
Bilevel MakeRunLengthPicture()
{
    const uint32_t width = 5300;
    const uint32_t height = 2640;
    Bilevel pic{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, 0)};
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = &pic.pixels[static_cast<size_t>(y) * width];
        uint32_t x = y;
        uint32_t run = y + 1;
        uint8_t colour = 1;
        while (x < width) {
            for (uint32_t i = 0; i < run && x < width; ++i, ++x)
                row[x] = colour;
            colour ^= 1;
            run = (run + 97) % 2700 + 1;
        }
    }
    return pic;
}

struct Coding {
    uint16_t compression;
    uint32_t group3Options;  // only for CCITTFAX3
    uint32_t mode;           // decoder mode
    const char* name;
};

void PrintTo(const Coding& coding, std::ostream* out)
{
    *out << coding.name;
}

const Coding kG3 = {COMPRESSION_CCITTFAX3, 0, CFaxDecoder::kModeT4, "G3"};
const Coding kG3Fill = {COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS, CFaxDecoder::kModeT4, "G3 fill"};
const Coding kG4 = {COMPRESSION_CCITTFAX4, 0, CFaxDecoder::kModeT6, "G4"};

bool WriteTiff(const std::string& path, const Bilevel& pic, const Coding& coding, uint32_t rowsPerStrip,
               bool bigEndian)
{
    TIFF* tif = TIFFOpen(path.c_str(), bigEndian ? "wb" : "wl");
    if (!tif)
        return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, pic.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, pic.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, coding.compression);
    if (coding.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, coding.group3Options);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    std::vector<uint8_t> line((pic.width + 7) / 8);
    bool ok = true;
    for (uint32_t y = 0; y < pic.height && ok; ++y) {
        std::fill(line.begin(), line.end(), 0);
        for (uint32_t x = 0; x < pic.width; ++x)
            if (pic.At(x, y))
                line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        ok = TIFFWriteScanline(tif, line.data(), y, 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

// libtiff's decoding of the whole picture, one byte per pixel, 1 for black.
std::vector<uint8_t> LibtiffDecode(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return {};
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    std::vector<uint8_t> out(static_cast<size_t>(width) * height);
    std::vector<uint8_t> buffer(static_cast<size_t>(TIFFStripSize(tif)));
    const uint32_t rowBytes = (width + 7) / 8;
    uint32_t y = 0;
    for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tif); ++strip) {
        const tmsize_t got = TIFFReadEncodedStrip(tif, strip, buffer.data(), static_cast<tmsize_t>(buffer.size()));
        if (got < 0)
            break;
        for (uint32_t r = 0; r < static_cast<uint32_t>(got) / rowBytes && y < height; ++r, ++y)
            for (uint32_t x = 0; x < width; ++x)
                out[static_cast<size_t>(y) * width + x] = (buffer[r * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    }
    TIFFClose(tif);
    return out;
}

struct StripLayout {
    std::vector<uint64_t> offsets;
    std::vector<uint64_t> byteCounts;
    uint32_t rowsPerStrip = 0;
};

StripLayout ReadLayout(const std::string& path)
{
    StripLayout layout;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return layout;
    uint64_t* offsets = nullptr;
    uint64_t* counts = nullptr;
    TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets);
    TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &layout.rowsPerStrip);
    for (uint32_t i = 0; i < TIFFNumberOfStrips(tif); ++i) {
        layout.offsets.push_back(offsets[i]);
        layout.byteCounts.push_back(counts[i]);
    }
    TIFFClose(tif);
    return layout;
}

// Decodes every strip as the TIFF image-data step does: the rows done so far
// move the row base down, the last strip gets the rows that are left.
void DecodeLikeTiff(const std::string& path, const StripLayout& layout, uint32_t mode, Picture& picture,
                    bool passByteCount, uint32_t threads = 0)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    CFaxDecoder decoder;
    decoder.SetThreads(threads);
    uint32_t done = 0;
    for (size_t s = 0; s < layout.offsets.size(); ++s) {
        const uint32_t rows = picture.height - done > layout.rowsPerStrip ? layout.rowsPerStrip : picture.height - done;
        std::fseek(fp, static_cast<long>(layout.offsets[s]), SEEK_SET);
        decoder.Decode(fp, picture.width, rows, picture.Stride(), picture.BaseRow(done), mode,
                       picture.buffer.Pixels(),
                       passByteCount ? static_cast<uint32_t>(layout.byteCounts[s]) : CFaxDecoder::kUnknownByteCount);
        done += rows;
    }
    std::fclose(fp);
}

// Compares the decoded picture with libtiff's; reports the first difference.
::testing::AssertionResult SameAsLibtiff(const Picture& picture, const std::vector<uint8_t>& expected)
{
    if (expected.size() != static_cast<size_t>(picture.width) * picture.height)
        return ::testing::AssertionFailure() << "libtiff decoded nothing";
    for (uint32_t y = 0; y < picture.height; ++y) {
        const std::string row = picture.Row(y);
        for (uint32_t x = 0; x < picture.width; ++x) {
            const char want = expected[static_cast<size_t>(y) * picture.width + x] ? '#' : '.';
            if (row[x] != want)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is '" << row[x] << "', libtiff has '" << want << "'";
        }
    }
    if (!picture.MarginUntouched())
        return ::testing::AssertionFailure() << "a pixel outside the picture was written";
    return ::testing::AssertionSuccess();
}

void ExpectRoundTrip(const Bilevel& pic, const Coding& coding, uint32_t rowsPerStrip, bool bigEndian = false)
{
    SCOPED_TRACE(std::string(coding.name) + " " + std::to_string(pic.width) + "x" + std::to_string(pic.height) +
                 " rows/strip " + std::to_string(rowsPerStrip) + (bigEndian ? " MM" : " II"));
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/fax.tif";
    ASSERT_TRUE(WriteTiff(path, pic, coding, rowsPerStrip, bigEndian));
    const std::vector<uint8_t> expected = LibtiffDecode(path);
    const StripLayout layout = ReadLayout(path);
    ASSERT_FALSE(layout.offsets.empty());

    // Large strips are painted on a second thread when one is allowed.
    for (uint32_t threads : {1u, 2u})
        for (bool passByteCount : {true, false}) {
            SCOPED_TRACE(std::string(passByteCount ? "with byte counts" : "without byte counts") + ", " +
                         std::to_string(threads) + " thread(s)");
            Picture picture(pic.width, pic.height);
            DecodeLikeTiff(path, layout, coding.mode, picture, passByteCount, threads);
            EXPECT_TRUE(SameAsLibtiff(picture, expected));
        }
}

class LibtiffCodings : public ::testing::TestWithParam<Coding> {};

TEST_P(LibtiffCodings, OneStripPicturesOfOddWidths)
{
    uint32_t seed = 1;
    for (uint32_t width : {1u, 7u, 13u, 100u, 1728u, 2593u})
        ExpectRoundTrip(MakePicture(width, 40, seed++), GetParam(), 40);
}

TEST_P(LibtiffCodings, SeveralStripsWithAShortLastOne)
{
    ExpectRoundTrip(MakePicture(1728, 61, 11), GetParam(), 8);
    ExpectRoundTrip(MakePicture(333, 50, 12), GetParam(), 7, true);
    ExpectRoundTrip(MakePicture(17, 5, 13), GetParam(), 1);
    ExpectRoundTrip(MakePicture(1728, 400, 14), GetParam(), 160);
}

TEST_P(LibtiffCodings, EveryRunLengthOfBothColours)
{
    ExpectRoundTrip(MakeRunLengthPicture(), GetParam(), 500);
}

INSTANTIATE_TEST_SUITE_P(Fax, LibtiffCodings, ::testing::Values(kG3, kG3Fill, kG4),
                         [](const ::testing::TestParamInfo<Coding>& info) {
                             return info.param.compression == COMPRESSION_CCITTFAX4
                                        ? std::string("G4")
                                        : (info.param.group3Options ? std::string("G3FillBits") : std::string("G3"));
                         });

}  // namespace

namespace {

// Every row of a decoded picture is either written whole or not at all, and
// the written rows come first.
::testing::AssertionResult WrittenRowsFormAPrefix(const Picture& picture, uint32_t* written)
{
    *written = 0;
    bool ended = false;
    for (uint32_t y = 0; y < picture.height; ++y) {
        const std::string row = picture.Row(y);
        const bool untouched = row.find_first_not_of('?') == std::string::npos;
        const bool whole = row.find_first_of("?!") == std::string::npos;
        if (!untouched && !whole)
            return ::testing::AssertionFailure() << "row " << y << " is written in part: " << row;
        if (untouched)
            ended = true;
        else if (ended)
            return ::testing::AssertionFailure() << "row " << y << " is written after an unwritten row";
        else
            ++*written;
    }
    if (!picture.MarginUntouched())
        return ::testing::AssertionFailure() << "a pixel outside the picture was written";
    return ::testing::AssertionSuccess();
}

class TruncatedStrips : public ::testing::TestWithParam<Coding> {};

// A strip cut short, by its byte count or by the end of the file, yields the
// lines that lie wholly before the cut, exactly as libtiff decodes them, and
// nothing after them.
TEST_P(TruncatedStrips, YieldTheCompleteLinesBeforeTheCut)
{
    const Coding coding = GetParam();
    // Large enough for the painting to run on a second thread.
    const Bilevel pic = MakePicture(1201, 250, 21);
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/fax.tif";
    ASSERT_TRUE(WriteTiff(path, pic, coding, 250, false));
    const std::vector<uint8_t> expected = LibtiffDecode(path);
    const StripLayout layout = ReadLayout(path);
    ASSERT_EQ(layout.offsets.size(), 1u);
    const testing_support::Bytes file = testing_support::ReadFile(path);
    const uint64_t offset = layout.offsets[0];
    const uint64_t count = layout.byteCounts[0];

    uint32_t previous = 0;
    for (uint64_t cut : {uint64_t{0}, uint64_t{1}, uint64_t{7}, count / 3, count / 2, count - 1, count}) {
        SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(count));
        // The cut as the strip's byte count, with the rest of the file behind
        // it, and as the end of the file.
        const testing_support::Bytes head(file.begin(), file.begin() + static_cast<long>(offset + cut));
        const std::string cutPath = dir.Write("cut.tif", head);
        for (const std::string& source : {path, cutPath}) {
            Picture picture(pic.width, pic.height);
            FILE* fp = std::fopen(source.c_str(), "rb");
            ASSERT_NE(fp, nullptr);
            std::fseek(fp, static_cast<long>(offset), SEEK_SET);
            CFaxDecoder decoder;
            decoder.Decode(fp, pic.width, pic.height, picture.Stride(), picture.BaseRow(0), coding.mode,
                           picture.buffer.Pixels(),
                           source == path ? static_cast<uint32_t>(cut) : CFaxDecoder::kUnknownByteCount);
            std::fclose(fp);
            uint32_t written = 0;
            ASSERT_TRUE(WrittenRowsFormAPrefix(picture, &written));
            for (uint32_t y = 0; y < written; ++y) {
                const std::string row = picture.Row(y);
                for (uint32_t x = 0; x < pic.width; ++x)
                    ASSERT_EQ(row[x], expected[static_cast<size_t>(y) * pic.width + x] ? '#' : '.')
                        << "pixel (" << x << ", " << y << ")";
            }
            EXPECT_GE(written, previous);
            if (cut == count) {
                EXPECT_EQ(written, pic.height);
            }
            if (source == cutPath)
                previous = written;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fax, TruncatedStrips, ::testing::Values(kG3, kG3Fill, kG4),
                         [](const ::testing::TestParamInfo<Coding>& info) {
                             return info.param.compression == COMPRESSION_CCITTFAX4
                                        ? std::string("G4")
                                        : (info.param.group3Options ? std::string("G3FillBits") : std::string("G3"));
                         });

// Data that is no fax coding at all ends without writing outside the bitmap
// and without writing a row in part.
TEST(DamagedStrips, GarbageZerosAndOnesStayInsideTheBitmap)
{
    std::vector<testing_support::Bytes> strips;
    strips.push_back(testing_support::Bytes(10000, 0x00));
    strips.push_back(testing_support::Bytes(10000, 0xFF));
    strips.push_back(testing_support::Bytes{});
    std::mt19937 random(5);
    for (int i = 0; i < 40; ++i) {
        testing_support::Bytes bytes(1 + random() % 3000);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        // Some strips start like real ones, so that decoding gets going.
        if (i % 2)
            bytes.insert(bytes.begin(), {0x00, 0x10});
        strips.push_back(bytes);
    }
    for (uint32_t mode : {CFaxDecoder::kModeT4, CFaxDecoder::kModeT6})
        for (uint32_t width : {1u, 9u, 64u, 1728u})
            for (size_t s = 0; s < strips.size(); ++s) {
                SCOPED_TRACE("mode " + std::to_string(mode) + " width " + std::to_string(width) + " strip " +
                             std::to_string(s));
                Picture picture(width, 37);
                fax_fixture::DecodeInto(picture, strips[s], mode, 37);
                uint32_t written = 0;
                ASSERT_TRUE(WrittenRowsFormAPrefix(picture, &written));
                // The same bytes with their byte count, followed by more garbage.
                Picture counted(width, 37);
                testing_support::Bytes longer = strips[s];
                longer.insert(longer.end(), 64, 0x00);
                fax_fixture::DecodeInto(counted, longer, mode, 37, static_cast<uint32_t>(strips[s].size()));
                ASSERT_TRUE(WrittenRowsFormAPrefix(counted, &written));
            }
}

}  // namespace
