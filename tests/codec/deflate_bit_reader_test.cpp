#include <gtest/gtest.h>

#include <cstdio>

#include "codec/deflate_bit_reader.h"

namespace {
FILE* Stream(std::initializer_list<uint8_t> bytes)
{
    FILE* fp = std::tmpfile();
    for (uint8_t b : bytes)
        std::fputc(b, fp);
    std::rewind(fp);
    return fp;
}
}  // namespace

// Deflate fields take bits from the least significant end of each byte;
// Huffman codes are compared in the order the bits arrive.
TEST(DeflateBitReader, BitOrderAndPositions)
{
    FILE* fp = Stream({0xB5, 0x01, 0xFF, 0x12, 0x34});
    CDeflateBitReader r;
    r.Begin(fp);
    EXPECT_EQ(r.ReadBits(fp, 3, false), 0x5u);  // 101 from the low end of 0xB5
    EXPECT_EQ(r.ReadBits(fp, 3, true), 0x3u);   // next bits 0, 1, 1 arrive as 011 reversed
    EXPECT_EQ(r.ReadBits(fp, 4, false), 0x6u);  // 2 bits of 0xB5 (10) and 2 of 0x01 (01)
    r.Reset();
    EXPECT_EQ(r.ReadBits(fp, 8, false), 0xFFu);
    EXPECT_EQ(r.ReadBits(fp, 33, false), 0u);
    r.End(fp);
    EXPECT_EQ(std::ftell(fp), 3);
    EXPECT_FALSE(r.Overrun());

    r.Begin(fp);
    EXPECT_EQ(r.ReadBits(fp, 16, false), 0x3412u);
    EXPECT_FALSE(r.Overrun());
    EXPECT_TRUE(r.PaddingWithin(1));
    EXPECT_EQ(r.ReadBits(fp, 4, false), 0xFu);  // made-up 1-bits past the end
    EXPECT_TRUE(r.Overrun());
    std::fclose(fp);
}

TEST(DeflateBitReader, CopyBytesAfterBufferedBits)
{
    FILE* fp = Stream({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    CDeflateBitReader r;
    r.Begin(fp);
    EXPECT_EQ(r.ReadBits(fp, 8, false), 1u);
    uint8_t out[20] = {};
    EXPECT_EQ(r.CopyBytes(fp, out, 20), 11u);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[10], 12);
    std::fclose(fp);
}
