// The tag dictionary: names, types, values and their interpretations.
#include <gtest/gtest.h>

#include <cmath>

#include "tiff/tag_table.h"
#include "tiff/tiff_analyzer.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

// The detailed tree of a one-IFD file holding fields.
std::string Detail(const TiffBuilder& t, const std::vector<Field>& fields)
{
    return Analyse(t.Build({fields})).detail;
}

// The value text lines under the entry with the given tag line, without the
// line that covers the bytes of values at an offset ("] Value Data : ").
std::string ValueLines(const std::string& detail, const std::string& tagLine)
{
    const size_t at = detail.find(tagLine);
    if (at == std::string::npos)
        return "<no tag line>";
    std::string lines;
    size_t pos = detail.find('\n', at) + 1;
    for (int skipped = 0; skipped < 3; ++skipped)   // TYPE, COUNT, Value/Offset
        pos = detail.find('\n', pos) + 1;
    while (pos < detail.size() && detail.compare(pos, 6, "      ") == 0) {
        const size_t end = detail.find('\n', pos);
        const std::string line = detail.substr(pos + 6, end - pos - 6);
        if (line.find("] Value Data : ") != 9)
            lines += line + "\n";
        pos = end + 1;
    }
    return lines;
}

std::string Interpretation(bool le, Field field)
{
    TiffBuilder t(le);
    const std::string detail = Detail(t, {field});
    const size_t at = detail.find("Tag = 0x");
    return ValueLines(detail, detail.substr(at, detail.find('\n', at) - at));
}

}  // namespace

TEST(TiffDictionary, InlineValuesInBothByteOrders)
{
    // A big-endian SHORT of count 1 sits in the high half: 00 03 00 00.
    TiffBuilder be(false);
    std::string d = Detail(be, {be.Short(259, {3})});
    EXPECT_TRUE(Contains(d, "    [00000012] Value = 0x00000003\n      T4-Encode\n")) << d;
    // A big-endian BYTE sits in the top byte.
    d = Detail(be, {be.Typed(274, 1, 1, {6})});
    EXPECT_TRUE(Contains(d, "    [00000012] Value = 0x00000006\n      The 0th row represents the visual right-hand side of "
                            "the image, and the 0th column represents the visual top\n"))
        << d;

    // A little-endian LONG StripOffsets of 8 in a top-level file.
    TiffBuilder le(true);
    d = Detail(le, {le.Long(273, {8})});
    EXPECT_TRUE(Contains(d, "    [00000012] Value = 0x00000008\n      [00000012]Strip #0 = 0x00000008\n")) << d;
}

TEST(TiffDictionary, ValuesAtAnOffsetAreListedWithTheirPositions)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        // IFD at 8 with 3 entries: out-of-line data starts at 8 + 2 + 36 + 4 = 50.
        const std::string d = Detail(t, {t.Short(258, {8, 8, 8}), t.Short(273, {0x100, 0x200, 0x300}),
                                         t.Long(279, {10, 20, 30})});
        EXPECT_EQ(ValueLines(d, "Tag = 0x0102 ... BitsPerSample"),
                  "[00000032]Value #0 = 0x0008\n[00000034]Value #1 = 0x0008\n[00000036]Value #2 = 0x0008\n");
        EXPECT_TRUE(Contains(d, "    [00000012] Offset = 0x00000032\n"));
        EXPECT_EQ(ValueLines(d, "Tag = 0x0111 ... StripOffsets"),
                  "[00000038]Strip #0 = 0x0100\n[0000003a]Strip #1 = 0x0200\n[0000003c]Strip #2 = 0x0300\n");
        EXPECT_EQ(ValueLines(d, "Tag = 0x0117 ... StripByteCounts"),
                  "[0000003e]Strip #0 = 10 [byte]\n[00000042]Strip #1 = 20 [byte]\n[00000046]Strip #2 = 30 [byte]\n");
    }
}

