#include <gtest/gtest.h>

#include "core/bit_reader.h"
#include "jpeg/jpeg_bit_reader.h"
#include "tiff/tiff_byte_reader.h"
#include "support/test_support.h"

namespace {

using testing_support::Bytes;
using testing_support::TempDir;

// A stream over the given bytes, closed with the fixture.
class ReaderTest : public ::testing::Test {
protected:
    FILE* Open(const Bytes& bytes)
    {
        fp_.reset(std::fopen(dir_.Write("data.bin", bytes).c_str(), "rb"));
        return fp_.get();
    }
    TempDir dir_;
    FilePtr fp_;
};

TEST_F(ReaderTest, BitsComeMostSignificantFirstAcrossBytes)
{
    CBitReader r;
    FILE* fp = Open({0xA5});
    EXPECT_EQ(r.ReadBits(fp, 4), 0xAu);
    EXPECT_EQ(r.ReadBits(fp, 4), 0x5u);

    CBitReader s;
    fp = Open({0xA5});
    EXPECT_EQ(s.ReadBits(fp, 3), 5u);
    EXPECT_EQ(s.ReadBits(fp, 3), 1u);
    EXPECT_EQ(s.ReadBits(fp, 2), 1u);

    CBitReader t;
    fp = Open({0x12, 0x34, 0x56});
    EXPECT_EQ(t.ReadBits(fp, 12), 0x123u);
    EXPECT_EQ(t.ReadBits(fp, 4), 0x4u);
    // The refill is lazy: the byte 0x56 has not been taken yet.
    EXPECT_EQ(std::ftell(fp), 2);
}

TEST_F(ReaderTest, ThirtyTwoBitsAndRequestsBeyondTheLimit)
{
    CBitReader r;
    FILE* fp = Open({0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(r.ReadBits(fp, 33), 0u);
    EXPECT_EQ(std::ftell(fp), 0);
    EXPECT_EQ(r.ReadBits(fp, 0), 0u);
    EXPECT_EQ(r.ReadBits(fp, 32), 0x12345678u);
    EXPECT_EQ(std::ftell(fp), 4);
}

TEST_F(ReaderTest, EndOfFileGivesOneBitsAndSetsTheIndicator)
{
    CBitReader r;
    FILE* fp = Open({});
    EXPECT_EQ(r.ReadBits(fp, 16), 0xFFFFu);
    EXPECT_TRUE(std::feof(fp));

    CBitReader s;
    fp = Open({0x00});
    EXPECT_EQ(s.ReadBits(fp, 12), 0x00Fu);
}

TEST_F(ReaderTest, ResetDropsTheRestOfAPartlyReadByte)
{
    CBitReader r;
    FILE* fp = Open({0x9C, 0x3B, 0x71});
    EXPECT_EQ(r.ReadBits(fp, 3), 0x4u);
    r.Reset();
    EXPECT_EQ(r.ReadBits(fp, 8), 0x3Bu);
}

TEST_F(ReaderTest, JpegReaderRemovesStuffingAndReportsIt)
{
    CJpegBitReader r;
    FILE* fp = Open({0xFF, 0x00, 0x12});
    JpegBits bits;
    r.ReadBits(&bits, fp, 8);
    EXPECT_EQ(bits.value, 0xFFu);
    EXPECT_EQ(bits.stuffed, 0u);
    r.ReadBits(&bits, fp, 8);
    EXPECT_EQ(bits.value, 0x12u);
    EXPECT_EQ(bits.stuffed, 1u);
    EXPECT_EQ(std::ftell(fp), 3);

    CJpegBitReader s;
    fp = Open({0xFF, 0x00, 0x12});
    s.ReadBits(&bits, fp, 16);
    EXPECT_EQ(bits.value, 0xFF12u);
    EXPECT_EQ(bits.stuffed, 1u);

    // A marker is returned as it is.
    CJpegBitReader m;
    fp = Open({0xFF, 0xD9});
    EXPECT_EQ(m.ReadBits(&bits, fp, 16)->value, 0xFFD9u);
    EXPECT_EQ(bits.stuffed, 0u);

    // Only the byte right after 0xFF is tested: FF 00 00 keeps the second 00.
    CJpegBitReader n;
    fp = Open({0xFF, 0x00, 0x00, 0x12});
    n.ReadBits(&bits, fp, 24);
    EXPECT_EQ(bits.value, 0xFF0012u);

    // Over-long requests give {0, 0} and read nothing.
    CJpegBitReader o;
    fp = Open({0xFF, 0x00});
    o.ReadBits(&bits, fp, 33);
    EXPECT_EQ(bits.value, 0u);
    EXPECT_EQ(std::ftell(fp), 0);
}

TEST_F(ReaderTest, TiffReaderHonoursByteOrderAndEndOfFile)
{
    CTiffByteReader r;
    FILE* fp = Open({0x2A, 0x00});
    EXPECT_EQ(r.ReadBytes(fp, 2, kTiffLittleEndian), 0x002Au);
    std::fseek(fp, 0, SEEK_SET);
    EXPECT_EQ(r.ReadBytes(fp, 2, kTiffBigEndian), 0x2A00u);
    std::fseek(fp, 0, SEEK_SET);
    EXPECT_EQ(r.ReadBytes(fp, 2, 0x1234), 0x2A00u);
    std::fseek(fp, 0, SEEK_SET);
    EXPECT_EQ(r.ReadBytes(fp, 5, kTiffLittleEndian), 0u);
    EXPECT_EQ(std::ftell(fp), 0);

    fp = Open({0x01, 0x02});
    EXPECT_EQ(r.ReadBytes(fp, 4, kTiffLittleEndian), 0xFFFF0201u);
    fp = Open({0x01, 0x02});
    EXPECT_EQ(r.ReadBytes(fp, 4, kTiffBigEndian), 0xFFFFFFFFu);
}

TEST_F(ReaderTest, TiffReaderDropsPartlyReadBits)
{
    CTiffByteReader r;
    FILE* fp = Open({0xF0, 0x11, 0x22});
    EXPECT_EQ(r.ReadBits(fp, 4), 0xFu);
    EXPECT_EQ(r.ReadBytes(fp, 1, kTiffBigEndian), 0x11u);
    EXPECT_EQ(r.ReadBits(fp, 8), 0x22u);
}

}  // namespace
