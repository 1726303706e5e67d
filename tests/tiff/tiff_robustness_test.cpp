// Damaged files: every analysis ends, and the tree keeps its shape.
#include <gtest/gtest.h>

#include <random>

#include "tiff/tiff_analyzer.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

// A file that exercises most paths: two IFDs with values at offsets, an
// Exif IFD, a colour map, strips and an ICC profile.
Bytes RichFile(bool le)
{
    TiffBuilder t(le);
    Bytes profile(160, 0);
    profile[3] = 160;
    profile[131] = 2;
    std::vector<uint32_t> map(24, 0x1234);
    Bytes file = t.Build(
        {{t.Long(254, {0}), t.Short(256, {4}), t.Short(257, {3}), t.Short(258, {8, 8, 8}), t.Short(259, {1}),
          t.Short(262, {3}), t.Ascii(270, "rich"), t.Long(273, {0x200, 0x210}), t.Short(277, {3}),
          t.Long(278, {2}), t.Long(279, {24, 12}), t.Rational(282, {{72, 1}}), t.Rational(283, {{72, 1}}),
          t.Short(296, {2}), t.Short(320, map), t.Typed(700, 1, 6, {'<', 'x', 'm', 'p', '>', 0}),
          t.Long(33723, {1, 2}), t.Long(34665, {0x400}), t.Typed(34675, 7, 160, profile)},
         {t.Short(259, {6}), t.Long(513, {0x200}), t.Long(514, {36})}});
    file.resize(0x400, 0);
    Bytes exif;
    Put16(exif, 2, le);
    for (auto [tag, type, value] : {std::tuple{40961u, 3u, le ? 1u : 0x10000u}, std::tuple{40962u, 4u, 4u}}) {
        Put16(exif, tag, le);
        Put16(exif, type, le);
        Put32(exif, 1, le);
        Put32(exif, value, le);
    }
    Put32(exif, 0, le);
    file.insert(file.end(), exif.begin(), exif.end());
    file.resize(0x440, 0x77);
    return file;
}

}  // namespace

TEST(TiffRobustness, MutatedFilesFinishInBothModes)
{
    std::mt19937 random(20240101);
    for (bool le : {true, false}) {
        const Bytes original = RichFile(le);
        // The unmutated file shows all of its parts.
        const Analysis whole = Analyse(original);
        EXPECT_TRUE(Contains(whole.detail, "Number of Directory Entry = 2\n"));
        EXPECT_TRUE(Contains(whole.detail, "/* --- ICC Tag Table --- */\n"));
        EXPECT_TRUE(Contains(whole.detail, "\n[00000200] Image Data\n"));
        EXPECT_TRUE(Contains(whole.detail, "\n[00000200] Jpeg Data\n"));

        for (int round = 0; round < 150; ++round) {
            Bytes file = original;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int c = 0; c < changes; ++c) {
                const size_t at = random() % file.size();
                switch (random() % 3) {
                case 0: file[at] = static_cast<uint8_t>(random()); break;
                case 1: file[at] = 0xFF; break;
                default: file[at] = 0; break;
                }
            }
            if (random() % 4 == 0)
                file.resize(random() % file.size());
            if (file.size() < 2)
                continue;
            file[0] = file[1] = le ? 'I' : 'M';
            const Analysis a = Analyse(file);
            ASSERT_TRUE(Contains(a.detail, "] ImageFileHeader\n")) << round;
            ASSERT_TRUE(Contains(a.bar, "] ImageFileHeader(0x")) << round;
        }
    }
}

TEST(TiffRobustness, LinesAreExpandedAsTheyAreFinished)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("rich.tif", RichFile(true));
    testing_support::Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    const CLineTree& tree = h.app.Detailed(path)->lines;
    size_t withChildren = 0;
    for (LineId line = 1; line <= tree.Count(); ++line) {
        if (!tree.FirstChild(line) || tree.Text(line) == path)
            continue;
        ++withChildren;
        EXPECT_TRUE(tree.Expanded(line)) << tree.Text(line);
    }
    EXPECT_GT(withChildren, 40u);
}