TEST(TiffDictionary, SmallArraysAreReadFromTheEntryItself)
{
    // Two SHORTs and a three-character string fit into the value field,
    // where TIFF writers put them.
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        const std::string d = Detail(t, {t.Short(258, {8, 16}), t.Ascii(305, "abc")});
        EXPECT_EQ(ValueLines(d, "Tag = 0x0102 ... BitsPerSample"),
                  "[00000012]Value #0 = 0x0008\n[00000014]Value #1 = 0x0010\n");
        EXPECT_EQ(ValueLines(d, "Tag = 0x0131 ... Software"), "abc\n");
        EXPECT_TRUE(Contains(d, le ? "    [00000012] Value = 0x00100008\n" : "    [00000012] Value = 0x00080010\n"));
    }
}

TEST(TiffDictionary, ResolutionUsesTheUnitReadBeforeIt)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        std::string d = Detail(t, {t.Rational(282, {{72, 1}}), t.Rational(283, {{72, 1}}), t.Short(296, {2})});
        EXPECT_EQ(ValueLines(d, "Tag = 0x011A ... XResolution"), "72.000\n");
        EXPECT_EQ(ValueLines(d, "Tag = 0x011B ... YResolution"), "72.000\n");
        EXPECT_EQ(ValueLines(d, "Tag = 0x0128 ... ResolutionUnit"), "72.000 : 72.000 (Inch per pixel)\n");

        d = Detail(t, {t.Short(296, {3}), t.Rational(282, {{300, 2}}), t.Rational(283, {{1, 4}})});
        EXPECT_EQ(ValueLines(d, "Tag = 0x0128 ... ResolutionUnit"), "Centimeter per pixel\n");
        EXPECT_EQ(ValueLines(d, "Tag = 0x011A ... XResolution"), "150.000 Centimeter per Pixel\n");
        EXPECT_EQ(ValueLines(d, "Tag = 0x011B ... YResolution"), "0.250 Centimeter per Pixel\n");

        d = Detail(t, {t.Short(296, {1}), t.Rational(282, {{5, 1}})});
        EXPECT_EQ(ValueLines(d, "Tag = 0x011A ... XResolution"), "5.000 (No Unit)\n");
        d = Detail(t, {t.Short(296, {2}), t.Rational(282, {{5, 1}})});
        EXPECT_EQ(ValueLines(d, "Tag = 0x011A ... XResolution"), "5.000 Inch per Pixel\n");
        d = Detail(t, {t.Rational(282, {{5, 1}}), t.Short(296, {7})});
        EXPECT_EQ(ValueLines(d, "Tag = 0x0128 ... ResolutionUnit"), "No Unit\n");
        d = Detail(t, {t.Rational(282, {{5, 1}}), t.Rational(283, {{6, 1}}), t.Short(296, {9})});
        EXPECT_EQ(ValueLines(d, "Tag = 0x0128 ... ResolutionUnit"), "5.000 : 6.000 (No Unit)\n");
    }
}

TEST(TiffDictionary, ColorMapIsListedByChannel)
{
    TiffBuilder t(true);
    std::vector<uint32_t> map(768);
    for (uint32_t i = 0; i < 768; ++i)
        map[i] = (i % 256) * 257;
    const std::string lines = ValueLines(Detail(t, {t.Short(320, map)}), "Tag = 0x0140 ... ColorMap");
    std::string expected;
    for (const char* heading : {"< Look Up Table - Red >", "< Look Up Table - Green >", "< Look Up Table - Blue >"}) {
        expected += std::string(heading) + "\n";
        for (int row = 0; row < 16; ++row) {
            expected += "    ";
            for (int k = 0; k < 16; ++k) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%x ", (row * 16 + k) * 257);
                expected += hex;
            }
            expected += "\n";
        }
    }
    EXPECT_EQ(lines, expected);

    // A count that is not a multiple of three drops the rest; a short last
    // line is still shown.
    EXPECT_EQ(ValueLines(Detail(t, {t.Short(320, {1, 2, 3, 4, 5, 6, 7})}), "Tag = 0x0140 ... ColorMap"),
              "< Look Up Table - Red >\n    1 2 \n< Look Up Table - Green >\n    3 4 \n"
              "< Look Up Table - Blue >\n    5 6 \n");
}

