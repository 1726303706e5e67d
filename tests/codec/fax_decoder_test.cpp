// Hand-coded strips for the corners of the fax codings: line boundaries,
// runs at the line end, the changing elements b1 and b2, the uncompressed
// mode, and the bounds that keep the decoder inside the strip and the bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "codec/fax_fixture.h"

namespace {

using fax_fixture::Bytes;
using fax_fixture::DecodeInto;
using fax_fixture::PackBits;
using fax_fixture::Picture;
using Rows = std::vector<std::string>;

constexpr uint32_t kT4 = CFaxDecoder::kModeT4;
constexpr uint32_t kT6 = CFaxDecoder::kModeT6;

// Modified Huffman codes (ITU-T T.4 Tables 2 and 3).
const std::string EOL = "000000000001 ";
const std::string W0 = "00110101 ", W1 = "000111 ", W2 = "0111 ", W3 = "1000 ", W5 = "1100 ", W7 = "1111 ";
const std::string W10 = "00111 ", W64 = "11011 ", W1728 = "010011011 ", W2560 = "000000011111 ";
const std::string B0 = "0000110111 ", B1 = "010 ", B2 = "11 ", B3 = "10 ", B5 = "0011 ", B7 = "00011 ";
const std::string B31 = "000001101001 ";
const std::string RTC = EOL + EOL + EOL + EOL + EOL + EOL;

// Two-dimensional mode codes (ITU-T T.6 Table 1).
const std::string V0 = "1 ", VR1 = "011 ", VR3 = "0000011 ", VL1 = "010 ", VL2 = "000010 ";
const std::string H = "001 ", P = "0001 ", EXT_UNCOMPRESSED = "0000001 111 ", EOFB = EOL + EOL;

std::string Repeat(char c, size_t n)
{
    return std::string(n, c);
}

// A strip decoded as the only strip of a picture of width x rows.size(); the
// picture must come out as rows ('.' white, '#' black, '?' not written), and
// nothing outside it may be written.
struct StripCase {
    const char* name;
    uint32_t mode;
    uint32_t width;
    std::string bits;
    Rows rows;
};

void PrintTo(const StripCase& c, std::ostream* out)
{
    *out << c.name;
}

Rows WithUnwritten(Rows rows, uint32_t width, size_t height)
{
    while (rows.size() < height)
        rows.push_back(Repeat('?', width));
    return rows;
}

std::vector<StripCase> OneDimensionalCases()
{
    return {
        {"WhiteLineOfFullWidthFromMakeUpAndTerminatingCode", kT4, 1728, EOL + W1728 + W0 + RTC,
         WithUnwritten({Repeat('.', 1728)}, 1728, 3)},
        {"MakeUpAndTerminatingCodesOfOneColourAdd", kT4, 100, EOL + W64 + W5 + B31 + RTC,
         {Repeat('.', 69) + Repeat('#', 31)}},
        // The black run is cut after 3 pixels, and the next code starts the
        // next line.
        {"RunPastTheLineEndIsCutAndCompletesTheLine", kT4, 10, EOL + W7 + B5 + EOL + W10 + RTC,
         {".......###", ".........."}},
        {"LinesWithoutEolAreDelimitedByTheWidth", kT4, 10, W3 + B2 + W0 + B3 + W2 + W10,
         {"...#####..", ".........."}},
        // Zero bits that align each EOL so that it ends on a byte boundary.
        {"FillBitsBeforeEolAreSkipped", kT4, 10, "0000" + EOL + W3 + B7 + "000000" + EOL + W10 + "000000" + RTC,
         {"...#######", ".........."}},
        // The RTC after the second line neither drops it nor adds an empty
        // one, and the codes after the RTC are not decoded.
        {"RtcEndsTheStripWithoutAnExtraOrLostRow", kT4, 10, EOL + W2 + B3 + W5 + EOL + W10 + RTC + EOL + B3 + W7,
         WithUnwritten({"..###.....", ".........."}, 10, 4)},
        // The first EOL begins a line; each further one completes the (empty)
        // line begun by the one before.
        {"FiveEolsFollowedByDataAreNotAnRtc", kT4, 10, EOL + EOL + EOL + EOL + EOL + W3 + B7 + RTC,
         WithUnwritten({"..........", "..........", "..........", "..........", "...#######"}, 10, 6)},
        // Lines ended early in the black and in the white slot: the pixels
        // not coded stay white, and the colour starts over with white.
        {"EolBeforeTheWidthCompletesAShortLineWithWhite", kT4, 10,
         EOL + W2 + B3 + EOL + W3 + B1 + W1 + EOL + W1 + B2 + W7 + RTC,
         {"..###.....", "...#......", ".##......."}},
        {"ShortLineBeforeRtcIsWritten", kT4, 10, EOL + W2 + B3 + RTC, WithUnwritten({"..###....."}, 10, 2)},
        // 2560 + 10 white, then 2560 black cut at the line end.
        {"ExtendedMakeUpCodesServeBothColours", kT4, 2600, EOL + W2560 + W10 + W2560 + B0 + RTC,
         {Repeat('.', 2570) + Repeat('#', 30)}},
        // Eight 0 bits and a 1 form no white code: the white slot gives up
        // after 12 bits with a run of 0, and decoding goes on with black.
        {"CodesThatMatchNothingDoNotStopTheStrip", kT4, 10, EOL + "000000001 000" + B3 + W7 + EOL + W10 + RTC,
         {"###.......", ".........."}},
        // Past the end of the file every bit reads as 1 (white 7, black 2 for
        // ever); the line cut off by the end of the data is not written.
        {"AStripWithoutRtcStopsAtTheEndOfTheFile", kT4, 20, EOL + W10 + B5 + W5 + EOL + W3,
         WithUnwritten({Repeat('.', 10) + "#####....."}, 20, 4)},
    };
}

std::vector<StripCase> TwoDimensionalCases()
{
    return {
        // On the first line b1 is the end of the line.
        {"VerticalZeroAgainstTheWhiteReferenceGivesWhiteLines", kT6, 20, V0 + V0 + V0 + EOFB,
         Rows(3, Repeat('.', 20))},
        // Line 2: V0 at the start finds b1 at column 0 (a white run of 0), so
        // the line starts black; the next V0 ends the black run under the
        // reference line's.
        {"ReferenceStartingBlackMakesTheCodingLineStartBlack", kT6, 8, H + W0 + B3 + V0 + V0 + V0 + V0 + EOFB,
         {"###.....", "###....."}},
        // b1 = width - 1 on line 2, so a1 would lie two columns past the end.
        {"VerticalRightThreeStopsAtTheLineEnd", kT6, 8, H + W7 + B1 + VR3 + EOFB, {".......#", "........"}},
        // a1 = 0: no pixel, but the colour turns black, and b1 must now lie
        // strictly right of a0 = 0.
        {"VerticalLeftTwoWithB1AtOneStopsAtColumnZero", kT6, 8, H + W1 + B7 + VL2 + V0 + EOFB,
         {".#######", "########"}},
        // Line 2: V0 to column 2 turns the colour black; H then reads black
        // 3 and white 1.
        {"HorizontalModeWhileBlackReadsTheBlackRunFirst", kT6, 10,
         H + W2 + B2 + H + W2 + B2 + V0 + V0 + H + B3 + W1 + V0 + V0 + EOFB, {"..##..##..", "..###.##.."}},
        {"PassModeFillsToB2AndKeepsTheColour", kT6, 10, H + W2 + B2 + H + W2 + B2 + V0 + P + V0 + V0 + V0 + EOFB,
         {"..##..##..", "......##.."}},
        // b1 = 3: VR1 ends white at 4; b1 = 6: VL1 ends black at 5.
        {"VerticalShiftsFollowTheReferenceLine", kT6, 9, H + W3 + B3 + V0 + VR1 + VL1 + V0 + EOFB,
         {"...###...", "....#...."}},
        // "1" is one black pixel, "01" a white and a black one; the exit code
        // 00000001 writes one white pixel, and the bit 1 after it makes the
        // next run black.
        {"UncompressedModeAndItsExit", kT6, 10, EXT_UNCOMPRESSED + "1 01 00000001 1" + V0 + EOFB, {"#.#.######"}},
        {"UncompressedModeFiveWhitesAndExitWithFour", kT6, 12,
         EXT_UNCOMPRESSED + "1 000001 00000000001 0" + V0 + EOFB, {"#..........."}},
        {"EofbInTheMiddleOfALineEndsTheStripWithoutThatLine", kT6, 10, V0 + H + W3 + B2 + EOFB + V0 + V0,
         WithUnwritten({".........."}, 10, 3)},
        // Past the end of the file every bit reads as 1, which would decode
        // as one V0 line after another: none of them is written.
        {"AStripWithoutEofbStopsAtTheEndOfTheFile", kT6, 4, V0 + V0 + V0, WithUnwritten(Rows(3, "...."), 4, 30)},
    };
}

class HandCodedStrips : public ::testing::TestWithParam<StripCase> {};

TEST_P(HandCodedStrips, DecodeToTheExpectedRows)
{
    const StripCase& c = GetParam();
    Picture picture(c.width, static_cast<uint32_t>(c.rows.size()));
    DecodeInto(picture, PackBits(c.bits), c.mode, static_cast<uint32_t>(c.rows.size()));
    EXPECT_EQ(picture.Rows(), c.rows);
    EXPECT_TRUE(picture.MarginUntouched());
}

const auto kCaseName = [](const ::testing::TestParamInfo<StripCase>& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(T4, HandCodedStrips, ::testing::ValuesIn(OneDimensionalCases()), kCaseName);
INSTANTIATE_TEST_SUITE_P(T6, HandCodedStrips, ::testing::ValuesIn(TwoDimensionalCases()), kCaseName);

TEST(FaxDecoderT6, EachStripStartsAgainstAWhiteReference)
{
    // Two strips of one line each, decoded by the same decoder object: the
    // second strip's V0 must not see the first strip's line.
    Picture picture(8, 2);
    DecodeInto(picture, PackBits(H + W0 + B3 + V0 + EOFB), kT6, 1, CFaxDecoder::kUnknownByteCount, 0);
    DecodeInto(picture, PackBits(V0 + EOFB), kT6, 1, CFaxDecoder::kUnknownByteCount, 1);
    EXPECT_EQ(picture.Rows(), (Rows{"###.....", "........"}));
}

// ---------------------------------------------------------------------------
// Bounds

TEST(FaxDecoderBounds, ModesOtherThanFourAndSixWriteNothing)
{
    for (uint32_t mode : {0u, 3u, 5u, 7u}) {
        Picture picture(10, 2);
        DecodeInto(picture, PackBits(V0 + V0 + EOFB), mode, 2);
        EXPECT_EQ(picture.Rows(), (Rows(2, Repeat('?', 10)))) << "mode " << mode;
    }
}

TEST(FaxDecoderBounds, NoMoreLinesThanTheStripHas)
{
    for (uint32_t mode : {kT4, kT6}) {
        const std::string strip = mode == kT4 ? EOL + W10 + EOL + W10 + EOL + W10 + RTC : V0 + V0 + V0 + EOFB;
        Picture picture(10, 3);
        DecodeInto(picture, PackBits(strip), mode, 2);
        EXPECT_EQ(picture.Rows(), (Rows{"..........", "..........", "??????????"})) << "mode " << mode;
    }
}

TEST(FaxDecoderBounds, NoLineBelowTheBitmapsFirstRow)
{
    // A strip that claims 40 rows but starts on the second-to-last memory row.
    Picture picture(10, 16);
    const uint32_t bitmapHeight = static_cast<uint32_t>(picture.buffer.BitmapHeight());
    std::string strip;
    for (int i = 0; i < 40; ++i)
        strip += V0;
    FILE* fp = std::tmpfile();
    const Bytes bytes = PackBits(strip + EOFB);
    std::fwrite(bytes.data(), 1, bytes.size(), fp);
    std::rewind(fp);
    // Row base 2 leaves room for memory rows 1 and 0 only.
    std::memset(picture.buffer.Pixels(), fax_fixture::kUntouched, picture.buffer.RowBytes() * bitmapHeight);
    CFaxDecoder decoder;
    decoder.Decode(fp, 10, 40, picture.Stride(), 2, kT6, picture.buffer.Pixels());
    std::fclose(fp);
    const uint8_t* pixels = picture.buffer.Pixels();
    size_t written = 0;
    for (size_t i = 0; i < picture.buffer.RowBytes() * bitmapHeight; ++i)
        written += pixels[i] != fax_fixture::kUntouched;
    EXPECT_EQ(written, 2u * 10 * 3);
    EXPECT_EQ(pixels[0], 0xFF);
    EXPECT_EQ(pixels[picture.buffer.RowBytes()], 0xFF);
}

TEST(FaxDecoderBounds, WidthBeyondTheBitmapOrNoPixelMemoryWritesNothing)
{
    Picture picture(10, 2);
    FILE* fp = std::tmpfile();
    const Bytes bytes = PackBits(V0 + V0 + EOFB);
    std::fwrite(bytes.data(), 1, bytes.size(), fp);
    CFaxDecoder decoder;
    std::rewind(fp);
    decoder.Decode(fp, picture.Stride() + 1, 2, picture.Stride(), picture.BaseRow(0), kT6, picture.buffer.Pixels());
    std::rewind(fp);
    decoder.Decode(fp, 0, 2, picture.Stride(), picture.BaseRow(0), kT6, picture.buffer.Pixels());
    std::rewind(fp);
    decoder.Decode(fp, 10, 2, picture.Stride(), picture.BaseRow(0), kT6, nullptr);
    std::fclose(fp);
    EXPECT_EQ(picture.Rows(), (Rows(2, Repeat('?', 10))));
    EXPECT_TRUE(picture.MarginUntouched());
}

TEST(FaxDecoderBounds, TheByteCountEndsTheStrip)
{
    // Eight V0 lines per byte; only the first byte belongs to the strip,
    // the second is the start of whatever follows it in the file.
    std::string strip;
    for (int i = 0; i < 16; ++i)
        strip += V0;
    Picture picture(4, 20);
    DecodeInto(picture, PackBits(strip), kT6, 20, 1);
    const Rows rows = picture.Rows();
    for (uint32_t y = 0; y < 20; ++y)
        EXPECT_EQ(rows[y], y < 8 ? "...." : "????") << "row " << y;
}

TEST(FaxDecoderBounds, TheStreamIsLeftAfterTheLastByteUsed)
{
    // Two lines and EOFB use 26 bits, so four bytes; the strip has room for
    // a third line, so the decoder reads on to the EOFB.
    Picture picture(4, 3);
    EXPECT_EQ(DecodeInto(picture, PackBits(V0 + V0 + EOFB + "11111111"), kT6, 3), 4);
    // EOL, white 10 and the RTC: 12 + 5 + 72 bits, twelve bytes.
    Picture t4(10, 2);
    EXPECT_EQ(DecodeInto(t4, PackBits(EOL + W10 + RTC + "11111111"), kT4, 2), 12);
    // When the strip's last row is done, nothing more is read.
    Picture full(4, 2);
    EXPECT_EQ(DecodeInto(full, PackBits(V0 + V0 + EOFB), kT6, 2), 1);
}

}  // namespace
