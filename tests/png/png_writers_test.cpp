// Files of real writers, every colour type, bit depth and interlacing among
// them: the analysis finds nothing wrong, leaves no byte undescribed, and
// draws the picture as libpng decodes it, composited as the analyzer
// composites (over bKGD, else the checkerboard).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "png_test_support.h"
#include "support/png_writer_cases.h"

using namespace png_test;

namespace {

using png_writers::kConvert;
using png_writers::kImageMagick;
using png_writers::Layout;
using png_writers::WriterCase;

// Netpbm, from sources ImageMagick writes into SRC; Adam7 mostly.
constexpr WriterCase kNetpbm[] = {
    {"pnmtopng -interlace -force SRC/rgb.ppm >OUT", {2, 8, 1}},
    {"pnmtopng -interlace SRC/rgb16.ppm >OUT", {2, 16, 1}},
    {"pnmtopng -interlace SRC/grey16.pgm >OUT", {0, 16, 1}},
    {"pnmtopng -interlace SRC/grey.pgm >OUT", {0, 8, 1}},
    {"pamdepth 15 SRC/grey.pgm | pnmtopng -interlace >OUT", {0, 4, 1}},
    {"pnmtopng -interlace SRC/bits.pbm >OUT", {0, 1, 1}},
    {"pnmquant 200 SRC/rgb.ppm | pnmtopng -interlace >OUT", {3, 8, 1}},
    {"pnmquant 16 SRC/rgb.ppm | pnmtopng -interlace >OUT", {3, 4, 1}},
    {"pnmquant 4 SRC/rgb.ppm | pnmtopng -interlace >OUT", {3, 2, 1}},
    {"pnmquant 2 SRC/rgb.ppm | pnmtopng -interlace >OUT", {3, 1, 1}},
    {"pnmtopng -interlace -transparent '#808080' SRC/grey.pgm >OUT", {0, 8, 1}},
    {"pnmtopng -force -interlace -transparent =rgb:00/00/ff SRC/rgb.ppm >OUT", {2, 8, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey.pgm SRC/rgb.ppm >OUT", {6, 8, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey16.pgm SRC/rgb16.ppm >OUT", {6, 16, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey.pgm SRC/grey.pgm >OUT", {4, 8, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey16.pgm SRC/grey16.pgm >OUT", {4, 16, 1}},
    {"pnmtopng -interlace -force -alpha=SRC/grey16.pgm SRC/rgb16.ppm >OUT", {6, 16, 1}},
    {"pnmtopng -interlace -background '#336699' -force -alpha=SRC/grey.pgm SRC/rgb.ppm >OUT", {6, 8, 1}},
};

// Pillow: text chunks (zTXt and compressed iTXt among them), an ICC
// profile, tRNS of every kind.
constexpr const char* kPillowScript = R"(
import sys
from PIL import Image, PngImagePlugin
out = sys.argv[1]
w, h = 29, 17
rgb = Image.new("RGB", (w, h))
rgb.putdata([((x * 7 + y * 3) % 256, (x * y * 5) % 256, (255 - x * 11 + y) % 256) for y in range(h) for x in range(w)])
ramp = Image.linear_gradient("L").resize((w, h))
info = PngImagePlugin.PngInfo()
info.add_text("Title", "Pillow")
info.add_text("Comment", "line one\nline two\n" * 20, zip=True)
info.add_itxt("Author", "J\u014dhn", "en", "Autor", zip=True)
info.add_itxt("Description", "plain", "", "")
rgb.save(out + "/rgb.png", pnginfo=info, icc_profile=open(sys.argv[2], "rb").read())
rgb.save(out + "/rgb_t.png", transparency=rgb.getpixel((w // 2, h // 2)))
rgba = rgb.convert("RGBA"); rgba.putalpha(ramp); rgba.save(out + "/rgba.png")
grey = rgb.convert("L"); grey.save(out + "/l_t.png", transparency=grey.getpixel((w // 2, h // 2)))
la = grey.convert("LA"); la.putalpha(ramp.transpose(Image.FLIP_LEFT_RIGHT)); la.save(out + "/la.png")
rgb.convert("1").save(out + "/1.png")
rgb.quantize(2).save(out + "/p1.png", bits=1)
rgb.quantize(4).save(out + "/p2.png", bits=2)
rgb.quantize(16).save(out + "/p4.png", bits=4, transparency=bytes([0, 128, 255]))
rgb.quantize(200).save(out + "/p8.png", transparency=bytes(range(0, 250, 7)))
wide = Image.new("I;16", (w, h)); wide.putdata([(x * 1771 + y * 2897) % 65536 for y in range(h) for x in range(w)])
wide.save(out + "/i16.png")
)";

constexpr WriterCase kPillow[] = {
    {"rgb", {2, 8, 0}}, {"rgb_t", {2, 8, 0}}, {"rgba", {6, 8, 0}}, {"l_t", {0, 8, 0}}, {"la", {4, 8, 0}},
    {"1", {0, 1, 0}},   {"p1", {3, 1, 0}},    {"p2", {3, 2, 0}},    {"p4", {3, 4, 0}},   {"p8", {3, 8, 0}},  {"i16", {0, 16, 0}},
};

// optipng narrows colour types and depths and picks filters per row; -i1
// interlaces. Run on Pillow's files.
constexpr const char* kOptipng[] = {"-o2 -f0-5", "-i1 -nb -nc"};

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string LayoutText(const Layout& l)
{
    return "type " + std::to_string(std::get<0>(l)) + " depth " + std::to_string(std::get<1>(l)) +
           (std::get<2>(l) ? " Adam7" : "");
}

Layout LayoutOf(const Bytes& file)
{
    return file.size() < 29 ? Layout{-1, -1, -1} : Layout{file[25], file[24], file[28]};
}

// The whole check of one writer's file.
void ExpectSound(const std::string& path, const std::string& label, const Layout* expected = nullptr)
{
    SCOPED_TRACE(label);
    const Bytes file = testing_support::ReadFile(path);
    if (expected) {
        EXPECT_EQ(LayoutText(LayoutOf(file)), LayoutText(*expected));
    }
    const Rgba reference = Libpng(file);
    ASSERT_TRUE(reference.complete);
    const Analysis a = Analyse(path);
    EXPECT_EQ(a.anomalies, "");
    EXPECT_EQ(a.gaps, "");
    ASSERT_EQ(a.pictures.size(), 1u);
    ASSERT_EQ(a.decodes.size(), 1u);
    EXPECT_EQ(a.decodes[0], ": 0 ");
    const Bytes expectedRgb = Composite(reference, reference.hasBackground ? reference.background : nullptr);
    EXPECT_EQ(Difference(a.pictures[0], expectedRgb, reference.width), "") << LayoutText(LayoutOf(file));
}

std::string IccProfile()
{
    for (const char* path : {"/usr/share/color/icc/sRGB.icc", "/usr/share/color/icc/colord/sRGB.icc"})
        if (HasTool(path))
            return path;
    return "";
}

}  // namespace

TEST(PngWriters, TablesCoverEveryLayout)
{
    std::set<Layout> listed;
    for (const auto& c : kImageMagick)
        listed.insert(c.layout);
    for (const auto& c : kNetpbm)
        listed.insert(c.layout);
    for (const auto& c : kPillow)
        listed.insert(c.layout);
    for (int interlace : {0, 1})
        for (auto [type, depths] : std::initializer_list<std::pair<int, std::vector<int>>>{
                 {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}})
            for (int depth : depths)
                EXPECT_TRUE(listed.count({type, depth, interlace})) << LayoutText({type, depth, interlace});
}

TEST(PngWriters, ImageMagick)
{
    if (!HasTool(kConvert))
        GTEST_SKIP() << "ImageMagick is not installed";
    testing_support::TempDir dir;
    const std::string out = dir.Path() + "/magick.png";
    for (const WriterCase& c : kImageMagick) {
        const std::string command =
            std::string(kConvert) + " -size 37x23 " + Replace(png_writers::ShellQuoted(c.command), "OUT", out);
        ASSERT_TRUE(RunTool(command)) << command;
        ExpectSound(out, c.command, &c.layout);
    }
}

TEST(PngWriters, Netpbm)
{
    if (!HasTool("/usr/bin/pnmtopng") || !HasTool(kConvert))
        GTEST_SKIP() << "netpbm or ImageMagick is not installed";
    testing_support::TempDir dir;
    const std::string source = std::string(kConvert) + " -size 37x23 gradient:";
    ASSERT_TRUE(RunTool(source + "red-blue -swirl 90 -depth 8 ppm:" + dir.Path() + "/rgb.ppm"));
    ASSERT_TRUE(RunTool(source + "red-blue -swirl 90 -depth 16 ppm:" + dir.Path() + "/rgb16.ppm"));
    ASSERT_TRUE(RunTool(source + "white-black -swirl 90 -depth 8 pgm:" + dir.Path() + "/grey.pgm"));
    ASSERT_TRUE(RunTool(source + "white-black -swirl 90 -depth 16 pgm:" + dir.Path() + "/grey16.pgm"));
    ASSERT_TRUE(RunTool(source + "white-black -swirl 90 -monochrome pbm:" + dir.Path() + "/bits.pbm"));
    const std::string out = dir.Path() + "/netpbm.png";
    for (const WriterCase& c : kNetpbm) {
        const std::string command = Replace(Replace(c.command, "SRC", dir.Path()), "OUT", out);
        ASSERT_TRUE(RunTool(command)) << command;
        ExpectSound(out, c.command, &c.layout);
    }
}

TEST(PngWriters, PillowAndOptipng)
{
    if (PillowPython().empty() || IccProfile().empty())
        GTEST_SKIP() << "Pillow or an ICC profile is not installed";
    testing_support::TempDir dir;
    const std::string script = dir.Write("write.py", std::string(kPillowScript));
    ASSERT_TRUE(RunTool(PillowPython() + " " + script + " " + dir.Path() + " " + IccProfile()));
    const bool optipng = HasTool("/usr/bin/optipng");
    for (const WriterCase& c : kPillow) {
        const std::string in = dir.Path() + "/" + c.command + ".png";
        ExpectSound(in, c.command, &c.layout);
        for (const char* options : kOptipng) {
            if (!optipng)
                continue;
            const std::string out = dir.Path() + "/optipng.png";
            // optipng does not write over a file, even with -force.
            std::filesystem::remove(out);
            ASSERT_TRUE(RunTool("optipng -quiet -force " + std::string(options) + " -out " + out + " " + in));
            ExpectSound(out, std::string(c.command) + " optipng " + options);
        }
    }
}

// Pillow's file with every kind of text and a profile: the structures are
// laid out, those in inflated data counting in it.
TEST(PngWriters, PillowTextsAndProfileAreLaidOut)
{
    if (PillowPython().empty() || IccProfile().empty())
        GTEST_SKIP() << "Pillow or an ICC profile is not installed";
    testing_support::TempDir dir;
    const std::string script = dir.Write("write.py", std::string(kPillowScript));
    ASSERT_TRUE(RunTool(PillowPython() + " " + script + " " + dir.Path() + " " + IccProfile()));
    const Analysis a = Analyse(dir.Path() + "/rgb.png");
    for (const char* expected :
         {"Profile Name = ICC Profile", "/* --- ICC Profile Header --- */", "[00000000] Profile size = ",
          "Keyword = Title", "Text = Pillow", "Keyword = Comment", "[00000009] line two", "Language Tag = en",
          "Translated Keyword = Autor", "[00000000] Text = J\u014dhn", "Text = plain"})
        EXPECT_NE(a.text.find(expected), std::string::npos) << expected;
}

// exiftool's eXIf chunk is laid out by the TIFF analyzer, its XMP packet in
// iTXt as XMP.
TEST(PngWriters, ExiftoolExifAndXmp)
{
    if (!HasTool("/usr/bin/exiftool") || !HasTool(kConvert))
        GTEST_SKIP() << "exiftool or ImageMagick is not installed";
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/exif.png";
    ASSERT_TRUE(RunTool(std::string(kConvert) + " -size 37x23 gradient:red-blue PNG24:" + path));
    ASSERT_TRUE(RunTool("exiftool -q -overwrite_original -IFD0:Artist=Someone -ExifIFD:UserComment=hello "
                        "-XMP:Title=Hello -XMP:Description=" + std::string(300, 'x') + " " + path));
    ExpectSound(path, "exiftool");
    const Analysis a = Analyse(path);
    for (const char* expected : {"eXIf (Exchangeable image file format)", "Exif Data (TIFF Format)",
                                 "Tag = 0x013B ... Artist", "Keyword = XML:com.adobe.xmp", "XMP Packet 0x",
                                 "<rdf:li xml:lang='x-default'>Hello</rdf:li>"})
        EXPECT_NE(a.text.find(expected), std::string::npos) << expected;
}