TEST(TiffDictionary, NewSubfileTypeBits)
{
    for (bool le : {true, false}) {
        EXPECT_EQ(Interpretation(le, TiffBuilder(le).Long(254, {0})), "Default\n");
        EXPECT_EQ(Interpretation(le, TiffBuilder(le).Long(254, {5})),
                  "Bit0 : The image is a reduced-resolution version of another image in this TIFF file\n"
                  "Bit2 : The image defines a transparency mask for another image in this TIFF file\n");
        EXPECT_EQ(Interpretation(le, TiffBuilder(le).Long(254, {2})),
                  "Bit1 : The image is a single page of a multi-page image\n");
        EXPECT_EQ(Interpretation(le, TiffBuilder(le).Long(254, {8})), "");
    }
}

// Every keyed text of the TIFF and Exif dictionaries is what an entry of
// that value shows, in either byte order, and a value the table lacks
// shows "UNDEFINED !!".
TEST(TiffDictionary, KeyedTextsShowTheirTableText)
{
    size_t checked = 0;
    for (const std::span<const TagInfo> table : {TiffTags(), ExifTags()}) {
        for (const TagInfo& tag : table) {
            if (tag.reading != Reading::KeyedText ||
                (tag.type != kShort && tag.type != kShortOrLong && tag.type != kAnyType))
                continue;
            uint32_t missing = 0;
            while (TextFor(tag.texts, missing) != TextFor({}, 0))
                ++missing;
            for (bool le : {true, false}) {
                for (const ValueText& key : tag.texts) {
                    EXPECT_EQ(Interpretation(le, TiffBuilder(le).Short(uint16_t(tag.tag), {key.value})),
                              std::string(key.text) + "\n")
                        << tag.name << " " << key.value << (le ? " II" : " MM");
                    ++checked;
                }
                EXPECT_EQ(Interpretation(le, TiffBuilder(le).Short(uint16_t(tag.tag), {missing})), "UNDEFINED !!\n")
                    << tag.name << " " << missing;
            }
        }
    }
    EXPECT_GT(checked, 100u);
}

// Values shown through a format or beside other entries, and entries that
// have no value line.
TEST(TiffDictionary, FormattedValues)
{
    const struct {
        uint16_t tag;
        uint32_t value;
        const char* text;
    } cases[] = {
        {256, 1234, "Horizontal Size = 1234\n"}, {257, 77, "Vertical Size = 77\n"},
        {278, 16, "16 rows per strip\n"},        {40962, 640, "Valid Width : 640\n"},
        {40963, 480, "Valid Height : 480\n"},    {296, 2, "Inch per pixel\n"},
        {255, 1, ""},                             {513, 0x40, ""},
    };
    for (bool le : {true, false})
        for (const auto& c : cases)
            EXPECT_EQ(Interpretation(le, TiffBuilder(le).Short(c.tag, {c.value})), c.text)
                << c.tag << " " << c.value << (le ? " II" : " MM");
}

