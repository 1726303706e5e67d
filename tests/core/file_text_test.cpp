// Text from files: which encoding it is read in, what a byte of neither
// becomes, and where a cut falls.
#include <gtest/gtest.h>

#include <string>

#include "core/file_text.h"
#include "core/result_line.h"
#include "core/result_text.h"

TEST(FileText, EncodingReplacementAndCut)
{
    struct Case {
        std::string bytes;
        size_t maxBytes;
        std::string shown;
        size_t used;
    };
    const Case cases[] = {
        // A lead byte without a trail byte, and a pair that code page 932
        // does not map, give U+FFFD for the lead byte alone.
        {"\x82", 10, "\uFFFD", 1},
        {"\x82\x20", 10, "\uFFFD ", 2},
        {"\x85\x40", 10, "\uFFFD@", 2},
        {"\x80\xa0\xfd", 10, "\uFFFD\uFFFD\uFFFD", 3},
        // A two-byte character that does not fit is left out whole.
        {"a\x82\xa0", 2, "a", 1},
        // UTF-8 is cut by its own bytes. Where the read stopped inside a
        // sequence, the text is still UTF-8 (but not when it is all there).
        {"\xe3\x81\x82\xe3\x81\x84", 5, "あ", 3},
        {"\xe3\x81\x82\xe3\x81", 4, "あ", 3},
        {"\xe3\x81\x82\xe3\x81", 10, "縺ゅ\uFFFD", 5},
    };
    for (const Case& c : cases) {
        size_t used = 0;
        EXPECT_EQ(FileText(c.bytes.data(), c.bytes.size(), c.maxBytes, &used), c.shown) << c.bytes;
        EXPECT_EQ(used, c.used) << c.bytes;
    }
}

TEST(FileText, LinesCountBytesAsCodePage932HoldsThem)
{
    // Full-width 2, half-width katakana 1, U+FFFD 1; a cut never splits.
    const std::string text = "a解ｱ\uFFFD解";
    EXPECT_EQ(Cp932Length(text.data(), text.size()), 7u);
    EXPECT_EQ(CharBoundaryPrefix(text.data(), text.size(), 6), text.size() - 3);
    EXPECT_EQ(CharBoundaryPrefix(text.data(), text.size(), 2), 1u);
    std::string cell = "解解";
    AppendWithinLimit(cell, std::string(600, 'x').c_str());
    EXPECT_EQ(cell, "解解" + std::string(507, 'x'));
    // A cell whose UTF-8 bytes pass the limit while code page 932 still has
    // room takes text up to the room code page 932 leaves.
    std::string wide;
    for (int i = 0; i < 170; ++i)
        wide += "解";
    cell = wide;
    AppendWithinLimit(cell, std::string(200, 'x').c_str());
    EXPECT_EQ(cell, wide + std::string(171, 'x'));
    cell = "解";
    AppendWithinLimit(cell, std::string(508, 'x').c_str());
    EXPECT_EQ(cell, "解" + std::string(508, 'x'));
}

TEST(FileText, OffsetLinesReadAsTheFormattedOnes)
{
    const std::string texts[] = {"SOI", "", "RST7", "\x82\xa0", "解", std::string(520, 'x'), std::string(500, 'y')};
    const uint64_t offsets[] = {0, 0x1234, 0xffffffffu, 0x123456789abcull};
    for (const std::string& text : texts)
        for (uint64_t offset : offsets)
            EXPECT_EQ(OffsetLine(offset, text), ResultLine("[%08lx] %s", static_cast<unsigned long>(offset), text.c_str()))
                << text << ' ' << offset;
}