TEST(TiffDictionary, TextsAndPackets)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        EXPECT_EQ(Interpretation(le, t.Ascii(306, "2024:01:02 03:04:05")), "2024:01:02 03:04:05\n");
        EXPECT_EQ(Interpretation(le, t.Ascii(270, "Some description")), "Some description\n");
        EXPECT_EQ(Interpretation(le, t.Ascii(269, "doc")), "doc\n");
        // A long text is cut to the line's 511 bytes.
        EXPECT_EQ(Interpretation(le, t.Ascii(305, std::string(600, 'x'))), std::string(511, 'x') + "\n");
        // Text in code page 932 is shown as UTF-8, and cut by the bytes it has
        // in the file, never inside a character; a byte of neither encoding
        // becomes U+FFFD.
        EXPECT_EQ(Interpretation(le, t.Ascii(270, "\x93\xfa\x96\x7b\x8c\xea")), "日本語\n");
        std::string sjis = "x", shown = "x";
        for (int i = 0; i < 300; ++i) {
            sjis += "\x82\xa0";
            shown += i < 255 ? "あ" : "";
        }
        EXPECT_EQ(Interpretation(le, t.Ascii(270, sjis)), shown + "\n");
        EXPECT_EQ(Interpretation(le, t.Ascii(270, "a\xff\xb1")), "a\uFFFDｱ\n");
        // Names without an interpretation get no value line.
        EXPECT_EQ(Interpretation(le, t.Ascii(271, "Maker")), "");

        const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'>";
        EXPECT_EQ(Interpretation(le, t.Typed(700, 1, uint32_t(xmp.size()), Bytes(xmp.begin(), xmp.end()))),
                  xmp + "\n");
        // A UTF-8 packet stands as it is, byte-order mark included.
        const std::string utf8 = "\xEF\xBB\xBF<x:xmpmeta>日本語</x:xmpmeta>";
        EXPECT_EQ(Interpretation(le, t.Typed(700, 1, uint32_t(utf8.size()), Bytes(utf8.begin(), utf8.end()))),
                  utf8 + "\n");
        EXPECT_EQ(Interpretation(le, t.Typed(34377, 1, 8, {'8', 'B', 'I', 'M', 4, 4, 0, 0})), "8BIM\x04\x04\n");
        // A packet of UNDEFINED type has no values: an empty line.
        EXPECT_EQ(Interpretation(le, t.Typed(700, 7, 8, Bytes(8, 'a'))), "\n");
        EXPECT_EQ(Interpretation(le, t.Long(33723, {0x1C020000, 5})), "0x1c020000\n0x00000005\n");
        // Exif 3.0's UTF-8 type reads like ASCII.
        const std::string title = "撮影者";
        EXPECT_EQ(Interpretation(le, t.Typed(270, 129, uint32_t(title.size()), Bytes(title.begin(), title.end()))),
                  title + "\n");
        // A MakerNote is one line over its bytes, naming the maker whose
        // identifier it begins with.
        const std::string nikon("Nikon\0\x02\x11\0\0MM\0*", 14);
        EXPECT_EQ(Interpretation(le, t.Typed(0x927C, 7, uint32_t(nikon.size()), Bytes(nikon.begin(), nikon.end()))),
                  "[0000001a] MakerNote Data (Nikon)\n");
        EXPECT_EQ(Interpretation(le, t.Typed(0x927C, 7, 8, Bytes(8, 0x12))), "[0000001a] MakerNote Data\n");
    }
}

TEST(TiffDictionary, NamesAndTypes)
{
    TiffBuilder t(true);
    const std::string d = Detail(t, {t.Short(263, {1}), t.Short(260, {1}), t.Raw(0x8298, 14, 1, 5),
                                     t.Raw(0xC000, 0, 2, 0x20), t.Typed(0x9000, 7, 4, {'0', '2', '3', '0'})});
    EXPECT_TRUE(Contains(d, "  [0000000a] Tag = 0x0107 ... Threshholding\n"));
    EXPECT_TRUE(Contains(d, "  [00000016] Tag = 0x0104 ... UndefinedTag\n"));
    // Types no standard defines are named "UNDEFINED !!" and read nothing.
    EXPECT_TRUE(Contains(d, "  [00000022] Tag = 0x8298 ... Copyright\n    [00000024] TYPE = 0x000e ... UNDEFINED !!\n"
                            "    [00000026] COUNT = 0x00000001\n    [0000002a] Value = 0x00000005\n"));
    EXPECT_TRUE(Contains(d, "    [00000030] TYPE = 0x0000 ... UNDEFINED !!\n    [00000032] COUNT = 0x00000002\n"
                            "    [00000036] Offset = 0x00000020\n"));
    // Four UNDEFINED bytes are the entry's own value.
    EXPECT_TRUE(Contains(d, "    [0000003c] TYPE = 0x0007 ... UNDEFINED\n    [0000003e] COUNT = 0x00000004\n"
                            "    [00000042] Value = 0x30333230\n"));

    const std::pair<uint16_t, const char*> names[] = {
        {1, "BYTE"},   {2, "ASCII"},   {3, "SHORT"},     {4, "LONG"},   {5, "RATIONAL"}, {6, "SBYTE"},
        {7, "UNDEFINED"}, {8, "SSHORT"}, {9, "SLONG"},   {10, "SRATIONAL"}, {11, "FLOAT"}, {12, "DOUBLE"},
        {13, "IFD"},   {16, "LONG8"},  {17, "SLONG8"},   {18, "IFD8"},  {129, "UTF-8"},
    };
    for (auto [type, name] : names) {
        char line[64];
        std::snprintf(line, sizeof line, "TYPE = 0x%04x ... %s\n", type, name);
        EXPECT_TRUE(Contains(Detail(t, {t.Raw(0x8298, type, 0, 0)}), line)) << type;
    }
}

TEST(TiffDictionary, RealValuesAreDecoded)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        Bytes doubles, floats;
        for (double v : {1.5, -2.25}) {
            const auto bits = std::bit_cast<uint64_t>(v);
            Put32(doubles, le ? uint32_t(bits) : uint32_t(bits >> 32), le);
            Put32(doubles, le ? uint32_t(bits >> 32) : uint32_t(bits), le);
        }
        for (float v : {0.5f, 3.0f})
            Put32(floats, std::bit_cast<uint32_t>(v), le);
        Bytes oneFloat;
        Put32(oneFloat, std::bit_cast<uint32_t>(-7.5f), le);
        const Bytes file = t.Build({{t.Typed(0xC001, 12, 2, doubles), t.Typed(0xC002, 11, 2, floats),
                                     t.Typed(0xC003, 11, 1, oneFloat), t.Rational(0xC004, {{0xFFFFFFFE, 4}}, 10),
                                     t.Rational(0xC005, {{3, 4}})}});
        std::string detail = AnalyseDirectly(file, 0, 0, {{0, "test.tif"}}, [](CTiffAnalyzer& a) {
            auto real = [&](uint32_t tag, size_t i) {
                const IfdEntry* e = a.FindEntry(0, tag);
                return e && i < e->values.size() ? e->values[i].realValue : NAN;
            };
            EXPECT_EQ(real(0xC001, 0), 1.5);
            EXPECT_EQ(real(0xC001, 1), -2.25);
            EXPECT_EQ(real(0xC002, 0), 0.5);
            EXPECT_EQ(real(0xC002, 1), 3.0);
            EXPECT_EQ(real(0xC003, 0), -7.5);
            EXPECT_EQ(real(0xC004, 0), -0.5);
            EXPECT_EQ(real(0xC005, 0), 0.75);
        });
        // A single DOUBLE never fits into the entry: it is at an offset.
        const Bytes one = t.Build({{t.Typed(0xC001, 12, 1, Bytes(doubles.begin(), doubles.begin() + 8))}});
        detail = AnalyseDirectly(one, 0, 0, {{0, "test.tif"}}, [](CTiffAnalyzer& a) {
            ASSERT_EQ(a.FindEntry(0, 0xC001)->values.size(), 1u);
            EXPECT_EQ(a.FindEntry(0, 0xC001)->values[0].realValue, 1.5);
        });
        EXPECT_TRUE(Contains(detail, "    [00000012] Offset = 0x0000001a\n"));
    }
}

TEST(TiffDictionary, ValuesOutsideTheFileAreNotRead)
{
    for (bool le : {true, false}) {
        TiffBuilder t(le);
        // Counts that claim gigabytes, and an offset past the end.
        const Bytes file = t.Build({{t.Raw(273, 4, 0x40000000, 0x20), t.Raw(279, 4, 2, 0x7FFFFFF0),
                                     t.Raw(320, 3, 0xFFFFFFFF, 8), t.Raw(306, 2, 0xFFFFFF00, 8),
                                     t.Raw(256, 3, 1, le ? 9 : 0x00090000)}});
        const std::string d = AnalyseDirectly(file, 0, 0, {{0, "test.tif"}}, [](CTiffAnalyzer& a) {
            EXPECT_TRUE(a.FindEntry(0, 273)->values.empty());
            EXPECT_TRUE(a.FindEntry(0, 320)->values.empty());
        });
        EXPECT_EQ(ValueLines(d, "Tag = 0x0111 ... StripOffsets"), "");
        EXPECT_TRUE(Contains(d, "    [00000012] Offset = 0x00000020\n"));
        EXPECT_EQ(ValueLines(d, "Tag = 0x0117 ... StripByteCounts"), "");
        EXPECT_EQ(ValueLines(d, "Tag = 0x0132 ... DateTime"), "");
        // A colour map without values still shows its three headings.
        EXPECT_EQ(ValueLines(d, "Tag = 0x0140 ... ColorMap"),
                  "< Look Up Table - Red >\n< Look Up Table - Green >\n< Look Up Table - Blue >\n");
        EXPECT_EQ(ValueLines(d, "Tag = 0x0100 ... ImageWidth"), "Horizontal Size = 9\n");
        // Without values there is no image data to mark.
        EXPECT_FALSE(Contains(d, "Image Data"));
    }
}

TEST(TiffDictionary, ValuesReadPerRunAreBounded)
{
    // Many entries that all name the same megabyte of values.
    TiffBuilder t(true);
    const uint32_t entries = 40;
    std::vector<Field> fields;
    const uint32_t dataAt = 8 + 2 + 12 * entries + 4;
    for (uint32_t i = 0; i < entries; ++i)
        fields.push_back(t.Raw(uint16_t(0xC000 + i), 1, 1u << 20, dataAt));
    Bytes file = t.Build({fields});
    file.resize(dataAt + (1u << 20), 0x41);
    AnalyseDirectly(file, 0, 0, {{0, "test.tif"}}, [&](CTiffAnalyzer& a) {
        uint64_t total = 0;
        for (uint32_t i = 0; i < entries; ++i) {
            const size_t n = a.FindEntry(0, 0xC000 + i)->values.size();
            EXPECT_LE(n, CTiffAnalyzer::kMaxValuesPerEntry);
            total += n;
        }
        EXPECT_EQ(a.FindEntry(0, 0xC000)->values.size(), CTiffAnalyzer::kMaxValuesPerEntry);
        EXPECT_EQ(total, CTiffAnalyzer::kMaxValuesPerRun);
        EXPECT_TRUE(a.FindEntry(0, 0xC000 + entries - 1)->values.empty());
    });
}

TEST(TiffDictionary, RoughModeGivesOneLinePerEntryAndReadsNoValues)
{
    TiffBuilder t(false);
    const Analysis a = Analyse(t.Build({{t.Short(256, {3}), t.Raw(273, 4, 0x40000000, 0x7FFFFFF0),
                                         t.Ascii(306, "2024:01:02 03:04:05"), t.Long(34665, {0x10})}}));
    EXPECT_EQ(a.bar, "test.tif\n"
                     "  [00000000] ImageFileHeader(0x4D4D:Big Endian)\n"
                     "  [00000008] /* --- IFD #0000 --- */\n"
                     "    [0000000a] Tag : 0x0100 ... ImageWidth\n"
                     "    [00000016] Tag : 0x0111 ... StripOffsets\n"
                     "    [00000022] Tag : 0x0132 ... DateTime\n"
                     "    [0000002e] Tag : 0x8769 ... ExifIFD\n");
}
